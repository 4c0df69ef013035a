// The check-box tree driven as a user drives it: mouse presses and key presses go to the in-memory tree,
// which hands them to the control first, exactly as the platform's tree-view does.
#include <gtest/gtest.h>

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

class CheckTreeTest : public ::testing::Test {
 protected:
  void SetUp() override { ctrl.Attach(tree); }

  // Builds the rows in order, every item expanded; item texts must be unique.
  void Build(const std::vector<Row>& rows) {
    std::vector<HTREEITEM> parents;
    for (const Row& row : rows) {
      parents.resize(static_cast<std::size_t>(row.depth));
      const HTREEITEM hItem = tree.InsertItem(row.text, parents.empty() ? nullptr : parents.back());
      tree.SetStateIndex(hItem, row.index);
      items[row.text] = hItem;
      parents.push_back(hItem);
    }
    for (const auto& entry : items) tree.Expand(entry.second, TVE_EXPAND);
  }

  // "text=index" for every item, depth first.
  std::string States() const {
    std::string out;
    AppendStates(tree.GetRootItem(), out);
    return out;
  }
  void AppendStates(HTREEITEM hItem, std::string& out) const {
    for (; hItem != nullptr; hItem = tree.GetNextSiblingItem(hItem)) {
      out += (out.empty() ? "" : " ") + tree.GetItemText(hItem).str() + "=" + std::to_string(tree.GetStateIndex(hItem));
      AppendStates(tree.GetChildItem(hItem), out);
    }
  }

  void ClickStateIcon(const char* text) { tree.LButtonDown(tree.StateIconPoint(items.at(text))); }
  void ClickLabel(const char* text) { tree.LButtonDown(tree.LabelPoint(items.at(text))); }
  int DefaultProcessedKeys(UINT nChar) const {
    int count = 0;
    for (const TreeMessage& message : tree.DefaultProcessed()) {
      count += message.message == WM_KEYDOWN && message.nChar == nChar ? 1 : 0;
    }
    return count;
  }

  CMemoryTree tree;
  CCheckTreeCtrl ctrl;
  std::map<std::string, HTREEITEM> items;
};

const std::vector<Row> kGroup = {{0, "G", 2}, {1, "a", 3}, {1, "b", 3}, {1, "c", 1}};

TEST_F(CheckTreeTest, ClicksOnBoxesPropagateDownToChildrenAndUpToTheGroup) {
  Build(kGroup);
  ClickStateIcon("G");  // partially checked: the tree's own toggling after the click would step it on again
  EXPECT_EQ(States(), "G=3 a=3 b=3 c=3");
  ClickStateIcon("b");  // one child of a fully checked group
  EXPECT_EQ(States(), "G=2 a=3 b=1 c=3");
  ClickStateIcon("a");
  ClickStateIcon("c");  // the last checked child
  EXPECT_EQ(States(), "G=1 a=1 b=1 c=1");
  ClickStateIcon("b");
  EXPECT_EQ(States(), "G=2 a=1 b=3 c=1");
}

TEST_F(CheckTreeTest, ClickOnLabelOnlyMovesTheCaret) {
  Build(kGroup);
  ClickLabel("c");
  EXPECT_EQ(States(), "G=2 a=3 b=3 c=1");
  EXPECT_EQ(tree.GetSelectedItem(), items.at("c"));
  ASSERT_FALSE(tree.DefaultProcessed().empty());  // the tree still gets the press (focus, drag tracking)
  EXPECT_EQ(tree.DefaultProcessed().back().message, UINT{WM_LBUTTONDOWN});
}

TEST_F(CheckTreeTest, SpaceTogglesTheCaretItemAndNeverReachesTheTree) {
  Build(kGroup);
  ClickLabel("c");
  tree.KeyDown(VK_SPACE);
  EXPECT_EQ(States(), "G=3 a=3 b=3 c=3");
  tree.KeyDown(VK_SPACE);
  EXPECT_EQ(States(), "G=2 a=3 b=3 c=1");
  EXPECT_EQ(DefaultProcessedKeys(VK_SPACE), 0);

  // Other keys are the tree's own: the up arrow moves the caret.
  tree.KeyDown(VK_UP);
  EXPECT_EQ(tree.GetSelectedItem(), items.at("b"));
  EXPECT_EQ(DefaultProcessedKeys(VK_UP), 1);

  // Attached to another tree, the control no longer takes this one's keys.
  CMemoryTree other;
  ctrl.Attach(other);
  tree.KeyDown(VK_SPACE);
  EXPECT_EQ(DefaultProcessedKeys(VK_SPACE), 1);
  ctrl.Attach(tree);  // before `other` goes
}

TEST_F(CheckTreeTest, RemovingABoxAndSpaceOnAnItemWithoutOneChangeNoOtherItem) {
  Build({{0, "G", 3}, {1, "a", 3}, {2, "x", 3}, {1, "b", 3}, {1, "folder", 0}, {2, "deep", 1}});
  ctrl.SetItemState(items.at("a"), INDEXTOSTATEIMAGEMASK(0), TVIS_STATEIMAGEMASK, TRUE);
  EXPECT_EQ(States(), "G=3 a=0 x=3 b=3 folder=0 deep=1");
  ClickLabel("folder");
  tree.KeyDown(VK_SPACE);
  EXPECT_EQ(States(), "G=3 a=0 x=3 b=3 folder=0 deep=1");
  EXPECT_EQ(DefaultProcessedKeys(VK_SPACE), 0);
}

TEST_F(CheckTreeTest, ThreeLevelsRecomputeTheGrandparent) {
  Build({{0, "root", 2}, {1, "p1", 2}, {2, "x", 3}, {2, "y", 1}, {1, "p2", 3}, {2, "z", 3}});
  ClickStateIcon("y");
  EXPECT_EQ(States(), "root=3 p1=3 x=3 y=3 p2=3 z=3");
  ClickStateIcon("z");  // p2 differs from its sibling p1 now
  EXPECT_EQ(States(), "root=2 p1=3 x=3 y=3 p2=1 z=1");
}

TEST_F(CheckTreeTest, SetItemStateWithoutSearchLeavesDescendantsButRecomputesAncestors) {
  Build({{0, "root", 1}, {1, "p", 1}, {2, "x", 1}, {2, "y", 3}});
  ctrl.SetItemState(items.at("p"), INDEXTOSTATEIMAGEMASK(3), TVIS_STATEIMAGEMASK, FALSE);
  EXPECT_EQ(States(), "root=3 p=3 x=1 y=3");
  ctrl.SetItemState(items.at("p"), INDEXTOSTATEIMAGEMASK(1), TVIS_STATEIMAGEMASK, TRUE);
  EXPECT_EQ(States(), "root=1 p=1 x=1 y=1");
}

TEST_F(CheckTreeTest, ItemsWithoutBoxArePassedThroughToTheirChildrenAndIgnoredWhenAParentIsDecided) {
  Build({{0, "G", 1}, {1, "before", 0}, {1, "folder", 0}, {2, "deep", 1}, {1, "a", 1}, {1, "after", 0}});
  ClickStateIcon("G");
  EXPECT_EQ(States(), "G=3 before=0 folder=0 deep=3 a=3 after=0");
  ClickStateIcon("a");
  EXPECT_EQ(States(), "G=1 before=0 folder=0 deep=3 a=1 after=0");
}

}  // namespace
