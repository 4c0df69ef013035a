// feed_test_server URLFILE: the HTTP test server as a process of its own, for test programs that cannot
// run it in process (the Windows build under Wine). Writes its base URL to URLFILE and serves until it is
// terminated or its lifetime ends.
#include <chrono>
#include <fstream>
#include <iostream>
#include <thread>

#include "tests/newssvc/FeedTestServer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: feed_test_server URLFILE\n";
    return 2;
  }
  newssvc_test::FeedTestServer server;
  if (server.BaseUrl().empty()) return 1;
  std::ofstream(argv[1]) << server.BaseUrl() << "\n";  // one write: the starter waits until it is there
  while (!server.Expired()) std::this_thread::sleep_for(std::chrono::seconds(1));
  return 0;
}
