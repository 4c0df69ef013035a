// The byte repairs the feed reader makes before parsing.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "libs/newssvc/FeedBytes.h"

namespace {

using newssvc::RepairFeedBytes;

TEST(FeedBytes, RepairTimeGrowsLinearlyWithManyAmpersandsAndNoSemicolon) {
  std::string bytes = "<r>";
  for (int i = 0; i < 1 << 21; ++i) bytes += "&a";
  bytes += "</r>";
  const std::string original = bytes;
  const auto start = std::chrono::steady_clock::now();
  RepairFeedBytes(bytes);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(bytes, original);
}

}  // namespace
