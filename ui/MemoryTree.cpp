#include "ui/MemoryTree.h"

#include <algorithm>
#include <utility>

struct CMemoryTree::Node {
  CString text;
  UINT state = 0;
  Node* parent = nullptr;
  int depth = -1;  // the invisible root is -1, the top level 0
  std::vector<std::unique_ptr<Node>> children;

  // This node's position among its parent's children.
  std::size_t Position() const {
    const auto& siblings = parent->children;
    const auto it = std::find_if(siblings.begin(), siblings.end(), [this](const auto& s) { return s.get() == this; });
    return static_cast<std::size_t>(it - siblings.begin());
  }
  bool IsExpanded() const { return (state & TVIS_EXPANDED) != 0; }
  bool IsDescendantOf(const Node* ancestor) const {
    for (const Node* node = parent; node != nullptr; node = node->parent) {
      if (node == ancestor) return true;
    }
    return false;
  }
};

CMemoryTree::CMemoryTree() : m_root(std::make_unique<Node>()) {}

CMemoryTree::~CMemoryTree() = default;

// Handles are the nodes' addresses, never dereferenced as anything but a Node.
CMemoryTree::Node* CMemoryTree::ToNode(HTREEITEM hItem) { return reinterpret_cast<Node*>(hItem); }

HTREEITEM CMemoryTree::ToHandle(const Node* node) { return reinterpret_cast<HTREEITEM>(const_cast<Node*>(node)); }

HTREEITEM CMemoryTree::GetRootItem() const { return GetChildItem(ToHandle(m_root.get())); }

HTREEITEM CMemoryTree::GetParentItem(HTREEITEM hItem) const {
  const Node* node = ToNode(hItem);
  if (node == nullptr || node->parent == m_root.get()) return nullptr;
  return ToHandle(node->parent);
}

HTREEITEM CMemoryTree::GetChildItem(HTREEITEM hItem) const {
  const Node* node = ToNode(hItem);
  if (node == nullptr || node->children.empty()) return nullptr;
  return ToHandle(node->children.front().get());
}

HTREEITEM CMemoryTree::GetNextSiblingItem(HTREEITEM hItem) const {
  const Node* node = ToNode(hItem);
  if (node == nullptr) return nullptr;
  const std::size_t next = node->Position() + 1;
  return next < node->parent->children.size() ? ToHandle(node->parent->children[next].get()) : nullptr;
}

HTREEITEM CMemoryTree::GetPrevSiblingItem(HTREEITEM hItem) const {
  const Node* node = ToNode(hItem);
  if (node == nullptr) return nullptr;
  const std::size_t position = node->Position();
  return position > 0 ? ToHandle(node->parent->children[position - 1].get()) : nullptr;
}

BOOL CMemoryTree::ItemHasChildren(HTREEITEM hItem) const {
  const Node* node = ToNode(hItem);
  return node != nullptr && !node->children.empty() ? TRUE : FALSE;
}

UINT CMemoryTree::GetItemState(HTREEITEM hItem, UINT nStateMask) const {
  const Node* node = ToNode(hItem);
  return node != nullptr ? node->state & nStateMask : 0;
}

BOOL CMemoryTree::SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask) {
  Node* node = ToNode(hItem);
  if (node == nullptr) return FALSE;
  node->state = (node->state & ~nStateMask) | (nState & nStateMask);
  return TRUE;
}

std::vector<const CMemoryTree::Node*> CMemoryTree::VisibleRows() const {
  std::vector<const Node*> rows;
  std::vector<const Node*> pending;  // depth-first, next row on top
  for (auto it = m_root->children.rbegin(); it != m_root->children.rend(); ++it) pending.push_back(it->get());
  while (!pending.empty()) {
    const Node* node = pending.back();
    pending.pop_back();
    rows.push_back(node);
    if (!node->IsExpanded()) continue;
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) pending.push_back(it->get());
  }
  return rows;
}

int CMemoryTree::RowOf(const Node* node) const {
  const std::vector<const Node*> rows = VisibleRows();
  const auto it = std::find(rows.begin(), rows.end(), node);
  return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
}

