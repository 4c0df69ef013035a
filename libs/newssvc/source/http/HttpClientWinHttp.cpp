// The WinHTTP backend: the system's HTTP stack, with the system's proxy settings and certificate store
// (certificates verified, WinHTTP's default). WinHTTP's synchronous calls run on a small fixed pool of
// fetch threads, so a slow feed holds one thread and the others keep fetching.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

#include "libs/newssvc/source/http/HttpClient.h"
#include "port/Mutex.h"
#include "port/Text.h"

namespace newssvc {

namespace {

using port::Trim;

constexpr std::size_t kThreads = 8;

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

// WinHTTP's time-out; Wine's WinHTTP passes the socket's own (WSAETIMEDOUT) through.
bool TimedOut() {
  const DWORD error = GetLastError();
  return error == ERROR_WINHTTP_TIMEOUT || error == WSAETIMEDOUT;
}

std::string Failure(const char* what) {
  return std::string(what) + " (WinHTTP error " + std::to_string(GetLastError()) + ")";
}

struct HandleCloser {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

class CWinHttpClient final : public IHttpClient {
 public:
  explicit CWinHttpClient(const HttpLimits& limits) : m_limits(limits) {
    // The system's proxy (Windows 8.1 and later); the WinHTTP proxy setting before that.
    m_session.reset(
        WinHttpOpen(L"vxRSS", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!m_session)
      m_session.reset(
          WinHttpOpen(L"vxRSS", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (m_session) {
      const int connect = static_cast<int>(limits.connect.count());
      WinHttpSetTimeouts(m_session.get(), connect, connect, static_cast<int>(limits.transfer.count()),
                         static_cast<int>(limits.stall.count()));
    }
    m_inFlight.resize(kThreads, nullptr);
    for (std::size_t i = 0; i < kThreads; ++i) m_threads.emplace_back(&CWinHttpClient::Run, this, i);
  }

  ~CWinHttpClient() override {
    {
      port::MutexLock lock(m_mtx);
      m_bStop = true;
      // Closing a request's handle ends the synchronous call waiting on it.
      for (HINTERNET& request : m_inFlight) {
        if (request) WinHttpCloseHandle(request);
        request = nullptr;
      }
    }
    m_cv.notify_all();
    for (std::thread& thread : m_threads) thread.join();
  }

  const HttpLimits& Limits() const override { return m_limits; }

  void Start(HttpRequest request, Callback done) EXCLUDES(m_mtx) override {
    {
      port::MutexLock lock(m_mtx);
      if (m_bStop) return;
      m_queue.emplace_back(std::move(request), std::move(done));
    }
    m_cv.notify_one();
  }

 private:
  void Run(std::size_t slot) EXCLUDES(m_mtx) {
    for (;;) {
      std::pair<HttpRequest, Callback> next;
      {
        port::MutexLock lock(m_mtx);
        while (!m_bStop && m_queue.empty()) m_cv.wait(m_mtx);
        if (m_bStop) return;
        next = std::move(m_queue.front());
        m_queue.pop_front();
      }
      HttpResponse response = Exchange(next.first, slot);
      {
        port::MutexLock lock(m_mtx);
        if (m_bStop) return;
      }
      next.second(std::move(response));
    }
  }

  // Publishes the request handle so that the destructor can end the exchange; takes it back at the end.
  bool Publish(std::size_t slot, HINTERNET request) EXCLUDES(m_mtx) {
    port::MutexLock lock(m_mtx);
    if (m_bStop) return false;
    m_inFlight[slot] = request;
    return true;
  }
  void Withdraw(std::size_t slot) EXCLUDES(m_mtx) {
    port::MutexLock lock(m_mtx);
    if (m_inFlight[slot]) WinHttpCloseHandle(m_inFlight[slot]);
    m_inFlight[slot] = nullptr;
  }

  HttpResponse Exchange(const HttpRequest& request, std::size_t slot) {
    HttpResponse response;
    if (!m_session) {
      response.error = Failure("cannot open a WinHTTP session");
      return response;
    }
    const std::wstring url = Wide(request.url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
      response.error = Failure("not a URL");
      return response;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                              std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    Handle connection(WinHttpConnect(m_session.get(), host.c_str(), parts.nPort, 0));
    if (!connection) {
      response.error = Failure("cannot connect");
      return response;
    }
    HINTERNET handle = WinHttpOpenRequest(connection.get(), L"GET", path.empty() ? L"/" : path.c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                          parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    if (!handle) {
      response.error = Failure("cannot open a request");
      return response;
    }
    if (!Publish(slot, handle)) {
      WinHttpCloseHandle(handle);
      return response;
    }
    Transfer(handle, request, response);
    Withdraw(slot);
    return response;
  }

  // The headers come within the stall window and the header bound, as with libcurl, where no body byte
  // arrives while the headers do. Both are also checked here, since Wine's WinHTTP ignores the two options.
  void Transfer(HINTERNET handle, const HttpRequest& request, HttpResponse& response) {
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(handle, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);
    DWORD headerTime = static_cast<DWORD>(std::min(m_limits.stall, m_limits.transfer).count());
    WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headerTime, sizeof headerTime);
    DWORD maxHeaders = static_cast<DWORD>(m_limits.maxHeaders);
    WinHttpSetOption(handle, WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &maxHeaders, sizeof maxHeaders);
    std::string headerText;
    for (const auto& header : request.headers) headerText += header.first + ": " + header.second + "\r\n";
    const std::wstring headers = Wide(headerText);
    response.bytesSent = headerText.size() + request.url.size() + 16;
    // Wine reads the headers inside WinHttpSendRequest, Windows in WinHttpReceiveResponse: the bound spans both.
    const auto started = std::chrono::steady_clock::now();
    const bool sent = WinHttpSendRequest(handle, headers.c_str(), static_cast<DWORD>(headers.size()),
                                         WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
    const bool received = sent && WinHttpReceiveResponse(handle, nullptr);
    if (std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(headerTime)) {
      response.error = "transfer too slow";
      return;
    }
    if (!received) {
      response.error = !sent ? Failure(TimedOut() ? "timed out" : "the exchange failed")
                       : GetLastError() == ERROR_WINHTTP_HEADER_SIZE_OVERFLOW ? "response headers over the size limit"
                       : TimedOut()                                           ? "transfer too slow"
                                                                              : Failure("the exchange failed");
      return;
    }
    DWORD status = 0, size = sizeof status;
    WinHttpQueryHeaders(handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                        &status, &size, WINHTTP_NO_HEADER_INDEX);
    if (!ReadHeaders(handle, response)) {
      response.error = "response headers over the size limit";
      return;
    }
    if (!ReadBody(handle, response)) {
      response.body.clear();
      return;
    }
    response.status = static_cast<int>(status);
  }

  // False when they are over the size limit.
  bool ReadHeaders(HINTERNET handle, HttpResponse& response) const {
    DWORD bytes = 0;
    WinHttpQueryHeaders(handle, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &bytes,
                        WINHTTP_NO_HEADER_INDEX);
    std::wstring raw(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(handle, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, &raw[0], &bytes,
                             WINHTTP_NO_HEADER_INDEX))
      return true;
    raw.resize(bytes / sizeof(wchar_t));
    const std::string text = Narrow(raw);
    response.bytesReceived += text.size();
    if (text.size() > m_limits.maxHeaders) return false;
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

  // The body within the size bound, the whole-transfer time-out and the stall rule (under one byte a
  // second over a stall window; a read that waits longer than the window times out in WinHTTP itself).
  bool ReadBody(HINTERNET handle, HttpResponse& response) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Clock::time_point windowStart = start;
    std::size_t windowBytes = 0;
    const auto stallSeconds = static_cast<std::size_t>(std::max<long long>(1, m_limits.stall.count() / 1000));
    char buffer[16384];
    for (;;) {
      DWORD read = 0;
      if (!WinHttpReadData(handle, buffer, sizeof buffer, &read)) {
        response.error = Failure(TimedOut() ? "transfer too slow, timed out" : "transfer closed before the body ended");
        return false;
      }
      if (read == 0) return Complete(response);
      if (response.body.size() + read > m_limits.maxBody) {
        response.error = "body over the size limit";
        return false;
      }
      response.body.append(buffer, read);
      response.bytesReceived += read;
      windowBytes += read;
      const Clock::time_point now = Clock::now();
      if (now - start > m_limits.transfer) {
        response.error = "transfer timed out";
        return false;
      }
      if (now - windowStart >= m_limits.stall) {
        if (windowBytes < stallSeconds) {
          response.error = "transfer too slow";
          return false;
        }
        windowStart = now;
        windowBytes = 0;
      }
    }
  }

  // A body shorter than its Content-Length was cut off by a closed connection.
  static bool Complete(HttpResponse& response) {
    for (const auto& header : response.headers) {
      if (_stricmp(header.first.c_str(), "Content-Length") != 0) continue;
      if (std::strtoull(header.second.c_str(), nullptr, 10) > response.body.size()) {
        response.error = "transfer closed before the body ended";
        return false;
      }
    }
    return true;
  }

  const HttpLimits m_limits;
  Handle m_session;
  port::Mutex m_mtx;
  port::CondVar m_cv;
  std::deque<std::pair<HttpRequest, Callback>> m_queue GUARDED_BY(m_mtx);
  std::vector<HINTERNET> m_inFlight GUARDED_BY(m_mtx);  // per thread: the request being exchanged
  bool m_bStop GUARDED_BY(m_mtx) = false;
  std::vector<std::thread> m_threads;
};

}  // namespace

std::unique_ptr<IHttpClient> MakeHttpClient(const HttpLimits& limits) {
  return std::make_unique<CWinHttpClient>(limits);
}

}  // namespace newssvc
