// Another program holding the settings file open without sharing it, as a virus scanner or an indexer does
// for a moment: the save waits for about a second, then gives up and leaves the file as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "tests/settings/SettingsFileTest.h"

namespace {

using std::chrono::milliseconds;

// Opens the file without sharing it and closes it again after `hold`.
class UnsharedOpen {
 public:
  UnsharedOpen(const std::filesystem::path& path, milliseconds hold)
      : m_handle(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)),
        m_closer([this, hold] {
          std::this_thread::sleep_for(hold);
          if (IsOpen()) CloseHandle(m_handle);
        }) {}
  ~UnsharedOpen() { m_closer.join(); }
  UnsharedOpen(const UnsharedOpen&) = delete;
  UnsharedOpen& operator=(const UnsharedOpen&) = delete;

  bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

 private:
  const HANDLE m_handle;
  std::thread m_closer;
};

TEST(SettingsSharingViolation, SaveWaitsAboutASecondForAFileHeldOpenThenGivesUp) {
  for (const bool releasedInTime : {true, false}) {
    SavedOld s;
    {
      const UnsharedOpen scanner(s.SettingsPath(), milliseconds(releasedInTime ? 300 : 4000));
      ASSERT_TRUE(scanner.IsOpen());
      const auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(s.store.Save(), releasedInTime ? 1 : 0);
      const auto waited = std::chrono::steady_clock::now() - start;
      EXPECT_GE(waited, milliseconds(releasedInTime ? 200 : 900));
      EXPECT_LT(waited, milliseconds(3000));
    }
    EXPECT_EQ(ReadBytes(s.SettingsPath()), SettingsXml(releasedInTime ? "new" : "old"));
    EXPECT_EQ(s.FilesInFolder(), 1u);
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
