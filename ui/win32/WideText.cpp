#include "ui/win32/WideText.h"

#include <windows.h>

namespace vxwin32 {

namespace {
constexpr UINT kBig5 = 950;
}

std::wstring WideFromBig5(const CString& text) {
  std::wstring wide;
  if (text.IsEmpty()) return wide;
  const int n = MultiByteToWideChar(kBig5, 0, text.GetString(), text.GetLength(), nullptr, 0);
  if (n <= 0) return wide;
  wide.resize(static_cast<std::size_t>(n));
  MultiByteToWideChar(kBig5, 0, text.GetString(), text.GetLength(), &wide[0], n);
  return wide;
}

CString Big5FromWide(const std::wstring& text) {
  if (text.empty()) return CString();
  const int length = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(kBig5, 0, text.data(), length, nullptr, 0, "?", nullptr);
  if (n <= 0) return CString();
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(kBig5, 0, text.data(), length, &bytes[0], n, "?", nullptr);
  return CString(std::move(bytes));
}

}  // namespace vxwin32
