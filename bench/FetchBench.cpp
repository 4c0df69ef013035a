// The news service's fetch figures, each measured beside its baseline in the same run (median of rounds):
//   11. a poll round over 1,000 feeds that all answer 304 Not Modified, wall time against
//      `curl --parallel --parallel-max 64` fetching the same URLs with the same If-None-Match;
//   12. the service's CPU time per unchanged feed in such a round;
//   13. the heap bytes one idle feed costs (its one-item store included).
// It also prints the bytes sent and received per unchanged feed per round. The web server runs in a child
// process on 127.0.0.1, so the process's CPU time is the service's own. Exits with 1 when a figure is out.
#include <httplib.h>
#include <malloc.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/FigureTable.h"
#include "libs/newssvc/FeedCatalog.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kFeeds = 1000;
constexpr int kRounds = 5;
const char kETag[] = "\"v1\"";
const char kFeed[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss version=\"2.0\"><channel><title>t</title><item><guid>g</guid>"
    "<title>one item</title><pubDate>Sat, 05 Dec 2026 09:30:00 +0800</pubDate></item></channel></rss>";

// The child: answers every /feed/N.xml, 304 when the reader sends the current ETag. Ends with its parent, or
// after ten minutes at most.
[[noreturn]] void RunServer(int portPipe) {
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  alarm(600);
  httplib::Server server;
  server.new_task_queue = [] { return new httplib::ThreadPool(96); };
  server.set_tcp_nodelay(true);
  server.set_keep_alive_max_count(1000);
  server.Get(R"(/feed/\d+\.xml)", [](const httplib::Request& request, httplib::Response& response) {
    response.set_header("ETag", kETag);
    if (request.get_header_value("If-None-Match") == kETag) {
      response.status = 304;
      return;
    }
    response.set_content(kFeed, "application/rss+xml");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  if (write(portPipe, &port, sizeof port) != sizeof port) _exit(1);
  server.listen_after_bind();
  _exit(0);
}

std::string Url(int port, int i) {
  return "http://127.0.0.1:" + std::to_string(port) + "/feed/" + std::to_string(i) + ".xml";
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// One round of curl over every URL, conditional, 64 at a time: wall seconds.
double CurlRound(const std::string& configFile) {
  const Clock::time_point start = Clock::now();
  const int status =
      std::system(("curl --silent --parallel --parallel-max 64 --config " + configFile + " >/dev/null 2>&1").c_str());
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return status == 0 ? seconds : -1;
}

class CServiceRounds {
 public:
  CServiceRounds(const fs::path& folder, int port) : m_catalog((folder / "RSSNewsSvc.xml").string().c_str(), "") {
    std::ofstream config(folder / "RSSNewsSvc.xml");
    config << "<RSSNewsService pollMilliseconds=\"100\"><Category name=\"bench\">";
    for (int i = 0; i < kFeeds; ++i)
      config << "<Provider id=\"F" << i << "\" name=\"F\" source=\"" << Url(port, i) << "\"/>";
    config << "</Category></RSSNewsService>";
  }

  bool Load() { return m_catalog.LoadConfig(); }

  // Starts one poll round and waits for every exchange of it: wall seconds, CPU seconds of the process.
  void Round(double& wall, double& cpu) {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // every feed due again
    const std::uint64_t target = m_catalog.Traffic().exchanges + kFeeds;
    const double cpuStart = CpuSeconds();
    const Clock::time_point start = Clock::now();
    m_catalog.Poll(false, 0);
    while (m_catalog.Traffic().exchanges < target) std::this_thread::sleep_for(std::chrono::microseconds(500));
    wall = std::chrono::duration<double>(Clock::now() - start).count();
    cpu = CpuSeconds() - cpuStart;
  }

  newssvc::FetchTraffic Traffic() const { return m_catalog.Traffic(); }

  // Feeds whose last exchange failed: a round that counted failures would measure nothing.
  int Failing() const {
    int failing = 0;
    for (int i = 0; i < kFeeds; ++i) {
      newssvc::FeedState state;
      if (!m_catalog.GetFetchState(CString("F" + std::to_string(i)), state) || !state.lastError.empty()) ++failing;
    }
    return failing;
  }

 private:
  newssvc::CFeedCatalog m_catalog;
};

}  // namespace

int main() {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return 2;
  const pid_t server = fork();
  if (server == 0) RunServer(pipeEnds[1]);
  int port = 0;
  if (read(pipeEnds[0], &port, sizeof port) != sizeof port || port <= 0) return 2;

  const fs::path folder = fs::temp_directory_path() / ("vxrss-fetch-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string curlConfig = (folder / "curl.cfg").string();
  {
    std::ofstream out(curlConfig);
    out << "header = \"If-None-Match: \\\"v1\\\"\"\n";
    for (int i = 0; i < kFeeds; ++i) out << "url = \"" << Url(port, i) << "\"\noutput = \"/dev/null\"\n";
  }

  std::printf("poll rounds over %d feeds on 127.0.0.1:%d...\n", kFeeds, port);
  std::fflush(stdout);
  const std::size_t heapBefore = mallinfo2().uordblks;
  double idleBytes = 0, bytesPerFeed = 0;
  int failing = 0;
  std::vector<double> service, curl, cpu;
  {
    CServiceRounds rounds(folder, port);
    if (!rounds.Load()) return 2;
    double wall = 0, cpuSeconds = 0;
    rounds.Round(wall, cpuSeconds);  // 200s: the ETags arrive
    const newssvc::FetchTraffic before = rounds.Traffic();
    for (int r = 0; r < kRounds; ++r) {
      rounds.Round(wall, cpuSeconds);
      service.push_back(wall);
      cpu.push_back(cpuSeconds);
      curl.push_back(CurlRound(curlConfig));
    }
    const newssvc::FetchTraffic after = rounds.Traffic();
    bytesPerFeed =
        static_cast<double>(after.bytesSent + after.bytesReceived - before.bytesSent - before.bytesReceived) /
        (static_cast<double>(kFeeds) * kRounds);
    idleBytes = static_cast<double>(mallinfo2().uordblks - heapBefore) / kFeeds;
    failing = rounds.Failing();
  }
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  fs::remove_all(folder);
  if (*std::min_element(curl.begin(), curl.end()) < 0 || failing > 0) {
    std::printf("the rounds failed: curl %s, %d feeds failing\n",
                *std::min_element(curl.begin(), curl.end()) < 0 ? "failed" : "ok", failing);
    return 2;
  }

  const double serviceWall = Median(service), curlWall = Median(curl), cpuPerFeed = Median(cpu) / kFeeds * 1e6;
  char detail[3][160];
  std::snprintf(detail[0], sizeof detail[0], "%.0f ms vs %.0f ms per round", serviceWall * 1e3, curlWall * 1e3);
  std::snprintf(detail[1], sizeof detail[1], "%.1f ms CPU per round; %.0f bytes sent + received per feed",
                Median(cpu) * 1e3, bytesPerFeed);
  std::snprintf(detail[2], sizeof detail[2], "%.0f B per feed at %d feeds", idleBytes, kFeeds);
  const std::vector<bench::Figure> figures = {
      {"poll round, 1,000 feeds all 304, vs curl --parallel-max 64", serviceWall / curlWall, 1.5, "x", detail[0]},
      {"service CPU per unchanged feed", cpuPerFeed, 100, "us", detail[1]},
      {"heap bytes per idle feed", idleBytes, 16384, "B", detail[2]},
  };
  return bench::PrintFigures(11, figures) ? 0 : 1;  // after the manager's, the reader's and the archive's
}
