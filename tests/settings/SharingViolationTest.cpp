// Another program holding the settings file open without sharing it, as a virus scanner or an indexer does
// for a moment: the save waits for about a second, then gives up and leaves the file as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <future>
#include <thread>

#include "tests/settings/SettingsFileTest.h"

namespace {

using std::chrono::milliseconds;

TEST(SettingsSharingViolation, SaveWaitsAboutASecondForAFileHeldOpenThenGivesUp) {
  for (const bool releasedInTime : {true, false}) {
    SavedOld s;
    const HANDLE scanner =
        CreateFileW(s.SettingsPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
    // The scanner lets go after its moment, whatever the test finds meanwhile.
    std::future<void> released = std::async(std::launch::async, [scanner, releasedInTime] {
      std::this_thread::sleep_for(milliseconds(releasedInTime ? 300 : 4000));
      CloseHandle(scanner);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(s.store.Save(), releasedInTime ? 1 : 0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, milliseconds(releasedInTime ? 200 : 900));
    EXPECT_LT(waited, milliseconds(3000));
    released.wait();
    EXPECT_EQ(ReadBytes(s.SettingsPath()), SettingsXml(releasedInTime ? "new" : "old"));
    EXPECT_EQ(s.FilesInFolder(), 1);
  }
}

TEST(SettingsSharingViolation, ReadOnlyFileIsRefusedAtOnce) {
  SavedOld s;
  ASSERT_TRUE(SetFileAttributesW(s.SettingsPath().c_str(), FILE_ATTRIBUTE_READONLY));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(s.store.Save(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(500));
  EXPECT_EQ(ReadBytes(s.SettingsPath()), SettingsXml("old"));
  SetFileAttributesW(s.SettingsPath().c_str(), FILE_ATTRIBUTE_NORMAL);  // so that the folder can be removed
}

}  // namespace
