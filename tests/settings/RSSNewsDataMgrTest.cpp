#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/settings/SettingsFileTest.h"

namespace {

using Ids = std::vector<CString>;

Ids ListOf(CRSSNewsDataMgr& store) {
  Ids ids;
  store.GetRSSNewsSels(ids);
  return ids;
}

// The file's exact bytes for a list, and the same list and joined text read back by a fresh store.
TEST(SettingsFile, SavesExactBytesAndLoadsThemBack) {
  // The list, and the attribute's bytes in the file.
  const std::pair<Ids, std::string> cases[] = {
      {{"1001", "2002", "A B"}, "1001,2002,A B"},
      {{}, ""},
      {{"a", "", "b", ""}, "a,,b,"},  // every comma splits, empty pieces included
      // Big5 "新聞" and "許" (trail byte 0x5C) must come back byte for byte.
      {{"\xB7\x73\xBB\x44", "\xB3\x5C", "x"}, "\xB7\x73\xBB\x44,\xB3\x5C,x"},
      {{"a\"b", "<c>", "d&e"}, "a&quot;b,&lt;c&gt;,d&amp;e"},
      // Tab, LF and CR: only a file read before gives them (SetRSSNewsSels refuses them).
      {{"a\tb", "c\n\rd"}, "a&#9;b,c&#10;&#13;d"},
  };
  for (const auto& [ids, value] : cases) {
    StoreInTempDir saved;
    if (saved.store.SetRSSNewsSels(ids) != 1) {
      WriteBytes(saved.SettingsPath(), SettingsXml(value));
      ASSERT_EQ(saved.store.Load(), 1) << value;
    }
    ASSERT_EQ(saved.store.Save(), 1);
    EXPECT_EQ(ReadBytes(saved.SettingsPath()), SettingsXml(value));

    CRSSNewsDataMgr loaded;
    ASSERT_EQ(loaded.InitFolderPath(saved.dir.path().string().c_str()), 1);
    ASSERT_EQ(loaded.Load(), 1);
    EXPECT_EQ(ListOf(loaded), ids) << value;
    EXPECT_EQ(loaded.GetRSSNewsSels(), saved.store.GetRSSNewsSels());
  }
}

// A file written by another program: any well-formed layout and encoding, converted to Big5, and 400,000 IDs
// (2.8 MB) read in time that grows linearly with the file, where a walk from the first byte for every ","
// would take minutes.
TEST(SettingsFile, ReadsAnyWellFormedLayoutFastAndConvertsToBig5) {
  StoreInTempDir s;
  constexpr int kIds = 400000;
  std::string file =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- user's choice -->\r\n"
      "<RSSNews other='1' RSSNewsItems='\xE6\x96\xB0\xE8\x81\x9E,&#x41;";
  for (int i = 2; i < kIds; ++i) file += "," + std::to_string(100000 + i);
  WriteBytes(s.SettingsPath(), file + "'>\r\n<x/></RSSNews>\r\n");
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(s.store.Load(), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  const Ids ids = ListOf(s.store);
  ASSERT_EQ(ids.size(), std::size_t{kIds});
  EXPECT_EQ(Ids(ids.begin(), ids.begin() + 2), (Ids{"\xB7\x73\xBB\x44", "A"}));
  EXPECT_EQ(ids.back(), std::to_string(100000 + kIds - 1).c_str());
}

// Every way Load can fail, from a store that already holds a selection: the list is emptied, the joined
// text kept unless the file lacks the attribute, and the next Save writes the empty list.
TEST(SettingsFile, AFailedLoadEmptiesTheList) {
  // The file (null: no file at all), and whether the joined text is kept.
  const std::pair<const char*, bool> cases[] = {
      {nullptr, true},
      {"<RSSNews RSSNewsItems='a'>", true},
      {"<Settings RSSNewsItems='a'/>", true},
      {"<Settings><RSSNews RSSNewsItems='a'/></Settings>", true},
      {"<RSSNews Items='a'/>", false},
  };
  for (const auto& [file, joinedTextKept] : cases) {
    StoreInTempDir s;
    ASSERT_EQ(s.store.SetRSSNewsSels({"x", "y"}), 1);
    if (file != nullptr) WriteBytes(s.SettingsPath(), file);
    EXPECT_EQ(s.store.Load(), 0) << testing::PrintToString(file);
    EXPECT_TRUE(ListOf(s.store).empty());
    EXPECT_EQ(s.store.GetRSSNewsSels(), joinedTextKept ? "x,y" : "");
    ASSERT_EQ(s.store.Save(), 1);  // writes the list, not the joined text
    EXPECT_EQ(ReadBytes(s.SettingsPath()), SettingsXml(""));
  }
}

// Calls that fail change nothing: IDs the file could not give back as they are (the separator, control
// bytes, bytes that are not Big5: 0xFF, a lead byte without trail, a pair Big5 leaves undefined, and a
// character that reads back as another), Load and Save without a path, an empty folder name.
TEST(SettingsStoreFailure, FailedCallsChangeNothing) {
  CRSSNewsDataMgr store;
  ASSERT_EQ(store.SetRSSNewsSels({"a", "b"}), 1);
  for (const char* bad : {"d,e", "c\x01", "t\tab", "del\x7F", "\xFF", "\xA4", "\xA3\xC0", "\xA2\xCC"}) {
    EXPECT_EQ(store.SetRSSNewsSels({"c", bad}), 0) << testing::PrintToString(bad);
  }
  EXPECT_EQ(store.Load(), 0);
  EXPECT_EQ(store.Save(), 0);
  EXPECT_EQ(std::make_pair(ListOf(store), store.GetRSSNewsSels()), std::make_pair(Ids{"a", "b"}, CString("a,b")));

  const TempDir dir;
  ASSERT_EQ(store.InitFolderPath((dir.path() / "missing").string().c_str()), 1);
  const CString path = store.GetFilePath();
  EXPECT_EQ(store.InitFolderPath(""), 0);
  EXPECT_EQ(store.GetFilePath(), path);
  EXPECT_EQ(store.Save(), 0);  // the folder is not created
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST(SettingsStore, CopyAssignmentAndSwapCarryAllFourMembers) {
  const auto members = [](CRSSNewsDataMgr& store) {
    return std::make_tuple(ListOf(store), store.GetRSSNewsSels(), store.GetFilePath(), store.GetAuthorizedExch());
  };
  StoreInTempDir s;
  ASSERT_EQ(s.store.SetRSSNewsSels({"x", "y"}), 1);
  s.store.SetAuthorizedExch(true);
  CRSSNewsDataMgr other;
  ASSERT_EQ(other.SetRSSNewsSels({"z"}), 1);
  const auto original = members(s.store), otherMembers = members(other);

  CRSSNewsDataMgr assigned(other);
  assigned = s.store;  // a copy swapped in
  EXPECT_EQ(members(assigned), original);
  assigned.swap(other);
  EXPECT_EQ(members(other), original);
  EXPECT_EQ(members(assigned), otherMembers);
}

}  // namespace
