// The feed reader on real-world feeds of every kind, compared with another parser's reading of them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "libs/newssvc/parse/FeedReader.h"

namespace {

namespace fs = std::filesystem;

// The text with every run of white space made one blank and none at the ends.
std::string Collapse(const std::string& text) {
  std::istringstream words(text);
  std::string out;
  for (std::string word; words >> word;) out += (out.empty() ? "" : " ") + word;
  return out;
}

// The reference's RFC 3339 UTC time of an entry: published, else updated; false when it has neither.
bool ReferenceTime(const nlohmann::json& entry, newssvc::UtcSeconds& utc) {
  for (const char* field : {"published", "updated"}) {
    if (entry.contains(field) && entry[field].is_string())
      return newssvc::ParseFeedDate(entry[field].get<std::string>(), utc);
  }
  return false;
}

class FeedFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(VXRSS_FEEDS_DIR)) GTEST_SKIP() << "no feed fixtures at " << VXRSS_FEEDS_DIR;
  }
};

TEST_F(FeedFixture, EveryFeedAgreesWithTheReferenceOnTitlesAndTimes) {
  int compared = 0;
  for (const auto& entry : fs::recursive_directory_iterator(VXRSS_FEEDS_DIR)) {
    const fs::path& file = entry.path();
    const fs::path reference = fs::path(file).replace_extension(".serde.json");
    if (file.extension() != ".xml" || !fs::exists(reference)) continue;
    SCOPED_TRACE(file.string());
    const nlohmann::json expected = nlohmann::json::parse(std::ifstream(reference));
    const auto& entries = expected["entries"];

    std::vector<newssvc::FeedItem> items;
    EXPECT_TRUE(newssvc::CFeedReader::ReadFile(CString(file.string()), items));
    EXPECT_EQ(items.size(), entries.size());
    if (items.size() != entries.size()) continue;
    for (std::size_t i = 0; i < items.size(); ++i) {
      SCOPED_TRACE("item " + std::to_string(i));
      const auto& title = entries[i]["title"];
      const std::string expectedTitle = title.is_object() ? title["content"].get<std::string>() : std::string();
      EXPECT_EQ(Collapse(items[i].title), Collapse(expectedTitle));
      newssvc::UtcSeconds expectedTime = 0;
      // The reference gives up on some dates ("Sat, Dec 16 2023 02:02:33 PM"); where it read one, so must we.
      if (ReferenceTime(entries[i], expectedTime)) {
        EXPECT_EQ(items[i].hasDate ? items[i].published : -1, expectedTime);
      }
      ++compared;
    }
  }
  EXPECT_GE(compared, 90);  // every item of the 61 reference readings
}

TEST_F(FeedFixture, TheMalformedFeedIsRejected) {
  std::vector<newssvc::FeedItem> items(1);
  EXPECT_FALSE(newssvc::CFeedReader::ReadFile(CString(VXRSS_FEEDS_DIR "/rss2/rss_2.0_invalid_1.xml"), items));
  EXPECT_TRUE(items.empty());
}

}  // namespace
