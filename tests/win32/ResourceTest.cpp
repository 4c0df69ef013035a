// The resources the client finds in vxRSS.dll: the settings dialog's template and its two bitmaps, each
// under exactly the two Chinese languages. The template is read field by field as the dialog manager reads
// it; the bitmaps by their header and a digest of their bytes, so that any change to them shows here.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/win32/DialogDriver.h"

namespace {

using Lines = std::vector<std::string>;

constexpr WORD kTraditional = 1028;
constexpr WORD kSimplified = 2052;
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

std::string HexText(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

// Reads a dialog template in its extended form into lines of "name value" fields, in the order the
// template stores them. A read past the end gives zeros.
class CTemplateDump {
 public:
  explicit CTemplateDump(std::string bytes) : m_bytes(std::move(bytes)) {}

  std::uint32_t Read(std::size_t size) {
    std::uint32_t value = 0;
    if (m_pos + size <= m_bytes.size()) std::memcpy(&value, m_bytes.data() + m_pos, size);
    m_pos += size;
    return value;
  }
  void AlignToDword() { m_pos = (m_pos + 3) & ~std::size_t{3}; }

  CTemplateDump& Number(const char* name, std::size_t size) { return Field(name, std::to_string(Read(size))); }
  CTemplateDump& Signed(const char* name) { return Field(name, std::to_string(static_cast<std::int32_t>(Read(4)))); }
  CTemplateDump& Hex(const char* name) { return Field(name, HexText(Read(4))); }
  CTemplateDump& Rect() {
    std::string rect;
    for (int i = 0; i < 4; ++i) rect += (i ? "," : "") + std::to_string(static_cast<std::int16_t>(Read(2)));
    return Field("at", rect);
  }
  // A text in UTF-8, "#n" for an ordinal, "-" for none.
  CTemplateDump& Text(const char* name) {
    const std::uint32_t first = Read(2);
    if (first == 0xFFFF) return Field(name, "#" + std::to_string(Read(2)));
    std::wstring text;
    for (std::uint32_t c = first; c != 0; c = Read(2)) text += static_cast<wchar_t>(c);
    return Field(name, text.empty() ? "-" : win32test::Utf8(text));
  }
  CTemplateDump& EndLine() {
    m_lines.push_back(std::move(m_line));
    m_line.clear();
    return *this;
  }
  Lines Finish() {
    if (m_pos != m_bytes.size()) m_lines.push_back("trailing bytes");
    return m_lines;
  }

 private:
  CTemplateDump& Field(const char* name, const std::string& value) {
    m_line += (m_line.empty() ? "" : " ") + std::string(name) + " " + value;
    return *this;
  }

  std::string m_bytes;
  std::size_t m_pos = 0;
  std::string m_line;
  Lines m_lines;
};

// The template as lines: the dialog, its font, then one line per control.
Lines DescribeTemplate(std::string bytes) {
  CTemplateDump in(std::move(bytes));
  in.Number("version", 2).Number("signature", 2).Number("help", 4).Hex("ex").Hex("style");
  const std::uint32_t controls = in.Read(2);
  in.Rect().Text("menu").Text("class").Text("caption").EndLine();
  in.Number("font", 2).Number("weight", 2).Number("italic", 1).Number("charset", 1).Text("face").EndLine();
  for (std::uint32_t i = 0; i < controls; ++i) {
    in.AlignToDword();
    in.Number("help", 4).Hex("ex").Hex("style").Rect().Signed("id").Text("class").Text("text");
    in.Number("extra", 2).EndLine();
  }
  return in.Finish();
}

// A bitmap resource by its header (size, bits per pixel, colours) and an FNV-1a digest of all its bytes.
std::string DescribeBitmap(const std::string& bytes) {
  BITMAPINFOHEADER header{};
  if (bytes.size() < sizeof header) return "no bitmap";
  std::memcpy(&header, bytes.data(), sizeof header);
  std::uint64_t digest = 14695981039346656037u;
  for (const char c : bytes) digest = (digest ^ static_cast<unsigned char>(c)) * 1099511628211u;
  return std::to_string(header.biWidth) + "x" + std::to_string(header.biHeight) + " " +
         std::to_string(header.biBitCount) + " bits " + std::to_string(header.biClrUsed) + " colours " +
         HexText(static_cast<std::uint32_t>(digest >> 32)) + HexText(static_cast<std::uint32_t>(digest));
}

TEST(ModuleResources, TheSettingsDialogAndItsBitmapsUnderBothChineseLanguages) {
  // Loaded as data: its resources only, no code run.
  const win32test::Module dll(
      LoadLibraryExW(L"vxRSS.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_NE(dll, nullptr) << "vxRSS.dll not found: " << GetLastError();
  // Popup, caption, system menu, modal frame, font; 206 by 150 units; the prompt and the two buttons.
  const Lines dialog{
      "version 1 signature 65535 help 0 ex 00000000 style 80C800C0 at 0,0,206,150 menu - class - "
      "caption RSS\xE6\x96\xB0\xE8\x81\x9E\xE8\xA8\xAD\xE5\xAE\x9A",                               // RSS新聞設定
      "font 9 weight 0 italic 0 charset 1 face \xE6\x96\xB0\xE7\xB4\xB0\xE6\x98\x8E\xE9\xAB\x94",  // 新細明體
      "help 0 ex 00000000 style 50020000 at 6,6,105,8 id -1 class #130 text "  // 請勾選要訂閱的RSS新聞類別:
      "\xE8\xAB\x8B\xE5\x8B\xBE\xE9\x81\xB8\xE8\xA6\x81\xE8\xA8\x82\xE9\x96\xB1\xE7\x9A\x84RSS\xE6\x96\xB0"
      "\xE8\x81\x9E\xE9\xA1\x9E\xE5\x88\xA5: extra 0",
      "help 0 ex 00000000 style 50010001 at 93,133,50,14 id 1 class #128 text "
      "\xE7\xA2\xBA\xE5\xAE\x9A(&K) extra 0",  // 確定(&K)
      "help 0 ex 00000000 style 50010000 at 149,133,50,14 id 2 class #128 text "
      "\xE5\x8F\x96\xE6\xB6\x88(&C) extra 0",  // 取消(&C)
  };
  const std::vector<WORD> bothLanguages{kTraditional, kSimplified};
  EXPECT_EQ(Languages(dll.get(), kDialog, 26305), bothLanguages);
  EXPECT_EQ(Languages(dll.get(), kBitmap, 26306), bothLanguages);
  EXPECT_EQ(Languages(dll.get(), kBitmap, 26307), bothLanguages);
  for (const WORD language : bothLanguages) {
    SCOPED_TRACE(language);
    EXPECT_EQ(DescribeTemplate(Bytes(dll.get(), kDialog, 26305, language)), dialog);
    // Four 13-pixel check states; two 16-pixel folders.
    EXPECT_EQ(DescribeBitmap(Bytes(dll.get(), kBitmap, 26306, language)), "52x13 4 bits 16 colours 39C984E4038CC2C7");
    EXPECT_EQ(DescribeBitmap(Bytes(dll.get(), kBitmap, 26307, language)), "32x16 4 bits 16 colours BAB39DCC872088D5");
  }
}

}  // namespace
