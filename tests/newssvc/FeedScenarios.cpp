#include <chrono>
#include <ctime>
#include <thread>

#include "tests/newssvc/FeedTestServer.h"

namespace newssvc_test {

namespace {

using httplib::Request;
using httplib::Response;

const std::string kBig5Title = "\xA5\x78\xBF\x6E\xB9\x71\xB3\x5C\xA5\x69";  // 台積電許可: 許 ends in 0x5C
const std::string kUtf8Title = "\xE5\x8F\xB0\xE7\xA9\x8D\xE9\x9B\xBB\xE8\xA8\xB1\xE5\x8F\xAF";

std::string Item(const std::string& guid, const std::string& title, const std::string& date) {
  return "<item><guid>" + guid + "</guid><title>" + title + "</title><pubDate>" + date + "</pubDate></item>";
}

std::string Feed(const std::string& declaration, const std::string& items) {
  return declaration + "<rss version=\"2.0\"><channel><title>t</title>" + items + "</channel></rss>\n";
}

std::string Declaration(const std::string& encoding) {
  return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n";
}

const std::string kFirstItem = Item("n1", "title n1", "Sat, 05 Dec 2026 09:30:00 +0800");
const std::string kSecondItem = Item("n2", "second", "Sun, 06 Dec 2026 09:00:00 +0800");

void Good(Response& response) { response.set_content(Feed(Declaration("utf-8"), kFirstItem), "application/rss+xml"); }

std::string HttpDateIn(int seconds) {
  const std::time_t at = std::time(nullptr) + seconds;
  std::tm utc{};
  gmtime_r(&at, &utc);
  char date[64];
  std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", &utc);
  return date;
}

// Answers that turn bad after one good answer.
bool AnswerFailure(const std::string& name, Response& response, const std::atomic<bool>& stopping) {
  if (name == "bomb.xml") {
    response.set_content(std::string(17 * 1024 * 1024, ' '), "text/xml");  // the server gzips text
  } else if (name == "big.xml") {
    response.set_content(std::string(20 * 1024 * 1024, 'x'), "application/rss+xml");
  } else if (name == "reset.xml") {
    response.set_content_provider(100000, "application/rss+xml",
                                  [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                    if (offset > 0) return false;  // closes the connection mid-body
                                    sink.write("<rss>", 5);
                                    return true;
                                  });
  } else if (name == "drip.xml") {
    response.set_chunked_content_provider("application/rss+xml", [&stopping](std::size_t, httplib::DataSink& sink) {
      sink.write("<", 1);
      for (int i = 0; i < 50 && !stopping && sink.is_writable(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      return !stopping && sink.is_writable();
    });
  } else if (name == "loop.xml") {
    response.set_redirect("loop.xml", 302);
  } else if (name == "unavailable.xml") {
    response.status = 503;
  } else if (name == "notfeed.xml") {
    response.set_content("<html><body>maintenance</body></html>", "text/html");
  } else {
    return false;
  }
  return true;
}

// Character sets: the title is 台積電許可 in every case; only how the encoding is told differs.
bool AnswerCharset(const std::string& name, Response& response) {
  const std::string big5Item = Item("n1", kBig5Title, "Sat, 05 Dec 2026 09:30:00 +0800");
  const std::string utf8Item = Item("n1", kUtf8Title, "Sat, 05 Dec 2026 09:30:00 +0800");
  struct Case {
    const char* name;
    const char* contentType;
    std::string body;
  };
  const Case cases[] = {
      {"Big5AsTextXml", "text/xml; charset=big5", Feed(Declaration("big5"), big5Item)},
      {"HeaderOnly", "text/xml; charset=big5", Feed("", big5Item)},
      {"HeaderWinsOverDeclaration", "text/xml; charset=\"Big5\"", Feed(Declaration("utf-8"), big5Item)},
      {"WrongHeaderFallsBack", "application/xml; charset=big5", Feed(Declaration("utf-8"), utf8Item)},
      {"ByteOrderMarkWins", "text/xml; charset=big5", "\xEF\xBB\xBF" + Feed("", utf8Item)},
      {"DeclarationWithoutHeader", "application/rss+xml", Feed(Declaration("big5"), big5Item)},
  };
  for (const Case& c : cases) {
    if (name != std::string("charset-") + c.name) continue;
    response.set_content(c.body, c.contentType);
    return true;
  }
  return false;
}

}  // namespace

void AnswerScenario(const std::string& name, int index, const Request& request, Response& response,
                    const std::atomic<bool>& stopping) {
  if (name == "etag.xml" || name == "lastmod.xml") {
    const bool etag = name == "etag.xml";
    const std::string validator = etag ? "\"v1\"" : "Sat, 05 Dec 2026 01:00:00 GMT";
    if (request.get_header_value(etag ? "If-None-Match" : "If-Modified-Since") == validator) {
      response.status = 304;
      return;
    }
    response.set_header(etag ? "ETag" : "Last-Modified", validator);
    return Good(response);
  }
  if (name == "gzip.xml") {
    // cpp-httplib gzips text for a client that accepts it.
    return response.set_content(Feed(Declaration("utf-8"), index < 2 ? kFirstItem : kSecondItem + kFirstItem),
                                "text/xml");
  }
  if (name == "backoff.xml") {
    if (index < 6) {
      response.status = 500;
      return;
    }
    return Good(response);
  }
  if (name == "temp") return response.set_redirect("old", 302);
  if (name == "old") return response.set_redirect("new", 301);
  if (name == "new") return response.set_redirect("chained.xml", 308);  // relative
  if (name == "gone.xml" && index > 0) {
    response.status = 410;
    return;
  }
  if (name.rfind("retry-", 0) == 0 && index == 0) {
    response.status = 429;
    response.set_header("Retry-After", name == "retry-date.xml" ? HttpDateIn(3) : std::string("2"));
    return;
  }
  if (name.rfind("cached", 0) == 0) response.set_header("Cache-Control", "max-age=3600");
  if (name == "stall.xml") return static_cast<void>(AnswerFailure("drip.xml", response, stopping));
  if (index > 0 && AnswerFailure(name, response, stopping)) return;
  if (AnswerCharset(name, response)) return;
  Good(response);
}

}  // namespace newssvc_test
