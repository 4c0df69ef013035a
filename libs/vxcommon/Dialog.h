// CDialog: the platform-free part of a modal dialog. A front end (see VxCommon.h) shows it, calls
// OnInitDialog once its window exists, routes the OK and Cancel commands to OnOK and OnCancel, and closes
// the window once EndDialog has been called.
#pragma once

#include "libs/vxcommon/WinTypes.h"

class CWnd;
class IModalFrontEnd;

class CDialog {
 public:
  explicit CDialog(UINT nIDTemplate) : m_nIDTemplate(nIDTemplate) {}
  virtual ~CDialog() = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  UINT GetTemplateID() const { return m_nIDTemplate; }

  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }

  // Asks the front end to close the dialog; vxDoModal then returns nResult.
  void EndDialog(int nResult);
  bool IsEnded() const { return m_bEnded; }
  int GetEndCode() const { return m_nEndCode; }

  // The host's window the dialog belongs to, for the next showing; null: the host's active window.
  void SetParentWnd(CWnd* pParentWnd) { m_pParentWnd = pParentWnd; }
  CWnd* GetParentWnd() const { return m_pParentWnd; }

  // The front end showing this dialog, null while it is not shown. Controls are created through it.
  IModalFrontEnd* GetFrontEnd() const { return m_pFrontEnd; }
  // A dialog that is being shown is brought to the front (true); one that is not stays so (false).
  bool BringToFront();

  // Called by vxDoModal around one showing.
  void BeginModal(IModalFrontEnd& frontEnd);
  void EndModal() { m_pFrontEnd = nullptr; }

 private:
  const UINT m_nIDTemplate;
  CWnd* m_pParentWnd = nullptr;
  IModalFrontEnd* m_pFrontEnd = nullptr;
  bool m_bEnded = false;
  int m_nEndCode = 0;
};
