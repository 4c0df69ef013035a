#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "libs/vxutil/XMLHelper.h"
#include "libs/vxutil/XMLRepair.h"
#include "tests/libs/TempDir.h"

namespace {

struct EncodingCase {
  const char* label;
  std::string bytes;
  std::string attribute;  // expected value of r/@a, UTF-8
};

class XMLHelperEncoding : public testing::TestWithParam<EncodingCase> {};

TEST_P(XMLHelperEncoding, DecodesToUtf8) {
  CXMLDocument doc;
  ASSERT_NE(CXMLHelper::ParseXMLBuffer(GetParam().bytes, doc), 0);
  std::string value;
  ASSERT_TRUE(doc.root->GetAttribute("a", value));
  EXPECT_EQ(value, GetParam().attribute);
}

// Big5 "新聞" and "許" (trail byte 0x5C, a backslash) and their UTF-8 forms.
const std::string kBig5Body = "<r a='\xB7\x73\xBB\x44\xB3\x5C'/>";
const std::string kUtf8Text = "\xE6\x96\xB0\xE8\x81\x9E\xE8\xA8\xB1";

INSTANTIATE_TEST_SUITE_P(
    Declarations, XMLHelperEncoding,
    testing::Values(
        EncodingCase{"big5", "<?xml version='1.0' encoding='big5' ?>\n" + kBig5Body, kUtf8Text},
        EncodingCase{"big5_spaced", "<?xml version=\"1.0\" encoding = \"BIG5\"?>" + kBig5Body, kUtf8Text},
        EncodingCase{"utf8", "<?xml version='1.0' encoding='utf-8'?><r a='" + kUtf8Text + "'/>", kUtf8Text},
        EncodingCase{"latin1", "<?xml version='1.0' encoding='ISO-8859-1'?><r a='caf\xE9'/>", "caf\xC3\xA9"},
        EncodingCase{"none_is_utf8", "<r a='" + kUtf8Text + "'/>", kUtf8Text},
        EncodingCase{"bom_beats_declaration",
                     "\xEF\xBB\xBF<?xml version='1.0' encoding='big5'?><r a='" + kUtf8Text + "'/>", kUtf8Text},
        EncodingCase{"utf16le_bom", std::string("\xFF\xFE<\0r\0 \0a\0=\0'\0\xB0\x65'\0/\0>\0", 22), "\xE6\x96\xB0"}),
    [](const testing::TestParamInfo<EncodingCase>& info) { return std::string(info.param.label); });

TEST(XMLHelperDom, KeepsNamesNamespacesAttributesAndTextInDocumentOrder) {
  const std::string xml =
      "<rss xmlns:dc='urn:dc'><channel><item id='1' dc:x='y'><dc:date>2024</dc:date>"
      "<description>a<![CDATA[<b>&c]]>d<i>e</i>f&amp;&#x41;</description></item></channel></rss>";
  CXMLDocument doc;
  bool repaired = true;
  ASSERT_NE(CXMLHelper::ParseXMLBufferTolerant(xml, doc, repaired), 0);
  EXPECT_FALSE(repaired);
  const CXMLElement* item = doc.SelectSingleNode("/rss/channel/item");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->attributes, (std::vector<std::pair<std::string, std::string>>{{"id", "1"}, {"dc:x", "y"}}));

  const CXMLElement* date = item->FirstChild("date", "urn:dc");
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(date->name, "dc:date");
  EXPECT_EQ(item->FirstChild("date", ""), nullptr);
  EXPECT_EQ(doc.SelectSingleNode("/rss/channel/item/dc:date"), date);

  const CXMLElement* description = item->FirstChild("description");
  ASSERT_NE(description, nullptr);
  EXPECT_EQ(description->text, "a<b>&cdf&A");
  EXPECT_EQ(item->AllText(), "2024a<b>&cdef&A");

  // Cut short in the middle of what UTF-8 would take for a sequence: the bytes are Latin-1.
  ASSERT_NE(CXMLHelper::ParseXMLBufferTolerant("<r>caf\xE9", doc, repaired), 0);
  EXPECT_EQ(doc.root->text, "caf\xC3\xA9");
}

// Documents a hostile or careless sender could supply. Each must be refused by the strict parse, and fast;
// the hostile ones by the forgiving parse too, which reads the merely malformed ones.
struct RefusedCase {
  std::string doc;
  bool readWhenRepaired;
};

class XMLHelperRefused : public testing::TestWithParam<RefusedCase> {};

