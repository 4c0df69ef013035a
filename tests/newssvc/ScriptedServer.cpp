#include "tests/newssvc/ScriptedServer.h"

#include <zlib.h>

#include <algorithm>

namespace newssvc_test {

std::string ReceivedRequest::Header(const char* name) const {
  const auto it = headers.find(name);
  return it == headers.end() ? std::string() : it->second;
}

ScriptedServer::ScriptedServer() {
  m_server.set_read_timeout(5, 0);
  m_server.set_write_timeout(5, 0);
  m_server.set_keep_alive_timeout(2);
  m_server.Get(".*",
               [this](const httplib::Request& request, httplib::Response& response) { Answer(request, response); });
  m_port = m_server.bind_to_any_port("127.0.0.1");
  // Bound already: connections wait in the backlog until the thread listens.
  m_thread = std::thread([this] { m_server.listen_after_bind(); });
}

ScriptedServer::~ScriptedServer() {
  m_stopping = true;
  m_server.stop();
  m_thread.join();
}

void ScriptedServer::SetScript(Script script) {
  std::lock_guard<std::mutex> lock(m_mtx);
  m_script = std::move(script);
}

std::string ScriptedServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void ScriptedServer::Answer(const httplib::Request& request, httplib::Response& response) {
  Script script;
  int index = 0;
  {
    std::lock_guard<std::mutex> lock(m_mtx);
    index = static_cast<int>(m_received.size());
    if (index >= kMaxRequests || std::chrono::steady_clock::now() - m_started > kLifetime) {
      response.status = 503;
      return;
    }
    m_received.push_back({request.path, request.headers, std::chrono::steady_clock::now()});
    script = m_script;
  }
  m_cv.notify_all();
  if (script) script(request, response, index);
}

std::vector<ReceivedRequest> ScriptedServer::Received() const {
  std::lock_guard<std::mutex> lock(m_mtx);
  return m_received;
}

int ScriptedServer::Count(const std::string& path) const {
  std::lock_guard<std::mutex> lock(m_mtx);
  return static_cast<int>(std::count_if(m_received.begin(), m_received.end(),
                                        [&](const ReceivedRequest& r) { return path.empty() || r.path == path; }));
}

bool ScriptedServer::WaitForCount(int count, const std::string& path, std::chrono::seconds timeout) {
  std::unique_lock<std::mutex> lock(m_mtx);
  return m_cv.wait_for(lock, timeout, [&] {
    return std::count_if(m_received.begin(), m_received.end(),
                         [&](const ReceivedRequest& r) { return path.empty() || r.path == path; }) >= count;
  });
}

std::string Gzip(const std::string& bytes) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
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

}  // namespace newssvc_test
