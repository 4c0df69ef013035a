#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "libs/vxlog/VXLog.h"
#include "tests/libs/TempDir.h"

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The text after the timestamp; fails the test when the line is not "YYYY-MM-DD hh:mm:ss.mmm text".
std::string Body(const std::string& line) {
  static const std::regex kStamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");
  std::smatch m;
  EXPECT_TRUE(std::regex_match(line, m, kStamped)) << line;
  return m.size() > 1 ? m[1].str() : std::string();
}

TEST(VXLog, CreatesItsFolderAndWritesOneStampedLinePerWrite) {
  TempDir dir;
  const std::string folder = (dir.path() / "exe" / "LOG").string();
  CVXLog log;
  ASSERT_TRUE(log.storage(folder.c_str(), "VX", "vxRSSMgr", true, false));
  log(0x100).Write("%s", "CVRSSMgr::Init Log init");
  log.Write("%d-%s", 42, std::string(5000, 'z').c_str());  // longer than any fixed buffer would hold
  log.Write(CString("\xA4\x41"));

  const std::vector<std::string> lines = ReadLines(log.FilePath());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(Body(lines[0]), "CVRSSMgr::Init Log init");
  EXPECT_EQ(Body(lines[1]), "42-" + std::string(5000, 'z'));
  EXPECT_EQ(Body(lines[2]), "\xA4\x41");

  CVXLog unusable;  // a file where the folder should be: nothing is written, nothing breaks
  EXPECT_FALSE(unusable.storage((log.FilePath() + "/LOG").c_str(), "VX", "n", true, false));
  unusable(0x100).Write("dropped");
}

TEST(VXLog, ConcurrentWritersNeverInterleaveLines) {
  TempDir dir;
  CVXLog log;
  ASSERT_TRUE(log.storage(dir.path().string().c_str(), "VX", "mt", true, false));
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

  const std::vector<std::string> lines = ReadLines(log.FilePath());
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesEach));
  for (const std::string& line : lines) {
    const std::string body = Body(line);
    ASSERT_EQ(body, std::string(200, body.empty() ? '?' : body[0]));
  }
}

}  // namespace
