#include "libs/newssvc/config/ConfigStore.h"

#include "libs/newssvc/common/FeedUrl.h"
#include "port/Path.h"

namespace newssvc {

namespace {

bool IsAbsolute(const std::string& path) {
  return (!path.empty() && (path[0] == '/' || path[0] == '\\')) || (path.size() > 1 && path[1] == ':');
}

}  // namespace

ServiceSnapshot::ServiceSnapshot(ServiceConfig config, ConfigOverrides overrides)
    : m_config(std::move(config)), m_overrides(std::move(overrides)) {
  for (const CategoryGroup& group : m_config.groups) {
    for (const ProviderConfig& provider : group.providers) {
      if (!m_index.emplace(provider.id, m_providers.size()).second) continue;
      m_providers.push_back(provider);
      const std::string& source = provider.source.str();
      const bool asWritten = IsAbsolute(source) || IsHttpUrl(source) || m_overrides.feedsFolder.IsEmpty();
      m_resolved.push_back(asWritten ? provider.source : port::JoinPath(m_overrides.feedsFolder, provider.source));
    }
  }
}

RecordZone ServiceSnapshot::Zone() const {
  RecordZone zone;
  if (m_overrides.fixedZone) {
    zone.fixed = true;
    zone.offsetSeconds = m_overrides.zoneOffsetSeconds;
  } else if (m_config.hasZone) {
    zone.fixed = true;
    zone.offsetSeconds = m_config.zoneOffsetSeconds;
  }
  return zone;
}

int ServiceSnapshot::IntervalMilliseconds() const {
  return m_overrides.intervalMs > 0 ? m_overrides.intervalMs : m_config.pollMilliseconds;
}

CConfigStore::CConfigStore(CString configPath, CString feedsFolder)
    : m_strConfigPath(std::move(configPath)), m_snapshot(std::make_shared<const ServiceSnapshot>()) {
  m_overrides.feedsFolder = std::move(feedsFolder);
}

bool CConfigStore::Load() {
  const FileStamp stamp = FileStamp::Of(m_strConfigPath);
  ServiceConfig config;
  if (!ServiceConfig::Load(m_strConfigPath, config)) return false;
  port::MutexLock lock(m_mtx);
  m_stamp = stamp;
  Replace(std::move(config));
  return true;
}

bool CConfigStore::ReloadIfChanged(bool force) {
  const FileStamp stamp = FileStamp::Of(m_strConfigPath);
  {
    port::MutexLock lock(m_mtx);
    if (!force && stamp == m_stamp) return false;
    m_stamp = stamp;
  }
  ServiceConfig config;
  if (!ServiceConfig::Load(m_strConfigPath, config)) return false;  // a broken file keeps the old settings
  port::MutexLock lock(m_mtx);
  const bool changed = !config.SameCategories(m_snapshot->Config());
  Replace(std::move(config));
  return changed;
}

void CConfigStore::SetFeedsFolder(const CString& folder) {
  port::MutexLock lock(m_mtx);
  m_overrides.feedsFolder = folder;
  Replace(m_snapshot->Config());
}

void CConfigStore::SetZoneOverride(int offsetSeconds) {
  port::MutexLock lock(m_mtx);
  m_overrides.fixedZone = true;
  m_overrides.zoneOffsetSeconds = offsetSeconds;
  Replace(m_snapshot->Config());
}

void CConfigStore::SetIntervalOverride(int milliseconds) {
  port::MutexLock lock(m_mtx);
  m_overrides.intervalMs = milliseconds;
  Replace(m_snapshot->Config());
}

std::shared_ptr<const ServiceSnapshot> CConfigStore::Current() const {
  port::MutexLock lock(m_mtx);
  return m_snapshot;
}

void CConfigStore::Replace(ServiceConfig config) {
  m_snapshot = std::make_shared<const ServiceSnapshot>(std::move(config), m_overrides);
}

}  // namespace newssvc
