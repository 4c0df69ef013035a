// The archive against what only POSIX lets a test do: kill the ingesting process at random moments, fill
// the disk (RLIMIT_FSIZE), make the file read-only.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <set>

#include "tests/newssvc/ServiceFixture.h"

namespace newssvc_test {
namespace {

// Drops root's right to write files it has no write permission for, on this thread and the threads it
// starts from now on (a session's threads), and gives it back to this thread at the end. Nothing to do
// for other users.
class NoDacOverride {
 public:
  NoDacOverride() {
    m_header.version = _LINUX_CAPABILITY_VERSION_3;
    if (syscall(SYS_capget, &m_header, m_saved) != 0) return;
    __user_cap_data_struct dropped[2] = {m_saved[0], m_saved[1]};
    dropped[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
    m_bDropped = syscall(SYS_capset, &m_header, dropped) == 0;
  }
  ~NoDacOverride() {
    if (m_bDropped) syscall(SYS_capset, &m_header, m_saved);
  }

 private:
  __user_cap_header_struct m_header{};
  __user_cap_data_struct m_saved[2]{};
  bool m_bDropped = false;
};

// The ingesting child: a session booked for provider A, a publisher adding an item to a.xml every few
// milliseconds, and a host that, at every change reported, appends the titles it can see to reported.txt
// (with write(2), so that they reach the file before a kill). It runs until it is killed.
[[noreturn]] void IngestUntilKilled(const std::string& folder, int first) {
  const int reported = ::open((folder + "/reported.txt").c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
  newssvc::CRssNewsSession session{CString(folder.c_str()), CString(), CString()};
  if (reported < 0 || !session.Open()) std::_Exit(1);
  RecordingSink sink;
  sink.onEvent = [&](const std::string&) {
    Headlines list;
    session.GetTotalHeadline("A", list);
    std::string titles;
    for (std::size_t i = 0; i < list.size() && i < 30; ++i) titles += newssvc::BlockTitle(list[i]).str() + "\n";
    if (::write(reported, titles.data(), titles.size()) < 0) std::_Exit(1);
  };
  session.Login(&sink);
  session.BookProviderNews("A");
  if (session.Connect() == 0) std::_Exit(1);
  const std::string feed = folder + "/a.xml";
  for (int last = first;; ++last) {
    {
      std::ofstream out(feed + ".tmp", std::ios::trunc);
      out << NumberedFeed(std::max(first, last - 20), last, 200);
    }
    std::rename((feed + ".tmp").c_str(), feed.c_str());
    session.UpdateProviderCache();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::set<std::string> ReportedTitles(const std::string& folder) {
  std::ifstream in(folder + "/reported.txt");
  std::set<std::string> titles;
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) titles.insert(line);
  return titles;
}

TEST_F(ArchiveTest, KilledAtRandomMomentsItNeverLosesAReportedItemNorItsIntegrity) {
  Stop();  // the child is the only process that writes, and this one has no thread of the service left to fork
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delay(20, 250);
  for (int run = 0; run < 20; ++run) {
    const std::size_t before = ReportedTitles(m_folder.Path()).size();
    const pid_t child = ::fork();
    if (child == 0) IngestUntilKilled(m_folder.Path(), run * 1000 + 1);
    ASSERT_GT(child, 0);
    ASSERT_TRUE(Eventually([&] { return ReportedTitles(m_folder.Path()).size() > before; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "run " << run;

    ASSERT_EQ(IntegrityCheck(), "ok") << "run " << run;
    const std::vector<std::string> titles = ArchivedKeys("title");
    const std::set<std::string> archived(titles.begin(), titles.end());
    for (const std::string& title : ReportedTitles(m_folder.Path()))
      ASSERT_EQ(archived.count(title), 1u) << title << " was reported but is not archived (run " << run << ")";
  }
}

TEST_F(ArchiveTest, AFullDiskOrAReadOnlyFileIsLoggedOnceServedFromMemoryAndWrittenLater) {
  struct Fault {
    const char* name;
    std::function<void()> begin, end;
  };
  std::unique_ptr<NoDacOverride> noOverride;
  rlimit unlimited{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
  const std::vector<Fault> faults = {
      {"full disk",
       [&] {
         ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
         rlimit limit = unlimited;
         limit.rlim_cur = 256 * 1024;
         setrlimit(RLIMIT_FSIZE, &limit);
       },
       [&] { setrlimit(RLIMIT_FSIZE, &unlimited); }},
      {"read-only file",
       [&] {
         Stop();
         ::chmod(ArchivePath().c_str(), 0444);
         noOverride = std::make_unique<NoDacOverride>();
         Restart();
       },
       [&] { ::chmod(ArchivePath().c_str(), 0644); }},
  };
  int first = 1;
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    const int logged = LogLines("cannot write");
    m_session->BookProviderNews("A");
    fault.begin();
    // Batches of big items until a write fails, and two more: each reported and answered all the same.
    int failedAt = 0;
    for (int batch = 0; batch < 40 && (failedAt == 0 || batch < failedAt + 2); ++batch, first += 30) {
      m_folder.Write("a.xml", NumberedFeed(first, first + 29, 3000));
      const std::string newest = "g" + std::to_string(first + 29);
      ASSERT_TRUE(Eventually([&] {
        const std::vector<std::string> titles = Titles("A", 20261205);
        return !titles.empty() && titles.front() == newest;
      })) << batch;
      if (failedAt == 0 && LogLines("cannot write") > logged) failedAt = batch;
    }
    ASSERT_GT(failedAt + 0, 0) << "no write failed";
    EXPECT_EQ(LogLines("cannot write"), logged + 1);
    fault.end();
    const std::string newest = "g" + std::to_string(first - 1);
    EXPECT_TRUE(Eventually([&] { return Archived(newest); }));
    noOverride.reset();
  }
  EXPECT_EQ(LogLines("is written again"), 2);
  EXPECT_EQ(IntegrityCheck(), "ok");
}

}  // namespace
}  // namespace newssvc_test
