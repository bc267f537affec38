// Trees: nodes with a label and a 32-bit value, nested under each other;
// a node with children (or marked expandable, to be filled when it opens)
// opens and closes, showing or hiding them.
//
// Keys: `Items` (nodes separated by "|", each with one leading ">" per level
// below the top; their values count from 0 in that order), `FontColor`,
// `SelBkColor` (the selected row's fill with DRAWSELECTION), `LineColor`
// (the lines of DRAWLINE and the boxes), `VScrollID` and `HScrollID` (the
// bars that scroll it by rows and by indents), `Font`, `NodeIcon` (an image
// of three columns: closed, open and leaf, drawn in place of the open and
// close box), and as for lists `BkColor` and `TColor`.
//
// Up, Down, Home, End, Page Up and Page Down move the selection; Right opens
// (or steps into an open node), Left closes (or steps out), Enter and a
// double click open or close; a click on the box opens or closes. The
// target hears kNotifyTreeSelect when the selection moves and, sent at once
// so it can add the children before anything is drawn, kNotifyTreeOpen when
// a node opens; both carry the node's value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/rows.h"

enum : uint32_t {
  kTreeSortedFoldersFiles = 0x1000000,  // expandable nodes first
  kTreeSortedFilesFolders = 0x2000000,  // expandable nodes last
  kTreeDrawLine = 0x10000000,
  kTreeDrawSelection = 0x20000000,
  kTreeSortedAlphabetical = 0x80000000,  // by label, ignoring case
};

class CUITree : public CRowControl {
  TV_CLASS(CUITree, CRowControl)

 public:
  static constexpr int kNoNode = -1;
  static constexpr int kIndent = 12;
  static constexpr size_t kDumpedRows = 100;

  explicit CUITree(CWindow* parent) : CRowControl(parent) {}

  ErrCode ReadKeys(CTemplateReader& reader) override;
  uint32_t OnEvent(const SEventRecord& record) override;
  void Draw(const SDrawContext& context, const TRect& rect) override;
  bool OnMouse(uint32_t code, TPoint point, int32_t steps) override;
  bool OnKey(uint32_t code, uint16_t virtual_key, uint16_t character) override;
  void DescribeDetails(std::vector<std::string>* lines) const override;
  // The nodes shown: the roots and the children of open nodes.
  int RowTotal() const override { return static_cast<int>(Shown().size()); }

  // Adds a node under `parent` (kNoNode: at the top) where the tree's order
  // puts it; its handle.
  int AddNode(int parent, std::string label, uint32_t value, bool expandable = false);
  // Removes the node's children (every node with kNoNode), their handles
  // going stale.
  void ClearChildren(int node);
  // The first live node with the value, or kNoNode.
  int FindNode(uint32_t value) const;
  const std::string& NodeLabel(int node) const { return At(node).label; }
  uint32_t Value(int node) const { return At(node).value; }
  int ParentOf(int node) const { return At(node).parent; }
  // kNoNode: the top nodes.
  const std::vector<int>& Children(int node) const {
    return node == kNoNode ? m_roots : At(node).children;
  }
  bool IsOpen(int node) const { return At(node).open; }
  // Marked expandable, or with children.
  bool IsExpandable(int node) const { return At(node).expandable || !At(node).children.empty(); }
  void SetExpandable(int node, bool expandable);
  // Opens the node, telling the target first; false when that destroyed
  // the tree.
  bool Open(int node);
  void Close(int node);
  // The check box of option trees; setting it is unreported.
  bool IsChecked(int node) const { return At(node).checked; }
  void SetChecked(int node, bool checked);
  int Selected() const { return m_selected; }
  // Selects a shown node (kNoNode: none) and scrolls to it, unreported.
  void SelectNode(int node);

 protected:
  // Called as a node opens, before the target hears of it.
  virtual void Opening(int) {}
  // Option trees draw a check box per node.
  virtual bool HasChecks() const { return false; }
  // The horizontal bar's range too: the widest row in indents.
  void Refresh() override;

