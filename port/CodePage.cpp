#include "port/CodePage.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "port/Text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace port {

namespace {

#ifdef _WIN32

constexpr unsigned int kUtf16Le = 1200;
constexpr unsigned int kUtf16Be = 1201;

// Windows code page for an encoding name; 0 when unknown.
unsigned int CodePageOf(const std::string& encoding) {
  const std::string name = Lower(encoding);
  struct Entry {
    const char* name;
    unsigned int codePage;
  };
  static const Entry kTable[] = {
      {"utf-8", CP_UTF8},     {"utf8", CP_UTF8},      {"big5", 950},          {"big-5", 950},
      {"cp950", 950},         {"big5-hkscs", 951},    {"gb2312", 936},        {"gbk", 936},
      {"cp936", 936},         {"gb18030", 54936},     {"shift_jis", 932},     {"euc-jp", 20932},
      {"euc-kr", 949},        {"us-ascii", 20127},    {"ascii", 20127},       {"iso-8859-1", 28591},
      {"latin1", 28591},      {"iso-8859-2", 28592},  {"iso-8859-5", 28595},  {"iso-8859-7", 28597},
      {"iso-8859-9", 28599},  {"iso-8859-15", 28605}, {"windows-1250", 1250}, {"windows-1251", 1251},
      {"windows-1252", 1252}, {"koi8-r", 20866},      {"utf-16le", kUtf16Le}, {"utf-16be", kUtf16Be},
  };
  for (const Entry& e : kTable)
    if (name == e.name) return e.codePage;
  return 0;
}

// MultiByteToWideChar does not take the UTF-16 code pages: their bytes are the wide units themselves.
bool Utf16ToWide(const std::string& bytes, bool bigEndian, std::wstring& wide) {
  if (bytes.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const unsigned char first = static_cast<unsigned char>(bytes[i]);
    const unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
    wide += static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  }
  return true;
}

void WideToUtf16(const std::wstring& wide, bool bigEndian, std::string& bytes) {
  for (const wchar_t unit : wide) {
    const char high = static_cast<char>((unit >> 8) & 0xFF);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
}

bool ToWide(const std::string& bytes, unsigned int codePage, std::wstring& wide) {
  wide.clear();
  if (bytes.empty()) return true;
  if (codePage == kUtf16Le || codePage == kUtf16Be) return Utf16ToWide(bytes, codePage == kUtf16Be, wide);
  // Bytes that are not valid in the code page fail the conversion, as they do with iconv, rather than
  // becoming replacement characters. Every code page of the table above accepts this flag.
  const DWORD flags = MB_ERR_INVALID_CHARS;
  const int n = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return false;
  wide.resize(static_cast<std::size_t>(n));
  return MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), &wide[0], n) == n;
}

// A character beyond the Basic Multilingual Plane is two UTF-16 units. No legacy code page holds one, and
// it must become a single "?" as any other missing character does, not one per unit: keep one placeholder
// unit the code page cannot map either.
std::wstring OneUnitPerCharacter(const std::wstring& wide) {
  std::wstring out;
  out.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const bool pair = IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1]);
    out += pair ? L'\xFFFD' : wide[i];
    if (pair) ++i;
  }
  return out;
}

bool FromWide(const std::wstring& wide, unsigned int codePage, std::string& bytes) {
  bytes.clear();
  if (wide.empty()) return true;
  if (codePage == kUtf16Le || codePage == kUtf16Be) {
    WideToUtf16(wide, codePage == kUtf16Be, bytes);
    return true;
  }
  const bool utf8 = codePage == CP_UTF8;
  const std::wstring text = utf8 ? wide : OneUnitPerCharacter(wide);
  // No "best fit" look-alikes: a character the code page lacks becomes "?", as iconv does elsewhere.
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = utf8 ? nullptr : "?";
  const int length = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, fallback, nullptr);
  if (n <= 0) return false;
  bytes.resize(static_cast<std::size_t>(n));
  return WideCharToMultiByte(codePage, flags, text.data(), length, &bytes[0], n, fallback, nullptr) == n;
}

