// CVXLog: the log library's logger. It writes one timestamped line per Write to a file in the folder
// given to storage().
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "port/CString.h"

using Lvl = int;  // a log level; the module writes at 0x100

class CVXLog {
 public:
  CVXLog();
  ~CVXLog();
  CVXLog(const CVXLog&) = delete;
  CVXLog& operator=(const CVXLog&) = delete;

  // Where to write: the folder (created when missing), a file-name prefix and a name, whether to add a
  // timestamp to each line, and whether to echo lines to standard error. False when the file cannot be
  // opened.
  bool storage(const char* folder, const char* prefix, const char* name, bool timestamp, bool echo);

  // Sets the level of the next Write and returns the logger.
  CVXLog& operator()(Lvl level);

  void Write(const CString& text);
  void Write(const char* format, ...) VX_PRINTF_FORMAT(2, 3);

  // The file being written; empty before storage() succeeded.
  const std::string& FilePath() const { return m_path; }

 private:
  void WriteLine(const std::string& text);

  std::mutex m_mutex;
  std::string m_path;
  std::FILE* m_file = nullptr;
  bool m_timestamp = true;
  bool m_echo = false;
  Lvl m_level = 0;
};
