#include "libs/vxcommon/Dialog.h"

#include "libs/vxcommon/VxCommon.h"

void CDialog::EndDialog(int nResult) {
  m_nEndCode = nResult;
  m_bEnded = true;
}

void CDialog::BeginModal(IModalFrontEnd& frontEnd) {
  m_pFrontEnd = &frontEnd;
  m_bEnded = false;
  m_nEndCode = 0;
}

bool CDialog::BringToFront() {
  if (m_pFrontEnd == nullptr) return false;
  m_pFrontEnd->BringToFront(*this);
  return true;
}
