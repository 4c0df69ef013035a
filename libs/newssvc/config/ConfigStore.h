// CConfigStore: the service's settings as one immutable snapshot (the configuration file as last read, with
// the session's overrides), replaced whole when the file changes or an override is set, so a reader keeps a
// consistent copy for as long as it holds it. Load and ReloadIfChanged run on the service's thread (Load
// also before it starts); Current and the setters on any thread. Its lock guards the snapshot pointer, the
// overrides and the file's stamp; it is never held while the file is read.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "libs/newssvc/common/FileStamp.h"
#include "libs/newssvc/common/LocalZone.h"
#include "libs/newssvc/config/ServiceConfig.h"
#include "port/CString.h"
#include "port/Mutex.h"

namespace newssvc {

// What the session set over the configuration.
struct ConfigOverrides {
  CString feedsFolder;  // relative sources are read from here
  bool fixedZone = false;
  int zoneOffsetSeconds = 0;  // meaningful when fixedZone
  int intervalMs = 0;         // 0: the configuration's
};

// One reading of the settings. Providers are listed once each, the first of an ID winning, with their
// sources resolved against the feeds folder.
class ServiceSnapshot {
 public:
  ServiceSnapshot() = default;
  ServiceSnapshot(ServiceConfig config, ConfigOverrides overrides);

  const ServiceConfig& Config() const { return m_config; }
  const std::vector<ProviderConfig>& Providers() const { return m_providers; }
  // The source to read, by the provider's index in Providers(): absolute, a URL, or inside the feeds folder.
  const CString& ResolvedSource(std::size_t index) const { return m_resolved[index]; }
  bool HasProvider(const CString& providerID) const { return m_index.count(providerID) != 0; }
  RecordZone Zone() const;
  int PollMilliseconds() const { return m_config.pollMilliseconds; }
  // The fetch interval: the session's override, else the configuration's.
  int IntervalMilliseconds() const;

 private:
  ServiceConfig m_config;
  ConfigOverrides m_overrides;
  std::vector<ProviderConfig> m_providers;
  std::vector<CString> m_resolved;
  std::map<CString, std::size_t> m_index;
};

class CConfigStore {
 public:
  CConfigStore(CString configPath, CString feedsFolder);

  // Reads the file; false (the snapshot unchanged) when it cannot be read.
  bool Load() EXCLUDES(m_mtx);
  // Reads the file again when it changed (always when `force`); true when its categories changed.
  bool ReloadIfChanged(bool force) EXCLUDES(m_mtx);

  void SetFeedsFolder(const CString& folder) EXCLUDES(m_mtx);
  void SetZoneOverride(int offsetSeconds) EXCLUDES(m_mtx);
  void SetIntervalOverride(int milliseconds) EXCLUDES(m_mtx);

  std::shared_ptr<const ServiceSnapshot> Current() const EXCLUDES(m_mtx);

 private:
  void Replace(ServiceConfig config) REQUIRES(m_mtx);

  const CString m_strConfigPath;
  mutable port::Mutex m_mtx;
  ConfigOverrides m_overrides GUARDED_BY(m_mtx);
  FileStamp m_stamp GUARDED_BY(m_mtx);
  std::shared_ptr<const ServiceSnapshot> m_snapshot GUARDED_BY(m_mtx);
};

}  // namespace newssvc
