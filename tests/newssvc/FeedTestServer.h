// FeedTestServer: the HTTP test server, cpp-httplib on 127.0.0.1 at a free port. GET /s/RUN/NAME answers
// with NAME's scenario (AnswerScenario below) and is recorded; GET /received/RUN lists what run RUN sent, one
// request a line: milliseconds since the server started, the path, then "name: value" per header, all
// separated by tabs (header names in lower case). It records at most kMaxRequests requests and answers
// 503 past that or past kLifetime, so a runaway client cannot hang a test.
#pragma once

#include <httplib.h>

#include <atomic>
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

  FeedTestServer();
  ~FeedTestServer();
  FeedTestServer(const FeedTestServer&) = delete;
  FeedTestServer& operator=(const FeedTestServer&) = delete;

  // "http://127.0.0.1:PORT"; empty when no port could be opened.
  std::string BaseUrl() const;
  bool Expired() const { return std::chrono::steady_clock::now() - m_started > kLifetime; }

 private:
  void AnswerScenario(const httplib::Request& request, httplib::Response& response);

  httplib::Server m_server;
  int m_port = 0;
  const std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
  std::atomic<bool> m_stopping{false};  // scenarios still running end when it turns true
  std::mutex m_mtx;
  std::map<std::string, std::vector<std::string>> m_lines;  // run -> recorded lines
  std::map<std::string, int> m_perPath;                     // path -> requests so far
  int m_total = 0;
  std::thread m_thread;
};

}  // namespace newssvc_test
