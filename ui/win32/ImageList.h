// CImageList: owns one image list of the common controls, loaded from a bitmap resource.
#pragma once

#include <windows.h>
// windows.h first: commctrl.h relies on its types.
#include <commctrl.h>

namespace vxwin32 {

class CImageList {
 public:
  CImageList() = default;
  ~CImageList() {
    if (m_hList != nullptr) ImageList_Destroy(m_hList);
  }
  CImageList(const CImageList&) = delete;
  CImageList& operator=(const CImageList&) = delete;

  // Loads the bitmap resource nBitmapID of hModule as a strip of images cx pixels wide, growing by nGrow,
  // with crMask as the transparent colour. False when the list already exists or cannot be made.
  bool Create(HINSTANCE hModule, UINT nBitmapID, int cx, int nGrow, COLORREF crMask) {
    if (m_hList != nullptr) return false;
    m_hList = ImageList_LoadImageW(hModule, MAKEINTRESOURCEW(nBitmapID), cx, nGrow, crMask, IMAGE_BITMAP,
                                   LR_CREATEDIBSECTION);
    return m_hList != nullptr;
  }

  HIMAGELIST GetSafeHandle() const { return m_hList; }

 private:
  HIMAGELIST m_hList = nullptr;
};

}  // namespace vxwin32