TEST_P(XMLHelperRefused, ByTheStrictParseAndTheForgivingOneWhenHostile) {
  const auto start = std::chrono::steady_clock::now();
  CXMLDocument doc;
  EXPECT_EQ(CXMLHelper::ParseXMLBuffer(GetParam().doc, doc), 0);
  EXPECT_EQ(doc.root, nullptr);
  bool repaired = false;
  EXPECT_EQ(CXMLHelper::ParseXMLBufferTolerant(GetParam().doc, doc, repaired) != 0, GetParam().readWhenRepaired);
  EXPECT_EQ(doc.root != nullptr, GetParam().readWhenRepaired);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

std::string BillionLaughs() {
  std::string xml = "<!DOCTYPE z [<!ENTITY l0 'lol'>";
  for (int i = 1; i < 10; ++i) {
    xml += "<!ENTITY l" + std::to_string(i) + " '";
    for (int j = 0; j < 10; ++j) xml += "&l" + std::to_string(i - 1) + ";";
    xml += "'>";
  }
  return xml + "]><z a='&l9;'>&l9;</z>";
}

std::string Nested(int depth) {
  std::string open;
  std::string close;
  for (int i = 0; i < depth; ++i) {
    open += "<a>";
    close += "</a>";
  }
  return open + close;
}

RefusedCase Hostile(std::string doc) { return {std::move(doc), false}; }
RefusedCase Malformed(std::string doc) { return {std::move(doc), true}; }

INSTANTIATE_TEST_SUITE_P(
    Documents, XMLHelperRefused,
    testing::Values(Hostile(BillionLaughs()),
                    Hostile("<!DOCTYPE r [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><r>&x;</r>"),
                    Hostile("<!DOCTYPE r [<!ENTITY % p SYSTEM 'http://127.0.0.1:9/x'> %p;]><r/>"),
                    // Entity declarations hidden behind what a careless scan would take for the subset's end.
                    Hostile("<?xml version='1.0'?><!-- c -->\n<!DOCTYPE r [<!-- ]> --><!ENTITY x 'y'>]><r/>"),
                    Hostile("<!DOCTYPE r [<!ATTLIST r a CDATA \"]>\"><!ENTITY x 'y'>]><r/>"),
                    Hostile("<!DOCTYPE r [<![IGNORE[ ]]><!ENTITY x 'y'>]><r>&x;</r>"),
                    // "<!-->" opens a comment that runs to the next "-->"; it is not a whole comment.
                    Hostile("<!--> <r> --><!DOCTYPE r [<!ENTITY x 'y'>]><r>&x;</r>"),
                    // A second byte-order mark, which a prolog scan must not take for the document element.
                    Hostile("\xEF\xBB\xBF\xEF\xBB\xBF<!DOCTYPE r [<!ENTITY x 'y'>]><r>&x;</r>"),
                    // Broken as well as hostile: the repair must not drop the declarations and read on.
                    Hostile("<!DOCTYPE r [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><r>&x; & <b></r>"),
                    Hostile("<r>" + std::string(CXMLHelper::kMaxFileSize, '&') + "</r>"),
                    Hostile("<?xml version='1.0'?>"), Hostile(Nested(20000)), Malformed("<r>&nbsp;</r>"),
                    Malformed("<r><s></r>"), Malformed("<?xml version='1.0' encoding='x-none'?><r/>"),
                    Malformed("<r a='\xC3\x28'/>")));

TEST(XMLHelperUtf8, OnlyWellFormedSequencesAreText) {
  const struct {
    const char* bytes;
    bool valid;
  } cases[] = {{"\xF0\x9F\x98\x80", true},  {"\xF4\x8F\xBF\xBF", true},
               {"\xED\x9F\xBF", true},      {"\xE0\xA0\x80", true},
               {"\xC2\x80", true},          {"\xC1\xBF", false},
               {"\xE0\x9F\xBF", false},     {"\xED\xA0\x80", false},
               {"\xF0\x8F\xBF\xBF", false}, {"\xF4\x90\x80\x80", false},
               {"\xF5\x80\x80\x80", false}, {"\xE6\x96", false},
               {"\xE6\x28\x80", false},     {"\x80", false}};
  for (const auto& c : cases) {
    CXMLDocument doc;
    EXPECT_EQ(CXMLHelper::ParseXMLBuffer(std::string("<r>") + c.bytes + "</r>", doc) != 0, c.valid) << c.bytes;
  }
}

// The repair of malformed text, case by case: what it writes, or false when no document element remains.
TEST(XMLRepair, WritesAWellFormedDocument) {
  const struct {
    const char* in;
    const char* out;  // null: refused
  } cases[] = {
      {"<r>a & b &amp; &#38; &#X26; &nbsp; &#x;</r>", "<r>a &amp; b &amp; &#38; &#X26; &amp;nbsp; &amp;#x;</r>"},
      {"<r a='x\x01y'>\x08t\xEF\xBF\xBEu&#8;&#x1F60A;&#xFFFD;\xEF\xBC\x81</r>",
       "<r a=\"xy\">tu&#x1F60A;&#xFFFD;\xEF\xBC\x81</r>"},
      {"<?xml version='1.0'?><!DOCTYPE r [<!ATTLIST r a CDATA '>'>]><!-- c --><r><?pi x?><![CDATA[a\x01<b&]]>a < b > "
       "c</r>",
       "<r>a&lt;b&amp;a &lt; b &gt; c</r>"},
      {"<rss><channel><item><title>t</TITLE><br><p>x</item></nothing><item><link>l</lin",
       "<rss><channel><item><title>t</title><br><p>x</p></br></item><item><link>l</link></item></channel></rss>"},
      {"<r a =1 b='x\"y' c=\"<&\" d a='2' :e='3' p:q='z'/>",
       "<r xmlns:p=\"urn:x-undeclared:p\" a=\"1\" b=\"x&quot;y\" c=\"&lt;&amp;\" d=\"d\" p:q=\"z\"/>"},
      {"<a:b xmlns:a='urn:a'><a:c/><m:t>x</m:t><dc:date/></a:b>",
       "<a:b xmlns:a=\"urn:a\"><a:c/><m:t xmlns:m=\"urn:x-undeclared:m\">x</m:t>"
       "<dc:date xmlns:dc=\"http://purl.org/dc/elements/1.1/\"/></a:b>"},
      {"<r xmlns:a='http://x y/' xmlns:b='http://h:80/%4F' xmlns:c='http://h:/' xmlns:d='u:v' xmlns:e='a "
       "b:c'><xmlns:e/><f:1/></r>",
       "<r xmlns:a=\"urn:x-invalid:http%3A%2F%2Fx%20y%2F\" xmlns:b=\"http://h:80/%4F\" "
       "xmlns:c=\"urn:x-invalid:http%3A%2F%2Fh%3A%2F\" xmlns:d=\"u:v\" xmlns:e=\"urn:x-invalid:a%20b%3Ac\"></r>"},
      {"<i><title>a</titl <l>b</l></ti></i>", "<i><title>a</title><l>b</l></i>"},
      {"<r><a b='1' <c/></r>", "<r><a b=\"1\"><c/></a></r>"},
      {"x<A/><s/>text", "<A/>"},
      {"<r><!DOCTYPE x 'a>b' [<q/>]>y</r>", "<r>y</r>"},
      {"<r><![CDATA[ab]\xEF\xBF\xBF]>c", "<r>ab]]&gt;c</r>"},
      {"<r><s a='b", "<r></r>"},
      {"text only", nullptr},
      {"<r", nullptr},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(vxutil::RepairXml(c.in, out), c.out != nullptr) << c.in;
    if (c.out) {
      EXPECT_EQ(out, c.out) << c.in;
    }
  }
}

TEST(XMLHelperDtd, ExternalDtdIsNeverReadAndEntityTextElsewhereIsHarmless) {
  TempDir dir;
  const std::filesystem::path dtd = dir.path() / "leak.dtd";
  std::ofstream(dtd) << "<!ENTITY secret 'LEAKED'><!ATTLIST r d CDATA 'DEFAULTED'>";
  CXMLDocument doc;
  // Refusing would also be safe; what must never happen is the DTD's text arriving.
  if (CXMLHelper::ParseXMLBuffer("<!DOCTYPE r SYSTEM '" + dtd.string() + "'><r>[&secret;]</r>", doc) != 0) {
    EXPECT_EQ(doc.root->AllText(), "[]");
    EXPECT_TRUE(doc.root->attributes.empty());
  }
  // Markup inside comments is text: neither a declaration nor a prefix to check.
  EXPECT_NE(CXMLHelper::ParseXMLBuffer("<!-- <!ENTITY x 'y'> --><r>&lt;!ENTITY<!--<!ENTITY--><!-- <p:x> --></r>", doc),
            0);
}

// A document of exactly `size` bytes, the filler spread over many elements since libxml2 bounds single text
// nodes on its own.
std::string DocumentOfSize(std::size_t size) {
  const std::string chunk = "<x>" + std::string(993, ' ') + "</x>";
  std::string xml = "<r>";
  while (xml.size() + chunk.size() + 4 <= size) xml += chunk;
  return xml.append(size - xml.size() - 4, ' ') + "</r>";
}

TEST(XMLHelperFile, AcceptsSixteenMebibytesAndNotAByteMore) {
  TempDir dir;
  const std::filesystem::path path = dir.path() / "big.xml";
  CXMLDocument doc;
  std::ofstream(path, std::ios::binary) << DocumentOfSize(CXMLHelper::kMaxFileSize);
  EXPECT_NE(CXMLHelper::ParseXMLFile(path.string().c_str(), doc), 0);
  std::ofstream(path, std::ios::binary) << DocumentOfSize(CXMLHelper::kMaxFileSize + 1);
  EXPECT_EQ(CXMLHelper::ParseXMLFile(path.string().c_str(), doc), 0);
  EXPECT_EQ(CXMLHelper::ParseXMLFile(dir.path().string().c_str(), doc), 0);  // a folder
  EXPECT_EQ(CXMLHelper::ParseXMLFile((dir.path() / "none.xml").string().c_str(), doc), 0);
}

}  // namespace
