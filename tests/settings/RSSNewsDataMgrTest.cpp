#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "tests/settings/SettingsFileTest.h"

namespace {

using Ids = std::vector<CString>;

Ids ListOf(CRSSNewsDataMgr& store) {
  Ids ids;
  store.GetRSSNewsSels(ids);
  return ids;
}

struct LayoutCase {
  const char* label;
  Ids ids;
  std::string value;  // the attribute's bytes in the file
};

class SettingsFileLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(SettingsFileLayout, SavesExactBytesAndLoadsThemBack) {
  StoreInTempDir saved;
  ASSERT_EQ(saved.store.SetRSSNewsSels(GetParam().ids), 1);
  ASSERT_EQ(saved.store.Save(), 1);
  EXPECT_EQ(ReadBytes(saved.SettingsPath()), SettingsXml(GetParam().value));

  CRSSNewsDataMgr loaded;
  ASSERT_EQ(loaded.InitFolderPath(saved.Folder().string().c_str()), 1);
  ASSERT_EQ(loaded.Load(), 1);
  EXPECT_EQ(ListOf(loaded), GetParam().ids);
  EXPECT_EQ(loaded.GetRSSNewsSels(), saved.store.GetRSSNewsSels());
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SettingsFileLayout,
    testing::Values(LayoutCase{"list", {"1001", "2002", "A B"}, "1001,2002,A B"}, LayoutCase{"empty", {}, ""},
                    // Big5 "新聞" and "許" (trail byte 0x5C) must come back byte for byte.
                    LayoutCase{"big5", {"\xB7\x73\xBB\x44", "\xB3\x5C", "x"}, "\xB7\x73\xBB\x44,\xB3\x5C,x"},
                    LayoutCase{"escaped", {"a\"b", "<c>", "d&e"}, "a&quot;b,&lt;c&gt;,d&amp;e"}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.label); });

TEST(SettingsFileRead, SplitsAtEveryCommaKeepingEmptyPieces) {
  StoreInTempDir s;
  WriteBytes(s.SettingsPath(), SettingsXml("a,,b,"));
  ASSERT_EQ(s.store.Load(), 1);
  EXPECT_EQ(ListOf(s.store), (Ids{"a", "", "b", ""}));
  EXPECT_EQ(s.store.GetRSSNewsSels(), "a,,b,");
  ASSERT_EQ(s.store.SetRSSNewsSels(ListOf(s.store)), 1);
  EXPECT_EQ(s.store.GetRSSNewsSels(), "a,,b,");
}

TEST(SettingsFileRead, AcceptsAnyWellFormedLayoutAndConvertsToBig5) {
  StoreInTempDir s;
  WriteBytes(s.SettingsPath(),
             "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- user's choice -->\r\n"
             "<RSSNews other='1' RSSNewsItems='\xE6\x96\xB0\xE8\x81\x9E,&#x41;'>\r\n<x/></RSSNews>\r\n");
  ASSERT_EQ(s.store.Load(), 1);
  EXPECT_EQ(ListOf(s.store), (Ids{"\xB7\x73\xBB\x44", "A"}));
}

