// The WinHTTP backend: the system's HTTP stack, with the system's proxy settings and certificate store
// (certificates verified, WinHTTP's default), through its asynchronous API, as the libcurl backend uses its
// multi handle: many exchanges at once and one fetch thread of ours. WinHTTP's status callbacks take each
// exchange from step to step on WinHTTP's threads; the fetch thread starts the exchanges, keeps the
// connection, transfer and stall limits by its own clock (so a server that sends nothing is bounded as well
// as one that sends slowly), ends those that overrun them and runs the callers' callbacks. Failures are told
// in libcurl's words, so the log reads alike on both platforms.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "libs/newssvc/source/http/HttpClient.h"
#include "port/Mutex.h"
#include "port/Text.h"

namespace newssvc {

namespace {

using port::Trim;
using Clock = std::chrono::steady_clock;

// Transfers in flight at once; the rest wait in the queue, so that their limits do not run while they wait.
constexpr std::size_t kMaxActive = 64;
// How long the destructor waits for WinHTTP to let go of the requests it closed. Windows cancels at once;
// Wine ends a request only when its socket's own time-out does, so the rest are left to end on their own.
constexpr std::chrono::milliseconds kCloseWait{500};
// A handle a callback was busy with is closed this much later.
constexpr std::chrono::milliseconds kCloseRetry{20};
// WinHTTP's own time-outs come this much later than the limits kept here, so that these speak first.
constexpr int kBackstopMs = 1000;

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], length, nullptr, nullptr);
  return utf8;
}

long long MsSince(Clock::time_point start, Clock::time_point now) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count();
}

struct HandleCloser {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct Transfer;

// What a transfer tells the fetch thread: its answer, or that WinHTTP let go of it (then it may be freed).
struct Event {
  Transfer* transfer;
  bool closing;
  HttpResponse response;
};

// What the client shares with WinHTTP's threads. A transfer the destructor could not wait for keeps it alive.
struct Inbox {
  port::Mutex mtx;
  port::CondVar cv;
  std::deque<std::pair<HttpRequest, IHttpClient::Callback>> requests GUARDED_BY(mtx);
  std::vector<Event> events GUARDED_BY(mtx);
  std::set<Transfer*> abandoned GUARDED_BY(mtx);  // freed by their last callback
  bool stop GUARDED_BY(mtx) = false;
};

enum class Phase { kConnecting, kAwaitingHeaders, kBody };

// One exchange, from its request handle's opening until WinHTTP lets go of it (HANDLE_CLOSING).
//
// WinHTTP's callbacks drive its steps (the request sent, the headers, each read), on WinHTTP's threads: Wine
// reads a chunked body's next chunk header inside WinHttpReadData, so a read may block its caller, and the
// fetch thread must make none. They hold `io` while they call WinHTTP, and so does whoever closes the handle:
// a closed handle's number is soon given to another request. `io` is recursive, since WinHTTP may report a
// step's end inline, within the call that began it.
struct Transfer {
  // Set before the request is sent.
  std::shared_ptr<Inbox> inbox;
  HttpLimits limits;
  std::string host;
  INTERNET_PORT port = 0;
  Clock::time_point started;

  // The fetch thread's.
  Handle connection;
  IHttpClient::Callback done;
  bool finished = false;  // its answer is given, or it was dropped
  Clock::time_point windowStart;
  std::size_t windowBase = 0;  // body bytes before the window

  // Progress for the fetch thread's limits, and its wish to end the exchange.
  std::atomic<Clock::rep> sentAt{0};  // when the request was out; 0 before
  std::atomic<std::size_t> bodyBytes{0};
  std::atomic<bool> closeWanted{false};

