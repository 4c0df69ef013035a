#include "demo/Workspace.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "port/FileMove.h"

namespace demo {

namespace fs = std::filesystem;

namespace {

const char kLiveFeed[] = "twstock.xml";

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// Writes beside the target and moves over it, as publishers replace a feed.
bool Replace(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) return false;
  }
  return port::MoveFileOver(CString(temporary), CString(path));
}

// The bundled feed with the items of the history feed (same encoding) added after its own.
std::string FeedWithHistory(const std::string& feed, const std::string& history) {
  const std::size_t first = history.find("<item>");
  const std::size_t last = history.rfind("</item>");
  const std::size_t end = feed.rfind("</channel>");
  if (first == std::string::npos || last == std::string::npos || end == std::string::npos) return feed;
  std::string combined = feed;
  combined.insert(end, history.substr(first, last + 7 - first) + "\n");
  return combined;
}

}  // namespace

Workspace::~Workspace() {
  std::error_code error;
  if (!m_created.empty()) fs::remove_all(m_created, error);
}

bool Workspace::Prepare(const DemoOptions& options, std::string& error) {
  std::error_code failure;
  std::string work = options.workFolder;
  if (work.empty()) {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    work = (fs::temp_directory_path(failure) / ("vxrss-demo-" + std::to_string(stamp))).string();
    m_created = work;
  }
  fs::create_directories(work, failure);
  const fs::path bundled(VXRSS_DEMO_DATA);
  const auto copyInto = [&](const char* part) {
    const fs::path target = fs::path(work) / part;
    fs::remove_all(target, failure);
    fs::copy(bundled / part, target, fs::copy_options::recursive, failure);
    return target.string();
  };
  m_configRoot = options.configRoot;
  if (m_configRoot.empty()) {
    copyInto("Config");
    m_configRoot = work;
  }
  m_userRoot = options.userRoot.empty() ? copyInto("User") : options.userRoot;
  if (failure) {
    error = "cannot prepare the working folder " + work + ": " + failure.message();
    return false;
  }
  if (!options.UsesBundledFeeds()) return true;
  m_liveFeed = (fs::path(work) / "Config" / "feeds" / kLiveFeed).string();
  // The bundled configuration keeps the archive in Archive/ beside Config/.
  m_bLoadsHistory = !fs::exists(fs::path(work) / "Archive" / "RSSNewsArchive.db", failure);
  if (m_bLoadsHistory) {
    const std::string history = ReadWhole(bundled / "History" / "twstock-week.xml");
    if (!Replace(m_liveFeed, FeedWithHistory(ReadWhole(m_liveFeed), history))) m_bLoadsHistory = false;
  }
  return true;
}

bool Workspace::RestoreLiveFeed() const {
  return Replace(m_liveFeed, ReadWhole(fs::path(VXRSS_DEMO_DATA) / "Config" / "feeds" / kLiveFeed));
}

std::string Workspace::FeedsFolder() const { return (fs::path(m_configRoot) / "Config" / "feeds").string(); }

// The sources are ASCII, so the Big5 file is edited as bytes.
bool Workspace::ReadFeedsFrom(const std::string& baseUrl) {
  const std::string path = (fs::path(m_configRoot) / "Config" / "RSSNewsSvc.xml").string();
  std::stringstream buffer;
  {
    std::ifstream in(path, std::ios::binary);
    buffer << in.rdbuf();
    if (!in) return false;
  }
  std::string config = buffer.str();
  const std::string fileSource = "source=\"feeds/";
  for (std::size_t at = config.find(fileSource); at != std::string::npos; at = config.find(fileSource, at))
    config.replace(at, fileSource.size(), "source=\"" + baseUrl);
  const std::string root = "<RSSNewsService ";
  const std::size_t rootAt = config.find(root);
  if (rootAt == std::string::npos) return false;
  config.insert(rootAt + root.size(), "logFetches=\"1\" ");
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << config;
  return static_cast<bool>(out);
}

}  // namespace demo
