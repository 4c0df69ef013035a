// CScriptedFrontEnd: a modal front end that plays a scripted user. Each dialog it shows gets a CMemoryTree
// as its tree control, and the user's actions are taken from the script in order until one of them ends
// the dialog; the next showing continues with the actions after it. A script that runs out closes the
// dialog with its close box and is noted as a problem.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "libs/vxcommon/VxCommon.h"
#include "port/CString.h"
#include "ui/MemoryTree.h"

// One thing the user does. Items are named by the texts from the top level down.
struct UserAction {
  enum Kind {
    kClickStateIcon,   // a click on the item's check box
    kClickLabel,       // a click on the item's text
    kClickBelowItems,  // a click on the empty space below the last item
    kKey,              // a key press (a virtual key) in the tree
    kOK,
    kCancel,
    kCloseBox,
    kCapture,  // not a user action: records what the tree shows at this point
  };

  static UserAction ClickStateIcon(std::vector<CString> path) { return {kClickStateIcon, std::move(path), 0}; }
  static UserAction ClickLabel(std::vector<CString> path) { return {kClickLabel, std::move(path), 0}; }
  static UserAction ClickBelowItems() { return {kClickBelowItems, {}, 0}; }
  static UserAction Key(UINT nChar) { return {kKey, {}, nChar}; }
  static UserAction OK() { return {kOK, {}, 0}; }
  static UserAction Cancel() { return {kCancel, {}, 0}; }
  static UserAction CloseBox() { return {kCloseBox, {}, 0}; }
  static UserAction Capture() { return {kCapture, {}, 0}; }

  Kind kind;
  std::vector<CString> path;
  UINT nChar;
};

class CScriptedFrontEnd : public IModalFrontEnd {
 public:
  explicit CScriptedFrontEnd(std::vector<UserAction> script) : m_script(std::move(script)) {}

  int RunModal(CDialog& dlg) override;
  bool CreateTreeControl(CCheckTreeCtrl& ctrl, DWORD dwStyle, const RECT& rect, CDialog& parent, UINT nID) override;

  // Makes every later tree creation fail, as a platform out of window resources would.
  void FailTreeCreation() { m_bFailTree = true; }

  // What the tree showed at each kCapture, in order (CMemoryTree::Render).
  const std::vector<std::vector<std::string>>& Captures() const { return m_captures; }
  // The caret item's text at each kCapture; empty when there was none.
  const std::vector<CString>& CaretsAtCaptures() const { return m_caretsAtCaptures; }
  // Steps that could not be played as written; a test expects none.
  const std::vector<std::string>& Problems() const { return m_problems; }
  int Showings() const { return m_nShowings; }

 private:
  void Play(const UserAction& action, CDialog& dlg);
  // The tree of the dialog being shown, or null (noting a problem) when there is none.
  CMemoryTree* RequireTree(const char* what);
  HTREEITEM RequireVisibleItem(const std::vector<CString>& path);

  std::vector<UserAction> m_script;
  std::size_t m_nNext = 0;
  bool m_bFailTree = false;
  int m_nShowings = 0;
  // The tree window of the dialog being shown and the control attached to it.
  std::unique_ptr<CMemoryTree> m_tree;
  CCheckTreeCtrl* m_pCtrl = nullptr;
  std::vector<std::vector<std::string>> m_captures;
  std::vector<CString> m_caretsAtCaptures;
  std::vector<std::string> m_problems;
};