#else

// Big5 as Windows code page 950 defines it; glibc names that table CP950.
std::string IconvName(const std::string& encoding) {
  const std::string name = Lower(encoding);
  if (name == "big5" || name == "big-5" || name == "cp950") return "CP950";
  return name;
}

class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from) : m_cd(iconv_open(to.c_str(), from.c_str())) {}
  ~Iconv() {
    if (Valid()) iconv_close(m_cd);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in`. With `replace`, an input character the target cannot hold becomes "?" (the input
  // must then be UTF-8, so the character's length is known); otherwise any failure fails.
  bool Convert(const std::string& in, std::string& out, bool replace) {
    out.clear();
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[4096];
    while (srcLeft > 0) {
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      const std::size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
      out.append(buffer, sizeof buffer - dstLeft);
      if (rc != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // iconv says EILSEQ both for malformed input and for a character the target lacks: only the second
      // becomes "?".
      if (errno == EILSEQ && replace) {
        const std::size_t skip = Utf8CharLength(reinterpret_cast<const unsigned char*>(src), srcLeft);
        if (skip == 0) return false;
        out += '?';
        src += skip;
        srcLeft -= skip;
        continue;
      }
      return false;  // invalid or truncated input
    }
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    iconv(m_cd, nullptr, nullptr, &dst, &dstLeft);  // flush any shift state
    out.append(buffer, sizeof buffer - dstLeft);
    return true;
  }

 private:
  // Length of the well-formed UTF-8 character `text` starts with (of `left` bytes); 0 when it is malformed:
  // a bad lead or continuation byte, cut short, an overlong form, a surrogate or beyond U+10FFFF.
  static std::size_t Utf8CharLength(const unsigned char* text, std::size_t left) {
    const unsigned char lead = text[0];
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || length > left) return 0;
    // After E0 and F0 a low second byte spells an overlong form; after ED a high one a surrogate, after F4
    // one beyond U+10FFFF.
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (length > 1 && (text[1] < low || text[1] > high)) return 0;
    for (std::size_t i = 2; i < length; ++i)
      if ((text[i] & 0xC0) != 0x80) return 0;
    return length;
  }

  iconv_t m_cd;
};

#endif

}  // namespace

bool DecodeToUtf8(const std::string& bytes, const std::string& encoding, std::string& utf8) {
#ifdef _WIN32
  const unsigned int codePage = CodePageOf(encoding);
  std::wstring wide;
  return codePage != 0 && ToWide(bytes, codePage, wide) && FromWide(wide, CP_UTF8, utf8);
#else
  Iconv cd("UTF-8", IconvName(encoding));
  return cd.Valid() && cd.Convert(bytes, utf8, false);
#endif
}

bool EncodeFromUtf8(const std::string& utf8, const std::string& encoding, std::string& bytes) {
#ifdef _WIN32
  const unsigned int codePage = CodePageOf(encoding);
  std::wstring wide;
  return codePage != 0 && ToWide(utf8, CP_UTF8, wide) && FromWide(wide, codePage, bytes);
#else
  Iconv cd(IconvName(encoding), "UTF-8");
  return cd.Valid() && cd.Convert(utf8, bytes, true);
#endif
}

CString Big5FromUtf8(const std::string& utf8) {
  std::string bytes;
  if (!EncodeFromUtf8(utf8, "big5", bytes)) return CString();
  return CString(std::move(bytes));
}

std::string Utf8FromBig5(const CString& big5) {
  std::string utf8;
  if (!DecodeToUtf8(big5.str(), "big5", utf8)) return std::string();
  return utf8;
}

std::filesystem::path FileSystemPath(const CString& path) {
#ifdef _WIN32
  std::wstring wide;
  if (ToWide(path.str(), CP_ACP, wide)) return std::filesystem::path(wide);
#endif
  return std::filesystem::path(path.str());
}

}  // namespace port
