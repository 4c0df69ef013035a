#include "port/Mbcs.h"

namespace port {

std::size_t CharLength(const std::string& text, std::size_t pos) {
  if (pos >= text.size()) return 0;
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (IsBig5LeadByte(lead) && pos + 1 < text.size() && IsBig5TrailByte(static_cast<unsigned char>(text[pos + 1])))
    return 2;
  return 1;
}

int MbsCompare(const std::string& a, const std::string& b) {
  const int c = a.compare(b);  // char_traits<char>::compare orders bytes as unsigned char
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

namespace {

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

}  // namespace

int MbsCompareNoCase(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const std::size_t la = CharLength(a, i), lb = CharLength(b, j);
    unsigned int ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[j]);
    if (la == 2)
      ca = ca << 8 | static_cast<unsigned char>(a[i + 1]);
    else
      ca = FoldAscii(static_cast<unsigned char>(ca));
    if (lb == 2)
      cb = cb << 8 | static_cast<unsigned char>(b[j + 1]);
    else
      cb = FoldAscii(static_cast<unsigned char>(cb));
    if (ca != cb) return ca < cb ? -1 : 1;
    i += la;
    j += lb;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::string MbsFoldCase(const std::string& text) {
  std::string out = text;
  for (std::size_t i = 0; i < out.size();) {
    const std::size_t len = CharLength(out, i);
    if (len == 1) out[i] = static_cast<char>(FoldAscii(static_cast<unsigned char>(out[i])));
    i += len;
  }
  return out;
}

std::size_t MbsFind(const std::string& haystack, const std::string& needle, std::size_t start) {
  for (std::size_t i = 0; i <= haystack.size();) {
    if (i >= start && haystack.compare(i, needle.size(), needle) == 0 && haystack.size() - i >= needle.size()) return i;
    if (i == haystack.size()) break;
    i += CharLength(haystack, i);
  }
  return std::string::npos;
}

std::size_t MbsReverseFind(const std::string& haystack, char ch) {
  std::size_t found = std::string::npos;
  for (std::size_t i = 0; i < haystack.size(); i += CharLength(haystack, i)) {
    if (CharLength(haystack, i) == 1 && haystack[i] == ch) found = i;
  }
  return found;
}

}  // namespace port
