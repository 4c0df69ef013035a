// Repairs that real feeds need before an XML parser accepts them: white space before the XML declaration,
// and HTML's named character references (&nbsp;, &acirc;, &hearts;, ...: all of HTML's), which feeds use
// without declaring them.
#pragma once

#include <string>

#include "port/CString.h"

namespace newssvc {

// Reads a feed file of at most `maxBytes`; false when it is missing, unreadable or larger.
bool ReadFeedBytes(const CString& path, std::size_t maxBytes, std::string& bytes);

// Drops white space before the XML declaration and replaces the HTML named references XML lacks by
// numeric ones, outside CDATA sections and comments. References it does not know are left alone (the
// parser then rejects the document).
void RepairFeedBytes(std::string& bytes);

}  // namespace newssvc