TEST(SettingsFileRead, LoadTimeGrowsLinearlyWithTheFile) {
  StoreInTempDir s;
  constexpr int kIds = 400000;  // 2.8 MB: a walk from the first byte for every "," takes minutes
  std::string value;
  for (int i = 0; i < kIds; ++i) value += (i == 0 ? "" : ",") + std::to_string(100000 + i);
  WriteBytes(s.SettingsPath(), SettingsXml(value));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(s.store.Load(), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  const Ids ids = ListOf(s.store);
  ASSERT_EQ(ids.size(), std::size_t{kIds});
  EXPECT_EQ(ids.back(), std::to_string(100000 + kIds - 1).c_str());
}

// Every way Load can fail, from a store that already holds a selection.
struct LoadFailure {
  const char* label;
  const char* file;  // null: no file at all
  bool joinedTextKept;
};

class SettingsLoadFailure : public testing::TestWithParam<LoadFailure> {};

TEST_P(SettingsLoadFailure, EmptiesTheListAndKeepsOrEmptiesTheText) {
  StoreInTempDir s;
  ASSERT_EQ(s.store.SetRSSNewsSels({"x", "y"}), 1);
  if (GetParam().file != nullptr) WriteBytes(s.SettingsPath(), GetParam().file);
  EXPECT_EQ(s.store.Load(), 0);
  EXPECT_TRUE(ListOf(s.store).empty());
  EXPECT_EQ(s.store.GetRSSNewsSels(), GetParam().joinedTextKept ? "x,y" : "");
  ASSERT_EQ(s.store.Save(), 1);  // writes the list, not the joined text
  EXPECT_EQ(ReadBytes(s.SettingsPath()), SettingsXml(""));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsLoadFailure,
    testing::Values(LoadFailure{"missing_file", nullptr, true},
                    LoadFailure{"malformed", "<RSSNews RSSNewsItems='a'>", true},
                    LoadFailure{"undecodable", "<?xml version='1.0' encoding='big5'?><RSSNews RSSNewsItems='\xFF'/>",
                                true},
                    LoadFailure{"hostile", "<!DOCTYPE RSSNews [<!ENTITY e 'a'>]><RSSNews RSSNewsItems='&e;'/>", true},
                    LoadFailure{"other_root", "<Settings RSSNewsItems='a'/>", true},
                    LoadFailure{"not_the_root", "<Settings><RSSNews RSSNewsItems='a'/></Settings>", true},
                    LoadFailure{"attribute_missing", "<RSSNews Items='a'/>", false}),
    [](const testing::TestParamInfo<LoadFailure>& info) { return std::string(info.param.label); });

TEST(SettingsStoreFailure, OperationsWithoutAPathChangeNothing) {
  CRSSNewsDataMgr store;
  ASSERT_EQ(store.SetRSSNewsSels({"x"}), 1);
  EXPECT_EQ(store.Load(), 0);
  EXPECT_EQ(ListOf(store), Ids{"x"});
  EXPECT_EQ(store.GetRSSNewsSels(), "x");
  EXPECT_EQ(store.Save(), 0);

  StoreInTempDir s;
  const CString path = s.store.GetFilePath();
  EXPECT_EQ(s.store.InitFolderPath(""), 0);
  EXPECT_EQ(s.store.GetFilePath(), path);
}

// IDs the file could not give back as they are: the separator, control bytes, bytes that are not Big5
// (0xFF, a lead byte without trail, a pair Big5 leaves undefined) and a character that reads back as another.
TEST(SettingsStoreFailure, IdTheFileCannotCarryIsRefusedWholesale) {
  CRSSNewsDataMgr store;
  ASSERT_EQ(store.SetRSSNewsSels({"a", "b"}), 1);
  for (const char* bad : {"d,e", "c\x01", "t\tab", "del\x7F", "\xFF", "\xA4", "\xA3\xC0", "\xA2\xCC"}) {
    EXPECT_EQ(store.SetRSSNewsSels({"c", bad}), 0) << testing::PrintToString(bad);
  }
  EXPECT_EQ(ListOf(store), (Ids{"a", "b"}));
  EXPECT_EQ(store.GetRSSNewsSels(), "a,b");
}

TEST(SettingsStore, CopyAssignmentAndSwapCarryAllFourMembers) {
  const auto members = [](CRSSNewsDataMgr& store) {
    return std::make_tuple(ListOf(store), store.GetRSSNewsSels(), store.GetFilePath(), store.GetAuthorizedExch());
  };
  StoreInTempDir s;
  ASSERT_EQ(s.store.SetRSSNewsSels({"x", "y"}), 1);
  s.store.SetAuthorizedExch(true);
  const auto original = members(s.store);

  CRSSNewsDataMgr copy(s.store);
  EXPECT_EQ(members(copy), original);
  CRSSNewsDataMgr other;
  ASSERT_EQ(other.SetRSSNewsSels({"z"}), 1);
  const auto otherMembers = members(other);
  CRSSNewsDataMgr assigned(other);
  assigned = s.store;
  EXPECT_EQ(members(assigned), original);
  assigned.swap(other);
  EXPECT_EQ(members(other), original);
  EXPECT_EQ(members(assigned), otherMembers);
}

TEST(SettingsStore, SaveReplacesTheFileOnlyWhenItCanWriteTheWholeOfIt) {
  StoreInTempDir s;
  ASSERT_EQ(s.store.SetRSSNewsSels({"old"}), 1);
  ASSERT_EQ(s.store.Save(), 1);
  ASSERT_EQ(s.store.SetRSSNewsSels({"new", "list"}), 1);
  EXPECT_EQ(ReadBytes(s.SettingsPath()), SettingsXml("old"));  // setting alone writes nothing
  ASSERT_EQ(s.store.Save(), 1);
  EXPECT_EQ(ReadBytes(s.SettingsPath()), SettingsXml("new,list"));
  EXPECT_EQ(s.FilesInFolder(), 1u);  // no temporary left

  CRSSNewsDataMgr elsewhere;
  ASSERT_EQ(elsewhere.InitFolderPath((s.Folder() / "missing").string().c_str()), 1);
  EXPECT_EQ(elsewhere.Save(), 0);
  EXPECT_FALSE(std::filesystem::exists(s.Folder() / "missing"));
}

}  // namespace
