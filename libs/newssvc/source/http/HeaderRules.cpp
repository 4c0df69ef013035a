#include "libs/newssvc/source/http/HeaderRules.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "libs/newssvc/common/Dates.h"
#include "port/Text.h"

namespace newssvc {

using port::Lower;
using port::Trim;

namespace {

bool AllDigits(const std::string& text) {
  return !text.empty() && text.size() < 12 &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

bool ParseHttpDate(const std::string& text, std::int64_t& seconds) {
  UtcSeconds utc = 0;
  if (text.empty() || !ParseFeedDate(text, utc)) return false;
  seconds = utc;
  return true;
}

// The max-age directive of a Cache-Control value (-1 when none); sets `noCache` for no-cache and no-store.
std::int64_t MaxAgeDirective(const std::string& cacheControl, bool& noCache) {
  std::int64_t maxAge = -1;
  for (const std::string& part : port::SplitList(cacheControl)) {
    const std::string directive = port::Lower(port::Trim(part));
    if (directive == "no-cache" || directive == "no-store") noCache = true;
    if (directive.rfind("max-age=", 0) == 0 && AllDigits(directive.substr(8)))
      maxAge = std::strtoll(directive.c_str() + 8, nullptr, 10);
  }
  return maxAge;
}

}  // namespace

std::string HeaderValue(const HttpHeaders& headers, const std::string& name) {
  const std::string wanted = Lower(name);
  for (const auto& header : headers)
    if (Lower(header.first) == wanted) return header.second;
  return std::string();
}

std::int64_t RetryAfterSeconds(const HttpHeaders& headers, std::int64_t nowSeconds) {
  const std::string value = Trim(HeaderValue(headers, "Retry-After"));
  if (AllDigits(value)) return std::strtoll(value.c_str(), nullptr, 10);
  std::int64_t when = 0;
  if (!ParseHttpDate(value, when)) return -1;
  return std::max<std::int64_t>(0, when - nowSeconds);
}

std::int64_t FreshnessSeconds(const HttpHeaders& headers, std::int64_t nowSeconds) {
  bool noCache = false;
  const std::int64_t maxAge = MaxAgeDirective(HeaderValue(headers, "Cache-Control"), noCache);
  if (noCache) return 0;
  if (maxAge >= 0) return maxAge;
  std::int64_t expires = 0;
  if (!ParseHttpDate(Trim(HeaderValue(headers, "Expires")), expires)) {
    // An Expires that is no date (often "0" or "-1") means already expired.
    return HeaderValue(headers, "Expires").empty() ? -1 : 0;
  }
  std::int64_t date = nowSeconds;
  ParseHttpDate(Trim(HeaderValue(headers, "Date")), date);
  return std::max<std::int64_t>(0, expires - date);
}

std::string ContentTypeCharset(const HttpHeaders& headers) {
  const std::string type = Lower(HeaderValue(headers, "Content-Type"));
  std::size_t at = type.find("charset=");
  if (at == std::string::npos) return std::string();
  at += 8;
  std::string value =
      type.substr(at, type.find(';', at) == std::string::npos ? std::string::npos : type.find(';', at) - at);
  value = Trim(value);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return value;
}

}  // namespace newssvc
