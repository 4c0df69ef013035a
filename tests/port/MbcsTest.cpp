#include <gtest/gtest.h>

#include <vector>

#include "port/CString.h"
#include "port/CodePage.h"
#include "port/Mbcs.h"
#include "port/Path.h"

namespace {

// Big5 A441 and A461: double-byte characters whose trail bytes are the ASCII letters 'A' and 'a'.
const char kTrailUpper[] = "\xA4\x41";
const char kTrailLower[] = "\xA4\x61";

TEST(CStringCompare, ByteOrderAndNoCaseFoldingOnlySingleByteLetters) {
  EXPECT_LT(CString("Z").Compare("a"), 0);
  EXPECT_LT(CString("z").Compare(kTrailUpper), 0);  // 0x7A < 0xA4: not signed char order
  EXPECT_LT(CString("ab").Compare("abc"), 0);
  EXPECT_EQ(CString("AbC").CompareNoCase("aBc"), 0);
  EXPECT_NE(CString(kTrailUpper).CompareNoCase(kTrailLower), 0);
  EXPECT_EQ(CString(std::string("X") + kTrailUpper).CompareNoCase(CString(std::string("x") + kTrailUpper)), 0);
  EXPECT_LT(CString("a").CompareNoCase(CString("a\0", 2)), 0);  // the terminator is not a character

  // Text without ASCII letters: folding changes nothing, so both compares must order it alike, invalid bytes
  // (0x80, 0xFF, a lead byte without its trail byte) included.
  const char* const texts[] = {"",         "1",    "\x80",     "\xFF",         "\x81\x40", "\x81\x30",
                               "\x81\xFF", "\xA4", "\xA4\x40", "\xA4\x40\xFF", "\xFE\xFE", "\xFF\x40"};
  for (const char* a : texts) {
    for (const char* b : texts) {
      const int bytes = CString(a).Compare(b), noCase = CString(a).CompareNoCase(b);
      EXPECT_EQ((noCase > 0) - (noCase < 0), bytes) << testing::PrintToString(a) << " vs " << testing::PrintToString(b);
    }
  }
}

TEST(CStringFind, NeverMatchesStartingOnATrailByteNorFoldsOne) {
  const CString text(std::string(kTrailUpper) + "A");  // bytes A4 41 41
  EXPECT_EQ(text.Find("A"), 2);
  EXPECT_EQ(text.Find('A'), 2);
  EXPECT_EQ(CString("\xB3\x5C").Find('\\'), -1);  // 0x5C inside a character is not a backslash
  EXPECT_EQ(CString("a\\b\xB3\x5C").ReverseFind('\\'), 1);
  EXPECT_EQ(CString("11,12").Find("12", 1), 3);
  EXPECT_EQ(CString("abc").Find("abcd"), -1);
  EXPECT_EQ(CString("abc").Find("", 3), 3);  // the empty text is found at the very end
  EXPECT_EQ(CString("abc").Find("c", 3), -1);
  // The helpers below CString: no character at the end of the text, and folding that steps over double-byte
  // characters.
  EXPECT_EQ(port::CharLength("a\xA4\x41", 3), 0u);
  EXPECT_EQ(port::CharLength("a\xA4\x41", 1), 2u);
  EXPECT_EQ(port::MbsFoldCase("AbC\xA4\x41Z"), "abc\xA4\x41z");
}

TEST(CStringSubstrings, ClampLikeMfc) {
  const CString s("abcdef");
  EXPECT_EQ((std::vector<CString>{s.Left(2), s.Left(99), s.Right(2), s.Mid(4), s.Mid(1, 2), s.Mid(10)}),
            (std::vector<CString>{"ab", "abcdef", "ef", "ef", "bc", ""}));
}

TEST(CodePage, Big5RoundTripsThroughUtf8AndACharacterBig5LacksBecomesAQuestionMark) {
  const std::string utf8 = "RSS\xE6\x96\xB0\xE8\x81\x9E";  // "RSS新聞"
  EXPECT_EQ(port::Big5FromUtf8(utf8), "RSS\xB7\x73\xBB\x44");
  EXPECT_EQ(port::Utf8FromBig5("RSS\xB7\x73\xBB\x44"), utf8);
  EXPECT_EQ(port::Big5FromUtf8("a\xF0\x9F\x98\x80z"), "a?z");  // an emoji
  EXPECT_EQ(port::Big5FromUtf8("\xE6\x96\xB0"), "\xB7\x73");    // no ASCII at all
  EXPECT_EQ(port::Big5FromUtf8("a\x80"), "");                  // malformed: not taken for ASCII
  std::string out;
  EXPECT_FALSE(port::DecodeToUtf8("abc", "no-such-encoding", out));
  EXPECT_FALSE(port::DecodeToUtf8("\xFF\xFE\xFD", "utf-8", out));
  // A conversion that fails inside a shift state leaves none to the next one (where the platform knows a
  // stateful encoding).
  if (port::DecodeToUtf8("a", "iso-2022-jp", out)) {
    EXPECT_FALSE(port::DecodeToUtf8("\x1B$B\x30", "iso-2022-jp", out));
    EXPECT_TRUE(port::DecodeToUtf8("ab", "iso-2022-jp", out) && out == "ab") << out;
  }
  // Malformed UTF-8 fails; a well-formed character Big5 lacks becomes "?". Characters at the edges of the lead
  // byte ranges and on each side of the overlong forms, the surrogates and the end of Unicode.
  const std::pair<const char*, const char*> encodings[] = {
      {"\xC2\xA9", "?"},         {"\xDF\xBF", "?"},
      {"\xEF\xAC\x81", "?"},     {"\xE0\x9F\xBF", nullptr},
      {"\xE0\xA0\x80", "?"},     {"\xED\xA0\x80", nullptr},
      {"\xED\x9F\xBF", "?"},     {"\xF0\x8F\xBF\xBF", nullptr},
      {"\xF0\x90\x80\x80", "?"}, {"\xF4\x90\x80\x80", nullptr},
      {"\xF4\x8F\xBF\xBF", "?"}, {"\x80\x80\x80\x80", nullptr},  // continuation bytes without a lead
      {"\xE6\x96z", nullptr},    {"\xF0\x9F\x98z", nullptr},     // cut short before an ASCII byte
  };
  for (const auto& [utf8, big5] : encodings) {
    const bool encoded = port::EncodeFromUtf8(std::string("a") + utf8, "big5", out);
    EXPECT_EQ(encoded ? out : "fails", big5 ? std::string("a") + big5 : "fails") << testing::PrintToString(utf8);
  }
}

TEST(Path, JoinsWithThePlatformSeparatorAndKeepsATrailingOne) {
  const std::string sep(1, port::kPathSeparator);
  EXPECT_EQ(port::JoinPath("root", "Data").str(), "root" + sep + "Data");
  EXPECT_EQ(port::JoinPath("root" + CString(sep.c_str()), "Data").str(), "root" + sep + sep + "Data");
  EXPECT_FALSE(port::ExecutableFolder().IsEmpty());
}

}  // namespace
