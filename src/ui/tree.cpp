#include "ui/tree.h"

#include <strings.h>

#include <algorithm>

#include "fs/file_service.h"
#include "platform/virtual_keys.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"

namespace {

TRect Box(int left, int top, int right, int bottom) {
  return {static_cast<int16_t>(left), static_cast<int16_t>(top), static_cast<int16_t>(right),
          static_cast<int16_t>(bottom)};
}

// Node images: closed, open, leaf.
constexpr int kIconColumns = 3;

}  // namespace

ErrCode CUITree::ReadKeys(CTemplateReader& reader) {
  const ErrCode error = CUIControl::ReadKeys(reader);
  ReadRowKeys(reader, "VScrollID");
  reader.GetId("HScrollID", &m_hbar_id);
  m_hscroll.Attach(this, m_hbar_id);
  reader.GetByte("FontColor", &m_font_colour);
  reader.GetByte("SelBkColor", &m_selected_fill);
  reader.GetByte("LineColor", &m_line_colour);
  std::string value;
  if (reader.Get("NodeIcon", &value) == err::kOk) m_node_icon.Load(reader.Resources(), value);
  if (reader.Get("CheckIcon", &value) == err::kOk) m_check_icon.Load(reader.Resources(), value);
  if (reader.Get("Items", &value) != err::kOk || value.empty()) return error;
  // The last node of each level so far: a deeper item goes under it.
  std::vector<int> levels;
  uint32_t number = 0;
  for (const std::string& item : SplitItems(value)) {
    const size_t depth = std::min(item.find_first_not_of('>'), item.size());
    levels.resize(std::min(depth, levels.size()));
    const int parent = levels.empty() ? kNoNode : levels.back();
    levels.push_back(AddNode(parent, item.substr(depth), number++));
  }
  return error;
}

bool CUITree::Valid(int node) const {
  return node >= 0 && static_cast<size_t>(node) < m_nodes.size() && At(node).live;
}

const std::vector<int>& CUITree::SiblingsOf(int node) const { return Children(At(node).parent); }

bool CUITree::Before(int a, int b) const {
  const uint32_t style = GetStyle();
  const auto rank = [&](int node) {
    if (style & kTreeSortedFoldersFiles) return IsExpandable(node) ? 0 : 1;
    if (style & kTreeSortedFilesFolders) return IsExpandable(node) ? 1 : 0;
    return 0;
  };
  if (rank(a) != rank(b)) return rank(a) < rank(b);
  return (style & kTreeSortedAlphabetical) &&
         strcasecmp(At(a).label.c_str(), At(b).label.c_str()) < 0;
}

void CUITree::Place(int node) {
  std::vector<int>& siblings = MutableChildren(At(node).parent);
  const auto at = std::upper_bound(siblings.begin(), siblings.end(), node,
                                   [this](int a, int b) { return Before(a, b); });
  siblings.insert(at, node);
}

void CUITree::Replace(int node) {
  if (!(GetStyle() & (kTreeSortedFoldersFiles | kTreeSortedFilesFolders))) return;
  std::erase(MutableChildren(At(node).parent), node);
  Place(node);
}

int CUITree::AddNode(int parent, std::string label, uint32_t value, bool expandable) {
  if (parent != kNoNode && !Valid(parent)) return kNoNode;
  const int node = static_cast<int>(m_nodes.size());
  SNode added;
  added.label = std::move(label);
  added.value = value;
  added.parent = parent;
  added.expandable = expandable;
  m_nodes.push_back(std::move(added));
  const bool first_child = parent != kNoNode && !IsExpandable(parent);
  Place(node);
  // A parent that just became expandable may sort elsewhere now.
  if (first_child) Replace(parent);
  ShownChanged();
  return node;
}

void CUITree::SetExpandable(int node, bool expandable) {
  if (!Valid(node) || At(node).expandable == expandable) return;
  At(node).expandable = expandable;
  if (!IsExpandable(node)) At(node).open = false;
  Replace(node);
  ShownChanged();
}

void CUITree::Kill(int node) {
  At(node).live = false;
  for (int child : At(node).children) Kill(child);
}

