// The module's Big5 text as the Unicode window functions take it. The conversion is fixed to code page
// 950, whatever code page the system runs in, so the tree shows and returns the same bytes everywhere.
#pragma once

#include <string>

#include "port/CString.h"

namespace vxwin32 {

std::wstring WideFromBig5(const CString& text);
CString Big5FromWide(const std::wstring& text);

}  // namespace vxwin32