  // The callbacks'.
  std::recursive_mutex io;
  HINTERNET request = nullptr;  // null once closed
  Phase phase = Phase::kConnecting;
  HttpResponse response;
  std::size_t replyBytes = 0;  // what arrived before the body
  DWORD certificateFlags = 0;  // from SECURE_FAILURE
  bool chunked = false;
  bool serverClosed = false;  // the server closed the connection while the body was read
  std::size_t contentLength = std::string::npos;
  std::array<char, 16384> buffer;
};

// To the fetch thread; an abandoned transfer's last callback frees it instead.
void Post(Transfer& transfer, bool closing, HttpResponse response = HttpResponse()) {
  const std::shared_ptr<Inbox> inbox = transfer.inbox;
  std::unique_ptr<Transfer> released;
  {
    port::MutexLock lock(inbox->mtx);
    if (inbox->abandoned.count(&transfer) == 0) {
      inbox->events.push_back({&transfer, closing, std::move(response)});
    } else if (closing) {
      inbox->abandoned.erase(&transfer);
      released.reset(&transfer);
    }
  }
  inbox->cv.notify_all();
}

// Under `io`. The handle is marked closed first: a callback WinHTTP makes within the call sees it so.
void CloseRequest(Transfer& transfer) {
  HINTERNET request = transfer.request;
  transfer.request = nullptr;
  if (request) WinHttpCloseHandle(request);
}

std::string ConnectTimeout(const Transfer& transfer, Clock::time_point now) {
  return "Timeout was reached: Connection timed out after " + std::to_string(MsSince(transfer.started, now)) +
         " milliseconds";
}

std::string CertificateProblem(DWORD error, DWORD flags) {
  if (error == ERROR_WINHTTP_SECURE_INVALID_CA || (flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA))
    return "unable to get local issuer certificate";
  if (error == ERROR_WINHTTP_SECURE_CERT_DATE_INVALID || (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID))
    return "certificate has expired or is not yet valid";
  if (error == ERROR_WINHTTP_SECURE_CERT_CN_INVALID || (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID))
    return "certificate subject name does not match the host name";
  if (error == ERROR_WINHTTP_SECURE_CERT_REVOKED || (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED))
    return "certificate revoked";
  return "certificate refused";
}

// libcurl's words for WinHTTP's errors (Wine passes some socket errors through as they are).
std::string Words(const Transfer& transfer, DWORD error) {
  const bool inBody = transfer.phase == Phase::kBody;
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT:
      return transfer.phase == Phase::kConnecting ? ConnectTimeout(transfer, Clock::now()) : "transfer too slow";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return "Couldn't resolve host name: Could not resolve host: " + transfer.host;
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return "Couldn't connect to server: Failed to connect to " + transfer.host + " port " +
             std::to_string(transfer.port) + " after " + std::to_string(MsSince(transfer.started, Clock::now())) +
             " ms: Couldn't connect to server";
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
      return "SSL peer certificate or SSH remote key was not OK: SSL certificate problem: " +
             CertificateProblem(error, transfer.certificateFlags);
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:  // Wine's answer to a certificate it does not trust, too
      return "SSL peer certificate or SSH remote key was not OK: the server's certificate was refused or the TLS "
             "handshake failed";
    case ERROR_WINHTTP_HEADER_SIZE_OVERFLOW:
      return "response headers over the size limit";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
      if (inBody) break;
      return transfer.replyBytes == 0 ? "Server returned nothing (no headers, no data)" : "Weird server reply";
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case WSAECONNRESET:
      if (inBody) break;
      return "Failure when receiving data from the peer";
    default:
      return "WinHTTP error " + std::to_string(error);
  }
  return "Transferred a partial file: transfer closed with outstanding read data remaining";
}

// The exchange's end: the answer goes to the fetch thread, once (a call that ended it inline may still
// report its failure), and the handle is closed. In that order: closing may tell HANDLE_CLOSING at once.
void End(Transfer& transfer, const std::string& error = std::string()) {
  if (!transfer.request) return;
  if (!error.empty()) {
    transfer.response.status = 0;
    transfer.response.body.clear();
    transfer.response.error = error;
  }
  Post(transfer, false, std::move(transfer.response));
  CloseRequest(transfer);
}

void MarkSent(Transfer& transfer) {
  if (transfer.phase != Phase::kConnecting) return;
  transfer.phase = Phase::kAwaitingHeaders;
  transfer.sentAt = Clock::now().time_since_epoch().count();
}