void CUITree::ClearChildren(int node) {
  if (node == kNoNode) {
    m_nodes.clear();
    m_roots.clear();
    m_selected = kNoNode;
  } else if (Valid(node)) {
    const bool was_expandable = IsExpandable(node);
    for (int child : At(node).children) Kill(child);
    At(node).children.clear();
    if (m_selected != kNoNode && !At(m_selected).live) m_selected = node;
    if (was_expandable && !IsExpandable(node)) {
      At(node).open = false;
      Replace(node);
    }
  }
  ShownChanged();
}

int CUITree::FindNode(uint32_t value) const {
  for (size_t node = 0; node < m_nodes.size(); ++node)
    if (m_nodes[node].live && m_nodes[node].value == value) return static_cast<int>(node);
  return kNoNode;
}

bool CUITree::IsBelow(int node, int ancestor) const {
  if (node == kNoNode) return false;
  for (int up = At(node).parent; up != kNoNode; up = At(up).parent)
    if (up == ancestor) return true;
  return false;
}

const std::vector<CUITree::SShown>& CUITree::Shown() const {
  if (!m_shown_dirty) return m_shown;
  m_shown.clear();
  const auto walk = [this](const auto& self, const std::vector<int>& nodes, int depth) -> void {
    for (int node : nodes) {
      m_shown.push_back({node, depth});
      if (At(node).open) self(self, At(node).children, depth + 1);
    }
  };
  walk(walk, m_roots, 0);
  m_shown_dirty = false;
  return m_shown;
}

void CUITree::ShownChanged() {
  m_shown_dirty = true;
  RowsChanged();
  Invalidate();
}

int CUITree::RowOf(int node) const {
  const std::vector<SShown>& shown = Shown();
  const auto found = std::find_if(shown.begin(), shown.end(),
                                  [node](const SShown& s) { return s.node == node; });
  return found == shown.end() ? -1 : static_cast<int>(found - shown.begin());
}

void CUITree::SelectNode(int node) {
  const int row = Valid(node) ? RowOf(node) : -1;
  m_selected = row < 0 ? kNoNode : node;
  Invalidate();
  if (row >= 0) Reveal(row);
}

void CUITree::PickRow(int row) {
  const int node = Shown()[static_cast<size_t>(row)].node;
  SelectNode(node);
  Notify(kNotifyTreeSelect, ControlId(), At(node).value);
}

bool CUITree::Open(int node) {
  if (!Valid(node) || At(node).open || !IsExpandable(node)) return true;
  Opening(node);
  if (!Survives([&] { Notify(TargetId(), kNotifyTreeOpen, ControlId(), At(node).value, -1); }))
    return false;
  // The owner may have emptied the tree, or found nothing to show.
  if (!Valid(node) || !IsExpandable(node)) return true;
  At(node).open = true;
  ShownChanged();
  return true;
}

void CUITree::Close(int node) {
  if (!Valid(node) || !At(node).open) return;
  At(node).open = false;
  ShownChanged();
  if (IsBelow(m_selected, node)) PickRow(RowOf(node));
}

bool CUITree::Toggle(int node) {
  if (!At(node).open) return Open(node);
  Close(node);
  return true;
}

void CUITree::SetChecked(int node, bool checked) {
  if (!Valid(node)) return;
  At(node).checked = checked;
  InvalidateRow(RowOf(node));
}

void CUITree::ToggleCheck(int node) {
  SetChecked(node, !At(node).checked);
  Notify(kNotifyOptionToggled, ControlId(), At(node).value);
}

bool CUITree::StepRight(int node) {
  if (!At(node).open) return Open(node);
  if (!At(node).children.empty()) PickRow(RowOf(At(node).children.front()));
  return true;
}

void CUITree::StepLeft(int node) {
  if (At(node).open)
    Close(node);
  else if (At(node).parent != kNoNode)
    PickRow(RowOf(At(node).parent));
}

bool CUITree::OnKey(uint32_t code, uint16_t virtual_key, uint16_t character) {
  if (CRowControl::OnKey(code, virtual_key, character)) return true;
  if (code != kEvKeyDown || !TakesInput() || RowTotal() == 0) return false;
  const int selected = m_selected;
  switch (virtual_key) {
    case kVkRight:
      if (selected == kNoNode) return false;
      StepRight(selected);
      return true;
    case kVkLeft:
      if (selected == kNoNode) return false;
      StepLeft(selected);
      return true;
    case kVkReturn:
      if (selected == kNoNode || !IsExpandable(selected)) return false;
      Toggle(selected);
      return true;
    case kVkSpace:
      if (selected == kNoNode || !HasChecks()) return false;
      ToggleCheck(selected);
      return true;
    default:
      break;
  }
  const int current = RowOf(selected);
  const int row = KeyTarget(virtual_key, current);
  if (row < 0) return false;
  if (row != current) PickRow(row);
  return true;
}

