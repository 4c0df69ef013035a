// The settings dialog as a real Windows dialog, from the resources linked into the demo.
#include "demo/SettingsFrontEnd.h"
#include "ui/win32/Win32FrontEnd.h"

namespace demo {

struct SettingsFrontEnd::Installed {
  vxwin32::CWin32FrontEnd frontEnd;
  CModalFrontEndScope scope{frontEnd};
};

SettingsFrontEnd::SettingsFrontEnd() : m_installed(std::make_unique<Installed>()) {}
SettingsFrontEnd::~SettingsFrontEnd() = default;

}  // namespace demo
