// The modal dialog runner. vxDoModal shows a dialog through the process's modal front end: the Windows
// dialog manager in the Windows build, a scripted user in tests, the terminal in the demo. Front ends are
// installed by whoever owns the user interface of the process; there is exactly one at a time.
#pragma once

#include "libs/vxcommon/Dialog.h"
#include "libs/vxcommon/WinTypes.h"

class CCheckTreeCtrl;

// One way of putting dialogs in front of the user.
class IModalFrontEnd {
 public:
  // Shows dlg until it ends (the dialog calls EndDialog) and returns its end code.
  virtual int RunModal(CDialog& dlg) = 0;

  // Creates the front end's tree control as child nID of the dialog being shown and attaches ctrl to it,
  // as a framework's CTreeCtrl::Create does. The tree lives until the dialog's window closes, when the front
  // end detaches it again. False when no tree can be made.
  virtual bool CreateTreeControl(CCheckTreeCtrl& ctrl, DWORD dwStyle, const RECT& rect, CDialog& parent, UINT nID) = 0;

  // Puts dlg, which this front end is showing, in front of the user again. A front end whose dialog holds
  // the whole screen (a terminal) has nothing to do.
  virtual void BringToFront(CDialog& /*dlg*/) {}

 protected:
  ~IModalFrontEnd() = default;
};

// Installs frontEnd (null: none) as the process's modal front end and returns the one it replaces.
IModalFrontEnd* SetModalFrontEnd(IModalFrontEnd* frontEnd);
IModalFrontEnd* GetModalFrontEnd();

// Installs a front end for the life of the scope and puts the previous one back afterwards.
class CModalFrontEndScope {
 public:
  explicit CModalFrontEndScope(IModalFrontEnd& frontEnd) : m_pPrevious(SetModalFrontEnd(&frontEnd)) {}
  ~CModalFrontEndScope() { SetModalFrontEnd(m_pPrevious); }
  CModalFrontEndScope(const CModalFrontEndScope&) = delete;
  CModalFrontEndScope& operator=(const CModalFrontEndScope&) = delete;

 private:
  IModalFrontEnd* m_pPrevious;
};

// Runs pDlg modally and returns its end code (IDOK or IDCANCEL), or -1 when there is no dialog or no front
// end to show it. The three values keep the calling convention of the common-UI runner (owner, show
// mode, flags; callers pass 0, 1, 0); every front end here runs a dialog the same way whatever they are.
int vxDoModal(CDialog* pDlg, int nOwner, int nShow, int nFlags);
