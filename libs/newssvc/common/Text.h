// Small text helpers the service's parsers share. ASCII only: bytes above 0x7F are left as they are, so
// UTF-8 and Big5 text passes through unchanged.
#pragma once

#include <string>

namespace newssvc {

// The text with its ASCII letters in lower case.
std::string Lower(std::string text);

// The text without leading and trailing blanks, tabs, CRs and LFs.
std::string Trim(const std::string& text);

}  // namespace newssvc
