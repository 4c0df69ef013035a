// The HTTP test server (FeedTestServer.h) as the fetch tests find it: in the test's own process where the
// build has cpp-httplib (TestServerInProcess.cpp); otherwise (the Windows build under Wine) a process of its
// own that the ctest fixture started and whose URL it wrote to a file (TestServerFixture.cpp).
#pragma once

#include <memory>
#include <string>

namespace newssvc_test {

// Starts the server in this process, or finds the fixture's: its base URL, empty when there is none.
std::string LaunchTestServer(std::shared_ptr<void>& inProcess);

}  // namespace newssvc_test
