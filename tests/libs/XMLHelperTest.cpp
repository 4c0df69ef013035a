#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "libs/vxutil/XMLHelper.h"
#include "libs/vxutil/XMLRepair.h"
#include "tests/libs/TempDir.h"

namespace {

TEST(XMLHelperRead, DecodesToUtf8AndTakesMarkupInCommentsForText) {
  // Big5 "新聞" and "許" (trail byte 0x5C, a backslash) and their UTF-8 forms.
  const std::string kBig5Body = "<r a='\xB7\x73\xBB\x44\xB3\x5C'/>";
  const std::string kUtf8Text = "\xE6\x96\xB0\xE8\x81\x9E\xE8\xA8\xB1";
  // UTF-8 at the edges of what is allowed: 4 bytes, U+10FFFF, below the surrogates, 3 bytes, 2 bytes.
  const std::string utf8Edges = "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\xED\x9F\xBF\xE0\xA0\x80\xC2\x80";
  // The bytes, and the value of r/@a they must give, in UTF-8.
  const std::pair<std::string, std::string> cases[] = {
      {"<?xml version='1.0' encoding='big5' ?>\n" + kBig5Body, kUtf8Text},
      {"<?xml version=\"1.0\" encoding = \"BIG5\"?>" + kBig5Body, kUtf8Text},
      {"<?xml version='1.0' encoding='utf-8'?><r a='" + utf8Edges + "'/>", utf8Edges},
      {"<?xml version='1.0' encoding='ISO-8859-1'?><r a='caf\xE9'/>", "caf\xC3\xA9"},
      {"<r a='" + kUtf8Text + "'/>", kUtf8Text},  // no declaration: UTF-8
      {"\xEF\xBB\xBF<?xml version='1.0' encoding='big5'?><r a='" + kUtf8Text + "'/>", kUtf8Text},  // the BOM wins
      {std::string("\xFF\xFE<\0r\0 \0a\0=\0'\0\xB0\x65'\0/\0>\0", 22), "\xE6\x96\xB0"},
      // Markup inside comments is text: neither a declaration nor a prefix to check.
      {"<!-- <!ENTITY x 'y'> --><r a='x'>&lt;!ENTITY<!--<!ENTITY--><!-- <p:x> --></r>", "x"},
  };
  for (const auto& [bytes, attribute] : cases) {
    CXMLDocument doc;
    ASSERT_NE(CXMLHelper::ParseXMLBuffer(bytes, doc), 0) << bytes;
    std::string value;
    ASSERT_TRUE(doc.root->GetAttribute("a", value));
    EXPECT_EQ(value, attribute);
  }
}

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
  EXPECT_EQ(date ? date->name : "(none)", "dc:date");
  EXPECT_EQ(item->FirstChild("date", ""), nullptr);
  EXPECT_EQ(doc.SelectSingleNode("/rss/channel/item/dc:date"), date);

  const CXMLElement* description = item->FirstChild("description");
  EXPECT_EQ(description ? description->text : "(none)", "a<b>&cdf&A");
  EXPECT_EQ(item->AllText(), "2024a<b>&cdef&A");

  // Cut short in the middle of what UTF-8 would take for a sequence: the bytes are Latin-1.
  ASSERT_NE(CXMLHelper::ParseXMLBufferTolerant("<r>caf\xE9", doc, repaired), 0);
  EXPECT_EQ(doc.root->text, "caf\xC3\xA9");
}

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

std::string BillionLaughs() {
  std::string xml = "<!DOCTYPE z [<!ENTITY l0 'lol'>";
  for (int i = 1; i < 10; ++i)
    xml += "<!ENTITY l" + std::to_string(i) + " '" + Repeat("&l" + std::to_string(i - 1) + ";", 10) + "'>";
  return xml + "]><z a='&l9;'>&l9;</z>";
}

