#include "libs/newssvc/FeedBytes.h"

#include <algorithm>
#include <cstring>

#include "port/FileRead.h"

namespace newssvc {

namespace {

struct NamedReference {
  const char* name;
  int codePoint;
};

// HTML references that feeds use most; XML's own five need no help.
const NamedReference kHtmlReferences[] = {
    {"nbsp", 160},   {"iexcl", 161},  {"cent", 162},   {"pound", 163},   {"yen", 165},    {"sect", 167},
    {"copy", 169},   {"laquo", 171},  {"reg", 174},    {"deg", 176},     {"plusmn", 177}, {"middot", 183},
    {"raquo", 187},  {"frac12", 189}, {"Auml", 196},   {"Ouml", 214},    {"times", 215},  {"Uuml", 220},
    {"szlig", 223},  {"agrave", 224}, {"aacute", 225}, {"auml", 228},    {"ccedil", 231}, {"egrave", 232},
    {"eacute", 233}, {"ecirc", 234},  {"iacute", 237}, {"ntilde", 241},  {"oacute", 243}, {"ouml", 246},
    {"uacute", 250}, {"uuml", 252},   {"ndash", 8211}, {"mdash", 8212},  {"lsquo", 8216}, {"rsquo", 8217},
    {"ldquo", 8220}, {"rdquo", 8221}, {"bull", 8226},  {"hellip", 8230}, {"euro", 8364},  {"trade", 8482},
};

// The numeric reference for the named reference at `at` ("&name;"), with its length; false when unknown.
bool NumericFor(const std::string& bytes, std::size_t at, std::string& numeric, std::size_t& length) {
  // The ';' is looked for only as far as the longest name reaches, so a feed of many '&' without one costs
  // linear time.
  constexpr std::size_t kLongestName = 10;
  const std::size_t stop = std::min(bytes.size(), at + 2 + kLongestName);
  const auto semicolon = std::find(bytes.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                                   bytes.begin() + static_cast<std::ptrdiff_t>(stop), ';');
  if (semicolon == bytes.begin() + static_cast<std::ptrdiff_t>(stop)) return false;
  const std::size_t end = static_cast<std::size_t>(semicolon - bytes.begin());
  const std::string name = bytes.substr(at + 1, end - at - 1);
  for (const NamedReference& reference : kHtmlReferences) {
    if (name == reference.name) {
      numeric = "&#" + std::to_string(reference.codePoint) + ";";
      length = end - at + 1;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ReadFeedBytes(const CString& path, std::size_t maxBytes, std::string& bytes) {
  // Publishers replace feeds while the service may be reading them.
  return port::ReadFileBounded(path, maxBytes, bytes);
}

void RepairFeedBytes(std::string& bytes) {
  const std::size_t first = bytes.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && first > 0 && bytes.compare(first, 5, "<?xml") == 0) bytes.erase(0, first);

  std::string out;
  out.reserve(bytes.size());
  std::size_t at = 0;
  while (at < bytes.size()) {
    const char* skipEnd = bytes.compare(at, 9, "<![CDATA[") == 0 ? "]]>"
                          : bytes.compare(at, 4, "<!--") == 0    ? "-->"
                                                                 : nullptr;
    if (skipEnd) {
      const std::size_t end = bytes.find(skipEnd, at + 4);  // past the opening: "<!-->" opens a comment
      const std::size_t stop = end == std::string::npos ? bytes.size() : end + std::strlen(skipEnd);
      out.append(bytes, at, stop - at);
      at = stop;
      continue;
    }
    std::string numeric;
    std::size_t length = 0;
    if (bytes[at] == '&' && NumericFor(bytes, at, numeric, length)) {
      out += numeric;
      at += length;
      continue;
    }
    out += bytes[at++];
  }
  bytes.swap(out);
}

}  // namespace newssvc
