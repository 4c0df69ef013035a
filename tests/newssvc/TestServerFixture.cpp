// The HTTP test server that the ctest fixture started as a process of its own.
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace newssvc_test {

std::string LaunchTestServer(std::shared_ptr<void>&) {
  const char* file = std::getenv("VXRSS_TEST_SERVER_URL_FILE");
  std::string url;
  if (file) std::ifstream(file) >> url;
  return url;
}

}  // namespace newssvc_test
