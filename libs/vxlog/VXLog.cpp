#include "libs/vxlog/VXLog.h"

#include <chrono>
#include <cstdarg>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "port/CodePage.h"
#include "port/Path.h"

namespace {

// "YYYY-MM-DD hh:mm:ss.mmm" in local time.
std::string Timestamp() {
  using std::chrono::system_clock;
  const system_clock::time_point now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const long millis =
      static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char date[32] = {};
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
  char stamp[40] = {};
  std::snprintf(stamp, sizeof stamp, "%s.%03ld", date, millis);
  return stamp;
}

std::string FormatV(const char* format, std::va_list args) {
  std::va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return std::string();
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(&text[0], text.size(), format, args);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace

CVXLog::~CVXLog() { CloseFile(); }

bool CVXLog::storage(const char* folder, const char* prefix, const char* name, bool timestamp, bool echo) {
  const port::MutexLock lock(m_mutex);
  CloseFile();
  m_timestamp = timestamp;
  m_echo = echo;
  if (folder == nullptr || *folder == '\0') return false;
  std::error_code ignored;  // an existing folder is fine; a failure shows when the file is opened
  std::filesystem::create_directories(port::FileSystemPath(folder), ignored);
  const std::string fileName = std::string(prefix ? prefix : "") + "_" + (name ? name : "") + ".log";
  const std::string path = port::JoinPath(folder, fileName.c_str()).str();
  m_file = std::fopen(path.c_str(), "ab");
  if (m_file == nullptr) return false;
  m_path = path;
  return true;
}

CVXLog& CVXLog::operator()(Lvl /*level*/) { return *this; }

void CVXLog::Write(const CString& text) { WriteLine(text.str()); }

void CVXLog::Write(const char* format, ...) {
  if (format == nullptr) return;
  std::va_list args;
  va_start(args, format);
  const std::string text = FormatV(format, args);
  va_end(args);
  WriteLine(text);
}

std::string CVXLog::FilePath() const {
  const port::MutexLock lock(m_mutex);
  return m_path;
}

void CVXLog::WriteLine(const std::string& text) {
  const std::string stamp = Timestamp();
  const port::MutexLock lock(m_mutex);
  if (m_file == nullptr) return;
  const std::string line = (m_timestamp ? stamp + " " : std::string()) + text + "\n";
  // One fwrite per line and a flush, so concurrent writers never interleave and a crash loses nothing.
  std::fwrite(line.data(), 1, line.size(), m_file);
  std::fflush(m_file);
  if (m_echo) std::fwrite(line.data(), 1, line.size(), stderr);
}

void CVXLog::CloseFile() {
  if (m_file != nullptr) std::fclose(m_file);
  m_file = nullptr;
  m_path.clear();
}
