// The module-wide constant strings, made when the library is loaded.
#pragma once

#include "port/CString.h"

namespace VXRSS {

const CString& IdSeparator();       // ","
const CString& LinkOpener();        // "<a href='"
const CString& LinkCloser();        // "'"
const CString& ConfigFolderName();  // "Config"
const CString& DataFolderName();    // "Data"
const CString& LogFolderName();     // "LOG"

}  // namespace VXRSS
