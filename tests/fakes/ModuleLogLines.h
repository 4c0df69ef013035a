// How many lines of the module's log (the LOG folder beside the executable) hold `text`.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "port/Path.h"

namespace fakes {

inline int ModuleLogLinesWith(const std::string& text) {
  const std::filesystem::path folder = std::filesystem::path(port::ExecutableFolder().str()) / "LOG";
  if (!std::filesystem::exists(folder)) return 0;
  int count = 0;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(file.path());
    for (std::string line; std::getline(in, line);) count += line.find(text) != std::string::npos ? 1 : 0;
  }
  return count;
}

}  // namespace fakes