void QueryData(Transfer& transfer) {
  if (!WinHttpQueryDataAvailable(transfer.request, nullptr)) End(transfer, Words(transfer, GetLastError()));
}

// False when they are over the size limit.
bool ReadHeaders(Transfer& transfer) {
  HttpResponse& response = transfer.response;
  DWORD bytes = 0;
  WinHttpQueryHeaders(transfer.request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &bytes,
                      WINHTTP_NO_HEADER_INDEX);
  std::wstring raw(bytes / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(transfer.request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, &raw[0],
                           &bytes, WINHTTP_NO_HEADER_INDEX))
    return true;
  raw.resize(bytes / sizeof(wchar_t));
  const std::string text = Narrow(raw);
  response.bytesReceived += text.size();
  if (text.size() > transfer.limits.maxHeaders) return false;
  DWORD status = 0, size = sizeof status;
  WinHttpQueryHeaders(transfer.request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  response.status = static_cast<int>(status);
  std::size_t start = text.find("\r\n");  // after the status line
  while (start != std::string::npos && start + 2 < text.size()) {
    const std::size_t end = text.find("\r\n", start + 2);
    const std::string line = text.substr(start + 2, end == std::string::npos ? std::string::npos : end - start - 2);
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos)
      response.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    start = end;
  }
  return true;
}

void OnHeaders(Transfer& transfer) {
  if (!ReadHeaders(transfer)) return End(transfer, "response headers over the size limit");
  const HttpHeaders& headers = transfer.response.headers;
  const std::string length = HeaderValue(headers, "Content-Length");
  if (!length.empty()) transfer.contentLength = std::strtoull(length.c_str(), nullptr, 10);
  if (transfer.contentLength != std::string::npos && transfer.contentLength > transfer.limits.maxBody)
    return End(transfer, "body over the size limit");
  transfer.chunked = HeaderValue(headers, "Transfer-Encoding").find("chunked") != std::string::npos;
  transfer.phase = Phase::kBody;
  QueryData(transfer);
}

void Read(Transfer& transfer, DWORD available) {
  if (transfer.response.body.size() + available > transfer.limits.maxBody)
    return End(transfer, "body over the size limit");
  const DWORD bytes = std::min<DWORD>(available, static_cast<DWORD>(transfer.buffer.size()));
  if (!WinHttpReadData(transfer.request, transfer.buffer.data(), bytes, nullptr))
    End(transfer, Words(transfer, GetLastError()));
}

// WinHTTP ends a body cut off by a closed connection as if it were whole: a chunked one lacks its last
// chunk, one with a length falls short of it.
void OnBodyEnd(Transfer& transfer) {
  const std::size_t received = transfer.response.body.size();
  if (transfer.chunked && transfer.serverClosed)
    return End(transfer, "Transferred a partial file: transfer closed with outstanding read data remaining");
  if (transfer.contentLength != std::string::npos && received < transfer.contentLength)
    return End(transfer, "Transferred a partial file: transfer closed with " +
                             std::to_string(transfer.contentLength - received) + " bytes remaining to read");
  transfer.response.bytesReceived += received;
  End(transfer);
}

