// FeedTestServer: the HTTP test server, cpp-httplib on 127.0.0.1 at a free port. GET /s/RUN/NAME answers
// with NAME's scenario (AnswerScenario below) and is recorded; GET /received/RUN lists what run RUN sent, one
// request a line: milliseconds since the server started, the path, then "name: value" per header, all
// separated by tabs (header names in lower case). It records at most kMaxRequests requests and answers
// 503 past that or past kLifetime, so a runaway client cannot hang a test. GET /s/RUN/slow_headers answers
// once like the others, then redirects to a second listener whose answer trickles one header byte every
// 500 ms for 3.5 s, one connection at a time: headers too slow to arrive, which cpp-httplib cannot send.
// GET /s/RUN/silent redirects to a third listener that never accepts: the connection is made (the system
// queues it) and the request sent, but no answer ever comes.
#pragma once

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace newssvc_test {

// The scripted answers, one scenario per file name (FeedScenarios.cpp): the same in process (Linux) and from a
// process of its own (the Windows build under Wine). `index` counts the earlier requests for the same path,
// so a scenario can change its answer over time and every test run (RUN) starts afresh; long-running answers
// (the drip) end when `stopping` turns true.
void AnswerScenario(const std::string& name, int index, const httplib::Request& request, httplib::Response& response,
                    const std::atomic<bool>& stopping);

class FeedTestServer {
 public:
  static constexpr int kMaxRequests = 2000;
  static constexpr std::chrono::minutes kLifetime{10};

  FeedTestServer() {
    m_server.set_keep_alive_timeout(2);
    // A thread per connection for the stalled feeds and the others at once.
    m_server.new_task_queue = [] { return new httplib::ThreadPool(32); };
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
    // Opened before the server's thread starts, since its answers name the trickle port.
    const bool trickle = m_port > 0 && Listen(m_trickle, m_tricklePort);
    if (m_port > 0) Listen(m_silent, m_silentPort);
    // Bound already: connections wait in the backlog until the thread listens.
    if (m_port > 0) m_thread = std::thread([this] { m_server.listen_after_bind(); });
    if (trickle) m_trickler = std::thread([this] { ServeTrickles(); });
  }
  ~FeedTestServer() {
    m_stopping = true;
    m_server.stop();
    if (m_thread.joinable()) m_thread.join();
    if (m_trickler.joinable()) m_trickler.join();
    if (m_trickle >= 0) ::close(m_trickle);
    if (m_silent >= 0) ::close(m_silent);
  }
  FeedTestServer(const FeedTestServer&) = delete;
  FeedTestServer& operator=(const FeedTestServer&) = delete;

  // "http://127.0.0.1:PORT"; empty when no port could be opened.
  std::string BaseUrl() const { return m_port > 0 ? "http://127.0.0.1:" + std::to_string(m_port) : std::string(); }
  bool Expired() const { return std::chrono::steady_clock::now() - m_started > kLifetime; }

 private:
  void AnswerScenario(const httplib::Request& request, httplib::Response& response) {
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
    if (request.matches[2].str() == "slow_headers" && index > 0)
      return response.set_redirect("http://127.0.0.1:" + std::to_string(m_tricklePort) + "/", 302);
    if (request.matches[2].str() == "silent")
      return response.set_redirect("http://127.0.0.1:" + std::to_string(m_silentPort) + "/", 302);
    newssvc_test::AnswerScenario(request.matches[2].str(), index, request, response, m_stopping);
  }

  // A listening socket on the loopback address at a free port.
  static bool Listen(int& listener, int& port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 64) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return false;
    port = ntohs(address.sin_port);
    return true;
  }
  // One connection at a time: a feed polls once at a time.
  void ServeTrickles() {
    while (!m_stopping) {
      pollfd ready{m_trickle, POLLIN, 0};
      const int client = ::poll(&ready, 1, 100) == 1 ? ::accept(m_trickle, nullptr, nullptr) : -1;
      if (client < 0) continue;
      const std::string head = "HTTP/1.1 200 OK\r\nX-Slow: ";
      bool open = ::send(client, head.data(), head.size(), MSG_NOSIGNAL) > 0;
      for (int i = 0; open && i < 7 && !m_stopping; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        open = ::send(client, "x", 1, MSG_NOSIGNAL) == 1;
      }
      ::close(client);
    }
  }

  httplib::Server m_server;
  int m_port = 0;
  const std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
  std::atomic<bool> m_stopping{false};  // scenarios still running end when it turns true
  std::mutex m_mtx;
  std::map<std::string, std::vector<std::string>> m_lines;  // run -> recorded lines
  std::map<std::string, int> m_perPath;                     // path -> requests so far
  int m_total = 0;
  std::thread m_thread;
  int m_trickle = -1;  // the trickling listener
  int m_tricklePort = 0;
  std::thread m_trickler;
  int m_silent = -1;  // the listener that never accepts
  int m_silentPort = 0;
};

}  // namespace newssvc_test
