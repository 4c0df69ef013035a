#include "module/ModuleStrings.h"

namespace VXRSS {

// Function-local statics: made on first use, so no initialisation-order problem between translation units.
const CString& IdSeparator() {
  static const CString s(",");
  return s;
}
const CString& LinkOpener() {
  static const CString s("<a href='");
  return s;
}
const CString& LinkCloser() {
  static const CString s("'");
  return s;
}
const CString& ConfigFolderName() {
  static const CString s("Config");
  return s;
}
const CString& DataFolderName() {
  static const CString s("Data");
  return s;
}
const CString& LogFolderName() {
  static const CString s("LOG");
  return s;
}

}  // namespace VXRSS
