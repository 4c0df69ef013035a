// The news service's fetch figures, over rounds of 1,000 feeds that all answer 304 Not Modified:
//   11. the service's poll round, wall time, against a bare libcurl multi loop doing the same round (same
//      URLs, same If-None-Match, 64 transfers at a time, its connections kept from round to round: the
//      floor our fetcher stands on); `curl --parallel --parallel-max 64` over the same URLs is shown beside
//      it. The legs run in turns, each warmed by one round first;
//   12. the service's CPU time per unchanged feed in its rounds (the bench thread that waits for the round
//      to end is not counted);
//   13. the heap bytes one idle feed costs (its one-item store included).
// The web server runs in a child process on 127.0.0.1 (so the process's CPU time is the service's own): one
// event loop, a listen backlog far above the connections the legs open, every connection kept open. It
// counts its answers: each leg's round must get exactly 1,000 of them, all 304, or the figures are out. It also prints
// the bytes sent and received per unchanged feed per round. VXRSS_FIGURES=11,12 prints only those. Exits with 1 when a
// figure is out.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/FigureTable.h"
#include "libs/newssvc/session/FeedCatalog.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kFeeds = 1000;
constexpr int kRounds = 15;
constexpr long kParallel = 64;
// The server's listen backlog: far above the connections the legs open at once (64 each).
constexpr int kBacklog = 1024;
const char kFeed[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss version=\"2.0\"><channel><title>t</title><item><guid>g</guid>"
    "<title>one item</title><pubDate>Sat, 05 Dec 2026 09:30:00 +0800</pubDate></item></channel></rss>";

// The server's answers, counted in memory it shares with the parent. When `all` reaches `wakeAt`, the
// server writes a byte to the parent's wake pipe: the service's round is then all but over.
struct Answers {
  std::atomic<std::uint64_t> all{0};
  std::atomic<std::uint64_t> notModified{0};
  std::atomic<std::uint64_t> wakeAt{0};
  std::atomic<std::uint64_t> connections{0};  // accepted
};

// One connection of the server: what it has read of the requests and what is left to write.
struct Connection {
  std::string in;
  std::string out;
  bool writing = false;  // waiting for the socket to take `out`
};

// The answer to one request (its head in `head`): 304 when the reader sends the current ETag.
std::string Answer(const std::string& head, Answers& answers) {
  const bool current = head.find("\r\nIf-None-Match: \"v1\"\r\n") != std::string::npos ||
                       head.find("\r\nif-none-match: \"v1\"\r\n") != std::string::npos;
  if (!current)
    return "HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
           std::to_string(sizeof kFeed - 1) + "\r\n\r\n" + kFeed;
  ++answers.notModified;
  return "HTTP/1.1 304 Not Modified\r\nETag: \"v1\"\r\n\r\n";
}

// Writes what the connection has to write; false when the connection is to be closed.
bool Flush(int fd, Connection& connection) {
  while (!connection.out.empty()) {
    const ssize_t sent = send(fd, connection.out.data(), connection.out.size(), MSG_NOSIGNAL);
    if (sent < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
    connection.out.erase(0, static_cast<std::size_t>(sent));
  }
  return true;
}

// The child: a single-threaded event loop (epoll) that accepts every connection at once (backlog far above
// the legs' connections) and keeps them open. Ends with its parent, or after ten minutes at most.
[[noreturn]] void RunServer(int portPipe, int wakePipe, Answers* answers) {
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  alarm(600);
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, kBacklog) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    _exit(1);
  const int port = ntohs(address.sin_port);
  if (write(portPipe, &port, sizeof port) != sizeof port) _exit(1);
  const int poller = epoll_create1(0);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = listener;
  epoll_ctl(poller, EPOLL_CTL_ADD, listener, &event);
  std::map<int, Connection> connections;
  std::vector<epoll_event> ready(256);
  char buffer[16384];
  for (;;) {
    const int count = epoll_wait(poller, ready.data(), static_cast<int>(ready.size()), -1);
    for (int i = 0; i < count; ++i) {
      const int fd = ready[i].data.fd;
      if (fd == listener) {
        for (int client; (client = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK)) >= 0;) {
          ++answers->connections;
          const int one = 1;
          setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
          epoll_event added{};
          added.events = EPOLLIN;
          added.data.fd = client;
          epoll_ctl(poller, EPOLL_CTL_ADD, client, &added);
          connections[client];
        }
        continue;
      }
      Connection& connection = connections[fd];
      bool open = true;
      if (ready[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        open = got > 0 || (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
        if (got > 0) connection.in.append(buffer, static_cast<std::size_t>(got));
      }
      for (std::size_t end; open && (end = connection.in.find("\r\n\r\n")) != std::string::npos;) {
        connection.out += Answer(connection.in.substr(0, end + 2), *answers);
        connection.in.erase(0, end + 4);
        if (++answers->all == answers->wakeAt && write(wakePipe, "w", 1) != 1) _exit(1);
      }
      open = open && Flush(fd, connection);
      if (!open) {
        close(fd);  // also leaves the epoll set
        connections.erase(fd);
        continue;
      }
      if (connection.writing == connection.out.empty()) {
        connection.writing = !connection.out.empty();
        epoll_event changed{};
        changed.events = EPOLLIN | (connection.writing ? static_cast<unsigned>(EPOLLOUT) : 0u);
        changed.data.fd = fd;
        epoll_ctl(poller, EPOLL_CTL_MOD, fd, &changed);
      }
    }
  }
}

std::string Url(int port, int i) {
  return "http://127.0.0.1:" + std::to_string(port) + "/feed/" + std::to_string(i) + ".xml";
}

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// One round of curl over every URL, conditional, 64 at a time: wall seconds, -1 when curl failed.
double CurlRound(const std::string& configFile) {
  const Clock::time_point start = Clock::now();
  const int status =
      std::system(("curl --silent --parallel --parallel-max 64 --config " + configFile + " >/dev/null 2>&1").c_str());
  const double seconds = SecondsSince(start);
  return status == 0 ? seconds : -1;
}

// The bare libcurl loop: one multi handle, kParallel easy handles reused, connections kept between rounds.
class CBareLoop {
 public:
  explicit CBareLoop(int port) : m_multi(curl_multi_init()), m_easies(kParallel) {
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, kParallel);
    m_headers = curl_slist_append(nullptr, "If-None-Match: \"v1\"");
    for (int i = 0; i < kFeeds; ++i) m_urls.push_back(Url(port, i));
    for (CURL*& easy : m_easies) {
      easy = curl_easy_init();
      curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headers);
      curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Discard);
    }
  }
  ~CBareLoop() {
    for (CURL* easy : m_easies) curl_easy_cleanup(easy);
    curl_multi_cleanup(m_multi);
    curl_slist_free_all(m_headers);
  }
  CBareLoop(const CBareLoop&) = delete;
  CBareLoop& operator=(const CBareLoop&) = delete;

  // One round over every URL: wall seconds; `notModified` counts the 304s it got.
  double Round(int& notModified) {
    const Clock::time_point start = Clock::now();
    std::size_t next = 0;
    int active = 0;
    for (CURL* easy : m_easies) active += Add(easy, next);
    notModified = 0;
    while (active > 0) {
      int running = 0;
      curl_multi_perform(m_multi, &running);
      bool added = false;
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        long status = 0;
        curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
        if (message->data.result == CURLE_OK && status == 304) ++notModified;
        curl_multi_remove_handle(m_multi, message->easy_handle);
        --active;
        if (Add(message->easy_handle, next)) {
          ++active;
          added = true;
        }
      }
      if (!added && active > 0) curl_multi_poll(m_multi, nullptr, 0, 1000, nullptr);
    }
    return SecondsSince(start);
  }

 private:
  static std::size_t Discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }
  // Starts the next URL on the handle; false when every URL is started.
  bool Add(CURL* easy, std::size_t& next) {
    if (next >= m_urls.size()) return false;
    curl_easy_setopt(easy, CURLOPT_URL, m_urls[next++].c_str());
    return curl_multi_add_handle(m_multi, easy) == CURLM_OK;
  }

  CURLM* m_multi;
  curl_slist* m_headers = nullptr;
  std::vector<CURL*> m_easies;
  std::vector<std::string> m_urls;
};

