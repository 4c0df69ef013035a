// CString: the module's byte string, holding Big5 text, with the part of the familiar MFC interface the
// module uses. Comparison and search follow the Big5 rules of port/Mbcs.h.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#if defined(__GNUC__)
#define VX_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define VX_PRINTF_FORMAT(fmt, args)
#endif

class CString {
 public:
  CString() = default;
  CString(const char* text) : m_str(text ? text : "") {}  // NOLINT: implicit, as in MFC
  CString(const char* text, int length) : m_str(text ? std::string(text, static_cast<std::size_t>(length)) : "") {}
  explicit CString(std::string text) : m_str(std::move(text)) {}

  int GetLength() const { return static_cast<int>(m_str.size()); }
  bool IsEmpty() const { return m_str.empty(); }
  void Empty() { m_str.clear(); }
  const char* GetString() const { return m_str.c_str(); }
  const std::string& str() const { return m_str; }
  char GetAt(int index) const { return m_str.at(static_cast<std::size_t>(index)); }
  char operator[](int index) const { return GetAt(index); }

  // Byte position of the first match starting on a character boundary at or after `start`, or -1.
  int Find(const CString& sub, int start = 0) const;
  int Find(char ch, int start = 0) const;
  // Byte position of the last single-byte character `ch`, or -1.
  int ReverseFind(char ch) const;

  // Substrings by byte counts, clamped to the string as MFC clamps them.
  CString Left(int count) const;
  CString Right(int count) const;
  CString Mid(int first) const;
  CString Mid(int first, int count) const;

  void Format(const char* format, ...) VX_PRINTF_FORMAT(2, 3);

  int Compare(const CString& other) const;        // _mbscmp order
  int CompareNoCase(const CString& other) const;  // _mbsicmp rule

  CString& operator+=(const CString& other) {
    m_str += other.m_str;
    return *this;
  }
  CString& operator+=(const char* other) {
    m_str += other ? other : "";
    return *this;
  }
  CString& operator+=(char ch) {
    m_str += ch;
    return *this;
  }

  friend CString operator+(CString a, const CString& b) { return a += b; }
  friend CString operator+(CString a, const char* b) { return a += b; }
  friend CString operator+(const char* a, const CString& b) { return CString(a) += b; }

  friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
  friend bool operator==(const CString& a, const char* b) { return a.m_str == (b ? b : ""); }
  friend bool operator==(const char* a, const CString& b) { return b == a; }
  friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
  friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
  friend bool operator!=(const char* a, const CString& b) { return !(b == a); }
  friend bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }

 private:
  std::string m_str;
};

namespace std {
template <>
struct hash<CString> {
  size_t operator()(const CString& s) const noexcept { return hash<string>()(s.str()); }
};
}  // namespace std

// The MFC array of strings, as far as the module uses it.
class CStringArray {
 public:
  int GetSize() const { return static_cast<int>(m_items.size()); }
  bool IsEmpty() const { return m_items.empty(); }
  void RemoveAll() { m_items.clear(); }
  int Add(const CString& item) {
    m_items.push_back(item);
    return GetSize() - 1;
  }
  const CString& GetAt(int index) const { return m_items.at(static_cast<std::size_t>(index)); }
  const CString& operator[](int index) const { return GetAt(index); }
  std::vector<CString>::const_iterator begin() const { return m_items.begin(); }
  std::vector<CString>::const_iterator end() const { return m_items.end(); }

 private:
  std::vector<CString> m_items;
};
