// The forgiving reading of a document that is not well-formed: a pass over its decoded text that writes a
// well-formed document keeping everything readable, which the strict parser then reads.
//
// The repair is a pass over the text rather than a parser's own recovery mode because the Windows parser
// (MSXML) has none: one pass serves both backends, so a broken document reads the same on every platform,
// and what the strict parser accepts is never read any other way.
#pragma once

#include <cstddef>
#include <string>

namespace vxutil {

// The longest text the repair writes for an input of `length` bytes: twice as long, and 4 KiB more for the
// namespace declarations a short document may need. Text that would grow more is mostly junk and refused.
constexpr std::size_t MaxRepairedLength(std::size_t length) { return 2 * length + 4096; }

// Rewrites `utf8` (valid UTF-8, with no entity declarations) as a well-formed document, in time linear in
// its length and in at most MaxRepairedLength(utf8.size()) bytes:
//   - a '&' that starts no XML or numeric reference is text ("&amp;"); a '<' that starts no markup too;
//     a hexadecimal reference is written with the lower-case "&#x" XML requires;
//   - characters XML forbids (control characters other than tab and line ends, U+FFFE, U+FFFF) are dropped,
//     as are numeric references to them;
//   - comments, processing instructions (the XML declaration too: the text is UTF-8) and the document type
//     declaration are dropped; CDATA sections become escaped text, an unclosed one ending with the text;
//   - attributes are written quoted and escaped, duplicates and broken ones dropped;
//   - an end tag closes the open elements up to the one it names (its case ignored when no name matches
//     exactly; an end tag cut short by the next tag may name the start of one of the eight innermost), one
//     that names no open element is dropped, elements still open at the end are closed, a tag cut off by the
//     end of the text is dropped, and whatever follows the document element is dropped;
//   - a namespace prefix used where it is not declared gets a declaration: the usual namespace of the
//     common feed modules' prefixes (atom, content, dc, dcterms, media, rdf), else one of its own;
//     declarations XML forbids (of the prefixes xml and xmlns, to their namespace names, of a prefix to
//     nothing) are dropped.
// False when no document element remains, or when the repaired text would pass its bound.
bool RepairXml(const std::string& utf8, std::string& repaired);

}  // namespace vxutil
