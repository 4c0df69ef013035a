#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "libs/vxlog/VXLog.h"
#include "tests/libs/TempDir.h"

namespace {

// The text after the timestamp of each line "YYYY-MM-DD hh:mm:ss.mmm text"; a line without one is marked.
std::vector<std::string> Bodies(const std::string& path) {
  static const std::regex kStamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> bodies;
  std::smatch m;
  for (std::string line; std::getline(in, line);) {
    bodies.push_back(std::regex_match(line, m, kStamped) ? m[1].str() : "not stamped: " + line);
  }
  return bodies;
}

// Each write is one whole line, whatever its length and however many threads write at once.
TEST(VXLog, CreatesItsFolderAndWritesEachWriteAsOneWholeStampedLine) {
  TempDir dir;
  CVXLog log;
  ASSERT_TRUE(log.storage((dir.path() / "exe" / "LOG").string().c_str(), "VX", "vxRSSMgr", true, false));
  log.Write("%d-%s", 42, std::string(5000, 'z').c_str());  // longer than any fixed buffer would hold
  log.Write(CString("\xA4\x41"));
  constexpr int kThreads = 4;
  constexpr int kLinesEach = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&log, t] {
      const std::string body(200, static_cast<char>('a' + t));
      for (int i = 0; i < kLinesEach; ++i) log(0x100).Write("%s", body.c_str());
    });
  }
  for (std::thread& t : threads) t.join();

  const std::vector<std::string> bodies = Bodies(log.FilePath());
  ASSERT_EQ(bodies.size(), static_cast<std::size_t>(2 + kThreads * kLinesEach));
  EXPECT_EQ(bodies[0], "42-" + std::string(5000, 'z'));
  EXPECT_EQ(bodies[1], "\xA4\x41");
  for (std::size_t i = 2; i < bodies.size(); ++i) ASSERT_EQ(bodies[i], std::string(200, bodies[i][0]));

  CVXLog unusable;  // a file where the folder should be: nothing is written, nothing breaks
  EXPECT_FALSE(unusable.storage((log.FilePath() + "/LOG").c_str(), "VX", "n", true, false));
  unusable(0x100).Write("dropped");
}

}  // namespace
