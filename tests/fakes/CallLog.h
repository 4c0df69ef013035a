// CallLog: an ordered, thread-safe record of calls, shared by the scripted service and recording views so
// that a test sees the order in which the service and the views were reached.
#pragma once

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

class CallLog {
 public:
  void Add(std::string entry) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.push_back(std::move(entry));
  }

  std::vector<std::string> Entries() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries;
  }

  // The entries that start with `prefix`, in order ("Book" gives every booking call).
  std::vector<std::string> Matching(const std::string& prefix) const {
    std::vector<std::string> result;
    for (const std::string& entry : Entries())
      if (entry.compare(0, prefix.size(), prefix) == 0) result.push_back(entry);
    return result;
  }

  std::size_t Count(const std::string& entry) const {
    const std::vector<std::string> entries = Entries();
    return static_cast<std::size_t>(std::count(entries.begin(), entries.end(), entry));
  }

  void Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.clear();
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_entries;
};
