// The libcurl backend: one multi handle on one fetch thread carries every transfer. Name lookup, TLS
// (peer and host verified, libcurl's default) and proxies from the environment (http_proxy, https_proxy,
// no_proxy) are libcurl's own.
#include <curl/curl.h>

#include <algorithm>
#include <deque>
#include <map>
#include <thread>
#include <vector>

#include "libs/newssvc/source/http/HttpClient.h"
#include "port/Mutex.h"
#include "port/Text.h"

namespace newssvc {

namespace {
using port::Trim;

// Transfers in flight at once; the rest wait in the queue, so that their time-outs do not run while they
// wait for a connection.
constexpr std::size_t kMaxActive = 64;

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Transfer {
  std::unique_ptr<CURL, EasyDeleter> easy;
  std::unique_ptr<curl_slist, ListDeleter> headers;
  IHttpClient::Callback done;
  HttpResponse response;
  HttpLimits limits;
  std::size_t headerBytes = 0;
  bool headersTooLarge = false;
  bool tooLarge = false;
  char errorText[CURL_ERROR_SIZE] = {};
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const std::string line(data, size * count);
  transfer.headerBytes += line.size();
  if (transfer.headerBytes > transfer.limits.maxHeaders) {
    transfer.headersTooLarge = true;
    return 0;  // libcurl ends the transfer with a write error
  }
  if (line.rfind("HTTP/", 0) == 0) {
    transfer.response.headers.clear();  // an interim (1xx) response came first
  } else {
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos)
      transfer.response.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
  }
  return size * count;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  if (transfer.response.body.size() + bytes > transfer.limits.maxBody) {
    transfer.tooLarge = true;
    return 0;  // libcurl ends the transfer with a write error
  }
  transfer.response.body.append(data, bytes);
  return bytes;
}

class CCurlHttpClient final : public IHttpClient {
 public:
  explicit CCurlHttpClient(const HttpLimits& limits) : m_limits(limits) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, static_cast<long>(kMaxActive));
    m_thread = std::thread(&CCurlHttpClient::Run, this);
  }

  ~CCurlHttpClient() override {
    Close();
    for (auto& active : m_active) curl_multi_remove_handle(m_multi, active.first);
    m_active.clear();
    m_idle.clear();
    curl_multi_cleanup(m_multi);
    curl_global_cleanup();
  }

  const HttpLimits& Limits() const override { return m_limits; }

  void Close() EXCLUDES(m_mtx) override {
    {
      port::MutexLock lock(m_mtx);
      m_bStop = true;
    }
    curl_multi_wakeup(m_multi);
    if (m_thread.joinable()) m_thread.join();
  }

  // The fetch thread drains the queue whenever it runs, so only a request into an empty queue wakes it.
  void Start(HttpRequest request, Callback done) EXCLUDES(m_mtx) override {
    bool wasEmpty = false;
    {
      port::MutexLock lock(m_mtx);
      if (m_bStop) return;
      wasEmpty = m_queue.empty();
      m_queue.emplace_back(std::move(request), std::move(done));
    }
    if (wasEmpty) curl_multi_wakeup(m_multi);
  }

 private:
  void Run() EXCLUDES(m_mtx) {
    for (;;) {
      {
        port::MutexLock lock(m_mtx);
        if (m_bStop) return;
      }
      AddQueued();
      int running = 0;
      curl_multi_perform(m_multi, &running);
      FinishDone();
      if (QueuedWithSlotFree()) continue;  // finished transfers freed slots that queued requests take at once
      int ready = 0;
      curl_multi_poll(m_multi, nullptr, 0, 1000, &ready);
    }
  }

  bool QueuedWithSlotFree() EXCLUDES(m_mtx) {
    port::MutexLock lock(m_mtx);
    return !m_queue.empty() && m_active.size() < kMaxActive;
  }

  void AddQueued() EXCLUDES(m_mtx) {
    for (;;) {
      std::pair<HttpRequest, Callback> next;
      {
        port::MutexLock lock(m_mtx);
        if (m_queue.empty() || m_active.size() >= kMaxActive) return;
        next = std::move(m_queue.front());
        m_queue.pop_front();
      }
      auto transfer = Prepare(next.first);
      transfer->done = std::move(next.second);
      CURL* easy = transfer->easy.get();
      if (!easy) {
        transfer->response.error = "cannot create a transfer";
        transfer->done(std::move(transfer->response));
        continue;
      }
      curl_multi_add_handle(m_multi, easy);
      m_active.emplace(easy, std::move(transfer));
    }
  }

  // A transfer on an idle handle when there is one: handles are reused as a plain libcurl loop reuses them,
  // since making one costs more than a conditional exchange on a kept connection.
  std::unique_ptr<Transfer> Prepare(const HttpRequest& request) {
    auto transfer = std::make_unique<Transfer>();
    transfer->limits = m_limits;
    if (m_idle.empty()) {
      transfer->easy = NewHandle();
    } else {
      transfer->easy = std::move(m_idle.back());
      m_idle.pop_back();
    }
    CURL* easy = transfer->easy.get();
    if (!easy) return transfer;
    for (const auto& header : request.headers) {
      const std::string line = header.first + ": " + header.second;
      curl_slist* grown = curl_slist_append(transfer->headers.get(), line.c_str());
      if (grown) {
        transfer->headers.release();
        transfer->headers.reset(grown);
      }
    }
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers.get());
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorText);
    return transfer;
  }

  // A handle with the options every transfer shares.
  std::unique_ptr<CURL, EasyDeleter> NewHandle() const {
    std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    CURL* easy = handle.get();
    if (!easy) return handle;
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_limits.connect.count()));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(m_limits.transfer.count()));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                     std::max(1L, static_cast<long>((m_limits.stall.count() + 999) / 1000)));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(m_limits.maxBody));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
    return handle;
  }

  // The handle of a finished transfer waits for the next one, pointing at nothing of the old one.
  void Reuse(std::unique_ptr<CURL, EasyDeleter> handle) {
    CURL* easy = handle.get();
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
    if (m_idle.size() < kMaxActive) m_idle.push_back(std::move(handle));
  }

  void FinishDone() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      CURL* easy = message->easy_handle;
      const CURLcode result = message->data.result;
      curl_multi_remove_handle(m_multi, easy);
      const auto it = m_active.find(easy);
      if (it == m_active.end()) continue;
      std::unique_ptr<Transfer> transfer = std::move(it->second);
      m_active.erase(it);
      Complete(*transfer, result);
      Reuse(std::move(transfer->easy));
    }
  }

  // Time-outs and oversized headers in the words the WinHTTP backend uses too.
  static std::string ErrorText(const Transfer& transfer, CURLcode result) {
    if (transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED) return "body over the size limit";
    // libcurl refuses a header line of over 100 KiB itself, as "out of memory", before it reaches OnHeader;
    // nothing else runs out of memory in a transfer whose body is bounded.
    if (transfer.headersTooLarge || result == CURLE_OUT_OF_MEMORY) return "response headers over the size limit";
    long requestBytes = 0;  // none: the connection was never made
    curl_off_t totalUs = 0;
    curl_easy_getinfo(transfer.easy.get(), CURLINFO_REQUEST_SIZE, &requestBytes);
    curl_easy_getinfo(transfer.easy.get(), CURLINFO_TOTAL_TIME_T, &totalUs);
    if (result == CURLE_OPERATION_TIMEDOUT && requestBytes > 0)
      return totalUs / 1000 >= transfer.limits.transfer.count() ? "transfer timed out" : "transfer too slow";
    return std::string(curl_easy_strerror(result)) +
           (transfer.errorText[0] ? std::string(": ") + transfer.errorText : std::string());
  }

  static void Complete(Transfer& transfer, CURLcode result) {
    HttpResponse& response = transfer.response;
    CURL* easy = transfer.easy.get();
    long status = 0, headerBytes = 0, requestBytes = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(easy, CURLINFO_HEADER_SIZE, &headerBytes);
    curl_easy_getinfo(easy, CURLINFO_REQUEST_SIZE, &requestBytes);
    response.bytesReceived = static_cast<std::size_t>(headerBytes) + response.body.size();
    response.bytesSent = static_cast<std::size_t>(requestBytes);
    if (result == CURLE_OK) {
      response.status = static_cast<int>(status);
    } else {
      response.status = 0;
      response.body.clear();
      response.error = ErrorText(transfer, result);
    }
    transfer.done(std::move(response));
  }

  const HttpLimits m_limits;
  CURLM* m_multi = nullptr;
  std::map<CURL*, std::unique_ptr<Transfer>> m_active;     // fetch thread only
  std::vector<std::unique_ptr<CURL, EasyDeleter>> m_idle;  // fetch thread only: handles of finished transfers

  port::Mutex m_mtx;  // never held while libcurl or a callback is called
  std::deque<std::pair<HttpRequest, Callback>> m_queue GUARDED_BY(m_mtx);
  bool m_bStop GUARDED_BY(m_mtx) = false;

  std::thread m_thread;
};

}  // namespace

std::unique_ptr<IHttpClient> MakeHttpClient(const HttpLimits& limits) {
  return std::make_unique<CCurlHttpClient>(limits);
}

}  // namespace newssvc
