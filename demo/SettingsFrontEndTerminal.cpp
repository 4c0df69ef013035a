// The settings dialog in a text terminal.
#include "demo/SettingsFrontEnd.h"
#include "demo/TerminalFrontEnd.h"

namespace demo {

struct SettingsFrontEnd::Installed {
  CTerminalFrontEnd frontEnd{"RSS 新聞設定 RSS news settings"};
  CModalFrontEndScope scope{frontEnd};
};

SettingsFrontEnd::SettingsFrontEnd() : m_installed(std::make_unique<Installed>()) {}
SettingsFrontEnd::~SettingsFrontEnd() = default;

}  // namespace demo
