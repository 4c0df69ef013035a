#include "libs/newssvc/FeedCharset.h"

#include <algorithm>
#include <cctype>

#include "libs/newssvc/FeedBytes.h"
#include "libs/newssvc/FeedReader.h"
#include "libs/vxutil/XMLHelper.h"

namespace newssvc {

namespace {

bool HasByteOrderMark(const std::string& body) {
  return body.rfind("\xEF\xBB\xBF", 0) == 0 || body.rfind("\xFE\xFF", 0) == 0 || body.rfind("\xFF\xFE", 0) == 0;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Where the declaration's encoding value lies (between its quotes): `start` and `length`; the declaration's
// end (before "?>") in `declEnd`. False when the document has no declaration.
bool FindDeclaration(const std::string& body, std::size_t& declEnd, std::size_t& start, std::size_t& length) {
  const std::size_t first = body.find_first_not_of(" \t\r\n");
  if (first == std::string::npos || body.compare(first, 5, "<?xml") != 0) return false;
  declEnd = body.find("?>", first);
  if (declEnd == std::string::npos) return false;
  start = length = 0;
  const std::size_t name = body.find("encoding", first);
  if (name == std::string::npos || name > declEnd) return true;
  const std::size_t quote = body.find_first_of("\"'", name);
  if (quote == std::string::npos || quote > declEnd) return true;
  const std::size_t close = body.find(body[quote], quote + 1);
  if (close == std::string::npos || close > declEnd) return true;
  start = quote + 1;
  length = close - start;
  return true;
}

// The body with its declaration naming `encoding` (one is added when there is none).
std::string Declaring(const std::string& body, const std::string& encoding) {
  std::size_t declEnd = 0, start = 0, length = 0;
  if (!FindDeclaration(body, declEnd, start, length))
    return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>" + body;
  if (start == 0) return body.substr(0, declEnd) + " encoding=\"" + encoding + "\"" + body.substr(declEnd);
  return body.substr(0, start) + encoding + body.substr(start + length);
}

std::string DeclaredEncoding(const std::string& body) {
  std::size_t declEnd = 0, start = 0, length = 0;
  if (!FindDeclaration(body, declEnd, start, length) || start == 0) return std::string();
  return Lower(body.substr(start, length));
}

}  // namespace

std::vector<std::string> FeedReadings(const std::string& body, const std::string& httpCharset) {
  if (HasByteOrderMark(body) || httpCharset.empty()) return {body};
  const std::string declared = DeclaredEncoding(body);
  if (declared == Lower(httpCharset)) return {body};
  // The header's charset first; then the document as it declares itself (UTF-8 when it declares nothing).
  return {Declaring(body, httpCharset), body};
}

bool ReadFetchedFeed(const std::string& body, const std::string& httpCharset, std::vector<FeedItem>& items) {
  for (std::string reading : FeedReadings(body, httpCharset)) {
    RepairFeedBytes(reading);
    CXMLDocument doc;
    if (CXMLHelper::ParseXMLBuffer(reading, doc) != 0 && CFeedReader::ReadDocument(doc, items)) return true;
  }
  items.clear();
  return false;
}

}  // namespace newssvc
