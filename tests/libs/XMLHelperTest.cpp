#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>

#include "libs/vxutil/XMLHelper.h"
#include "tests/libs/TempDir.h"

namespace {

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// "新聞" in the encodings the tests use.
const char kNewsUtf8[] = "\xE6\x96\xB0\xE8\x81\x9E";
const char kNewsBig5[] = "\xB7\x73\xBB\x44";

struct EncodingCase {
  const char* label;
  std::string bytes;
  std::string attribute;  // expected value of r/@a, UTF-8
  std::string text;       // expected text of r, UTF-8
};

class XMLHelperEncoding : public testing::TestWithParam<EncodingCase> {};

TEST_P(XMLHelperEncoding, DecodesToUtf8) {
  CXMLDocument doc;
  ASSERT_NE(CXMLHelper::ParseXMLBuffer(GetParam().bytes, doc), 0);
  const CXMLElement* r = doc.SelectSingleNode("/r");
  ASSERT_NE(r, nullptr);
  std::string value;
  ASSERT_TRUE(r->GetAttribute("a", value));
  EXPECT_EQ(value, GetParam().attribute);
  EXPECT_EQ(r->text, GetParam().text);
}

const std::string kBig5Body = std::string("<r a=\"") + kNewsBig5 + ",\xB3\x5C\"> \xA4\x40</r>";  // 許: trail byte 0x5C

INSTANTIATE_TEST_SUITE_P(
    Declarations, XMLHelperEncoding,
    testing::Values(
        // The settings file's own declaration; the second ID's trail byte is a backslash.
        EncodingCase{"big5", "<?xml version='1.0' encoding='big5' ?>\n" + kBig5Body,
                     std::string(kNewsUtf8) + ",\xE8\xA8\xB1", " \xE4\xB8\x80"},
        EncodingCase{"big5_upper_double_quotes", "<?xml version=\"1.0\" encoding = \"BIG5\"?>" + kBig5Body,
                     std::string(kNewsUtf8) + ",\xE8\xA8\xB1", " \xE4\xB8\x80"},
        EncodingCase{"utf8", std::string("<?xml version='1.0' encoding='utf-8'?><r a='") + kNewsUtf8 + "'>x</r>",
                     kNewsUtf8, "x"},
        EncodingCase{"latin1", "<?xml version='1.0' encoding='ISO-8859-1'?><r a='caf\xE9'>\xFC</r>", "caf\xC3\xA9",
                     "\xC3\xBC"},
        EncodingCase{"no_declaration_is_utf8", std::string("<r a='") + kNewsUtf8 + "'/>", kNewsUtf8, ""},
        EncodingCase{"utf8_bom_beats_declaration",
                     std::string("\xEF\xBB\xBF<?xml version='1.0' encoding='big5'?><r a='") + kNewsUtf8 + "'/>",
                     kNewsUtf8, ""},
        EncodingCase{"utf16le_bom", std::string("\xFF\xFE<\0r\0 \0a\0=\0'\0\xB0\x65'\0/\0>\0", 22), "\xE6\x96\xB0",
                     ""}),
    [](const testing::TestParamInfo<EncodingCase>& info) { return std::string(info.param.label); });

TEST(XMLHelperEncodingFailure, UnknownEncodingOrInvalidBytesFail) {
  CXMLDocument doc;
  EXPECT_EQ(CXMLHelper::ParseXMLBuffer("<?xml version='1.0' encoding='x-nonesuch'?><r/>", doc), 0);
  EXPECT_EQ(CXMLHelper::ParseXMLBuffer("<?xml version='1.0' encoding='utf-8'?><r a='\xC3\x28'/>", doc), 0);
  EXPECT_EQ(doc.root, nullptr);
}

TEST(XMLHelperDom, KeepsNamesNamespacesAttributesAndTextInOrder) {
  const std::string xml =
      "<rss xmlns:dc='http://purl.org/dc/elements/1.1/' version='2.0'>"
      "<channel><item id='1' dc:x='y'><dc:date>2024</dc:date>"
      "<description>a<![CDATA[<b>&c]]>d<i>e</i>f&amp;&#x41;</description></item></channel></rss>";
  CXMLDocument doc;
  ASSERT_NE(CXMLHelper::ParseXMLBuffer(xml, doc), 0);
  const CXMLElement* item = doc.SelectSingleNode("/rss/channel/item");
  ASSERT_NE(item, nullptr);
  ASSERT_EQ(item->attributes.size(), 2u);
  EXPECT_EQ(item->attributes[0], std::make_pair(std::string("id"), std::string("1")));
  EXPECT_EQ(item->attributes[1], std::make_pair(std::string("dc:x"), std::string("y")));

  const CXMLElement* date = item->FirstChild("date", "http://purl.org/dc/elements/1.1/");
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(date->name, "dc:date");
  EXPECT_EQ(date->localName, "date");
  EXPECT_EQ(item->FirstChild("date", ""), nullptr);
  EXPECT_EQ(doc.SelectSingleNode("/rss/channel/item/dc:date"), date);

  const CXMLElement* description = item->FirstChild("description");
  ASSERT_NE(description, nullptr);
  EXPECT_EQ(description->text, "a<b>&cdf&A");
  EXPECT_EQ(description->AllText(), "a<b>&cdef&A");
  EXPECT_EQ(item->AllText(), "2024a<b>&cdef&A");
}

TEST(XMLHelperDom, SelectSingleNodeTakesOnlyAbsoluteChildPaths) {
  CXMLDocument doc;
  ASSERT_NE(CXMLHelper::ParseXMLBuffer("<a><b/><c><b/></c></a>", doc), 0);
  EXPECT_EQ(doc.SelectSingleNode("/a"), doc.root.get());
  EXPECT_EQ(doc.SelectSingleNode("/b"), nullptr);  // not the document element
  EXPECT_EQ(doc.SelectSingleNode("a"), nullptr);
  EXPECT_EQ(doc.SelectSingleNode("/"), nullptr);
  EXPECT_EQ(doc.SelectSingleNode("/a//b"), nullptr);
  EXPECT_EQ(doc.SelectSingleNode("/a/c/b"), doc.root->children[1]->children[0].get());
  EXPECT_EQ(CXMLDocument().SelectSingleNode("/a"), nullptr);
}

// Documents a hostile or careless sender could supply. Each must fail to parse, and fast.
struct HostileCase {
  const char* label;
  std::string xml;
};

class XMLHelperHostile : public testing::TestWithParam<HostileCase> {};

TEST_P(XMLHelperHostile, IsRefused) {
  const auto start = std::chrono::steady_clock::now();
  CXMLDocument doc;
  EXPECT_EQ(CXMLHelper::ParseXMLBuffer(GetParam().xml, doc), 0);
  EXPECT_EQ(doc.root, nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

std::string BillionLaughs() {
  std::string xml = "<?xml version='1.0'?><!DOCTYPE lolz [<!ENTITY lol0 'lol'>";
  for (int i = 1; i < 10; ++i) {
    xml += "<!ENTITY lol" + std::to_string(i) + " '";
    for (int j = 0; j < 10; ++j) xml += "&lol" + std::to_string(i - 1) + ";";
    xml += "'>";
  }
  return xml + "]><lolz a='&lol9;'>&lol9;</lolz>";
}

std::string Nested(int depth) {
  std::string xml;
  for (int i = 0; i < depth; ++i) xml += "<a>";
  for (int i = 0; i < depth; ++i) xml += "</a>";
  return xml;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, XMLHelperHostile,
    testing::Values(
        HostileCase{"billion_laughs", BillionLaughs()},
        HostileCase{"external_entity", "<!DOCTYPE r [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><r>&x;</r>"},
        HostileCase{"parameter_entity", "<!DOCTYPE r [<!ENTITY % p SYSTEM 'http://127.0.0.1:9/x'> %p;]><r/>"},
        HostileCase{"entity_after_comment_and_pi",
                    "<?xml version='1.0'?><!-- c --><?pi x?>\n<!DOCTYPE r [<!-- ] > --><!ENTITY x 'y'>]><r/>"},
        HostileCase{"entity_after_quoted_bracket", "<!DOCTYPE r [<!ATTLIST r a CDATA \"]>\"><!ENTITY x 'y'>]><r/>"},
        HostileCase{"entity_after_section", "<!DOCTYPE r [<![IGNORE[ ]]><!ENTITY x 'y'>]><r>&x;</r>"},
        HostileCase{"undeclared_entity", "<r>&nbsp;</r>"}, HostileCase{"malformed", "<r><s></r>"},
        HostileCase{"no_element", "<?xml version='1.0'?>"}, HostileCase{"empty", ""},
        HostileCase{"too_deep", Nested(20000)}),
    [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.label); });

TEST(XMLHelperDtd, ExternalDtdIsNeverRead) {
  TempDir dir;
  const std::filesystem::path dtd = dir.path() / "leak.dtd";
  WriteFile(dtd, "<!ENTITY secret 'LEAKED'><!ATTLIST r d CDATA 'DEFAULTED'>");
  const std::filesystem::path xml = dir.path() / "doc.xml";
  WriteFile(xml, "<!DOCTYPE r SYSTEM '" + dtd.string() + "'><r>[&secret;]</r>");
  CXMLDocument doc;
  // Refusing the document would also be safe; what must never happen is the DTD's text arriving.
  if (CXMLHelper::ParseXMLFile(xml.string().c_str(), doc) != 0) {
    EXPECT_EQ(doc.root->AllText(), "[]");
    std::string value;
    EXPECT_FALSE(doc.root->GetAttribute("d", value));
  }
}

TEST(XMLHelperDom, EntityTextInCommentsAndContentIsNotADeclaration) {
  CXMLDocument doc;
  EXPECT_NE(CXMLHelper::ParseXMLBuffer("<!-- <!ENTITY x 'y'> --><r><!--<!ENTITY--></r>", doc), 0);
  EXPECT_NE(CXMLHelper::ParseXMLBuffer("<!DOCTYPE r [<!ELEMENT r ANY>]><r>&lt;!ENTITY</r>", doc), 0);
}

// A document of exactly `size` bytes. The filler is spread over many elements, since the parser bounds the
// length of a single text node on its own.
std::string DocumentOfSize(std::size_t size) {
  const std::string chunk = "<x>" + std::string(993, ' ') + "</x>";
  std::string xml = "<r>";
  while (xml.size() + chunk.size() + 4 <= size) xml += chunk;
  xml.append(size - xml.size() - 4, ' ');
  return xml + "</r>";
}

TEST(XMLHelperFile, SizeBoundIsSixteenMebibytes) {
  TempDir dir;
  const std::filesystem::path path = dir.path() / "big.xml";
  CXMLDocument doc;
  WriteFile(path, DocumentOfSize(CXMLHelper::kMaxFileSize));
  EXPECT_NE(CXMLHelper::ParseXMLFile(path.string().c_str(), doc), 0);

  const std::string over = DocumentOfSize(CXMLHelper::kMaxFileSize + 1);
  WriteFile(path, over);
  EXPECT_EQ(CXMLHelper::ParseXMLFile(path.string().c_str(), doc), 0);
  EXPECT_EQ(CXMLHelper::ParseXMLBuffer(over, doc), 0);
}

TEST(XMLHelperFile, MissingOrUnreadablePathsFail) {
  TempDir dir;
  CXMLDocument doc;
  EXPECT_EQ(CXMLHelper::ParseXMLFile((dir.path() / "none.xml").string().c_str(), doc), 0);
  EXPECT_EQ(CXMLHelper::ParseXMLFile(dir.path().string().c_str(), doc), 0);  // a folder
  EXPECT_EQ(CXMLHelper::ParseXMLFile("", doc), 0);
}

}  // namespace
