#include "libs/newssvc/parse/FeedCharset.h"

#include <algorithm>

#include "libs/newssvc/parse/FeedReader.h"

namespace newssvc {

namespace {

// A parameter value is a token or a quoted-string (RFC 9110, section 5.6.6); the header rules hand a quoted
// one over unquoted, and a charset's name is a token either way. Anything else, such as a value with a stray
// quote, names no charset.
bool IsToken(const std::string& text) {
  static const char kSymbols[] = "!#$%&'*+-.^_`|~";
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::char_traits<char>::find(kSymbols, sizeof kSymbols - 1, c) != nullptr;
  });
}

}  // namespace

bool ReadFetchedFeed(const std::string& body, const std::string& httpCharset, std::vector<FeedItem>& items) {
  return CFeedReader::ReadBytes(body, items, nullptr, IsToken(httpCharset) ? httpCharset : std::string());
}

}  // namespace newssvc
