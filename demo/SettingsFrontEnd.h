// SettingsFrontEnd: for the life of the object, the settings dialog is shown the platform's way: in the
// terminal on POSIX systems, as the real dialog on Windows.
#pragma once

#include <memory>

namespace demo {

class SettingsFrontEnd {
 public:
  SettingsFrontEnd();
  ~SettingsFrontEnd();
  SettingsFrontEnd(const SettingsFrontEnd&) = delete;
  SettingsFrontEnd& operator=(const SettingsFrontEnd&) = delete;

 private:
  struct Installed;
  std::unique_ptr<Installed> m_installed;
};

}  // namespace demo
