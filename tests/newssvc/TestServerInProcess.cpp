// The HTTP test server in the test's own process.
#include "tests/newssvc/FeedTestServer.h"

namespace newssvc_test {

std::string LaunchTestServer(std::shared_ptr<void>& inProcess) {
  auto server = std::make_shared<FeedTestServer>();
  inProcess = server;
  return server->BaseUrl();
}

}  // namespace newssvc_test
