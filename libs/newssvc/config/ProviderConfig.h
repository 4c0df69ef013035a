// A provider (one feed) and a category group of them, as the service's configuration and an OPML feed list
// both describe them.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "port/CString.h"

namespace newssvc {

struct ProviderConfig {
  static constexpr int kMaxMinPollSeconds = 86400;

  CString id;               // Big5
  CString name;             // Big5
  CString source;           // path of the feed file or http(s) URL, as written in the configuration
  int minPollSeconds = -1;  // -1: not given

  // minPollSeconds as a list writes it: -1 when empty, else a number of seconds from 0 to a day.
  static int ReadMinPollSeconds(const std::string& text) {
    if (text.empty()) return -1;
    return static_cast<int>(std::clamp<long>(std::strtol(text.c_str(), nullptr, 10), 0, kMaxMinPollSeconds));
  }
};

struct CategoryGroup {
  CString name;  // Big5
  std::vector<ProviderConfig> providers;
};

}  // namespace newssvc
