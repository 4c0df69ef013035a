#include "demo/Workspace.h"

#include <chrono>
#include <filesystem>
#include <system_error>

namespace demo {

namespace fs = std::filesystem;

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
  if (options.UsesBundledFeeds()) m_liveFeed = (fs::path(work) / "Config" / "feeds" / "twstock.xml").string();
  return true;
}

}  // namespace demo
