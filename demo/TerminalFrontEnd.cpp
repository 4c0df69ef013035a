#include "demo/TerminalFrontEnd.h"

#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "port/CodePage.h"
#include "ui/CheckTreeCtrl.h"

namespace demo {

namespace {

enum class Key { kUp, kDown, kLeft, kRight, kSpace, kEnter, kEscape, kOther, kEnd };

// Puts the terminal into raw input for the life of the object (no echo, no line buffering).
class RawTerminal {
 public:
  RawTerminal() : m_bActive(tcgetattr(STDIN_FILENO, &m_saved) == 0) {
    if (!m_bActive) return;
    termios raw = m_saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  ~RawTerminal() {
    if (m_bActive) tcsetattr(STDIN_FILENO, TCSANOW, &m_saved);
  }
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;

 private:
  termios m_saved{};
  bool m_bActive;
};

bool ReadByte(unsigned char& byte) { return read(STDIN_FILENO, &byte, 1) == 1; }

// Whether another byte follows within a moment: an escape sequence rather than the Esc key alone.
bool ByteWaiting() {
  fd_set input;
  FD_ZERO(&input);
  FD_SET(STDIN_FILENO, &input);
  timeval wait{0, 50000};
  return select(STDIN_FILENO + 1, &input, nullptr, nullptr, &wait) > 0;
}

Key ReadKey() {
  unsigned char byte = 0;
  if (!ReadByte(byte)) return Key::kEnd;
  if (byte == ' ') return Key::kSpace;
  if (byte == '\r' || byte == '\n') return Key::kEnter;
  if (byte != 0x1B) return Key::kOther;
  if (!ByteWaiting()) return Key::kEscape;
  unsigned char bracket = 0, code = 0;
  if (!ReadByte(bracket) || (bracket != '[' && bracket != 'O') || !ReadByte(code)) return Key::kOther;
  switch (code) {
    case 'A':
      return Key::kUp;
    case 'B':
      return Key::kDown;
    case 'C':
      return Key::kRight;
    case 'D':
      return Key::kLeft;
    default:
      return Key::kOther;
  }
}

// The rows the tree shows, in order: an item, then its children when it is expanded.
void CollectVisible(const ITreeView& tree, HTREEITEM hItem, std::vector<HTREEITEM>& rows) {
  for (; hItem != nullptr; hItem = tree.GetNextSiblingItem(hItem)) {
    rows.push_back(hItem);
    if (tree.GetItemState(hItem, TVIS_EXPANDED) != 0) CollectVisible(tree, tree.GetChildItem(hItem), rows);
  }
}

// The in-memory tree draws the partly checked state as [~]; the terminal shows [-].
std::string TerminalRow(const std::string& big5Row) {
  std::string row = port::Utf8FromBig5(CString(big5Row));
  const std::size_t mixed = row.find("[~]");
  if (mixed != std::string::npos) row.replace(mixed, 3, "[-]");
  return row;
}

}  // namespace

bool CTerminalFrontEnd::CreateTreeControl(CCheckTreeCtrl& ctrl, DWORD /*dwStyle*/, const RECT& /*rect*/,
                                          CDialog& /*parent*/, UINT /*nID*/) {
  m_tree = std::make_unique<CMemoryTree>();
  ctrl.Attach(*m_tree);
  m_pCtrl = &ctrl;
  return true;
}

int CTerminalFrontEnd::RunModal(CDialog& dlg) {
  dlg.OnInitDialog();
  // Without a mouse the caret is the user's only pointer: it starts on the first row.
  if (m_tree && !m_tree->GetSelectedItem()) m_tree->SelectItem(m_tree->GetRootItem());
  {
    const RawTerminal raw;
    while (!dlg.IsEnded()) {
      Draw();
      const Key key = ReadKey();
      if (key == Key::kEnter) {
        dlg.OnOK();
      } else if (key == Key::kEscape || key == Key::kEnd) {
        dlg.OnCancel();
      } else if (m_tree && key != Key::kOther) {
        const UINT virtualKey = key == Key::kUp      ? VK_UP
                                : key == Key::kDown  ? VK_DOWN
                                : key == Key::kLeft  ? VK_LEFT
                                : key == Key::kRight ? VK_RIGHT
                                                     : VK_SPACE;
        m_tree->KeyDown(virtualKey);
      }
    }
  }
  // The tree window goes with the dialog's window.
  if (m_pCtrl) m_pCtrl->Detach();
  m_pCtrl = nullptr;
  m_tree.reset();
  std::printf("\n");
  return dlg.GetEndCode();
}

void CTerminalFrontEnd::Draw() const {
  std::string screen = "\x1b[H\x1b[2J" + m_title + "\n";
  screen += "arrows: move / expand   space: check   Enter: OK   Esc: Cancel\n\n";
  if (m_tree) {
    const std::vector<std::string> rows = m_tree->Render();
    const int caret = CaretRow();
    for (std::size_t i = 0; i < rows.size(); ++i)
      screen += (static_cast<int>(i) == caret ? "> " : "  ") + TerminalRow(rows[i]) + "\n";
  }
  std::fputs(screen.c_str(), stdout);
  std::fflush(stdout);
}

int CTerminalFrontEnd::CaretRow() const {
  std::vector<HTREEITEM> rows;
  CollectVisible(*m_tree, m_tree->GetRootItem(), rows);
  const HTREEITEM caret = m_tree->GetSelectedItem();
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i] == caret) return static_cast<int>(i);
  return -1;
}

}  // namespace demo
