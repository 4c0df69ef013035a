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

// vxRSS.dll loaded as data: its resources only, no code run.
class CResourceModule {
 public:
  CResourceModule()
      : m_hModule(LoadLibraryExW(L"vxRSS.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~CResourceModule() {
    if (m_hModule != nullptr) FreeLibrary(m_hModule);
  }
  CResourceModule(const CResourceModule&) = delete;
  CResourceModule& operator=(const CResourceModule&) = delete;

  HMODULE Get() const { return m_hModule; }

  std::vector<WORD> Languages(WORD type, WORD id) const {
    std::vector<WORD> languages;
    EnumResourceLanguagesW(
        m_hModule, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id),
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) -> BOOL {
          reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
          return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    return languages;
  }

  std::string Bytes(WORD type, WORD id, WORD language) const {
    const HRSRC hInfo = FindResourceExW(m_hModule, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id), language);
    if (hInfo == nullptr) return std::string();
    const auto* data = static_cast<const char*>(LockResource(LoadResource(m_hModule, hInfo)));
    return std::string(data, SizeofResource(m_hModule, hInfo));
  }

 private:
  HMODULE m_hModule;
};

// Reads a dialog template in its extended form; a read past the end gives zeros.
class CTemplateReader {
 public:
  explicit CTemplateReader(std::string bytes) : m_bytes(std::move(bytes)) {}

  std::uint32_t Number(std::size_t size) {
    std::uint32_t value = 0;
    if (m_pos + size <= m_bytes.size()) std::memcpy(&value, m_bytes.data() + m_pos, size);
    m_pos += size;
    return value;
  }
  std::uint32_t Word() { return Number(2); }
  std::uint32_t Dword() { return Number(4); }
  std::string Hex() { return Hex(Dword()); }
  static std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
  }
  // A short, as the coordinates are stored.
  int Coordinate() { return static_cast<std::int16_t>(Word()); }

  // A text in UTF-8, or "#n" for an ordinal, or "-" for none.
  std::string TextOrOrdinal() {
    const std::uint32_t first = Word();
    if (first == 0xFFFF) return "#" + std::to_string(Word());
    if (first == 0) return "-";
    std::wstring text(1, static_cast<wchar_t>(first));
    for (std::uint32_t c = Word(); c != 0; c = Word()) text += static_cast<wchar_t>(c);
    return win32test::Utf8(text);
  }
  void AlignToDword() { m_pos = (m_pos + 3) & ~std::size_t{3}; }
  bool AtEnd() const { return m_pos == m_bytes.size(); }

 private:
  std::string m_bytes;
  std::size_t m_pos = 0;
};

// Appends " name value" for each field read, in the order the template stores them.
class CLine {
 public:
  explicit CLine(CTemplateReader& in) : m_in(in) {}
  CLine& Number(const char* name, std::size_t size) { return Add(name, std::to_string(m_in.Number(size))); }
  CLine& Signed(const char* name) { return Add(name, std::to_string(static_cast<std::int32_t>(m_in.Dword()))); }
  CLine& Hex(const char* name) { return Add(name, m_in.Hex()); }
  CLine& Text(const char* name) { return Add(name, m_in.TextOrOrdinal()); }
  CLine& Rect() {
    std::string rect;
    for (int i = 0; i < 4; ++i) rect += (i ? "," : "") + std::to_string(m_in.Coordinate());
    return Add("at", rect);
  }
  CLine& Add(const char* name, const std::string& value) {
    m_text += (m_text.empty() ? "" : " ") + std::string(name) + " " + value;
    return *this;
  }
  const std::string& Get() const { return m_text; }

 private:
  CTemplateReader& m_in;
  std::string m_text;
};

// The template as lines: the dialog, its font, then one line per control.
Lines DescribeTemplate(std::string bytes) {
  CTemplateReader in(std::move(bytes));
  CLine dialog(in);
  dialog.Number("version", 2).Number("signature", 2).Number("help", 4).Hex("ex").Hex("style");
  const std::uint32_t controls = in.Word();
  dialog.Rect().Text("menu").Text("class").Text("caption");
  CLine font(in);
  font.Number("font", 2).Number("weight", 2).Number("italic", 1).Number("charset", 1).Text("face");
  Lines lines{dialog.Get(), font.Get()};
  for (std::uint32_t i = 0; i < controls; ++i) {
    in.AlignToDword();
    CLine control(in);
    control.Number("help", 4).Hex("ex").Hex("style").Rect().Signed("id").Text("class").Text("text");
    lines.push_back(control.Number("extra", 2).Get());
  }
  if (!in.AtEnd()) lines.push_back("trailing bytes");
  return lines;
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
         CTemplateReader::Hex(static_cast<std::uint32_t>(digest >> 32)) +
         CTemplateReader::Hex(static_cast<std::uint32_t>(digest));
}

TEST(ModuleResources, TheSettingsDialogAndItsBitmapsUnderBothChineseLanguages) {
  const CResourceModule dll;
  ASSERT_NE(dll.Get(), nullptr) << "vxRSS.dll not found: " << GetLastError();
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
  EXPECT_EQ(dll.Languages(kDialog, 26305), bothLanguages);
  EXPECT_EQ(dll.Languages(kBitmap, 26306), bothLanguages);
  EXPECT_EQ(dll.Languages(kBitmap, 26307), bothLanguages);
  for (const WORD language : bothLanguages) {
    SCOPED_TRACE(language);
    EXPECT_EQ(DescribeTemplate(dll.Bytes(kDialog, 26305, language)), dialog);
    // Four 13-pixel check states; two 16-pixel folders.
    EXPECT_EQ(DescribeBitmap(dll.Bytes(kBitmap, 26306, language)), "52x13 4 bits 16 colours 39C984E4038CC2C7");
    EXPECT_EQ(DescribeBitmap(dll.Bytes(kBitmap, 26307, language)), "32x16 4 bits 16 colours BAB39DCC872088D5");
  }
}

}  // namespace
