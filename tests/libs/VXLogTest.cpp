#include <gtest/gtest.h>

#include <filesystem>
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

const std::regex kStampedLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");

TEST(VXLog, CreatesNestedFolderAndWritesOneStampedLinePerWrite) {
  TempDir dir;
  const std::string folder = (dir.path() / "exe" / "LOG").string();
  CVXLog log;
  ASSERT_TRUE(log.storage(folder.c_str(), "VX", "vxRSSMgr", true, false));
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  log(0x100).Write("%s", "CVRSSMgr::Init Log init");
  log.Write(CString("second \xA4\x41 line"));

  const std::vector<std::string> lines = ReadLines(log.FilePath());
  ASSERT_EQ(lines.size(), 2u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, kStampedLine)) << lines[0];
  EXPECT_EQ(m[1], "CVRSSMgr::Init Log init");
  ASSERT_TRUE(std::regex_match(lines[1], m, kStampedLine)) << lines[1];
  EXPECT_EQ(m[1], "second \xA4\x41 line");
}

TEST(VXLog, FormatsArgumentsAndOmitsStampWhenAsked) {
  TempDir dir;
  CVXLog log;
  ASSERT_TRUE(log.storage(dir.path().string().c_str(), "p", "n", false, false));
  log.Write("%d-%s-%05.1f", 42, "x", 3.14159);
  log.Write("%s", std::string(5000, 'z').c_str());  // longer than any fixed buffer would hold
  const std::vector<std::string> lines = ReadLines(log.FilePath());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "42-x-003.1");
  EXPECT_EQ(lines[1], std::string(5000, 'z'));
}

TEST(VXLog, UnusableFolderFailsAndLaterWritesAreHarmless) {
  TempDir dir;
  const std::filesystem::path blocker = dir.path() / "file";
  std::ofstream(blocker) << "x";
  CVXLog log;
  EXPECT_FALSE(log.storage((blocker / "LOG").string().c_str(), "VX", "n", true, false));
  EXPECT_FALSE(log.storage("", "VX", "n", true, false));
  EXPECT_TRUE(log.FilePath().empty());
  log(0x100).Write("dropped");
  log.Write(CString("dropped"));
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
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, kStampedLine));
    const std::string body = m[1];
    ASSERT_EQ(body, std::string(200, body[0]));
  }
}

}  // namespace
