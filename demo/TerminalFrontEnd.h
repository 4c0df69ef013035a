// CTerminalFrontEnd: runs dialogs in a text terminal. The dialog's tree is an in-memory tree drawn with
// [x], [-] and [ ] marks; the arrow keys move and expand, space toggles, Enter is OK and Esc is Cancel.
// POSIX terminals only; on Windows the module's dialogs are real dialogs.
#pragma once

#include <memory>
#include <string>

#include "libs/vxcommon/VxCommon.h"
#include "ui/MemoryTree.h"

namespace demo {

class CTerminalFrontEnd : public IModalFrontEnd {
 public:
  explicit CTerminalFrontEnd(std::string title) : m_title(std::move(title)) {}

  int RunModal(CDialog& dlg) override;
  bool CreateTreeControl(CCheckTreeCtrl& ctrl, DWORD dwStyle, const RECT& rect, CDialog& parent, UINT nID) override;

 private:
  void Draw() const;
  int CaretRow() const;

  const std::string m_title;
  std::unique_ptr<CMemoryTree> m_tree;
  CCheckTreeCtrl* m_pCtrl = nullptr;
};

}  // namespace demo
