// IHttpClient: the one HTTP interface the news service fetches through. A backend (libcurl on POSIX,
// WinHTTP on Windows) runs every transfer on one fetch thread of its own and reports each exchange to its
// callback there. It sends exactly the headers it is given, follows no redirect and decodes no content:
// the caller keeps those manners in platform-free code, so both backends behave alike.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace newssvc {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;  // name, value; in arrival order

struct HttpRequest {
  std::string url;
  HttpHeaders headers;
};

struct HttpResponse {
  // The transfer failed (name lookup, connection, TLS, time-out, stall, oversized headers or body, reset):
  // status is 0 and `error` says why. Otherwise status is the HTTP status of this one exchange.
  int status = 0;
  std::string error;
  HttpHeaders headers;
  std::string body;               // as sent, still content-encoded
  std::size_t bytesReceived = 0;  // status line, headers and body as they crossed the wire
  std::size_t bytesSent = 0;
};

struct HttpLimits {
  std::chrono::milliseconds connect{10000};
  std::chrono::milliseconds transfer{60000};  // the whole exchange, headers included
  std::chrono::milliseconds stall{15000};     // under one byte a second for this long: abandoned
  std::size_t maxHeaders = 64 * 1024;         // status lines and headers
  std::size_t maxBody = 16 * 1024 * 1024;
};

class IHttpClient {
 public:
  using Callback = std::function<void(HttpResponse)>;

  // Closes the client (Close).
  virtual ~IHttpClient() = default;
  // Queues the request and returns at once; `done` runs on the fetch thread when the exchange ends. It may
  // start further requests.
  virtual void Start(HttpRequest request, Callback done) = 0;
  // Ends the fetch thread after the callback that runs now, if any; transfers in flight are abandoned without
  // a callback, and a request started meanwhile or later (by that callback, say) is dropped. No callback
  // runs after it returns. The owner of the callbacks' targets closes the client before it destroys them,
  // while the client can still be reached: a callback may start a request through it until then.
  virtual void Close() = 0;
  // The limits it was made with; the caller bounds what a body decodes to by the same size.
  virtual const HttpLimits& Limits() const = 0;
};

// The platform's backend.
std::unique_ptr<IHttpClient> MakeHttpClient(const HttpLimits& limits);

// The value of the first header of that name (case-insensitive); empty when none.
std::string HeaderValue(const HttpHeaders& headers, const std::string& name);

}  // namespace newssvc
