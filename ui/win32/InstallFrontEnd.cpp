// Linked into vxRSS.dll only: while the library is loaded, its dialogs run as real Windows dialogs. The
// front end that was installed before (normally none) is put back when the library is unloaded.
#include "libs/vxcommon/VxCommon.h"
#include "ui/win32/Win32FrontEnd.h"

namespace {

const CModalFrontEndScope g_installed(vxwin32::Win32FrontEnd());

}  // namespace
