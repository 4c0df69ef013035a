#include "demo/FeedWebServer.h"

#include <httplib.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace demo {

namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return in ? buffer.str() : std::string();
}

// A strong validator from the content itself.
std::string ETagOf(const std::string& bytes) {
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (const unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  char tag[24];
  std::snprintf(tag, sizeof tag, "\"%016llx\"", static_cast<unsigned long long>(hash));
  return tag;
}

std::string Gzip(const std::string& bytes) {
  z_stream stream{};
  deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace

class FeedWebServer::Impl {
 public:
  explicit Impl(std::string folder) : m_folder(std::move(folder)) {
    m_server.Get(R"(/feeds/([A-Za-z0-9_.-]+))",
                 [this](const httplib::Request& request, httplib::Response& response) { Serve(request, response); });
  }
  ~Impl() {
    m_server.stop();
    if (m_thread.joinable()) m_thread.join();
  }

  bool Start() {
    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port <= 0) return false;
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    return true;
  }

  int Port() const { return m_port; }
  WebCounts Counts() const {
    std::lock_guard<std::mutex> lock(m_mtx);
    return m_counts;
  }

 private:
  void Serve(const httplib::Request& request, httplib::Response& response) {
    const std::string bytes = ReadWhole(m_folder + "/" + request.matches[1].str());
    if (bytes.empty()) {
      response.status = 404;
      return Count(response.status);
    }
    const std::string etag = ETagOf(bytes);
    response.set_header("ETag", etag);
    if (request.get_header_value("If-None-Match") == etag) {
      response.status = 304;
      return Count(response.status);
    }
    if (request.get_header_value("Accept-Encoding").find("gzip") != std::string::npos) {
      response.set_header("Content-Encoding", "gzip");
      response.set_content(Gzip(bytes), "application/rss+xml");
    } else {
      response.set_content(bytes, "application/rss+xml");
    }
    Count(200);
  }

  void Count(int status) {
    std::lock_guard<std::mutex> lock(m_mtx);
    (status == 304 ? m_counts.notModified : status == 200 ? m_counts.full : m_counts.other)++;
  }

  const std::string m_folder;
  httplib::Server m_server;
  int m_port = 0;
  std::thread m_thread;
  mutable std::mutex m_mtx;
  WebCounts m_counts;
};

FeedWebServer::FeedWebServer() = default;
FeedWebServer::~FeedWebServer() = default;

bool FeedWebServer::Start(const std::string& folder) {
  m_impl = std::make_unique<Impl>(folder);
  if (m_impl->Start()) return true;
  m_impl.reset();
  return false;
}

std::string FeedWebServer::BaseUrl() const {
  return m_impl ? "http://127.0.0.1:" + std::to_string(m_impl->Port()) + "/feeds/" : std::string();
}

WebCounts FeedWebServer::Counts() const { return m_impl ? m_impl->Counts() : WebCounts(); }

}  // namespace demo
