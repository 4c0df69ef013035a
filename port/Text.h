// Small text helpers every layer shares. ASCII only: bytes above 0x7F are left as they are, so UTF-8 and Big5
// text passes through unchanged.
#pragma once

#include <string>
#include <vector>

namespace port {

// The text with its ASCII letters in lower case.
std::string Lower(std::string text);

// The text without leading and trailing blanks, tabs, CRs and LFs.
std::string Trim(const std::string& text);

// The parts of a comma-separated list, as written; empty parts are left out.
std::vector<std::string> SplitList(const std::string& text);

}  // namespace port
