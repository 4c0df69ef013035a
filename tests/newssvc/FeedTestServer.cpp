#include "tests/newssvc/FeedTestServer.h"

#include <algorithm>
#include <cctype>

namespace newssvc_test {

FeedTestServer::FeedTestServer() {
  m_server.set_read_timeout(5, 0);
  m_server.set_write_timeout(5, 0);
  m_server.set_keep_alive_timeout(2);
  m_server.Get(R"(/s/([^/]+)/(.+))", [this](const httplib::Request& request, httplib::Response& response) {
    AnswerScenario(request, response);
  });
  m_server.Get(R"(/received/([^/]+))", [this](const httplib::Request& request, httplib::Response& response) {
    std::string text;
    std::lock_guard<std::mutex> lock(m_mtx);
    for (const std::string& line : m_lines[request.matches[1].str()]) text += line + "\n";
    response.set_content(text, "text/plain");
  });
  m_port = m_server.bind_to_any_port("127.0.0.1");
  // Bound already: connections wait in the backlog until the thread listens.
  if (m_port > 0) m_thread = std::thread([this] { m_server.listen_after_bind(); });
}

FeedTestServer::~FeedTestServer() {
  m_stopping = true;
  m_server.stop();
  if (m_thread.joinable()) m_thread.join();
}

std::string FeedTestServer::BaseUrl() const {
  return m_port > 0 ? "http://127.0.0.1:" + std::to_string(m_port) : std::string();
}

void FeedTestServer::AnswerScenario(const httplib::Request& request, httplib::Response& response) {
  int index = 0;
  {
    std::lock_guard<std::mutex> lock(m_mtx);
    if (m_total >= kMaxRequests || Expired()) {
      response.status = 503;
      return;
    }
    ++m_total;
    index = m_perPath[request.path]++;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_started).count();
    std::string line = std::to_string(ms) + "\t" + request.path;
    for (const auto& header : request.headers) {
      std::string name = header.first;
      std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
      line += "\t" + name + ": " + header.second;
    }
    m_lines[request.matches[1].str()].push_back(line);
  }
  newssvc_test::AnswerScenario(request.matches[2].str(), index, request, response, m_stopping);
}

}  // namespace newssvc_test