int CUITree::Indent(int depth) const {
  return GetRect().left + 2 + (depth - m_hscroll.Top()) * kIndent;
}

void CUITree::Refresh() {
  CRowControl::Refresh();
  if (!m_hbar_id) return;
  const CFont* font = Font();
  const int label_column = HasChecks() ? 2 : 1;
  int widest = 0;
  for (const SShown& shown : Shown())
    widest = std::max(widest, 2 + (shown.depth + label_column) * kIndent +
                                  (font ? font->MeasureText(At(shown.node).label) : 0));
  const TRect rect = GetRect();
  m_hscroll.SetExtent((widest + kIndent - 1) / kIndent,
                      std::max(1, (rect.right - rect.left + 1) / kIndent));
}

uint32_t CUITree::OnEvent(const SEventRecord& record) {
  if (m_hscroll.OnBarEvent(record)) {
    Invalidate();
    return 0;
  }
  return CRowControl::OnEvent(record);
}

bool CUITree::OnMouse(uint32_t code, TPoint point, int32_t steps) {
  if (code == kEvWheel) return TakesInput() && Wheel(steps);
  if (!TakesInput() || (code != kEvLeftDown && code != kEvLeftDouble)) return IgnoredMouse(code);
  const int row = RowAt(point);
  if (!TakeFocus() || row < 0) return true;
  const SShown shown = Shown()[static_cast<size_t>(row)];
  const int offset = point.x - Indent(shown.depth);
  const int column = offset < 0 ? -1 : offset / kIndent;
  if (column == 0 && IsExpandable(shown.node)) {
    Toggle(shown.node);
    return true;
  }
  if (shown.node != m_selected) PickRow(row);
  if (column == 1 && HasChecks())
    ToggleCheck(shown.node);
  else if (code == kEvLeftDouble && IsExpandable(shown.node))
    Toggle(shown.node);
  return true;
}

char CUITree::Mark(int node) const {
  return At(node).open ? '-' : IsExpandable(node) ? '+' : '.';
}

void CUITree::DrawBox(const SDrawContext& context, int left, const TRect& row, char sign) const {
  const int size = std::min(kIndent - 3, row.bottom - row.top - 1);
  if (size < 5) return;
  const int top = (row.top + row.bottom + 1 - size) / 2;
  const TRect box = Box(left, top, left + size - 1, top + size - 1);
  context.Frame(box, m_line_colour, m_line_colour);
  const int middle_x = left + size / 2;
  const int middle_y = top + size / 2;
  if (sign == 'x') context.Fill(Box(left + 2, top + 2, box.right - 2, box.bottom - 2), Ink());
  if (sign == '+' || sign == '-') context.Fill(Box(left + 2, middle_y, box.right - 2, middle_y), Ink());
  if (sign == '+') context.Fill(Box(middle_x, top + 2, middle_x, box.bottom - 2), Ink());
}

void CUITree::DrawLines(const SDrawContext& context, const SShown& shown, const TRect& row) const {
  const auto column_x = [&](int depth) { return Indent(depth) + kIndent / 2 - 2; };
  const auto is_last = [&](int node) { return SiblingsOf(node).back() == node; };
  if (shown.depth == 0) return;
  const int middle_y = (row.top + row.bottom) / 2;
  const int x = column_x(shown.depth - 1);
  context.Fill(Box(x, row.top, x, is_last(shown.node) ? middle_y : row.bottom), m_line_colour);
  const int mark = Indent(shown.depth);
  const int reach = IsExpandable(shown.node) && !m_node_icon ? mark - 1 : mark + kIndent / 2;
  context.Fill(Box(x, middle_y, reach, middle_y), m_line_colour);
  // Levels above whose nodes have more siblings further down pass through.
  int depth = shown.depth - 1;
  for (int node = At(shown.node).parent; depth > 0; node = At(node).parent, --depth) {
    if (is_last(node)) continue;
    const int through = column_x(depth - 1);
    context.Fill(Box(through, row.top, through, row.bottom), m_line_colour);
  }
}

