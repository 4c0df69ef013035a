// A scripted HTTP server for the fetch tests: cpp-httplib on 127.0.0.1 (a free port), answering every GET
// with the test's script and recording what it received. It answers at most kMaxRequests requests and
// lives at most kLifetime; past either bound it answers 503, so a runaway client cannot hang a test.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace newssvc_test {

struct ReceivedRequest {
  std::string path;
  httplib::Headers headers;
  std::chrono::steady_clock::time_point at;
  std::string Header(const char* name) const;
};

class ScriptedServer {
 public:
  static constexpr int kMaxRequests = 400;
  static constexpr std::chrono::seconds kLifetime{60};
  // The script: answers the request (index: how many came before it, to any path).
  using Script = std::function<void(const httplib::Request&, httplib::Response&, int index)>;

  ScriptedServer();
  ~ScriptedServer();

  void SetScript(Script script);
  std::string Url(const std::string& path) const;
  std::vector<ReceivedRequest> Received() const;
  int Count(const std::string& path) const;
  // Waits until `count` requests for `path` (any path when empty) have come; false after the time-out.
  bool WaitForCount(int count, const std::string& path = "", std::chrono::seconds timeout = std::chrono::seconds(10));
  // Whether the server is shutting down: long-running scripts (a drip) end when it is.
  bool Stopping() const { return m_stopping; }

 private:
  void Answer(const httplib::Request& request, httplib::Response& response);

  httplib::Server m_server;
  int m_port = 0;
  const std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
  std::atomic<bool> m_stopping{false};
  mutable std::mutex m_mtx;
  mutable std::condition_variable m_cv;
  Script m_script;
  std::vector<ReceivedRequest> m_received;
  std::thread m_thread;
};

// Test bodies.
std::string Gzip(const std::string& bytes);

}  // namespace newssvc_test
