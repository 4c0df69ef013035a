// What a feed's HTML may become in front of the user: a title is shown as text, content is shown in an HTML
// view. Both are read with libxml2's HTML parser (never touching the network) and written back by this code,
// so nothing the publisher wrote reaches the user unless it is on the allow-list in HtmlText.cpp.
#pragma once

#include <string>

namespace newssvc {

// The text a reader sees of a piece of HTML: tags rendered away, character references read, nothing of
// <script> or <style>, runs of white space folded to one space, no white space at either end.
std::string HtmlToText(const std::string& html);

// Text with runs of white space folded to one space and none at either end.
std::string FoldSpace(const std::string& text);

// HTML kept to the allow-list's elements and attributes; links (a href, img src) resolved against `base` and
// kept only when they are absolute http or https URLs. Attribute values are written in double quotes.
std::string CleanHtml(const std::string& html, const std::string& base);

// Text written as HTML: &, <, > and " escaped.
std::string EscapeHtml(const std::string& text);

}  // namespace newssvc
