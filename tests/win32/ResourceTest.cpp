// The resources the client finds in vxRSS.dll: the settings dialog's template and its two bitmaps, each
// under exactly the two Chinese languages. The template is compared with one written here field by field;
// the bitmaps by a digest of their bytes, so that any change to them shows here.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/win32/DialogDriver.h"

namespace {

// Resource types.
constexpr WORD kBitmap = 2;
constexpr WORD kDialog = 5;

std::vector<WORD> Languages(HMODULE hModule, WORD type, WORD id) {
  std::vector<WORD> languages;
  EnumResourceLanguagesW(
      hModule, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id),
      [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) -> BOOL {
        reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&languages));
  return languages;
}

std::string Bytes(HMODULE hModule, WORD type, WORD id, WORD language) {
  const HRSRC hInfo = FindResourceExW(hModule, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id), language);
  if (hInfo == nullptr) return std::string();
  const auto* data = static_cast<const char*>(LockResource(LoadResource(hModule, hInfo)));
  return std::string(data, SizeofResource(hModule, hInfo));
}

// A dialog template in its extended form, written field by field as the dialog manager reads it.
class CTemplateWriter {
 public:
  CTemplateWriter& Number(std::uint32_t value, std::size_t size) {
    m_bytes.append(reinterpret_cast<const char*>(&value), size);  // little-endian
    return *this;
  }
  CTemplateWriter& Rect(std::int16_t x, std::int16_t y, std::int16_t cx, std::int16_t cy) {
    for (const std::int16_t value : {x, y, cx, cy}) Number(static_cast<std::uint16_t>(value), 2);
    return *this;
  }
  // A UTF-8 text, written in UTF-16 and ended by a zero; "" for none.
  CTemplateWriter& Text(const std::string& utf8) {
    std::wstring text(utf8.size(), L'\0');
    const int size = static_cast<int>(utf8.size());
    text.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &text[0], size)));
    for (const wchar_t c : text) Number(c, 2);
    return Number(0, 2);
  }
  // Help ID, extended style, style, place, ID, class by ordinal, text and no creation data, on a DWORD.
  CTemplateWriter& Control(std::uint32_t style, std::int16_t x, std::int16_t y, std::int16_t cx, std::int16_t cy,
                           std::uint32_t id, std::uint16_t classOrdinal, const std::string& text) {
    m_bytes.resize((m_bytes.size() + 3) & ~std::size_t{3});
    Number(0, 4).Number(0, 4).Number(style, 4).Rect(x, y, cx, cy).Number(id, 4).Number(0xFFFF, 2);
    return Number(classOrdinal, 2).Text(text).Number(0, 2);
  }
  const std::string& Bytes() const { return m_bytes; }

 private:
  std::string m_bytes;
};

// An FNV-1a digest of a resource's bytes, in hexadecimal.
std::string Digest(const std::string& bytes) {
  std::uint64_t digest = 14695981039346656037u;
  for (const char c : bytes) digest = (digest ^ static_cast<unsigned char>(c)) * 1099511628211u;
  char text[20];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(digest));
  return text;
}

TEST(ModuleResources, TheSettingsDialogAndItsBitmapsUnderBothChineseLanguages) {
  // Loaded as data: its resources only, no code run.
  const win32test::Module dll(
      LoadLibraryExW(L"vxRSS.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_NE(dll, nullptr) << "vxRSS.dll not found: " << GetLastError();
  // Version 1 of the extended form, no help ID or extended style; popup, caption, system menu, modal frame,
  // font; three controls; 206 by 150 units; no menu, the standard class; then the font: 9 points, normal,
  // upright, character set 1.
  const std::string caption = "RSS\xE6\x96\xB0\xE8\x81\x9E\xE8\xA8\xAD\xE5\xAE\x9A";  // RSS新聞設定
  const std::string face = "\xE6\x96\xB0\xE7\xB4\xB0\xE6\x98\x8E\xE9\xAB\x94";        // 新細明體
  CTemplateWriter dialog;
  dialog.Number(1, 2).Number(0xFFFF, 2).Number(0, 4).Number(0, 4).Number(0x80C800C0, 4).Number(3, 2);
  dialog.Rect(0, 0, 206, 150).Text("").Text("").Text(caption);
  dialog.Number(9, 2).Number(0, 2).Number(0, 1).Number(1, 1).Text(face);
  // The prompt (static), OK (default push button) and Cancel.
  dialog.Control(0x50020000, 6, 6, 105, 8, 0xFFFFFFFF, 0x82,  // 請勾選要訂閱的RSS新聞類別:
                 "\xE8\xAB\x8B\xE5\x8B\xBE\xE9\x81\xB8\xE8\xA6\x81\xE8\xA8\x82\xE9\x96\xB1\xE7\x9A\x84RSS\xE6\x96\xB0"
                 "\xE8\x81\x9E\xE9\xA1\x9E\xE5\x88\xA5:");
  dialog.Control(0x50010001, 93, 133, 50, 14, IDOK, 0x80, "\xE7\xA2\xBA\xE5\xAE\x9A(&K)");       // 確定(&K)
  dialog.Control(0x50010000, 149, 133, 50, 14, IDCANCEL, 0x80, "\xE5\x8F\x96\xE6\xB6\x88(&C)");  // 取消(&C)
  const std::vector<WORD> bothLanguages{1028, 2052};  // traditional and simplified Chinese
  for (const WORD id : {26305, 26306, 26307}) {
    EXPECT_EQ(Languages(dll.get(), id == 26305 ? kDialog : kBitmap, id), bothLanguages) << id;
  }
  for (const WORD language : bothLanguages) {
    SCOPED_TRACE(language);
    const std::string bytes = Bytes(dll.get(), kDialog, 26305, language);
    const auto differ = std::mismatch(bytes.begin(), bytes.end(), dialog.Bytes().begin(), dialog.Bytes().end());
    EXPECT_EQ(bytes, dialog.Bytes()) << "first difference at byte " << differ.first - bytes.begin();
    // Four 13-pixel check states, 52x13 at 4 bits; two 16-pixel folders, 32x16 at 4 bits.
    EXPECT_EQ(Digest(Bytes(dll.get(), kBitmap, 26306, language)), "39C984E4038CC2C7");
    EXPECT_EQ(Digest(Bytes(dll.get(), kBitmap, 26307, language)), "BAB39DCC872088D5");
  }
}

}  // namespace
