// TestServer: the HTTP test server as the fetch tests see it. Where the build has cpp-httplib it runs in the
// test's own process; otherwise (the Windows build under Wine) the ctest fixture has started it as a process
// of its own and named its URL in a file (environment variable VXRSS_TEST_SERVER_URL_FILE). Either way the
// test reads what the server received over HTTP, through the service's own HTTP client.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace newssvc_test {

struct ReceivedRequest {
  long long atMs = 0;  // since the server started
  std::string path;
  std::map<std::string, std::string> headers;  // lower-case names
  std::string Header(const std::string& lowerCaseName) const;
};

class TestServer {
 public:
  TestServer();
  ~TestServer();

  bool Ready() const { return !m_baseUrl.empty(); }
  // The URL of a scenario (FeedScenarios.h) for this test.
  std::string Url(const std::string& name) const;
  // What this test's requests were, oldest first; only those for `name` when given.
  std::vector<ReceivedRequest> Received(const std::string& name = "") const;
  int Count(const std::string& name = "") const { return static_cast<int>(Received(name).size()); }
  // Waits until `count` requests (for `name` when given) came; false after the time-out.
  bool WaitForCount(int count, const std::string& name = "",
                    std::chrono::seconds timeout = std::chrono::seconds(10)) const;

 private:
  std::shared_ptr<void> m_inProcess;  // the server, when it runs in this process
  std::string m_baseUrl;
  std::string m_run;
};

// Starts the server in this process, or finds the fixture's: its base URL, empty when there is none.
std::string LaunchTestServer(std::shared_ptr<void>& inProcess);

}  // namespace newssvc_test
