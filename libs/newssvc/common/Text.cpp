#include "libs/newssvc/common/Text.h"

namespace newssvc {

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string Trim(const std::string& text) {
  const char* const kSpace = " \t\r\n";
  const auto first = text.find_first_not_of(kSpace);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

}  // namespace newssvc
