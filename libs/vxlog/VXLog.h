// CVXLog: the log library's logger. It writes one timestamped line per Write to a file in the folder
// given to storage(). Every call is thread-safe.
#pragma once

#include <cstdio>
#include <string>

#include "port/CString.h"
#include "port/Mutex.h"

using Lvl = int;  // a log level; the module writes at 0x100

class CVXLog {
 public:
  CVXLog() = default;
  ~CVXLog();
  CVXLog(const CVXLog&) = delete;
  CVXLog& operator=(const CVXLog&) = delete;

  // Where to write: the folder (created with its parents when missing), a file-name prefix and a name (the
  // file is "<prefix>_<name>.log", appended to), whether to start each line with a timestamp, and whether
  // to echo lines to standard error. False when the file cannot be opened; the logger then writes nothing.
  bool storage(const char* folder, const char* prefix, const char* name, bool timestamp, bool echo);

  // Takes the level of the next Write and returns the logger. Every level is written alike: the module
  // logs one line only, so filtering by level would buy nothing.
  CVXLog& operator()(Lvl level);

  void Write(const CString& text);
  void Write(const char* format, ...) VX_PRINTF_FORMAT(2, 3);

  // The file being written; empty before storage() succeeded.
  std::string FilePath() const;

 private:
  void WriteLine(const std::string& text) EXCLUDES(m_mutex);
  void CloseFile() REQUIRES(m_mutex);

  mutable port::Mutex m_mutex;
  std::string m_path GUARDED_BY(m_mutex);
  std::FILE* m_file GUARDED_BY(m_mutex) = nullptr;
  bool m_timestamp GUARDED_BY(m_mutex) = true;
  bool m_echo GUARDED_BY(m_mutex) = false;
};
