#include "ui/controls.h"

#include <algorithm>
#include <cstdio>

#include "gfx/resource_cache.h"
#include "platform/platform.h"
#include "platform/virtual_keys.h"
#include "store/hash_ini.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"

namespace {

constexpr size_t kMaxObjectName = 40;
constexpr size_t kMaxParamsBase = 32;

// The file's name without folder and extension.
std::string StemOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

}  // namespace

CUIControl::CUIControl(CWindow* parent)
    : CWindow(parent->Desktop(), parent, kNoRect, kStyleVisible) {}

ErrCode CUIControl::ReadKeys(CTemplateReader& reader) {
  m_section = reader.Section();
  const ErrCode error = ReadWindowKeys(this, Parent(), reader);
  reader.GetShorts("HAlign", m_halign, 3);
  reader.GetShorts("VAlign", m_valign, 3);
  const TRect rect = GetRect();
  const TRect parent = Parent()->GetRect();
  m_offsets[0] = rect.left - parent.left;
  m_offsets[1] = rect.top - parent.top;
  m_offsets[2] = parent.right - rect.right;
  m_offsets[3] = parent.bottom - rect.bottom;
  reader.GetLong("Id", &m_control_id);
  reader.GetId("TargetId", &m_target_id);
  reader.GetLong("UserData", &m_user_data);
  return error;
}

std::string CUIControl::Label() const {
  char id[16];
  std::snprintf(id, sizeof id, "#0x%X", m_control_id);
  return GetClassName() + std::string(id) + BoundsText();
}

namespace {

// One axis of a control that follows its parent: the parent's span
// [low, high], the control's near and far offsets and size, its rule.
std::pair<int, int> Follow(int low, int high, int near_offset, int far_offset, int size,
                           const int16_t rule[3]) {
  switch (rule[0]) {
    case 1:
      return {high - far_offset - size + 1, high - far_offset};
    case 2: {
      int span = (high - far_offset) - (low + near_offset) + 1;
      if (rule[1] > 0) span = std::max<int>(span, rule[1]);
      if (rule[2] > 0) span = std::min<int>(span, rule[2]);
      return {low + near_offset, low + near_offset + span - 1};
    }
    case 3: {
      const int start = low + (high - low + 1 - size) / 2;
      return {start, start + size - 1};
    }
    default:
      return {low + near_offset, low + near_offset + size - 1};
  }
}

}  // namespace

void CUIControl::FollowParent() {
  const TRect rect = GetRect();
  const TRect parent = Parent()->GetRect();
  const auto [left, right] = Follow(parent.left, parent.right, m_offsets[0], m_offsets[2],
                                    rect.right - rect.left + 1, m_halign);
  const auto [top, bottom] = Follow(parent.top, parent.bottom, m_offsets[1], m_offsets[3],
                                    rect.bottom - rect.top + 1, m_valign);
  SetRect({static_cast<int16_t>(left), static_cast<int16_t>(top), static_cast<int16_t>(right),
           static_cast<int16_t>(bottom)},
          true, true);
}

uint32_t CUIControl::OnEvent(const SEventRecord& record) {
  if (record.code != kEvLayout || !Parent()) return 0;
  FollowParent();
  std::vector<uint32_t> children;
  for (CWindow* child = FirstChild(); child; child = child->NextSibling())
    children.push_back(child->Id());
  for (uint32_t child : children)
    if (!Survives([&] { SendEvent(child, kEvLayout, 0, 0); })) break;
  return 0;
}

const CFont* CUIControl::FontOrDefault(const CHeldFont& font) const {
  return font ? font.get() : Desktop()->DefaultFont();
}

CUIControl* FindControl(CWindow* root, uint32_t id) {
  for (CWindow* child = root->FirstChild(); child; child = child->NextSibling()) {
    CUIControl* control = KindOf<CUIControl>(child);
    if (control && control->ControlId() == id) return control;
    if (CUIControl* found = FindControl(child, id)) return found;
  }
  return nullptr;
}

CWindow* CUIControl::FindTarget(uint32_t id) const {
  CWindow* self = const_cast<CUIControl*>(this);
  if (id != 0) {
    if (CUIControl* found = FindControl(self, id)) return found;
    if (Parent())
      if (CUIControl* found = FindControl(Parent(), id)) return found;
  }
  return Parent();
}

