// An item's symbols as the archive's items table holds them: one text, '\n' between the symbols.
#pragma once

#include <string>
#include <vector>

namespace newssvc {

inline std::string JoinSymbols(const std::vector<std::string>& symbols) {
  std::string joined;
  for (const std::string& symbol : symbols) joined += (joined.empty() ? "" : "\n") + symbol;
  return joined;
}

inline std::vector<std::string> SplitSymbols(const std::string& joined) {
  std::vector<std::string> symbols;
  std::size_t start = 0;
  while (start < joined.size()) {
    const std::size_t end = joined.find('\n', start);
    symbols.push_back(joined.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return symbols;
}

}  // namespace newssvc