class CServiceRounds {
 public:
  CServiceRounds(const fs::path& folder, int port, Answers& answers, int wakePipe)
      : m_catalog((folder / "RSSNewsSvc.xml").string().c_str(), ""), m_answers(answers), m_wakePipe(wakePipe) {
    std::ofstream config(folder / "RSSNewsSvc.xml");
    config << "<RSSNewsService pollMilliseconds=\"100\"><Category name=\"bench\">";
    for (int i = 0; i < kFeeds; ++i)
      config << "<Provider id=\"F" << i << "\" name=\"F\" source=\"" << Url(port, i) << "\"/>";
    config << "</Category></RSSNewsService>";
  }

  bool Load() { return m_catalog.Config().Load(); }

  // Starts one poll round and waits for every exchange of it: wall seconds, and the CPU seconds of the
  // process less those of this thread's waiting. The thread sleeps until the server has given its last
  // answer of the round, then looks for the service's last exchange every 20 us.
  void Round(double& wall, double& cpu) {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // every feed due again
    const std::uint64_t target = m_catalog.Scheduler().Traffic().exchanges + kFeeds;
    m_answers.wakeAt = m_answers.all + kFeeds;
    const double cpuStart = CpuSeconds(RUSAGE_SELF);
    const Clock::time_point start = Clock::now();
    m_catalog.Poll(false, 0);
    const double waitStart = CpuSeconds(RUSAGE_THREAD);
    pollfd wake{m_wakePipe, POLLIN, 0};
    char byte = 0;
    if (poll(&wake, 1, 10000) == 1 && read(m_wakePipe, &byte, 1) != 1) std::printf("the wake pipe failed\n");
    while (m_catalog.Scheduler().Traffic().exchanges < target && SecondsSince(start) < 20)
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    const double waiting = CpuSeconds(RUSAGE_THREAD) - waitStart;
    wall = SecondsSince(start);
    cpu = CpuSeconds(RUSAGE_SELF) - cpuStart - waiting;
  }

