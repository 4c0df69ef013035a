#include "libs/vxcommon/Dialog.h"

void CDialog::EndDialog(int nResult) {
  m_nEndCode = nResult;
  m_bEnded = true;
}

void CDialog::BeginModal(IModalFrontEnd& frontEnd) {
  m_pFrontEnd = &frontEnd;
  m_bEnded = false;
  m_nEndCode = 0;
}
