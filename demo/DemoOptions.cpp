#include "demo/DemoOptions.h"

#include <cstdlib>

bool DemoOptions::Parse(int argc, char** argv, DemoOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "settings" && i == 1) {
      options.settingsMode = true;
    } else if (arg == "--web") {
      options.web = true;
    } else if (arg == "--export-opml") {
      options.exportOpml = true;
    } else if (arg == "--seconds" && hasValue) {
      char* end = nullptr;
      const long seconds = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || seconds < 1 || seconds > 86400) {
        error = "--seconds needs a number of seconds from 1 to 86400";
        return false;
      }
      options.seconds = static_cast<int>(seconds);
    } else if (arg == "--search" && hasValue) {
      options.search = argv[++i];
    } else if (arg == "--config" && hasValue) {
      options.configRoot = argv[++i];
    } else if (arg == "--user" && hasValue) {
      options.userRoot = argv[++i];
    } else if (arg == "--work" && hasValue) {
      options.workFolder = argv[++i];
    } else {
      error = "unknown argument: " + arg;
      return false;
    }
  }
  if (options.web && !options.UsesBundledFeeds()) {
    error = "--web serves the bundled feeds; with --config the configuration's own sources are read";
    return false;
  }
  return true;
}

const char* DemoOptions::Usage() {
  return "usage: vxrss-demo [settings] [--web] [--seconds N] [--config DIR --user DIR] [--work DIR]\n"
         "       vxrss-demo --export-opml [--config DIR]\n"
         "       vxrss-demo --search WORDS [--config DIR --user DIR]\n"
         "  (no arguments)  show the bundled sample news, then add live items for 30 seconds\n"
         "  --web           the same, with the feeds served over HTTP from a server on 127.0.0.1\n"
         "  --export-opml   print the news service's feed list as OPML\n"
         "  --search WORDS  search the news archive (words of every provider; \"a phrase\" in quotes)\n"
         "  settings        the RSS news settings dialog in the terminal\n"
         "  --seconds N     run the live part for N seconds\n"
         "  --config DIR    a folder holding Config/RSSNewsSvc.xml and its feeds\n"
         "  --user DIR      a folder holding Data/RSSNewsSetting.xml\n"
         "  --work DIR      where the working copy of the sample data goes\n";
}