 private:
  struct SNode {
    std::string label;
    uint32_t value = 0;
    int parent = kNoNode;
    std::vector<int> children;
    bool expandable = false;
    bool open = false;
    bool checked = false;
    bool live = true;
  };
  struct SShown {
    int node;
    int depth;
  };

  const SNode& At(int node) const { return m_nodes[static_cast<size_t>(node)]; }
  SNode& At(int node) { return m_nodes[static_cast<size_t>(node)]; }
  bool Valid(int node) const;
  std::vector<int>& MutableChildren(int parent) {
    return parent == kNoNode ? m_roots : At(parent).children;
  }
  const std::vector<int>& SiblingsOf(int node) const;
  // Whether `a` goes before `b` in the tree's order.
  bool Before(int a, int b) const;
  void Place(int node);
  // Places the node again when it became or stopped being expandable and
  // the order puts folders apart.
  void Replace(int node);
  bool IsBelow(int node, int ancestor) const;
  void Kill(int node);
  const std::vector<SShown>& Shown() const;
  void ShownChanged();
  int RowOf(int node) const;
  // Selects, reports and shows the node of `row`.
  void PickRow(int row);
  // Both answer whether the tree lives on.
  bool Toggle(int node);
  void ToggleCheck(int node);
  bool StepRight(int node);
  void StepLeft(int node);
  char Mark(int node) const;
  uint8_t Ink() const { return IsDisabled() ? kDisabledColour : m_font_colour; }
  // Where the nodes of a level start, after horizontal scrolling.
  int Indent(int depth) const;
  void DrawLines(const SDrawContext& context, const SShown& shown, const TRect& row) const;
  // A box in the row, from `left`: sign '+', '-', 'x' (filled) or ' '.
  void DrawBox(const SDrawContext& context, int left, const TRect& row, char sign) const;
  void DrawNode(const SDrawContext& context, int row) const;

  std::vector<SNode> m_nodes;
  std::vector<int> m_roots;
  mutable std::vector<SShown> m_shown;
  mutable bool m_shown_dirty = false;
  int m_selected = kNoNode;
  CRowScroller m_hscroll;  // its rows are indents
  uint32_t m_hbar_id = 0;
  CHeldBitmap m_node_icon;
  CHeldBitmap m_check_icon;
  uint8_t m_font_colour = 0;
  uint8_t m_selected_fill = 7;
  uint8_t m_line_colour = 8;
};

// The "Tree" of templates.
class CCommonTreeBox : public CUITree {
  TV_CLASS(CCommonTreeBox, CUITree)

 public:
  explicit CCommonTreeBox(CWindow* parent) : CUITree(parent) {}
};

// A tree of options: every node has a check box, toggled by a click on it or
// by Space on the selected node; the target hears kNotifyOptionToggled with
// the node's value. `CheckIcon` (ours) draws the boxes from a picture of two
// columns, clear and ticked, keyed by `TColor`.
class COptionTreeBox : public CUITree {
  TV_CLASS(COptionTreeBox, CUITree)

 public:
  explicit COptionTreeBox(CWindow* parent) : CUITree(parent) {}

 protected:
  bool HasChecks() const override { return true; }
};

// The folders of the mounted file systems, made by code: one top node per
// mount (the native one as "."), each folder's subfolders listed when it
// first opens. A node's value is the number of its folder, in the order
// they were added.
class CDirTreeBox : public CUITree {
  TV_CLASS(CDirTreeBox, CUITree)

 public:
  // Sorted by name, folders first.
  explicit CDirTreeBox(CWindow* parent);

  void ShowMounts();
  // A folder node for `path` (kNoNode parent: at the top).
  int AddFolder(int parent, std::string label, std::string path);
  const std::string& Path(int node) const { return m_paths[Value(node)]; }

 protected:
  void Opening(int node) override;

 private:
  std::vector<std::string> m_paths;  // by node value
};
