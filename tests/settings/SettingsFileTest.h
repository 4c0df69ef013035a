// Helpers shared by the selection store's tests: a store pointed at a fresh folder, and whole-file I/O.
#pragma once

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

class StoreInTempDir {
 public:
  StoreInTempDir() { store.InitFolderPath(m_dir.path().string().c_str()); }

  std::filesystem::path SettingsPath() const { return m_dir.path() / CRSSNewsDataMgr::kFileName; }
  const std::filesystem::path& Folder() const { return m_dir.path(); }

  CRSSNewsDataMgr store;

 private:
  TempDir m_dir;
};
