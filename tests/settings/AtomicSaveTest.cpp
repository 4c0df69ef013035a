// A save that fails half-way, as on a full disk: the file size limit makes the write fail after some bytes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "tests/settings/SettingsFileTest.h"

namespace {

// Lowers the soft file-size limit for its lifetime; writes beyond it fail with EFBIG instead of raising
// SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &m_saved);
    m_savedHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = m_saved;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_saved);
    signal(SIGXFSZ, m_savedHandler);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit m_saved{};
  void (*m_savedHandler)(int) = nullptr;
};

TEST(SettingsAtomicSave, WriteFailureLeavesTheOldFileWhole) {
  StoreInTempDir s;
  ASSERT_EQ(s.store.SetRSSNewsSels({"1001", "1002"}), 1);
  ASSERT_EQ(s.store.Save(), 1);
  const std::string before = ReadBytes(s.SettingsPath());

  ASSERT_EQ(s.store.SetRSSNewsSels(std::vector<CString>(2000, "ABCDEFGH")), 1);
  {
    const FileSizeLimit limit(4096);
    EXPECT_EQ(s.store.Save(), 0);
  }
  EXPECT_EQ(ReadBytes(s.SettingsPath()), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.Folder()), {}), 1);  // no temporary left
  ASSERT_EQ(s.store.Load(), 1);
  EXPECT_EQ(s.store.GetRSSNewsSels(), "1001,1002");
}

}  // namespace