void Step(Transfer& transfer, DWORD status, void* info, DWORD length) {
  const DWORD value = info && length >= sizeof(DWORD) ? *static_cast<DWORD*>(info) : 0;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_REQUEST_SENT:
      transfer.response.bytesSent = value;
      MarkSent(transfer);
      break;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
      MarkSent(transfer);
      if (!WinHttpReceiveResponse(transfer.request, nullptr)) End(transfer, Words(transfer, GetLastError()));
      break;
    case WINHTTP_CALLBACK_STATUS_RESPONSE_RECEIVED:
      // Nothing received while the body is read: the server closed the connection.
      if (transfer.phase != Phase::kBody) transfer.replyBytes += value;
      if (transfer.phase == Phase::kBody && value == 0) transfer.serverClosed = true;
      break;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      OnHeaders(transfer);
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      value == 0 ? OnBodyEnd(transfer) : Read(transfer, value);
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      transfer.response.body.append(transfer.buffer.data(), length);
      transfer.bodyBytes += length;
      length == 0 ? OnBodyEnd(transfer) : QueryData(transfer);
      break;
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
      transfer.certificateFlags = value;
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      End(transfer, Words(transfer, static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError));
      break;
    default:
      break;
  }
}

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD length) {
  auto* transfer = reinterpret_cast<Transfer*>(context);
  if (!transfer) return;
  if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) return Post(*transfer, true);
  std::lock_guard<std::recursive_mutex> lock(transfer->io);
  if (transfer->request && !transfer->closeWanted) Step(*transfer, status, info, length);
  if (transfer->closeWanted) CloseRequest(*transfer);
}

constexpr DWORD kNotifications = WINHTTP_CALLBACK_FLAG_SEND_REQUEST | WINHTTP_CALLBACK_FLAG_RECEIVE_RESPONSE |
                                 WINHTTP_CALLBACK_FLAG_HANDLES | WINHTTP_CALLBACK_FLAG_SECURE_FAILURE |
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS;

