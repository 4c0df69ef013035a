// The few Windows types, messages and tree-view constants that the platform-free dialog and tree logic is
// written in. On Windows they come from the system headers; elsewhere they are defined here with the same
// values, so the same logic compiles and behaves the same on every platform.
#pragma once

#ifdef _WIN32
#include <windows.h>
// windows.h first: commctrl.h relies on its types.
#include <commctrl.h>
#else
#include <cstdint>

using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using LRESULT = std::intptr_t;

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

struct POINT {
  LONG x;
  LONG y;
};

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

// A window is known only by an opaque handle.
struct OpaqueWindow;
using HWND = OpaqueWindow*;

// A tree item is known only by an opaque handle that its tree control hands out.
struct TreeItem;
using HTREEITEM = TreeItem*;

// Dialog end codes.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Window messages and virtual keys.
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;

// Window and tree-view styles.
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD TVS_HASBUTTONS = 0x0001;
constexpr DWORD TVS_HASLINES = 0x0002;
constexpr DWORD TVS_LINESATROOT = 0x0004;
constexpr DWORD TVS_DISABLEDRAGDROP = 0x0010;
constexpr DWORD TVS_CHECKBOXES = 0x0100;

// Tree item state bits: the state-image index lives in bits 12 to 15.
constexpr UINT TVIS_EXPANDED = 0x0020;
constexpr UINT TVIS_STATEIMAGEMASK = 0xF000;
constexpr UINT INDEXTOSTATEIMAGEMASK(UINT index) { return index << 12; }

// Tree hit-test flags.
constexpr UINT TVHT_NOWHERE = 0x0001;
constexpr UINT TVHT_ONITEMLABEL = 0x0004;
constexpr UINT TVHT_ONITEMINDENT = 0x0008;
constexpr UINT TVHT_ONITEMBUTTON = 0x0010;
constexpr UINT TVHT_ONITEMRIGHT = 0x0020;
constexpr UINT TVHT_ONITEMSTATEICON = 0x0040;

// Tree expand codes.
constexpr UINT TVE_COLLAPSE = 0x0001;
constexpr UINT TVE_EXPAND = 0x0002;
#endif
