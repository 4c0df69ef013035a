// Helpers shared by the tests that read and write the settings file: a store pointed at a fresh folder,
// the file's exact layout and whole-file I/O.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "settings/RSSNewsData.h"
#include "tests/libs/TempDir.h"

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The settings file as the store writes it, holding `ids` (already joined and escaped).
inline std::string SettingsXml(const std::string& ids) {
  return "<?xml version='1.0' encoding='big5' ?>\n<RSSNews RSSNewsItems=\"" + ids + "\" />";
}

class StoreInTempDir {
 public:
  StoreInTempDir() { store.InitFolderPath(dir.path().string().c_str()); }

  std::filesystem::path SettingsPath() const { return dir.path() / CRSSNewsDataMgr::kFileName; }
  auto FilesInFolder() const { return std::distance(std::filesystem::directory_iterator(dir.path()), {}); }

  const TempDir dir;
  CRSSNewsDataMgr store;
};

// A store that has saved "old" and holds "new", not yet saved.
class SavedOld : public StoreInTempDir {
 public:
  SavedOld() {
    EXPECT_EQ(store.SetRSSNewsSels({"old"}), 1);
    EXPECT_EQ(store.Save(), 1);
    EXPECT_EQ(store.SetRSSNewsSels({"new"}), 1);
  }
};
