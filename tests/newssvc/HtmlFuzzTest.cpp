// Content cleaning against inputs made by piecing hostile fragments together and mutating their bytes: whatever
// comes in, what comes out holds no script, frame, object or style, no event handler and no link that is not
// an absolute http(s) URL when it is parsed again; the text of any input has its white space folded. A fixed
// number of inputs by default; VXRSS_FUZZ_SECONDS=n runs for n seconds and prints how many inputs it tried.
#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "libs/newssvc/parse/HtmlText.h"

namespace {

// Hostile fragments, parted by '|'.
const char kSeeds[] =
    "<script>alert(1)</script>|<SCRIPT SRC=http://x/x.js></SCRIPT>|<img src=x onerror=alert(1)>|"
    "<a href=\"jav&#x61;script:alert(1)\">a</a>|<a href=' javascript:x'>|<a href=\"java\tscript:x\">|"
    "<a href=data:text/html,<script>x</script>>|<img src=\"vbscript:x\">|<iframe src=//evil></iframe>|"
    "<object data=x><embed src=x></object>|<style>*{}</style>|<p style=\"position:fixed\" title=t>|"
    "<meta http-equiv=refresh content=0>|<link rel=import href=x>|<svg onload=x><script>y</script></svg>|"
    "<!--<script>-->x|<scr<script>ipt>|<![CDATA[<script>]]>|<a href=\"http://ok/?a=1&b='\"\">|"
    "<img src=https://ok/i.png alt='\"><script>'>|<blink>b</blink>|<table><tr><td onclick=x>|"
    "<form><input onfocus=x autofocus>|<base href=javascript:x//>|&lt;script&gt;|&#0;\xC3\xA9&#xD800;|"
    "<body onload=x>|</p></div></a>|<math><mi xlink:href=javascript:x>|<a href=/rel>r</a>|"
    "<pre>\n<b>x</b></pre><ul><li><ol start=2>|<a href=\"HTTP://ok\" onmouseover=\"x\">|<br/></br><hr>";
const char kMutations[] = "<>/=\"' &#;:!-?\t\nxaAsS0\x80\xC3";
const char kForbidden[] = " script style iframe frame frameset object embed applet meta link base form svg math ";

std::string Mutant(std::mt19937& random) {
  static const std::vector<std::string> seeds = [] {
    std::vector<std::string> pieces;
    std::istringstream in(kSeeds);
    for (std::string piece; std::getline(in, piece, '|');) pieces.push_back(piece);
    return pieces;
  }();
  std::string text;
  for (int pieces = 1 + random() % 6; pieces > 0; --pieces) text += seeds[random() % seeds.size()];
  for (int edits = random() % 8; edits > 0 && !text.empty(); --edits) {
    const std::size_t at = random() % text.size();
    const char byte = kMutations[random() % (sizeof kMutations - 1)];
    if (random() % 3 == 0)
      text.insert(at, 1, byte);
    else if (random() % 2 == 0)
      text.erase(at, 1 + random() % 4);
    else
      text[at] = byte;
  }
  return text;
}

bool IsWebUrl(std::string url) {
  for (char& c : url) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

void ExpectSafe(const xmlNode* node, const std::string& input) {
  for (; node; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    const std::string element = reinterpret_cast<const char*>(node->name);
    EXPECT_EQ(std::string(kForbidden).find(' ' + element + ' '), std::string::npos) << element << " from " << input;
    for (const xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
      const std::string name = reinterpret_cast<const char*>(attribute->name);
      const xmlNode* value = attribute->children;
      EXPECT_TRUE(name.rfind("on", 0) != 0 && name != "style") << name << " from " << input;
      const bool isLink = name == "href" || name == "src";
      EXPECT_TRUE(!isLink || (value && IsWebUrl(reinterpret_cast<const char*>(value->content))))
          << name << " from " << input;
    }
    ExpectSafe(node->children, input);
  }
}

TEST(HtmlText, CleanedContentHoldsNoScriptHandlerOrOtherUrlWhateverTheInput) {
  const char* seconds = std::getenv("VXRSS_FUZZ_SECONDS");
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds ? std::atoi(seconds) : 0);
  std::mt19937 random(seconds ? std::random_device()() : 1);
  long inputs = 0;
  for (; (inputs < 3000 || std::chrono::steady_clock::now() < end) && !HasFailure(); ++inputs) {
    const std::string input = Mutant(random);
    const std::string clean = newssvc::CleanHtml(input, "http://base.example/d/");
    const int options = HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING;
    const htmlDocPtr doc = htmlReadMemory(clean.data(), static_cast<int>(clean.size()), nullptr, "UTF-8", options);
    ExpectSafe(doc ? doc->children : nullptr, input);
    xmlFreeDoc(doc);
    const std::string text = newssvc::HtmlToText(input);
    EXPECT_EQ(text.find_first_of("\t\n\r"), std::string::npos) << input;
    EXPECT_EQ(text.find("  "), std::string::npos) << input;
  }
  if (seconds) std::printf("%ld inputs in %s s\n", inputs, seconds);
}

}  // namespace