LONG CMemoryTree::LabelLeft(const Node& node) {
  const LONG stateIcon = (node.state & TVIS_STATEIMAGEMASK) != 0 ? kStateIconWidth : 0;
  return node.depth * kIndent + kButtonWidth + stateIcon;
}

HTREEITEM CMemoryTree::HitTest(POINT point, UINT* pFlags) const {
  UINT flags = TVHT_NOWHERE;
  const Node* hit = nullptr;
  const std::vector<const Node*> rows = VisibleRows();
  if (point.y >= 0 && static_cast<std::size_t>(point.y / kRowHeight) < rows.size()) {
    hit = rows[static_cast<std::size_t>(point.y / kRowHeight)];
    const LONG buttonLeft = hit->depth * kIndent;
    const LONG labelLeft = LabelLeft(*hit);
    if (point.x < buttonLeft) {
      flags = TVHT_ONITEMINDENT;
    } else if (point.x < buttonLeft + kButtonWidth) {
      flags = TVHT_ONITEMBUTTON;
    } else if (point.x < labelLeft) {
      flags = TVHT_ONITEMSTATEICON;
    } else if (point.x < labelLeft + hit->text.GetLength()) {
      flags = TVHT_ONITEMLABEL;
    } else {
      flags = TVHT_ONITEMRIGHT;
    }
  }
  if (pFlags != nullptr) *pFlags = flags;
  return ToHandle(hit);
}

HTREEITEM CMemoryTree::GetSelectedItem() const { return ToHandle(m_caret); }

BOOL CMemoryTree::SelectItem(HTREEITEM hItem) {
  if (hItem != nullptr) EnsureVisible(hItem);
  m_caret = ToNode(hItem);
  return TRUE;
}

HTREEITEM CMemoryTree::InsertItem(const CString& text, HTREEITEM hParent) {
  Node* parent = hParent != nullptr ? ToNode(hParent) : m_root.get();
  auto node = std::make_unique<Node>();
  node->text = text;
  node->parent = parent;
  node->depth = parent->depth + 1;
  parent->children.push_back(std::move(node));
  return ToHandle(parent->children.back().get());
}

CString CMemoryTree::GetItemText(HTREEITEM hItem) const {
  const Node* node = ToNode(hItem);
  return node != nullptr ? node->text : CString();
}

BOOL CMemoryTree::Expand(HTREEITEM hItem, UINT nCode) {
  Node* node = ToNode(hItem);
  if (node == nullptr || node->children.empty()) return FALSE;
  if (nCode == TVE_EXPAND) {
    node->state |= TVIS_EXPANDED;
  } else if (nCode == TVE_COLLAPSE) {
    node->state &= ~TVIS_EXPANDED;
    // The caret cannot stay on a row that is no longer shown.
    if (m_caret != nullptr && m_caret->IsDescendantOf(node)) m_caret = node;
  } else {
    return FALSE;
  }
  return TRUE;
}

BOOL CMemoryTree::EnsureVisible(HTREEITEM hItem) {
  const Node* node = ToNode(hItem);
  if (node == nullptr) return FALSE;
  for (Node* ancestor = node->parent; ancestor != m_root.get(); ancestor = ancestor->parent) {
    ancestor->state |= TVIS_EXPANDED;
  }
  return TRUE;
}

void CMemoryTree::LButtonDown(POINT point) {
  if (m_pHandler != nullptr) {
    m_pHandler->OnLButtonDown(0, point);
  } else {
    DefaultProcessing(TreeMessage{WM_LBUTTONDOWN, 0, point, 0, 0});
  }
}

void CMemoryTree::KeyDown(UINT nChar) {
  if (m_pHandler != nullptr) {
    m_pHandler->OnKeyDown(nChar, 1, 0);
  } else {
    DefaultProcessing(TreeMessage{WM_KEYDOWN, 0, POINT{0, 0}, nChar, 1});
  }
}