void CUIControl::Notify(uint32_t target, uint32_t code, uint32_t p1, uint32_t p2,
                        int32_t delay) {
  CWindow* window = FindTarget(target);
  if (!window) return;
  if (delay < 0)
    SendEvent(window->Id(), code, p1, p2);
  else
    PostEvent(window->Id(), code, p1, p2, static_cast<uint32_t>(delay));
}

ErrCode CUIBkgnd::ReadKeys(CTemplateReader& reader) {
  const ErrCode error = CUIControl::ReadKeys(reader);
  reader.GetByte("BkColor", &m_fill);
  uint8_t colour = 0;
  if (reader.GetByte("FrameColor1", &colour)) m_light = m_dark = colour;
  if (reader.GetByte("FrameColor2", &colour)) m_dark = colour;
  return error;
}

void CUIBkgnd::Draw(const SDrawContext& context, const TRect&) {
  const TRect r = GetRect();
  context.Fill(r, m_fill);
  if (m_light < 0) return;
  context.Frame(r, static_cast<uint8_t>(m_light), static_cast<uint8_t>(m_dark));
}

ErrCode CUIFrame::ReadKeys(CTemplateReader& reader) {
  const ErrCode error = CUIControl::ReadKeys(reader);
  std::string value;
  if (reader.Get("Image", &value) == err::kOk) m_image.Load(reader.Resources(), value);
  if (reader.GetShorts("Dividers", m_dividers, 4) == 1)
    std::fill(m_dividers + 1, m_dividers + 4, m_dividers[0]);
  uint32_t number = 0;
  if (reader.GetLong("Rows", &number) && number > 0 && number < 0x10000)
    m_rows = static_cast<int>(number);
  if (reader.GetLong("InitialRow", &number)) m_row = static_cast<int>(number % m_rows);
  return error;
}

void CUIFrame::SetRow(int row) {
  if (row < 0 || row >= m_rows || row == m_row) return;
  m_row = row;
  Invalidate();
}

void CUIFrame::Draw(const SDrawContext& context, const TRect&) {
  if (!m_image) return;
  const int width = m_image->Width();
  const int height = m_image->Height() / m_rows;
  const int left = std::clamp<int>(m_dividers[0], 0, width);
  const int right = std::clamp<int>(m_dividers[2], 0, width - left);
  const int top = std::clamp<int>(m_dividers[1], 0, height);
  const int bottom = std::clamp<int>(m_dividers[3], 0, height - top);
  if (height <= 0) return;
  // Three bands each way, in the picture and on the control.
  const int y0 = m_row * height;
  const int source_x[4] = {0, left, width - right, width};
  const int source_y[4] = {y0, y0 + top, y0 + height - bottom, y0 + height};
  const TRect r = GetRect();
  const int target_x[4] = {r.left, r.left + left, r.right + 1 - right, r.right + 1};
  const int target_y[4] = {r.top, r.top + top, r.bottom + 1 - bottom, r.bottom + 1};
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 3; ++column) {
      const TRect cell{static_cast<int16_t>(source_x[column]), static_cast<int16_t>(source_y[row]),
                       static_cast<int16_t>(source_x[column + 1] - 1),
                       static_cast<int16_t>(source_y[row + 1] - 1)};
      const TRect area{static_cast<int16_t>(target_x[column]), static_cast<int16_t>(target_y[row]),
                       static_cast<int16_t>(std::max(target_x[column + 1], target_x[column]) - 1),
                       static_cast<int16_t>(std::max(target_y[row + 1], target_y[row]) - 1)};
      context.Tile(*m_image, cell, area);
    }
}

CUIDialog::CUIDialog(CWindow* parent) : CUIControl(parent) {}

CUIDialog::~CUIDialog() {
  if (m_modal) Desktop()->EndModal(this);
}

void CUIDialog::DoModal(Continuation done) {
  m_done = std::move(done);
  m_modal = true;
  Desktop()->BeginModal(this);
  // Without a control to focus, the dialog takes the keys itself.
  CUIControl* focus = FocusControl();
  Desktop()->SetFocus(focus ? focus : this);
}

void CUIDialog::EndModal(uint32_t id) {
  Continuation done = std::move(m_done);
  delete this;
  if (done) done(id);
}