  newssvc::FetchTraffic Traffic() const { return m_catalog.Scheduler().Traffic(); }

  // Feeds whose last exchange failed: a round that counted failures would measure nothing.
  int Failing() const {
    int failing = 0;
    for (int i = 0; i < kFeeds; ++i) {
      newssvc::FeedState state;
      if (!m_catalog.Scheduler().FetchState(CString("F" + std::to_string(i)), state) || !state.lastError.empty())
        ++failing;
    }
    return failing;
  }

 private:
  newssvc::CFeedCatalog m_catalog;
  Answers& m_answers;
  const int m_wakePipe;
};

// What a leg's rounds got from the server; empty when every round got kFeeds answers, all 304.
class AnswerCheck {
 public:
  explicit AnswerCheck(const Answers& answers) : m_answers(answers) {}
  double Around(const char* leg, const std::function<double()>& round) {
    const std::uint64_t all = m_answers.all, notModified = m_answers.notModified, connections = m_answers.connections;
    const double seconds = round();
    m_connections.push_back(static_cast<double>(m_answers.connections - connections));
    const std::uint64_t gotAll = m_answers.all - all, got304 = m_answers.notModified - notModified;
    if ((gotAll != kFeeds || got304 != kFeeds || seconds < 0) && m_fault.empty())
      m_fault = std::string(leg) + ": a round got " + std::to_string(gotAll) + " answers, " + std::to_string(got304) +
                " of them 304, for " + std::to_string(kFeeds) + " feeds";
    return seconds;
  }
  const std::string& Fault() const { return m_fault; }
  // The median of the connections the server accepted per round.
  double Connections() const { return bench::Median(m_connections); }

 private:
  const Answers& m_answers;
  std::string m_fault;
  std::vector<double> m_connections;
};

}  // namespace

