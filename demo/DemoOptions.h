// Command line of vxrss-demo:
//   vxrss-demo [--web] [--seconds N] [--config DIR] [--user DIR] [--work DIR]
//   vxrss-demo --search WORDS [--config DIR] [--user DIR] [--work DIR]
//   vxrss-demo settings [--config DIR] [--user DIR] [--work DIR]
//   vxrss-demo --export-opml [--config DIR]
#pragma once

#include <string>

struct DemoOptions {
  bool settingsMode = false;
  bool web = false;         // serve the bundled feeds from a web server on the loopback address
  bool exportOpml = false;  // print the configuration's feed list as OPML and end
  int seconds = 30;         // how long the live part runs
  std::string search;       // non-empty: search the archive for these words (UTF-8) instead of the tour
  std::string configRoot;   // folder holding Config/; empty: the bundled sample data
  std::string userRoot;     // folder holding Data/RSSNewsSetting.xml; empty: the bundled sample user
  std::string workFolder;   // where the bundled data is copied to; empty: a fresh folder under the temp folder

  // Live items are added only to the working copy of the bundled feeds, never to the user's own.
  bool UsesBundledFeeds() const { return configRoot.empty(); }

  // False, with a message in `error`, for arguments it does not understand.
  static bool Parse(int argc, char** argv, DemoOptions& options, std::string& error);
  static const char* Usage();
};
