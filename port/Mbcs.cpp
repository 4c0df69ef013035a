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

// Reads a text byte by byte as MbsFoldCase would leave it, without building the folded copy.
class FoldedBytes {
 public:
  explicit FoldedBytes(const std::string& text) : m_text(text) {}

  bool AtEnd() const { return m_pos >= m_text.size(); }

  unsigned char Next() {
    const auto byte = static_cast<unsigned char>(m_text[m_pos]);
    const bool single = !m_inCharacter && CharLength(m_text, m_pos) == 1;
    m_inCharacter = !m_inCharacter && !single;  // the next byte is the trail byte of this character
    ++m_pos;
    return single ? FoldAscii(byte) : byte;
  }

 private:
  const std::string& m_text;
  std::size_t m_pos = 0;
  bool m_inCharacter = false;
};

}  // namespace

int MbsCompareNoCase(const std::string& a, const std::string& b) {
  FoldedBytes x(a), y(b);
  while (!x.AtEnd() && !y.AtEnd()) {
    const unsigned char ca = x.Next(), cb = y.Next();
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (!x.AtEnd()) return 1;
  if (!y.AtEnd()) return -1;
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