void CUITree::DrawNode(const SDrawContext& context, int row) const {
  const SShown& shown = Shown()[static_cast<size_t>(row)];
  const SNode& node = At(shown.node);
  const int mark = Indent(shown.depth);
  SRowLook look;
  look.rect = RowRect(row);
  if (shown.node == m_selected && (GetStyle() & kTreeDrawSelection)) look.fill = m_selected_fill;
  if (m_node_icon) {
    look.icons = m_node_icon.get();
    look.icon_cell = PictureColumn(*m_node_icon, node.open ? 1 : IsExpandable(shown.node) ? 0 : 2,
                                   kIconColumns);
    look.icon_key = IconKey();
    look.icon_x = mark;
    look.icon_y = look.rect.top;
  }
  look.text = node.label;
  look.text_x = mark + kIndent * (HasChecks() ? 2 : 1);
  look.text_y = look.rect.top;
  look.colour = Ink();
  DrawRow(context, Font(), look);
  if (GetStyle() & kTreeDrawLine) DrawLines(context, shown, look.rect);
  if (!m_node_icon && IsExpandable(shown.node)) DrawBox(context, mark, look.rect, Mark(shown.node));
  if (!HasChecks()) return;
  if (!m_check_icon) return DrawBox(context, mark + kIndent, look.rect, node.checked ? 'x' : ' ');
  const TRect cell = PictureColumn(*m_check_icon, node.checked ? 1 : 0, 2);
  context.Picture(*m_check_icon, cell, mark + kIndent,
                  (look.rect.top + look.rect.bottom + 1 - (cell.bottom - cell.top + 1)) / 2, IconKey());
}

void CUITree::Draw(const SDrawContext& context, const TRect& rect) {
  const TRect bounds = GetRect();
  SDrawContext inner;
  if (!context.Clipped(bounds, &inner)) return;
  DrawBackground(inner);
  const auto [first, last] = RowsIn(rect);
  for (int row = first; row <= last; ++row) DrawNode(inner, row);
}

void CUITree::DescribeDetails(std::vector<std::string>* lines) const {
  const std::vector<SShown>& shown = Shown();
  const size_t count = std::min(shown.size(), kDumpedRows);
  for (size_t row = 0; row < count; ++row) {
    const int node = shown[row].node;
    std::string line = node == m_selected ? "node*: " : "node: ";
    line.append(static_cast<size_t>(shown[row].depth) * 2, ' ');
    line += Mark(node);
    if (HasChecks()) line += At(node).checked ? "[x] " : "[ ] ";
    line += At(node).label;
    lines->push_back(std::move(line));
  }
  if (count < shown.size()) lines->push_back("more: " + std::to_string(shown.size() - count));
  DescribeScroll(lines);
  DescribeBar(m_hbar_id, "hscroll", lines);
}

CDirTreeBox::CDirTreeBox(CWindow* parent) : CUITree(parent) {
  SetStyle(GetStyle() | kTreeSortedAlphabetical | kTreeSortedFoldersFiles, false);
}

void CDirTreeBox::ShowMounts() {
  for (const MountEntry& mount : Mounts())
    AddFolder(kNoNode, mount.prefix.empty() ? "." : mount.prefix, mount.prefix);
}

int CDirTreeBox::AddFolder(int parent, std::string label, std::string path) {
  m_paths.push_back(std::move(path));
  return AddNode(parent, std::move(label), static_cast<uint32_t>(m_paths.size() - 1), true);
}

namespace {

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || std::string_view("/\\:").find(folder.back()) != std::string_view::npos)
    return folder + name;
  return folder + "/" + name;
}

}  // namespace

void CDirTreeBox::Opening(int node) {
  if (!Children(node).empty()) return;
  // A copy: adding folders moves the paths.
  const std::string folder = Path(node);
  std::vector<std::string> names;
  FindContext context;
  for (ErrCode error = FsFindFirst(&context, folder.c_str()); error == err::kOk;
       error = FsFindNext(&context))
    if (context.attributes & kAttrDirectory) names.emplace_back(context.name);
  FsFindClose(&context);
  for (const std::string& name : names) AddFolder(node, name, JoinPath(folder, name));
  if (names.empty()) SetExpandable(node, false);
}