int main() {
  const bool roundFigure = bench::Selected(11), cpuFigure = bench::Selected(12), heapFigure = bench::Selected(13);
  if (!roundFigure && !cpuFigure && !heapFigure) return 0;
  void* shared = mmap(nullptr, sizeof(Answers), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) return 2;
  Answers* answers = new (shared) Answers;
  int pipeEnds[2], wakeEnds[2];
  if (pipe(pipeEnds) != 0 || pipe(wakeEnds) != 0) return 2;
  const pid_t server = fork();
  if (server == 0) RunServer(pipeEnds[1], wakeEnds[1], answers);
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
  curl_global_init(CURL_GLOBAL_DEFAULT);
  double idleBytes = 0, bytesPerFeed = 0;
  int failing = 0;
  std::vector<double> service, bare, curl, cpu, bareCpu, toBare, toCurl;
  AnswerCheck serviceAnswers(*answers), bareAnswers(*answers), curlAnswers(*answers);
  {
    // Each leg is warmed by one round; the bare loop's first, so that the heap its connections hold is not
    // counted as the feeds'.
    CBareLoop bareLoop(port);
    int notModified = 0;
    bareLoop.Round(notModified);
    CurlRound(curlConfig);
    const std::size_t heapBefore = mallinfo2().uordblks;
    CServiceRounds rounds(folder, port, *answers, wakeEnds[0]);
    if (!rounds.Load()) return 2;
    double wall = 0, cpuSeconds = 0;
    rounds.Round(wall, cpuSeconds);  // 200s: the ETags arrive
    rounds.Round(wall, cpuSeconds);
    const newssvc::FetchTraffic before = rounds.Traffic();
    const std::vector<std::function<void()>> legs = {
        [&] {
          service.push_back(serviceAnswers.Around("service", [&] {
            rounds.Round(wall, cpuSeconds);
            return wall;
          }));
          cpu.push_back(cpuSeconds);
        },
        [&] {
          const double cpuStart = CpuSeconds(RUSAGE_SELF);
          bare.push_back(bareAnswers.Around("bare libcurl loop", [&] {
            const double seconds = bareLoop.Round(notModified);
            return notModified == kFeeds ? seconds : -1;
          }));
          bareCpu.push_back(CpuSeconds(RUSAGE_SELF) - cpuStart);
        },
        [&] { curl.push_back(curlAnswers.Around("curl", [&] { return CurlRound(curlConfig); })); },
    };
    for (int r = 0; r < kRounds; ++r)
      for (std::size_t leg = 0; leg < legs.size(); ++leg) legs[(leg + r) % legs.size()]();
    const newssvc::FetchTraffic after = rounds.Traffic();
    bytesPerFeed =
        static_cast<double>(after.bytesSent + after.bytesReceived - before.bytesSent - before.bytesReceived) /
        (static_cast<double>(kFeeds) * kRounds);
    if (after.exchanges - before.exchanges != static_cast<std::uint64_t>(kFeeds) * kRounds)
      std::printf("the service made %llu exchanges in %d rounds\n",
                  static_cast<unsigned long long>(after.exchanges - before.exchanges), kRounds);
    idleBytes = static_cast<double>(mallinfo2().uordblks - heapBefore) / kFeeds;
    failing = rounds.Failing();
  }
  curl_global_cleanup();
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  fs::remove_all(folder);
  if (failing > 0) std::printf("%d feeds failing after the rounds\n", failing);

  for (int r = 0; r < kRounds; ++r) {
    toBare.push_back(service[r] / bare[r]);
    toCurl.push_back(service[r] / curl[r]);
  }
  const auto spread = [](const std::vector<double>& ratios) {
    return bench::Format("%.2f-%.2f", *std::min_element(ratios.begin(), ratios.end()),
                         *std::max_element(ratios.begin(), ratios.end()));
  };
  const double cpuPerFeed = bench::Median(cpu) / kFeeds * 1e6;
  const std::string roundFault = serviceAnswers.Fault() + bareAnswers.Fault() + curlAnswers.Fault();
  const bench::Figure figures[] = {
      {"poll round, 1,000 feeds all 304, vs bare libcurl multi loop", bench::Median(toBare), 1.5, "x",
       bench::Format("%.1f ms vs %.1f ms per round", bench::Median(service) * 1e3, bench::Median(bare) * 1e3) +
           " (rounds " + spread(toBare) + " x); " +
           bench::Format("vs curl --parallel-max 64: %.2f x, %.1f ms", bench::Median(toCurl),
                         bench::Median(curl) * 1e3) +
           " (rounds " + spread(toCurl) + " x)" +
           bench::Format("; new connections per round: service %.0f, bare loop %.0f", serviceAnswers.Connections(),
                         bareAnswers.Connections()) +
           bench::Format(", curl %.0f", curlAnswers.Connections(), 0),
       roundFault},
      {"service CPU per unchanged feed", cpuPerFeed, 40, "us",
       bench::Format("%.1f ms CPU per round (the bare loop: %.1f ms)", bench::Median(cpu) * 1e3,
                     bench::Median(bareCpu) * 1e3) +
           bench::Format("; %.0f bytes sent + received per feed", bytesPerFeed, 0),
       serviceAnswers.Fault() + (failing > 0 ? std::to_string(failing) + " feeds failing" : std::string())},
      {"heap bytes per idle feed", idleBytes, 16384, "B",
       bench::Format("%.0f B per feed at %.0f feeds", idleBytes, kFeeds), ""},
  };
  // After the manager's, the reader's and the archive's figures.
  return bench::PrintFigures(11, {roundFigure ? &figures[0] : nullptr, cpuFigure ? &figures[1] : nullptr,
                                  heapFigure ? &figures[2] : nullptr})
             ? 0
             : 1;
}
