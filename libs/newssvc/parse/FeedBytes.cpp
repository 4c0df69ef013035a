#include "libs/newssvc/parse/FeedBytes.h"

#include <algorithm>
#include <cstring>

#include "port/FileRead.h"

namespace newssvc {

namespace {

struct HtmlReference {
  const char* name;
  const char* numeric;  // the same characters as numeric references, e.g. "&#226;"
};

// Every named reference of HTML, sorted by name (generated at build time).
#include "HtmlEntities.inc"

// The numeric references for the named reference at `at` ("&name;"), with its length; false when unknown.
bool NumericFor(const std::string& bytes, std::size_t at, const char*& numeric, std::size_t& length) {
  // The ';' is looked for only as far as the longest name reaches, so a feed of many '&' without one costs
  // linear time.
  const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(at) + 1;
  const auto stop = bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + 2 + kLongestHtmlReference));
  const auto semicolon = std::find(first, stop, ';');
  if (semicolon == stop || semicolon == first) return false;
  const std::string name(first, semicolon);
  const auto found =
      std::lower_bound(std::begin(kHtmlReferences), std::end(kHtmlReferences), name,
                       [](const HtmlReference& entry, const std::string& key) { return key.compare(entry.name) > 0; });
  if (found == std::end(kHtmlReferences) || name != found->name) return false;
  numeric = found->numeric;
  length = name.size() + 2;
  return true;
}

}  // namespace

bool ReadFeedBytes(const CString& path, std::size_t maxBytes, std::string& bytes) {
  // Publishers replace feeds while the service may be reading them.
  return port::ReadFileBounded(path, maxBytes, bytes);
}

void RepairFeedBytes(std::string& bytes) {
  const std::size_t first = bytes.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && first > 0 && bytes.compare(first, 5, "<?xml") == 0) bytes.erase(0, first);

  // Only the stretches before a replaced reference are copied, and only when there is one.
  std::string out;
  std::size_t copied = 0;
  for (std::size_t at = 0; at < bytes.size();) {
    const char c = bytes[at];
    if (c == '<') {
      if (at + 1 < bytes.size() && bytes[at + 1] != '!') {  // the common case, a tag: no compare needed
        ++at;
        continue;
      }
      const char* skipEnd = bytes.compare(at, 9, "<![CDATA[") == 0 ? "]]>"
                            : bytes.compare(at, 4, "<!--") == 0    ? "-->"
                                                                   : nullptr;
      const std::size_t end = skipEnd ? bytes.find(skipEnd, at + 4) : at;  // "<!-->" opens a comment
      at = end == std::string::npos ? bytes.size() : skipEnd ? end + std::strlen(skipEnd) : at + 1;
      continue;
    }
    const char* numeric = nullptr;
    std::size_t length = 0;
    if (c == '&' && NumericFor(bytes, at, numeric, length)) {
      out.append(bytes, copied, at - copied);
      out += numeric;
      at += length;
      copied = at;
      continue;
    }
    ++at;
  }
  if (copied == 0) return;
  out.append(bytes, copied, std::string::npos);
  bytes.swap(out);
}

}  // namespace newssvc
