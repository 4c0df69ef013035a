#include <chrono>
#include <ctime>
#include <thread>

#include "tests/newssvc/FeedTestServer.h"

namespace newssvc_test {

namespace {

using httplib::Request;
using httplib::Response;

const std::string kBig5Title = "\xA5\x78\xBF\x6E\xB9\x71\xB3\x5C\xA5\x69";  // 台積電許可: 許 ends in 0x5C

std::string Item(const std::string& guid, const std::string& title, const std::string& date) {
  return "<item><guid>" + guid + "</guid><title>" + title + "</title><pubDate>" + date + "</pubDate></item>";
}

std::string Feed(const std::string& declaration, const std::string& items) {
  return declaration + "<rss version=\"2.0\"><channel><title>t</title>" + items + "</channel></rss>\n";
}

const std::string kUtf8 = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

const std::string kFirstItem = Item("n1", "title n1", "Sat, 05 Dec 2026 09:30:00 +0800");
const std::string kSecondItem = Item("n2", "second", "Sun, 06 Dec 2026 09:00:00 +0800");

void Status(Response& response, int status) { response.status = status; }

void Good(Response& response) { response.set_content(Feed(kUtf8, kFirstItem), "application/rss+xml"); }

std::string HttpDateIn(int seconds) {
  const std::time_t at = std::time(nullptr) + seconds;
  std::tm utc{};
  gmtime_r(&at, &utc);
  char date[64];
  std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", &utc);
  return date;
}

}  // namespace

void AnswerScenario(const std::string& name, int index, const Request& request, Response& response,
                    const std::atomic<bool>& stopping) {
  if (name == "etag.xml" || name == "lastmod.xml") {
    const bool etag = name == "etag.xml";
    const std::string validator = etag ? "\"v1\"" : "Sat, 05 Dec 2026 01:00:00 GMT";
    if (request.get_header_value(etag ? "If-None-Match" : "If-Modified-Since") == validator)
      return Status(response, 304);
    response.set_header(etag ? "ETag" : "Last-Modified", validator);
    return Good(response);
  }
  if (name == "backoff.xml" && index < 6) return Status(response, 500);
  if (name == "temp") return response.set_redirect("old", 302);
  if (name == "old") return response.set_redirect("new", 301);
  if (name == "new") return response.set_redirect("via", 308);  // relative
  if (name == "via") return response.set_redirect("chained.xml", 302);
  if (name == "gone.xml" && index > 0) return Status(response, 410);
  if (name.rfind("retry-", 0) == 0 && index == 0) {
    response.set_header("Retry-After", name == "retry-date.xml"      ? HttpDateIn(3)
                                       : name == "retry-seconds.xml" ? std::string("2")
                                                                     : std::string("99999999999"));
    return Status(response, 429);
  }
  if (name.rfind("cached", 0) == 0) response.set_header("Cache-Control", "max-age=3600");
  if (name == "stall.xml" || (name == "drip" && index > 0)) {
    return response.set_chunked_content_provider("application/rss+xml",
                                                 [&stopping](std::size_t, httplib::DataSink& sink) {
                                                   sink.write("<", 1);
                                                   for (int i = 0; i < 50 && !stopping && sink.is_writable(); ++i)
                                                     std::this_thread::sleep_for(std::chrono::milliseconds(100));
                                                   return !stopping && sink.is_writable();
                                                 });
  }
  if (index > 0) {  // answers that turn bad after one good answer; the server gzips the bomb's text
    // Over the 1 MiB the tests configure, under the 16 MiB default.
    if (name == "bomb") return response.set_content(std::string(2 << 20, ' '), "text/xml");
    if (name == "big") return response.set_content(std::string(2 << 20, 'x'), "application/rss+xml");
    if (name == "reset") {
      return response.set_content_provider(100000, "application/rss+xml",
                                           [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                             if (offset > 0) return false;  // closes the connection mid-body
                                             sink.write("<rss>", 5);
                                             return true;
                                           });
    }
    if (name == "cut") {  // a whole feed with a new item, chunked, then the connection closes before the last chunk
      return response.set_chunked_content_provider("application/rss+xml",
                                                   [](std::size_t offset, httplib::DataSink& sink) {
                                                     const std::string feed = Feed(kUtf8, kSecondItem + kFirstItem);
                                                     if (offset == 0) sink.write(feed.data(), feed.size());
                                                     return offset == 0;
                                                   });
    }
    if (name == "loop") return response.set_redirect("loop-back", 301);
    if (name == "unavailable") return Status(response, 503);
    if (name == "fat_headers") {  // 80 KiB, over the 64 KiB bound; first with a line over libcurl's own bound too
      if (index == 1) response.set_header("X-Long", std::string(150 << 10, 'x'));
      for (int i = 0; i < 1000; ++i) response.set_header("X-Pad-" + std::to_string(i), std::string(80, 'x'));
      return Good(response);
    }
    if (name == "notfeed") {
      response.set_header("ETag", "\"maintenance\"");
      return response.set_content("<html><body>maintenance</body></html>", "text/html");
    }
  }
  if (name == "loop-back") return response.set_redirect("loop", 301);
  if (name == "big5.xml") {  // told only by the HTTP charset; cpp-httplib gzips text/* for a client that accepts it
    return response.set_content(Feed("", Item("n1", kBig5Title, "Sat, 05 Dec 2026 09:30:00 +0800")),
                                "text/xml; charset=big5");
  }
  Good(response);
}

}  // namespace newssvc_test
