#include "port/CString.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "port/Mbcs.h"

namespace {

int ToIndex(std::size_t pos) { return pos == std::string::npos ? -1 : static_cast<int>(pos); }

std::size_t Clamp(int value, std::size_t limit) {
  if (value < 0) return 0;
  return std::min(static_cast<std::size_t>(value), limit);
}

}  // namespace

int CString::Find(const CString& sub, int start) const {
  if (start < 0) start = 0;
  if (static_cast<std::size_t>(start) > m_str.size()) return -1;
  return ToIndex(port::MbsFind(m_str, sub.m_str, static_cast<std::size_t>(start)));
}

int CString::Find(char ch, int start) const { return Find(CString(std::string(1, ch)), start); }

int CString::ReverseFind(char ch) const { return ToIndex(port::MbsReverseFind(m_str, ch)); }

CString CString::Left(int count) const { return CString(m_str.substr(0, Clamp(count, m_str.size()))); }

CString CString::Right(int count) const {
  const std::size_t n = Clamp(count, m_str.size());
  return CString(m_str.substr(m_str.size() - n));
}

CString CString::Mid(int first) const { return CString(m_str.substr(Clamp(first, m_str.size()))); }

CString CString::Mid(int first, int count) const {
  const std::size_t from = Clamp(first, m_str.size());
  return CString(m_str.substr(from, Clamp(count, m_str.size() - from)));
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed < 0) {
    va_end(args);
    m_str.clear();
    return;
  }
  std::string out(static_cast<std::size_t>(needed) + 1, '\0');
  std::vsnprintf(&out[0], out.size(), format, args);
  va_end(args);
  out.resize(static_cast<std::size_t>(needed));
  m_str = std::move(out);
}

int CString::Compare(const CString& other) const { return port::MbsCompare(m_str, other.m_str); }

int CString::CompareNoCase(const CString& other) const { return port::MbsCompareNoCase(m_str, other.m_str); }
