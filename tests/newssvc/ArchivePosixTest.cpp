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
#include <map>
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

// A host process: a session booked for provider A that, at every change reported, appends to `file` a line
// per headline it can see (serial, title, content; with write(2), so that they reach the file before a
// kill). From item `first` on (0: never) it is also the publisher, adding an item to a.xml every few
// milliseconds. It runs until it is killed.
[[noreturn]] void HostUntilKilled(const std::string& folder, const std::string& file, int first) {
  const int reported = ::open((folder + "/" + file).c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
  newssvc::CRssNewsSession session{CString(folder.c_str()), CString(), CString()};
  // A host killed inside its write(2) can leave its last line unfinished (cut in a title, say): this host's
  // first line must not run on from it and make up a title.
  if (reported < 0 || ::write(reported, "\n", 1) != 1 || !session.Open()) std::_Exit(1);
  RecordingSink sink;
  sink.onEvent = [&](const std::string&) {
    Headlines list;
    session.GetTotalHeadline("A", list);
    std::string lines;
    for (std::size_t i = 0; i < list.size() && i < 30; ++i) {
      CString content;
      session.GetNewsContent("A", list[i].lKey1, list[i].lKey2, content);
      lines += std::to_string(list[i].lKey1) + "\t" + newssvc::BlockTitle(list[i]).str() + "\t" + content.str() + "\n";
    }
    if (::write(reported, lines.data(), lines.size()) < 0) std::_Exit(1);
  };
  session.Login(&sink);
  session.BookProviderNews("A");
  if (session.Connect() == 0) std::_Exit(1);
  const std::string feed = folder + "/a.xml";
  for (int last = first;; ++last) {
    if (first > 0) {
      {
        std::ofstream out(feed + ".tmp", std::ios::trunc);
        out << NumberedFeed(std::max(first, last - 20), last, 200);
      }
      std::rename((feed + ".tmp").c_str(), feed.c_str());
      session.UpdateProviderCache();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

struct Reported {
  long serial;
  std::string title, content;
};

std::vector<Reported> ReportedLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<Reported> lines;
  // A line without its line break was cut short by a kill: not taken.
  for (std::string line; std::getline(in, line) && !in.eof();) {
    const std::size_t tab = line.find('\t'), second = line.find('\t', tab + 1);
    if (second != std::string::npos)
      lines.push_back({std::atol(line.c_str()), line.substr(tab + 1, second - tab - 1), line.substr(second + 1)});
  }
  return lines;
}

std::set<std::string> ReportedTitles(const std::string& folder) {
  std::set<std::string> titles;
  for (const Reported& line : ReportedLines(folder + "/reported.txt")) titles.insert(line.title);
  return titles;
}

TEST_F(ArchiveTest, KilledAtRandomMomentsItNeverLosesAReportedItemNorItsIntegrity) {
  Stop();  // the child is the only process that writes, and this one has no thread of the service left to fork
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delay(20, 250);
  for (int run = 0; run < 20; ++run) {
    const std::size_t before = ReportedTitles(m_folder.Path()).size();
    const pid_t child = ::fork();
    if (child == 0) HostUntilKilled(m_folder.Path(), "reported.txt", run * 1000 + 1);
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
      ASSERT_EQ(archived.count(title), 1u) << title << " was reported but is not archived (run " << run << "; "
                                           << titles.size() << " items archived, the last by serial "
                                           << (titles.empty() ? "none" : titles.back()) << "); the archive's log:\n"
                                           << std::ifstream(m_folder.Path() + "/RSSNewsSvc_archive.log").rdbuf();
  }
}

// Two hosts on one archive folder, both ingesting one growing feed: every item is archived once, under
// the one serial both hosts show it with, beside its own text.
TEST_F(ArchiveTest, TwoProcessesOnOneFolderShowEveryItemUnderTheSerialTheArchiveHoldsItUnder) {
  Stop();  // no thread of the service left to fork
  constexpr int kItems = 150;
  std::vector<pid_t> hosts;
  for (const char* file : {"host1.txt", "host2.txt"}) {
    const pid_t child = ::fork();
    if (child == 0) HostUntilKilled(m_folder.Path(), file, 0);
    ASSERT_GT(child, 0);
    hosts.push_back(child);
  }
  for (int last = 1; last <= kItems; ++last) {
    m_folder.Write("a.xml", NumberedFeed(std::max(1, last - 60), last));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string newest = "g" + std::to_string(kItems);
  for (const char* file : {"host1.txt", "host2.txt"})
    EXPECT_TRUE(Eventually([&] {
      const std::vector<Reported> lines = ReportedLines(m_folder.Path() + "/" + file);
      return std::any_of(lines.begin(), lines.end(), [&](const Reported& line) { return line.title == newest; });
    })) << file;
  for (const pid_t host : hosts) {
    ::kill(host, SIGKILL);
    ::waitpid(host, nullptr, 0);
  }

  const std::vector<std::string> titles = ArchivedKeys("title"), serials = ArchivedKeys("serial");
  ASSERT_EQ(titles.size(), kItems + 1u);  // with a1
  std::map<long, std::string> archived;
  for (std::size_t i = 0; i < titles.size(); ++i) archived[std::atol(serials[i].c_str())] = titles[i];
  for (const char* file : {"host1.txt", "host2.txt"}) {
    const std::vector<Reported> lines = ReportedLines(m_folder.Path() + "/" + file);
    ASSERT_FALSE(lines.empty()) << file;
    for (const Reported& line : lines) {
      ASSERT_EQ(archived[line.serial], line.title) << file << " serial " << line.serial;
      ASSERT_NE(line.content.find(">" + line.title + "<"), std::string::npos) << file << ": " << line.content;
    }
  }
  EXPECT_EQ(LogLines("cannot write"), 0);
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
