// Scaffolding for the archive's tests: a session whose archive lives in its feed folder, restarted at will,
// and looks into the archive file and its log from outside the service.
#pragma once

#include <string>
#include <vector>

#include "libs/newssvc/archive/Sqlite.h"
#include "tests/newssvc/ServiceFixture.h"

namespace newssvc_test {

class ArchiveTest : public SessionTest {
 protected:
  std::string ArchivePath() const { return m_folder.Path() + "/RSSNewsArchive.db"; }
  // Ends the session and opens a new one on the same folder, booked for provider A.
  void Restart();
  // Titles of the provider's headlines for a date (0: all), newest first.
  std::vector<std::string> Titles(const char* providerID, long date);
  // Lines of the archive's log that contain `text`.
  int LogLines(const std::string& text) const;
  // Keys (or another column) of provider A's items in the archive file, read on a connection of the test's own.
  std::vector<std::string> ArchivedKeys(const std::string& column = "key") const;
};

// RSS items g<first> ... g<last> (g<last> seen last, so listed first) of one date, tagged 2330, descriptions of
// `bodyBytes` more bytes.
std::string NumberedFeed(int first, int last, std::size_t bodyBytes = 0);

// Prints the archive's log in `folder`, to explain a failure.
void DumpLog(const std::string& folder);

// "ok" when SQLite finds the file sound.
std::string IntegrityCheck(const std::string& path);

}  // namespace newssvc_test