// Refused by the strict parse, and fast; read by the forgiving parse only when `readWhenRepaired`.
void ExpectRefused(const std::string& xml, bool readWhenRepaired) {
  SCOPED_TRACE(xml.substr(0, 100));
  const auto start = std::chrono::steady_clock::now();
  CXMLDocument doc;
  EXPECT_EQ(CXMLHelper::ParseXMLBuffer(xml, doc), 0);
  EXPECT_EQ(doc.root, nullptr);
  bool repaired = false;
  EXPECT_EQ(CXMLHelper::ParseXMLBufferTolerant(xml, doc, repaired) != 0, readWhenRepaired);
  EXPECT_EQ(doc.root != nullptr, readWhenRepaired);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// Documents a hostile or careless sender could supply: the hostile ones are refused by both parses, the
// merely malformed ones read by the forgiving parse, an external DTD never read.
TEST(XMLHelperRefused, ByTheStrictParseAndTheForgivingOneWhenHostileAndNoExternalDtdRead) {
  const std::string hostile[] = {
      BillionLaughs(), "<!DOCTYPE r [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><r>&x;</r>",
      "<!DOCTYPE r [<!ENTITY % p SYSTEM 'http://127.0.0.1:9/x'> %p;]><r/>",
      // Entity declarations hidden behind what a careless scan would take for the subset's end.
      "<?xml version='1.0'?><!-- c -->\n<!DOCTYPE r [<!-- ]> --><!ENTITY x 'y'>]><r/>",
      "<!DOCTYPE r [<!ATTLIST r a CDATA \"]>\"><!ENTITY x 'y'>]><r/>",
      "<!DOCTYPE r [<?pi ]><!ENTITY x 'y'>]><r>&x;</r>",  // a processing instruction never closed
      "<!DOCTYPE r [<![IGNORE[ ]]><!ENTITY x 'y'>]><r>&x;</r>",
      // "<!-->" opens a comment that runs to the next "-->"; it is not a whole comment.
      "<!--> <r> --><!DOCTYPE r [<!ENTITY x 'y'>]><r>&x;</r>",
      // A second byte-order mark, which a prolog scan must not take for the document element.
      "\xEF\xBB\xBF\xEF\xBB\xBF<!DOCTYPE r [<!ENTITY x 'y'>]><r>&x;</r>",
      // Broken as well as hostile: the repair must not drop the declarations and read on.
      "<!DOCTYPE r [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><r>&x; & <b></r>",
      "<r>" + std::string(CXMLHelper::kMaxFileSize, '&') + "</r>", "<?xml version='1.0'?>",
      Repeat("<a>", 20000) + Repeat("</a>", 20000)};
  for (const std::string& xml : hostile) ExpectRefused(xml, false);
  // Malformed; the last ones as UTF-8: overlong, a surrogate, past U+10FFFF, cut short, a bad continuation
  // byte, a lone one.
  for (const char* xml :
       {"<r>&nbsp;</r>", "<r><s></r>", "<?xml version='1.0' encoding='x-none'?><r/>", "<r a='\xC3\x28'/>",
        "<r>\xC1\xBF</r>", "<r>\xE0\x9F\xBF</r>", "<r>\xED\xA0\x80</r>", "<r>\xF0\x8F\xBF\xBF</r>",
        "<r>\xF4\x90\x80\x80</r>", "<r>\xF5\x80\x80\x80</r>", "<r>\xE6\x96</r>", "<r>\xE6\x28\x80</r>", "<r>\x80</r>"})
    ExpectRefused(xml, true);

  // An external DTD is never read: refusing the document would also be safe, what must never happen is the
  // DTD's text arriving.
  const TempDir dir;
  const std::filesystem::path dtd = dir.path() / "leak.dtd";
  std::ofstream(dtd) << "<!ENTITY secret 'LEAKED'><!ATTLIST r d CDATA 'DEFAULTED'>";
  CXMLDocument doc;
  if (CXMLHelper::ParseXMLBuffer("<!DOCTYPE r SYSTEM '" + dtd.string() + "'><r>[&secret;]</r>", doc) != 0) {
    EXPECT_EQ(doc.root->AllText(), "[]");
    EXPECT_TRUE(doc.root->attributes.empty());
  }
}

// The repair of malformed text, case by case: what it writes, or false when no document element remains.
TEST(XMLRepair, WritesAWellFormedDocument) {
  // The text, and what the repair writes or "refused" when no document element remains.
  const std::pair<const char*, const char*> cases[] = {
      {"<r>a & b &amp; &#38; &#X26; &nbsp; &#x;</r>", "<r>a &amp; b &amp; &#38; &#x26; &amp;nbsp; &amp;#x;</r>"},
      {"<r a='x\x01y'>\x08t\xEF\xBF\xBEu&#8;&#x1F60A;&#xFFFD;\xEF\xBC\x81</r>",
       "<r a=\"xy\">tu&#x1F60A;&#xFFFD;\xEF\xBC\x81</r>"},
      {"<?xml version='1.0'?><!DOCTYPE r [<!ATTLIST r a CDATA '>'>]><!-- c --><r><?pi x?><![CDATA[a\x01<b&]]>a < b > "
       "c</r>",
       "<r>a&lt;b&amp;a &lt; b &gt; c</r>"},
      {"<rss><channel><item><title>t</TITLE><br><p>x</item></nothing><item><link>l</lin",
       "<rss><channel><item><title>t</title><br><p>x</p></br></item><item><link>l</link></item></channel></rss>"},
      {"<r a =1 b='x\"y' c=\"<&\" d a='2' :e='3' p:q='z'/>",
       "<r xmlns:p=\"urn:x-undeclared:p\" a=\"1\" b=\"x&quot;y\" c=\"&lt;&amp;\" d=\"d\" p:q=\"z\"/>"},
      {"<a:b xmlns:a='urn:a'><a:c/><m:t m:u='v'>x</m:t><dc:date/></a:b>",
       "<a:b xmlns:a=\"urn:a\"><a:c/><m:t xmlns:m=\"urn:x-undeclared:m\" m:u=\"v\">x</m:t>"
       "<dc:date xmlns:dc=\"http://purl.org/dc/elements/1.1/\"/></a:b>"},
      {"<r xmlns:a='http://x y/' xmlns:b='http://h:80/%4F' xmlns:c='http://h:/' xmlns:d='u:v' xmlns:e='a "
       "b:c' xmlns:g='http://a!b/'><xmlns:e/><f:1/></r>",
       "<r xmlns:a=\"urn:x-invalid:http%3A%2F%2Fx%20y%2F\" xmlns:b=\"http://h:80/%4F\" "
       "xmlns:c=\"urn:x-invalid:http%3A%2F%2Fh%3A%2F\" xmlns:d=\"u:v\" xmlns:e=\"urn:x-invalid:a%20b%3Ac\" "
       "xmlns:g=\"urn:x-invalid:http%3A%2F%2Fa%21b%2F\"></r>"},
      {"<i><title>a</titl <l>b</l></ti></i>", "<i><title>a</title><l>b</l></i>"},
      {"<ab><c><c><c><c><c><c><c><c></a <d/>",  // too far out for a cut end tag
       "<ab><c><c><c><c><c><c><c><c><d/></c></c></c></c></c></c></c></c></ab>"},
      {"<r><a b='1' <c/></r>", "<r><a b=\"1\"><c/></a></r>"},
      {"x<A/><s/>text", "<A/>"},
      // The reserved prefixes and namespace names are bound by XML alone.
      {"<r xmlns:xml='urn:x' xmlns:xmlns='urn:y' xmlns:a='http://www.w3.org/XML/1998/namespace' "
       "xmlns='http://www.w3.org/2000/xmlns/' xml:lang='en'/>",
       "<r xml:lang=\"en\"/>"},
      {"<r><!DOCTYPE x 'a>b' [<q/>]>y</r>", "<r>y</r>"},
      {"<r><![CDATA[ab]\xEF\xBF\xBF]>c", "<r>ab]]&gt;c</r>"},
      {"<r><s a='b", "<r></r>"},
      {"text only", "refused"},
      {"<r", "refused"},
  };
  for (const auto& [in, expected] : cases) {
    std::string out;
    CXMLDocument doc;
    EXPECT_EQ(vxutil::RepairXml(in, out) ? out : "refused", expected) << in;
    EXPECT_TRUE(out.empty() || CXMLHelper::ParseXMLBuffer(out, doc) != 0) << out;
  }
}

// Stray end tags, namespace declarations and attributes by the ten thousand: a scan of the open elements or
// of the tag's attributes for each would take seconds.
TEST(XMLRepair, TakesLinearTimeAndRefusesTextItWouldGrowPastItsBound) {
  std::string xml = "<r";
  for (int i = 0; i < 20000; ++i) xml += " a" + std::to_string(i) + "=''";
  xml += '>';
  for (int i = 0; i < 20000; ++i) xml += "<p" + std::to_string(i) + ":e xmlns:p" + std::to_string(i) + "='u:'>";
  const auto start = std::chrono::steady_clock::now();
  std::string out;
  EXPECT_TRUE(vxutil::RepairXml(xml + Repeat("</x>", 20000), out));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(),
            10000);  // 38 s before, in the normal build

  // Text the repair would grow past its bound is refused, the last two by a byte: an attribute value cut
  // where the bound falls, with room left for the tag's end, and a character written at the bound.
  for (const std::string& grown : {"<r>" + Repeat("&", 100000) + "</r>", "<r>" + Repeat("<r a:b c:d/>", 10000) + "</r>",
                                   "<r>" + Repeat("<a<b ", 20000) + "</r>", "<r a='" + Repeat("\"", 1029) + "'/>",
                                   "<r>" + Repeat("&", 1370) + "aa</r>"})
    EXPECT_FALSE(vxutil::RepairXml(grown, out)) << grown.substr(0, 20);
  const std::string atBound = "<r>" + Repeat("&", 1368) + "a</r>";
  EXPECT_TRUE(vxutil::RepairXml(atBound, out));
  EXPECT_EQ(out.size(), vxutil::MaxRepairedLength(atBound.size()));
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