CUIControl* CUIDialog::FocusControl() {
  CUIControl* focus = m_focus_id ? FindControl(this, m_focus_id) : nullptr;
  return focus && focus->TakesInput() ? focus : nullptr;
}

void CUIDialog::FocusNext(bool backwards) {
  std::vector<CUIControl*> stops;
  for (CWindow* child = LastChild(); child; child = child->PrevSibling())
    if (CUIControl* control = KindOf<CUIControl>(child);
        control && control->IsVisible() && !control->IsDisabled() &&
        (control->GetStyle() & kStyleTabStop))
      stops.push_back(control);
  if (stops.empty()) return;
  const auto current = std::find(stops.begin(), stops.end(), Desktop()->GetFocus());
  size_t next = 0;
  if (current != stops.end()) {
    const size_t at = static_cast<size_t>(current - stops.begin());
    next = backwards ? (at + stops.size() - 1) % stops.size() : (at + 1) % stops.size();
  } else if (backwards) {
    next = stops.size() - 1;
  }
  Desktop()->SetFocus(stops[next]);
}

bool CUIDialog::OnKey(uint32_t code, uint16_t virtual_key, uint16_t) {
  if (code != kEvKeyDown) return false;
  if (virtual_key == kVkTab) {
    FocusNext((Desktop()->Modifiers() & kModShift) != 0);
    return true;
  }
  const uint32_t pressed = virtual_key == kVkReturn ? m_enter_id
                           : virtual_key == kVkEscape ? m_esc_id
                                                      : 0;
  CUIControl* control = pressed ? FindControl(this, pressed) : nullptr;
  if (!control || control->IsDisabled()) return false;
  control->Activate();
  return true;
}

uint32_t CUIDialog::OnEvent(const SEventRecord& record) {
  if (m_modal && record.code == kNotifyPressed && record.p1 != 0 &&
      (record.p1 == m_enter_id || record.p1 == m_esc_id)) {
    EndModal(record.p1);
    return 0;
  }
  return CUIControl::OnEvent(record);
}

void CUIDialog::SetRect(const TRect& rect, bool redraw, bool move_children) {
  TRect bounded = rect;
  const auto bound = [](int16_t low, int16_t* high, int16_t minimum, int16_t maximum) {
    int size = *high - low + 1;
    if (minimum > 0) size = std::max<int>(size, minimum);
    if (maximum > 0) size = std::min<int>(size, maximum);
    *high = static_cast<int16_t>(low + size - 1);
  };
  if (!RectEmpty(rect)) {
    bound(bounded.left, &bounded.right, m_min_size[0], m_max_size[0]);
    bound(bounded.top, &bounded.bottom, m_min_size[1], m_max_size[1]);
  }
  CUIControl::SetRect(bounded, redraw, move_children);
}

ErrCode CUIDialog::ReadKeys(CTemplateReader& reader) {
  const ErrCode error = CUIControl::ReadKeys(reader);
  reader.GetShorts("MinSize", m_min_size, 2);
  reader.GetShorts("MaxSize", m_max_size, 2);
  reader.GetId("Focus", &m_focus_id);
  reader.GetId("Esc", &m_esc_id);
  reader.GetId("Enter", &m_enter_id);
  return error;
}

ErrCode CUIDialog::LoadTemplate(const std::string& path, std::string object, std::string params) {
  CResourceLoader* resources = Desktop()->Resources();
  if (!resources) return err::kNotFound;
  if (object.empty()) object = StemOf(path).substr(0, kMaxObjectName);
  if (params.empty()) params = object.substr(0, kMaxParamsBase) + " Params";
  CObject* loaded = nullptr;
  if (ErrCode error = resources->Lock(kResourceTemplate, path.c_str(), &loaded, 0)) return error;
  CTemplateReader reader(resources, KindOf<CHashIni>(loaded));
  reader.SetType(FindType("Dialog"));
  // Without its parameter section the dialog keeps its geometry.
  ErrCode error = err::kOk;
  if (reader.SetSection(params) == err::kOk) error = ReadKeys(reader);
  SetSectionName(object);
  ErrCode children = BuildChildren(this, reader, object);
  if (children == err::kOk) children = OnBuilt(reader);
  resources->Unlock(kResourceTemplate, loaded);
  if (CUIControl* focus = FocusControl()) Desktop()->SetFocus(focus);
  return error != err::kOk ? error : children;
}