void CMemoryTree::DefaultProcessing(const TreeMessage& message) {
  m_defaultProcessed.push_back(message);
  if (message.message == WM_LBUTTONDOWN) ProcessOwnClick(message.point);
  if (message.message == WM_KEYDOWN) ProcessOwnKey(message.nChar);
}

void CMemoryTree::ProcessOwnClick(POINT point) {
  UINT flags = 0;
  const HTREEITEM hItem = HitTest(point, &flags);
  if (hItem != nullptr) {
    if ((flags & TVHT_ONITEMBUTTON) != 0) Expand(hItem, ToNode(hItem)->IsExpanded() ? TVE_COLLAPSE : TVE_EXPAND);
    SelectItem(hItem);
  }
  // The press and release make a click, which the tree reports before toggling a box on its own.
  const LRESULT handled = m_pHandler != nullptr ? m_pHandler->OnClick() : 0;
  if (handled == 0 && (flags & TVHT_ONITEMSTATEICON) != 0) ToggleOwnCheckBox(hItem);
}

void CMemoryTree::ProcessOwnKey(UINT nChar) {
  if (m_pHandler != nullptr) m_pHandler->OnKeyDownNotify();
  const HTREEITEM hCaret = GetSelectedItem();
  switch (nChar) {
    case VK_SPACE:
      ToggleOwnCheckBox(hCaret);
      break;
    case VK_UP:
      MoveCaret(-1);
      break;
    case VK_DOWN:
      MoveCaret(1);
      break;
    case VK_RIGHT:
      Expand(hCaret, TVE_EXPAND);
      break;
    case VK_LEFT:
      Expand(hCaret, TVE_COLLAPSE);
      break;
    default:
      break;
  }
}

void CMemoryTree::ToggleOwnCheckBox(HTREEITEM hItem) {
  // The native toggle steps to the next of the state images 1 to 3, knowing nothing of parents or children.
  const UINT index = GetStateIndex(hItem);
  if (index != 0) SetStateIndex(hItem, index % 3 + 1);
}

void CMemoryTree::MoveCaret(int nRows) {
  const std::vector<const Node*> rows = VisibleRows();
  if (rows.empty()) return;
  const int current = m_caret != nullptr ? RowOf(m_caret) : -1;
  const int last = static_cast<int>(rows.size()) - 1;
  const int target = current < 0 ? 0 : std::clamp(current + nRows, 0, last);
  m_caret = rows[static_cast<std::size_t>(target)];
}

HTREEITEM CMemoryTree::FindItem(const std::vector<CString>& path) const {
  const Node* node = m_root.get();
  for (const CString& text : path) {
    const auto it = std::find_if(node->children.begin(), node->children.end(),
                                 [&text](const auto& child) { return child->text == text; });
    if (it == node->children.end()) return nullptr;
    node = it->get();
  }
  return node == m_root.get() ? nullptr : ToHandle(node);
}

POINT CMemoryTree::StateIconPoint(HTREEITEM hItem) const {
  const Node* node = ToNode(hItem);
  return POINT{node->depth * kIndent + kButtonWidth + 1, RowOf(node) * kRowHeight};
}

POINT CMemoryTree::LabelPoint(HTREEITEM hItem) const {
  const Node* node = ToNode(hItem);
  return POINT{LabelLeft(*node), RowOf(node) * kRowHeight};
}

POINT CMemoryTree::PointBelowRows() const { return POINT{0, static_cast<LONG>(VisibleRows().size()) * kRowHeight}; }

std::vector<std::string> CMemoryTree::Render() const {
  static const char* const kStateIcons[] = {"", "[ ] ", "[~] ", "[x] "};
  std::vector<std::string> lines;
  for (const Node* node : VisibleRows()) {
    std::string line(static_cast<std::size_t>(node->depth * kIndent), ' ');
    line += node->children.empty() ? "  " : node->IsExpanded() ? "- " : "+ ";
    const UINT index = (node->state & TVIS_STATEIMAGEMASK) >> 12;
    line += index < 4 ? kStateIcons[index] : "[?] ";
    line += node->text.str();
    lines.push_back(std::move(line));
  }
  return lines;
}
