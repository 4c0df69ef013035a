// The one call a platform's XML parser has to provide. The platform-free part of CXMLHelper reads the file,
// decodes it to UTF-8 and screens it; the backend only turns that text into the DOM.
#pragma once

#include <string>

#include "libs/vxutil/XMLHelper.h"

namespace vxutil {

// Parses `utf8`, a whole document whose declaration (if any) names UTF-8 and which declares no entities,
// into `doc`. The parser must load no DTD or external entity and touch no network. False when the text is
// not well-formed or has no document element.
bool ParseUtf8Document(const std::string& utf8, CXMLDocument& doc);

}  // namespace vxutil
