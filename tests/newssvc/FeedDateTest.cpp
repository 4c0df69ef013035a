// Publication dates as real feeds write them.
#include <gtest/gtest.h>

#include <string>

#include "libs/newssvc/FeedDate.h"

namespace {

using newssvc::FromCivil;
using newssvc::ParseFeedDate;
using newssvc::UtcSeconds;

struct DateCase {
  const char* text;
  UtcSeconds expected;
};

// 2020-03-21 10:29:51 UTC and friends.
const UtcSeconds kBase = FromCivil(2020, 3, 21, 10, 29, 51);

class FeedDateVariant : public ::testing::TestWithParam<DateCase> {};

TEST_P(FeedDateVariant, ReadsAsTheSameInstant) {
  UtcSeconds utc = 0;
  ASSERT_TRUE(ParseFeedDate(GetParam().text, utc)) << GetParam().text;
  EXPECT_EQ(utc, GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Rfc822AndRfc3339, FeedDateVariant,
    ::testing::Values(DateCase{"Sat, 21 Mar 2020 06:29:51 -0400", kBase},
                      DateCase{"Sat, 21 Mar 2020 10:29:51 GMT", kBase},
                      DateCase{"21 Mar 2020 10:29:51 +0000", kBase},          // no weekday
                      DateCase{"Sat, 21 Mar 20 10:29:51 UT", kBase},          // two-digit year
                      DateCase{"Sat, 21 Mar 2020 03:29:51 PDT", kBase},       // named zone
                      DateCase{"Sat, 21 Mar 2020 18:29:51 +08:00", kBase},    // offset with a colon
                      DateCase{"Sat, 21 Mar 2020 18:29:51 +08", kBase},       // hours only
                      DateCase{"sam, 21 mars 2020 10:29:51 Z", kBase},        // weekday and month in French
                      DateCase{"Sat, Mar 21 2020 06:29:51 AM -0400", kBase},  // month first, 12-hour clock
                      DateCase{"Sat, Mar 21 2020 12:29:51 PM +0200", kBase},  // noon is 12 PM
                      DateCase{"Sat, 21 Mar 2020 24:00:00 GMT", FromCivil(2020, 3, 22, 0, 0, 0)},  // end of day
                      DateCase{"Sat, 21 Mar 2020 10:29 GMT", kBase - 51},                          // no seconds
                      DateCase{"Sat, 21 Mar 2020 10:29:51", kBase},                                // no zone: UTC
                      DateCase{"Sat, 21 Mar 2020 10:29:51 +:", kBase},  // a zone without digits: UTC
                      DateCase{"Sat,  1 Mar 1999 10:29:51 GMT", FromCivil(1999, 3, 1, 10, 29, 51)},  // 1-digit day
                      DateCase{"1 Mar 99 10:29:51 GMT", FromCivil(1999, 3, 1, 10, 29, 51)},          // 99: 1999
                      DateCase{"2020-03-21T10:29:51Z", kBase}, DateCase{"2020-03-21T18:29:51+08:00", kBase},
                      DateCase{"2020-03-21t10:29:51.123456z", kBase},  // fraction, lower case
                      DateCase{"2020-03-21 10:29:51-00:00", kBase},    // space for T
                      DateCase{"2020-03-21", FromCivil(2020, 3, 21, 0, 0, 0)},
                      DateCase{"  2020-02-29T00:00:00Z\n", FromCivil(2020, 2, 29, 0, 0, 0)}));

TEST(FeedDate, RejectsWhatIsNoDate) {
  for (const char* text :
       {"", "yesterday", "32 Mar 2020 10:00:00 GMT", "21 Foo 2020 10:00:00 GMT", "2020-13-01T00:00:00Z",
        "2020-03-21T25:00:00Z", "2020-03-21T10:29:51+0x:00", "2020-03-21T10:29:5Z",
        "Sat, 21 Mar 2020 10:29:51 GMT (a zone comment that runs past sixty-four bytes)",
        "Sat, 21 Mar 2020 13:00:00 PM", "21 Mar 2020 10:61 GMT",
        // Numbers too long for an int, and a sign with no digits.
        "Sat, 12345678901 Dec 2026 01:00:00 GMT", "Dec 99999999999999999999 2026", "2020-03-21T10:29:51+:"}) {
    UtcSeconds utc = 0;
    EXPECT_FALSE(ParseFeedDate(text, utc)) << text;
  }
}

}  // namespace
