// CWnd: a window of the host, known to the module by its handle. The host passes one to say which of its
// windows a dialog belongs to; the module never makes or destroys it.
#pragma once

#include "libs/vxcommon/WinTypes.h"

class CWnd {
 public:
  explicit CWnd(HWND hWnd = nullptr) : m_hWnd(hWnd) {}

  HWND GetSafeHwnd() const { return m_hWnd; }

 private:
  HWND m_hWnd;
};
