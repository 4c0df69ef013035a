#include "libs/vxcommon/VxCommon.h"

#include <atomic>

namespace {

// The process's one modal front end. Atomic so that a test installing it never races a reader, though in
// practice dialogs run on the user-interface thread only.
std::atomic<IModalFrontEnd*> g_pModalFrontEnd{nullptr};

// Marks a dialog as shown by a front end for one showing, whatever way the showing ends.
class CModalShowing {
 public:
  CModalShowing(CDialog& dlg, IModalFrontEnd& frontEnd) : m_dlg(dlg) { m_dlg.BeginModal(frontEnd); }
  ~CModalShowing() { m_dlg.EndModal(); }
  CModalShowing(const CModalShowing&) = delete;
  CModalShowing& operator=(const CModalShowing&) = delete;

 private:
  CDialog& m_dlg;
};

}  // namespace

IModalFrontEnd* SetModalFrontEnd(IModalFrontEnd* frontEnd) { return g_pModalFrontEnd.exchange(frontEnd); }

IModalFrontEnd* GetModalFrontEnd() { return g_pModalFrontEnd.load(); }

int vxDoModal(CDialog* pDlg, int /*nOwner*/, int /*nShow*/, int /*nFlags*/) {
  IModalFrontEnd* frontEnd = GetModalFrontEnd();
  if (pDlg == nullptr || frontEnd == nullptr) return -1;
  const CModalShowing showing(*pDlg, *frontEnd);
  return frontEnd->RunModal(*pDlg);
}
