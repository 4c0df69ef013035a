// FeedWebServer: the publisher's web server of `vxrss-demo --web`, on the loopback address only. It serves
// the files of one folder under /feeds/ as a well-behaved feed server does: with an ETag and a
// Last-Modified, 304 Not Modified when the reader's copy is current, gzip when the reader accepts it.
#pragma once

#include <memory>
#include <string>

namespace demo {

struct WebCounts {
  int notModified = 0;  // 304
  int full = 0;         // 200
  int other = 0;
};

class FeedWebServer {
 public:
  FeedWebServer();
  ~FeedWebServer();
  FeedWebServer(const FeedWebServer&) = delete;
  FeedWebServer& operator=(const FeedWebServer&) = delete;

  // Starts serving `folder` on 127.0.0.1 at a free port; false when this build has no server or the
  // socket cannot be opened.
  bool Start(const std::string& folder);
  // "http://127.0.0.1:PORT/feeds/"
  std::string BaseUrl() const;
  WebCounts Counts() const;

 private:
  class Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace demo
