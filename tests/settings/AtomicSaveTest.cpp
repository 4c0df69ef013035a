// How a save meets the file system: a write that fails half-way, the syncs that make it durable, a second
// writer, and a settings file that is read-only, has its own permissions or is a symbolic link.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "tests/settings/SettingsFileTest.h"

namespace fs = std::filesystem;

namespace {

// fsync and rename are replaced for this test program (below) so that a test can see the calls a save
// makes and make a sync fail. A function replacing a C library call can reach no object of the test, so
// the record lives here, one per thread: a writer on another thread leaves the test's record alone.
struct FileCallRecord {
  std::vector<std::string> calls;
  std::function<bool(const std::string&)> failSync;  // fsync of a path it accepts fails with EIO
};

thread_local FileCallRecord callRecord;

// Records the fsync and rename calls this thread makes while it lives; fsync of a path `failSync` accepts fails.
class FileCalls {
 public:
  explicit FileCalls(std::function<bool(const std::string&)> failSync = nullptr) {
    callRecord = {{}, std::move(failSync)};
  }
  ~FileCalls() { callRecord = {}; }
  FileCalls(const FileCalls&) = delete;
  FileCalls& operator=(const FileCalls&) = delete;
};

// Lowers the soft file-size limit for its lifetime; with SIGXFSZ ignored, writes beyond it fail with EFBIG.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_saved);
    const rlimit lowered{bytes, m_saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit m_saved{};
};

}  // namespace

extern "C" int fsync(int fd) {
  static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  std::error_code unknown;  // gives an empty path
  const std::string path = fs::read_symlink("/proc/self/fd/" + std::to_string(fd), unknown).string();
  callRecord.calls.push_back("fsync " + path);
  if (!callRecord.failSync || !callRecord.failSync(path)) return real(fd);
  errno = EIO;
  return -1;
}

extern "C" int rename(const char* from, const char* to) noexcept {
  static const auto real = reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"));
  callRecord.calls.push_back(std::string("rename ") + from + " " + to);
  return real(from, to);
}

TEST(SettingsAtomicSave, TwoWritersAtOnceEachInstallAWholeFile) {
  StoreInTempDir first;
  CRSSNewsDataMgr second(first.store);  // the same file
  ASSERT_EQ(first.store.SetRSSNewsSels(std::vector<CString>(300, "first")), 1);
  ASSERT_EQ(second.SetRSSNewsSels(std::vector<CString>(300, "second")), 1);
  std::thread other([&] {
    for (int i = 0; i < 100; ++i) EXPECT_EQ(second.Save(), 1);
  });
  for (int i = 0; i < 100; ++i) EXPECT_EQ(first.store.Save(), 1);
  other.join();
  EXPECT_THAT(ReadBytes(first.SettingsPath()), testing::AnyOf(SettingsXml(first.store.GetRSSNewsSels().str()),
                                                              SettingsXml(second.GetRSSNewsSels().str())));
  EXPECT_EQ(first.FilesInFolder(), 1);
}

TEST(SettingsDurableSave, SyncsTheNewFileBeforeTheMoveAndTheFolderAfterIt) {
  SavedOld s;
  const fs::path folder = fs::canonical(s.dir.path());  // as the descriptors name it
  const FileCalls calls;
  ASSERT_EQ(s.store.Save(), 1);
  const std::vector<std::string>& log = callRecord.calls;
  ASSERT_EQ(log.size(), 3u);
  const std::string synced = log[0].substr(log[0].find(' ') + 1);
  EXPECT_EQ(fs::path(synced).parent_path(), folder) << log[0];  // a temporary file beside the settings file
  EXPECT_EQ(log[1], "rename " + synced + " " + (folder / CRSSNewsDataMgr::kFileName).string());
  EXPECT_EQ(log[2], "fsync " + folder.string());
}

// A save that fails on the way (a write, as on a full disk, or a sync) returns 0 and leaves no temporary
// file; until the move, the old file stays whole; a failed folder sync comes after the move.
TEST(SettingsDurableSave, AFailedWriteOrSyncFailsTheSave) {
  enum Failing { kWrite, kFileSync, kFolderSync };
  for (const Failing failing : {kWrite, kFileSync, kFolderSync}) {
    SavedOld s;
    ASSERT_EQ(s.store.SetRSSNewsSels(std::vector<CString>(2000, "ABCDEFGH")), 1);  // 18 kB, written in parts
    const std::string folder = fs::canonical(s.dir.path()).string();
    {
      const FileSizeLimit limit(failing == kWrite ? 4096 : 1 << 20);
      const FileCalls calls([&](const std::string& path) {
        return failing == kFolderSync ? path == folder : failing == kFileSync && path.rfind(folder + "/", 0) == 0;
      });
      EXPECT_EQ(s.store.Save(), 0) << failing;
    }
    const std::string saved = failing == kFolderSync ? s.store.GetRSSNewsSels().str() : "old";  // moved or not
    EXPECT_EQ(ReadBytes(s.SettingsPath()), SettingsXml(saved)) << failing;
    EXPECT_EQ(s.FilesInFolder(), 1) << failing;
  }
}

// The file the settings path leads to is replaced, through a symbolic link, and keeps its permissions; a
// read-only one is refused even for a user who could write it anyway.
TEST(SettingsSaveTarget, WritesThroughALinkKeepsPermissionsAndRefusesAReadOnlyFile) {
  SavedOld s;
  const fs::path real = s.dir.path() / "profile" / "real.xml";
  fs::create_directory(real.parent_path());
  fs::rename(s.SettingsPath(), real);
  fs::create_symlink(fs::path("profile") / "real.xml", s.SettingsPath());  // relative to the link's folder
  const fs::perms ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
  fs::permissions(real, ownerOnly);
  ASSERT_EQ(s.store.Save(), 1);
  EXPECT_TRUE(fs::is_symlink(s.SettingsPath()));
  EXPECT_EQ(fs::status(real).permissions(), ownerOnly);

  const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read;
  fs::permissions(real, readOnly);
  ASSERT_EQ(s.store.SetRSSNewsSels({"newer"}), 1);
  EXPECT_EQ(s.store.Save(), 0);
  EXPECT_EQ(ReadBytes(real), SettingsXml("new"));
  EXPECT_EQ(fs::status(real).permissions(), readOnly);
  EXPECT_EQ(std::distance(fs::directory_iterator(real.parent_path()), {}), 1);  // no temporary left
}
