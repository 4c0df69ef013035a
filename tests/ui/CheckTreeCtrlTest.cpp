// The check-box tree driven as a user drives it: mouse presses and key presses go to the in-memory tree,
// which hands them to the control first, exactly as the platform's tree-view does.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ui/CheckTreeCtrl.h"
#include "ui/MemoryTree.h"

namespace {

// One item of a tree to build: its depth (0 top level), text and state index.
struct Row {
  int depth;
  const char* text;
  UINT index;
};

// A tree built from rows in order, every item expanded, with the control attached. Item texts are unique.
struct CheckedTree {
  explicit CheckedTree(const std::vector<Row>& rows) {
    ctrl.Attach(tree);
    std::vector<HTREEITEM> parents;
    for (const Row& row : rows) {
      parents.resize(static_cast<std::size_t>(row.depth));
      const HTREEITEM hItem = tree.InsertItem(row.text, parents.empty() ? nullptr : parents.back());
      tree.SetStateIndex(hItem, row.index);
      items[row.text] = hItem;
      order.push_back(hItem);
      parents.push_back(hItem);
    }
    for (const auto& entry : items) tree.Expand(entry.second, TVE_EXPAND);
  }

  // "[x]" a press on x's box, "x" on x's label, " " the space key, "^" the up arrow.
  void Do(const std::string& action) {
    if (action == " " || action == "^") return tree.KeyDown(action == " " ? VK_SPACE : VK_UP);
    const bool onBox = action[0] == '[';
    const HTREEITEM hItem = items.at(onBox ? action.substr(1, action.size() - 2) : action);
    tree.LButtonDown(onBox ? tree.StateIconPoint(hItem) : tree.LabelPoint(hItem));
  }

  // "text=index" for every item in the order built; the caret item marked ">".
  std::string States() const {
    std::string out;
    for (const HTREEITEM hItem : order) {
      out += std::string(out.empty() ? "" : " ") + (hItem == tree.GetSelectedItem() ? ">" : "") +
             tree.GetItemText(hItem).str() + "=" + std::to_string(tree.GetStateIndex(hItem));
    }
    return out;
  }

  // How many messages of this kind (and key) the tree's own processing got.
  long DefaultProcessed(UINT message, UINT nChar = 0) const {
    const std::vector<TreeMessage>& seen = tree.DefaultProcessed();
    return std::count_if(seen.begin(), seen.end(),
                         [&](const TreeMessage& m) { return m.message == message && m.nChar == nChar; });
  }

  CMemoryTree tree;
  CCheckTreeCtrl ctrl;
  std::map<std::string, HTREEITEM> items;
  std::vector<HTREEITEM> order;
};

// A tree and what a user does to it: an action and the states after it, in order.
struct UserCase {
  std::vector<Row> tree;
  std::vector<std::pair<const char*, const char*>> steps;
};

const std::vector<Row> kGroup = {{0, "G", 2}, {1, "a", 3}, {1, "b", 3}, {1, "c", 1}};
const UserCase kUserCases[] = {
    // A partially checked group becomes checked (the tree's own toggling would step it on again); the
    // group follows its children. A label press only moves the caret; space toggles the caret item; other
    // keys are the tree's own.
    {kGroup,
     {{"[G]", ">G=3 a=3 b=3 c=3"},
      {"[b]", "G=2 a=3 >b=1 c=3"},
      {"[a]", "G=2 >a=1 b=1 c=3"},
      {"[c]", "G=1 a=1 b=1 >c=1"},
      {"[b]", "G=2 a=1 >b=3 c=1"},
      {"G", ">G=2 a=1 b=3 c=1"},
      {" ", ">G=3 a=3 b=3 c=3"},
      {" ", ">G=1 a=1 b=1 c=1"},
      {"b", "G=1 a=1 >b=1 c=1"},
      {" ", "G=2 a=1 >b=3 c=1"},
      {"^", "G=2 >a=1 b=3 c=1"}}},
    // Three levels: a change below recomputes the grandparent too.
    {{{0, "root", 2}, {1, "p1", 2}, {2, "x", 3}, {2, "y", 1}, {1, "p2", 3}, {2, "z", 3}},
     {{"[y]", "root=3 p1=3 x=3 >y=3 p2=3 z=3"}, {"[z]", "root=2 p1=3 x=3 y=3 p2=1 >z=1"}}},
    // Items without a box pass a decision on to their children and are ignored when a parent's is decided.
    {{{0, "G", 1}, {1, "before", 0}, {1, "folder", 0}, {2, "deep", 1}, {1, "a", 1}, {1, "after", 0}},
     {{"[G]", ">G=3 before=0 folder=0 deep=3 a=3 after=0"},
      {"[a]", "G=1 before=0 folder=0 deep=3 >a=1 after=0"},
      {"folder", "G=1 before=0 >folder=0 deep=3 a=1 after=0"},
      {" ", "G=1 before=0 >folder=0 deep=3 a=1 after=0"}}},
};

TEST(CheckTreeTest, UserPressesFollowTheThreeStateRulesAndSpaceNeverReachesTheTree) {
  for (const UserCase& userCase : kUserCases) {
    CheckedTree t(userCase.tree);
    long presses = 0;
    for (const auto& [action, states] : userCase.steps) {
      t.Do(action);
      EXPECT_EQ(t.States(), states) << "after \"" << action << "\"";
      presses += action[0] != ' ' && action[0] != '^' ? 1 : 0;
    }
    // The tree still gets every press (focus, drag tracking) and the keys other than space.
    EXPECT_EQ(t.DefaultProcessed(WM_LBUTTONDOWN), presses);
    EXPECT_EQ(t.DefaultProcessed(WM_KEYDOWN, VK_SPACE), 0);
  }
}

TEST(CheckTreeTest, SetItemStateRecomputesAncestorsTouchesDescendantsOnlyWhenAskedAndReattachingReleasesTheOldTree) {
  CheckedTree t({{0, "root", 1}, {1, "p", 1}, {2, "x", 1}, {2, "y", 3}});
  const auto set = [&t](const char* text, UINT index, BOOL bSearch) {
    t.ctrl.SetItemState(t.items.at(text), INDEXTOSTATEIMAGEMASK(index), TVIS_STATEIMAGEMASK, bSearch);
    return t.States();
  };
  EXPECT_EQ(set("p", 3, FALSE), "root=3 p=3 x=1 y=3");
  EXPECT_EQ(set("p", 1, TRUE), "root=1 p=1 x=1 y=1");
  EXPECT_EQ(set("p", 0, TRUE), "root=1 p=0 x=1 y=1");

  // Attached to another tree, the control no longer takes this one's keys.
  CMemoryTree other;
  t.ctrl.Attach(other);
  t.tree.KeyDown(VK_SPACE);
  EXPECT_EQ(t.DefaultProcessed(WM_KEYDOWN, VK_SPACE), 1);
  t.ctrl.Attach(t.tree);  // before `other` goes
}

}  // namespace