// The fetch thread starts each request, keeps the limits by its own clock, ends the exchanges that overrun
// them, and runs the callers' callbacks.
class CWinHttpClient final : public IHttpClient {
 public:
  explicit CWinHttpClient(const HttpLimits& limits) : m_limits(limits), m_inbox(std::make_shared<Inbox>()) {
    // The system's proxy (Windows 8.1 and later); the WinHTTP proxy setting before that.
    m_session.reset(WinHttpOpen(L"vxRSS", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    if (!m_session)
      m_session.reset(WinHttpOpen(L"vxRSS", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    if (m_session) {
      const int connect = static_cast<int>(limits.connect.count()) + kBackstopMs;
      DWORD receive = static_cast<DWORD>(limits.stall.count()) + kBackstopMs;
      WinHttpSetTimeouts(m_session.get(), connect, connect, static_cast<int>(receive), static_cast<int>(receive));
      WinHttpSetOption(m_session.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receive, sizeof receive);
    }
    m_thread = std::thread(&CWinHttpClient::Run, this);
  }

  ~CWinHttpClient() override { Close(); }

  const HttpLimits& Limits() const override { return m_limits; }

  void Close() override {
    {
      port::MutexLock lock(m_inbox->mtx);
      m_inbox->stop = true;
    }
    m_inbox->cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
  }

  void Start(HttpRequest request, Callback done) override {
    {
      port::MutexLock lock(m_inbox->mtx);
      if (m_inbox->stop) return;
      m_inbox->requests.emplace_back(std::move(request), std::move(done));
    }
    m_inbox->cv.notify_all();
  }

 private:
  void Run() {
    for (;;) {
      std::vector<Event> events;
      std::vector<std::pair<HttpRequest, Callback>> starts;
      const Clock::time_point wake = NextDeadline();
      {
        Inbox& inbox = *m_inbox;
        port::MutexLock lock(inbox.mtx);
        while (!inbox.stop && inbox.events.empty() && (inbox.requests.empty() || m_running >= kMaxActive) &&
               Clock::now() < wake)
          inbox.cv.wait_until(inbox.mtx, wake);
        if (inbox.stop) break;
        events.swap(inbox.events);
        while (!inbox.requests.empty() && m_running + starts.size() < kMaxActive) {
          starts.push_back(std::move(inbox.requests.front()));
          inbox.requests.pop_front();
        }
      }
      for (Event& event : events) Receive(event);
      for (auto& start : starts) Begin(start.first, std::move(start.second));
      KeepLimits(Clock::now());
      RetryCloses();
    }
    Shutdown();
  }

  void Receive(Event& event) {
    const auto it = m_transfers.find(event.transfer);
    if (it == m_transfers.end()) return;
    if (event.closing) {
      m_closePending.erase(event.transfer);
      m_transfers.erase(it);
    } else if (!event.transfer->finished) {
      Answer(*event.transfer, std::move(event.response));
    }
  }

  void Answer(Transfer& transfer, HttpResponse response) {
    transfer.finished = true;
    --m_running;
    transfer.done(std::move(response));
  }

  // The soonest moment a limit runs out, or a close is tried again.
  Clock::time_point NextDeadline() const {
    const Clock::time_point now = Clock::now();
    Clock::time_point next = now + (m_closePending.empty() ? std::chrono::milliseconds(3600000) : kCloseRetry);
    for (const auto& entry : m_transfers) {
      const Transfer& transfer = *entry.second;
      if (transfer.finished) continue;
      next = std::min(next, transfer.started + m_limits.transfer);
      next = std::min(
          next, transfer.sentAt == 0 ? transfer.started + m_limits.connect : WindowStart(transfer) + m_limits.stall);
    }
    return next;
  }

  static Clock::time_point WindowStart(const Transfer& transfer) {
    return std::max(transfer.windowStart, Clock::time_point(Clock::duration(transfer.sentAt.load())));
  }

  // Connection time-out, total time-out and the stall rule: under one byte a second over a stall window,
  // the headers' wait included, as libcurl's low-speed limit counts.
  void KeepLimits(Clock::time_point now) {
    const auto stallBytes = static_cast<std::size_t>(std::max<long long>(1, m_limits.stall.count() / 1000));
    for (const auto& entry : m_transfers) {
      Transfer& transfer = *entry.second;
      if (transfer.finished) continue;
      if (transfer.sentAt == 0) {
        if (now - transfer.started >= std::min(m_limits.connect, m_limits.transfer))
          Expire(transfer, ConnectTimeout(transfer, now));
        continue;
      }
      transfer.windowStart = WindowStart(transfer);
      if (now - transfer.started >= m_limits.transfer) {
        Expire(transfer, "transfer timed out");
      } else if (now - transfer.windowStart >= m_limits.stall) {
        const std::size_t bytes = transfer.bodyBytes;
        if (bytes - transfer.windowBase < stallBytes) {
          Expire(transfer, "transfer too slow");
        } else {
          transfer.windowStart = now;
          transfer.windowBase = bytes;
        }
      }
    }
  }

  void Expire(Transfer& transfer, const std::string& error) {
    WantClosed(transfer);
    HttpResponse response;
    response.error = error;
    Answer(transfer, std::move(response));
  }

  // Closes the request's handle now, unless a callback is busy with it: then that callback closes it at
  // its end, or the fetch thread tries again shortly.
  void WantClosed(Transfer& transfer) {
    transfer.closeWanted = true;
    std::unique_lock<std::recursive_mutex> lock(transfer.io, std::try_to_lock);
    if (lock.owns_lock())
      CloseRequest(transfer);
    else
      m_closePending.insert(&transfer);
  }

  void RetryCloses() {
    for (auto it = m_closePending.begin(); it != m_closePending.end();) {
      std::unique_lock<std::recursive_mutex> lock((*it)->io, std::try_to_lock);
      if (lock.owns_lock()) CloseRequest(**it);
      it = lock.owns_lock() ? m_closePending.erase(it) : std::next(it);
    }
  }

  void Begin(const HttpRequest& request, Callback done) {
    auto transfer = std::make_unique<Transfer>();
    transfer->inbox = m_inbox;
    transfer->limits = m_limits;
    transfer->started = Clock::now();
    transfer->done = std::move(done);
    const std::string error = Open(*transfer, request.url);
    if (!error.empty()) {
      HttpResponse response;
      response.error = error;
      transfer->done(std::move(response));
      return;
    }
    Transfer& started = *transfer;
    m_transfers.emplace(transfer.get(), std::move(transfer));
    ++m_running;
    std::string headerText;
    for (const auto& header : request.headers) headerText += header.first + ": " + header.second + "\r\n";
    const std::wstring headers = Wide(headerText);
    std::lock_guard<std::recursive_mutex> lock(started.io);
    if (!WinHttpSendRequest(started.request, headers.c_str(), static_cast<DWORD>(headers.size()),
                            WINHTTP_NO_REQUEST_DATA, 0, 0, reinterpret_cast<DWORD_PTR>(&started)))
      End(started, Words(started, GetLastError()));
  }

  // The request's handle, made to report to OnStatus; an error when it cannot be made.
  std::string Open(Transfer& transfer, const std::string& url) {
    if (!m_session) return "cannot open a WinHTTP session (WinHTTP error " + std::to_string(GetLastError()) + ")";
    const std::wstring wide = Wide(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
        static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wide.c_str(), 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS))
      return "Unsupported protocol: Protocol \"" + url.substr(0, url.find(':')) + "\" not supported";
    transfer.host = Narrow(std::wstring(parts.lpszHostName, parts.dwHostNameLength));
    transfer.port = parts.nPort;
    const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                              std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    transfer.connection.reset(WinHttpConnect(m_session.get(), Wide(transfer.host).c_str(), parts.nPort, 0));
    if (transfer.connection)
      transfer.request = WinHttpOpenRequest(transfer.connection.get(), L"GET", path.empty() ? L"/" : path.c_str(),
                                            nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                            parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    if (!transfer.request) return "cannot open a request (WinHTTP error " + std::to_string(GetLastError()) + ")";
    // Redirects are the caller's; no cookies and no authentication, as with libcurl.
    DWORD features = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_AUTHENTICATION;
    WinHttpSetOption(transfer.request, WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof features);
    DWORD maxHeaders = static_cast<DWORD>(m_limits.maxHeaders);
    WinHttpSetOption(transfer.request, WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &maxHeaders, sizeof maxHeaders);
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&transfer);
    if (!WinHttpSetOption(transfer.request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
        WinHttpSetStatusCallback(transfer.request, &OnStatus, kNotifications, 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
      const std::string error = "cannot follow a request (WinHTTP error " + std::to_string(GetLastError()) + ")";
      CloseRequest(transfer);
      return error;
    }
    return std::string();
  }

  // Every exchange is ended; WinHTTP gets a bounded time to let go of them. A request it still holds is left
  // to it: its last callback frees the transfer, and the module stays loaded until the process ends, since
  // the callback's code must outlive the client.
  void Shutdown() {
    for (const auto& entry : m_transfers) {
      entry.second->finished = true;
      WantClosed(*entry.second);
    }
    const Clock::time_point deadline = Clock::now() + kCloseWait;
    bool abandoning = false;
    while (!m_transfers.empty()) {
      std::vector<Event> events;
      {
        Inbox& inbox = *m_inbox;
        port::MutexLock lock(inbox.mtx);
        const Clock::time_point wake = std::min(deadline, Clock::now() + kCloseRetry);
        while (inbox.events.empty() && Clock::now() < wake) inbox.cv.wait_until(inbox.mtx, wake);
        events.swap(inbox.events);
        if (events.empty() && Clock::now() >= deadline) {  // from here on, their callbacks see them abandoned
          for (auto& entry : m_transfers) inbox.abandoned.insert(entry.second.release());
          m_transfers.clear();
          m_closePending.clear();  // their callbacks close them
          abandoning = true;
        }
      }
      for (Event& event : events) Receive(event);
      RetryCloses();
    }
    HMODULE self = nullptr;
    if (abandoning)
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCWSTR>(&OnStatus), &self);
  }

  const HttpLimits m_limits;
  const std::shared_ptr<Inbox> m_inbox;
  Handle m_session;
  // The fetch thread's: every transfer until WinHTTP lets go of it, those not finished, those whose handle
  // waits to be closed.
  std::map<Transfer*, std::unique_ptr<Transfer>> m_transfers;
  std::size_t m_running = 0;
  std::set<Transfer*> m_closePending;
  std::thread m_thread;
};

}  // namespace

std::unique_ptr<IHttpClient> MakeHttpClient(const HttpLimits& limits) {
  return std::make_unique<CWinHttpClient>(limits);
}

}  // namespace newssvc
