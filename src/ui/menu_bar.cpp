#include "ui/menu_bar.h"

#include <algorithm>
#include <cctype>

#include "gfx/font.h"
#include "platform/platform.h"
#include "platform/virtual_keys.h"
#include "ui/desktop.h"
#include "ui/menu.h"
#include "ui/os_layer.h"
#include "ui/ui_colours.h"

using namespace ui_colour;

namespace {

constexpr int kTitlePadding = 8;
constexpr int kItemPadding = 12;
constexpr int kSeparatorHeight = 7;
constexpr int kMinItemHeight = 16;
// Keys go to the bar before any other filter.
constexpr int32_t kFilterPriority = 0x7FFF;

constexpr uint8_t kHighlightInk = kLight;

// The text shown for a title or item: "&" marks the mnemonic and is not
// drawn ("&&" draws one "&").
std::string Shown(const std::string& text) {
  std::string shown;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  return shown;
}

// The mnemonic's upper-case letter, or 0.
char Mnemonic(const std::string& text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] != '&') return static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 1])));
    ++i;
  }
  return 0;
}

// Text at (x, y) with its mnemonic underlined.
void DrawMarked(const SDrawContext& context, const CFont& font, int x, int y,
                const std::string& text, uint8_t colour) {
  const std::string shown = Shown(text);
  context.Text(font, x, y, shown, colour);
  const size_t amp = text.find('&');
  if (amp == std::string::npos || amp + 1 >= text.size() || text[amp + 1] == '&') return;
  const int start = x + font.MeasureText(Shown(text.substr(0, amp)));
  const int width = font.Advance(text[amp + 1]);
  const auto line = static_cast<int16_t>(y + font.Baseline() + 1);
  context.Fill({static_cast<int16_t>(start), line, static_cast<int16_t>(start + width - 1), line},
               colour);
}

}  // namespace

CUIMenu::CUIMenu(CDesktop* desktop, COSWindow* top_level)
    : CWindow(desktop, desktop,
              {desktop->GetRect().left, desktop->GetRect().top, desktop->GetRect().right,
               static_cast<int16_t>(desktop->GetRect().top + kBarHeight - 1)},
              kStyleVisible),
      m_top_level(top_level) {
  desktop->Queue()->AddFilter(this, kFilterPriority);
  desktop->SetTopmost(this);
}

CUIMenu::CUIMenu(CDesktop* desktop, CUIMenu* bar, const TRect& rect)
    : CWindow(desktop, desktop, rect, kStyleVisible), m_bar(bar) {}

CUIMenu::~CUIMenu() {
  if (m_bar) return;
  if (CWindow* list = Desktop()->Queue()->WindowById(m_list)) delete list;
  MarkOpen(false);
  Desktop()->Queue()->RemoveFilter(this);
}

void CUIMenu::MarkOpen(bool open) {
  CMenuModel* model = m_top_level->Menu();
  if (model && m_open >= 0 && m_open < static_cast<int>(model->Menus().size()))
    model->Menus()[static_cast<size_t>(m_open)].open = open;
}

const SMenu* CUIMenu::MenuAt(int index) const {
  const CMenuModel* model = m_top_level ? m_top_level->Menu() : nullptr;
  if (!model || index < 0 || index >= static_cast<int>(model->Menus().size())) return nullptr;
  return &model->Menus()[static_cast<size_t>(index)];
}

TRect CUIMenu::TitleRect(int index) const {
  const CFont* font = Desktop()->DefaultFont();
  int x = GetRect().left + kTitlePadding / 2;
  for (int i = 0; const SMenu* menu = MenuAt(i); ++i) {
    const int width = (font ? font->MeasureText(Shown(menu->title)) : 0) + 2 * kTitlePadding;
    if (i == index)
      return {static_cast<int16_t>(x), GetRect().top, static_cast<int16_t>(x + width - 1),
              GetRect().bottom};
    x += width;
  }
  return kNoRect;
}

TRect CUIMenu::ListRect(int index) const {
  const SMenu* menu = MenuAt(index);
  const CFont* font = Desktop()->DefaultFont();
  if (!menu) return kNoRect;
  int width = 0;
  int height = 4;
  const int item_height = std::max(kMinItemHeight, font ? font->LineHeight() + 4 : 0);
  for (const SMenuItem& item : menu->items) {
    if (font) width = std::max(width, font->MeasureText(Shown(item.text)));
    height += item.separator ? kSeparatorHeight : item_height;
  }
  const TRect title = TitleRect(index);
  return {title.left, static_cast<int16_t>(GetRect().bottom + 1),
          static_cast<int16_t>(title.left + width + 2 * kItemPadding + 3),
          static_cast<int16_t>(GetRect().bottom + height)};
}

TRect CUIMenu::ItemRect(int item) const {
  const SMenu* menu = MenuAt(m_open);
  const TRect list = ListRect(m_open);
  const CFont* font = Desktop()->DefaultFont();
  if (!menu || item < 0 || item >= static_cast<int>(menu->items.size())) return kNoRect;
  const int item_height = std::max(kMinItemHeight, font ? font->LineHeight() + 4 : 0);
  int y = list.top + 2;
  for (int i = 0; i < item; ++i) y += menu->items[static_cast<size_t>(i)].separator ? kSeparatorHeight : item_height;
  const int height = menu->items[static_cast<size_t>(item)].separator ? kSeparatorHeight : item_height;
  return {static_cast<int16_t>(list.left + 2), static_cast<int16_t>(y),
          static_cast<int16_t>(list.right - 2), static_cast<int16_t>(y + height - 1)};
}

int CUIMenu::TitleAt(TPoint point) const {
  for (int i = 0; MenuAt(i); ++i)
    if (RectContains(TitleRect(i), point)) return i;
  return -1;
}

int CUIMenu::ItemAt(TPoint point) const {
  const SMenu* menu = MenuAt(m_open);
  for (int i = 0; menu && i < static_cast<int>(menu->items.size()); ++i)
    if (RectContains(ItemRect(i), point)) return i;
  return -1;
}

int CUIMenu::TitleWithMnemonic(uint16_t virtual_key) const {
  for (int i = 0; const SMenu* menu = MenuAt(i); ++i)
    if (Mnemonic(menu->title) == static_cast<char>(virtual_key)) return i;
  return -1;
}

int CUIMenu::StepItem(int item, int direction) const {
  const SMenu* menu = MenuAt(m_open);
  const int count = menu ? static_cast<int>(menu->items.size()) : 0;
  for (int step = 1; step <= count; ++step) {
    const int next = ((item < 0 && direction > 0 ? -1 : item) + direction * step + count * 2) % count;
    if (!menu->items[static_cast<size_t>(next)].separator) return next;
  }
  return -1;
}

void CUIMenu::Open(int index, int item) {
  if (CWindow* list = Desktop()->Queue()->WindowById(m_list)) delete list;
  m_list = 0;
  MarkOpen(false);
  const bool was_open = m_open >= 0;
  m_open = -1;
  m_highlight = -1;
  Invalidate();
  if (!MenuAt(index)) {
    if (was_open && Desktop()->GetCapture() == this) Desktop()->SetCapture(nullptr);
    return;
  }
  // Whoever heard of the opening may have closed the tool.
  if (!Survives([this] { m_top_level->MenuOpening(); }) || !MenuAt(index)) return;
  m_open = index;
  m_highlight = item;
  MarkOpen(true);
  auto* list = new CUIMenu(Desktop(), this, ListRect(index));
  list->Invalidate();
  m_list = list->Id();
  if (Desktop()->GetCapture() != this) Desktop()->SetCapture(this);
}

void CUIMenu::SetHighlight(int item) {
  if (item == m_highlight) return;
  m_highlight = item;
  if (CWindow* list = Desktop()->Queue()->WindowById(m_list)) list->Invalidate();
}

void CUIMenu::Choose(int item) {
  const SMenu* menu = MenuAt(m_open);
  if (!menu || item < 0 || item >= static_cast<int>(menu->items.size())) return;
  const SMenuItem& chosen = menu->items[static_cast<size_t>(item)];
  if (chosen.separator || !chosen.enabled) return;
  const uint32_t command = chosen.id;
  Open(-1, -1);
  m_top_level->ChooseMenu(command);
}

bool CUIMenu::OnMouse(uint32_t code, TPoint point, int32_t) {
  if (m_bar) return true;
  const int title = TitleAt(point);
  switch (code) {
    case kEvLeftDown:
    case kEvLeftDouble:
      if (title >= 0 && title != m_open)
        Open(title, -1);
      else if (title >= 0 || (m_open >= 0 && !RectContains(ListRect(m_open), point)))
        Open(-1, -1);
      return true;
    case kEvMouseMove:
      if (m_open < 0) return true;
      if (title >= 0 && title != m_open) return Open(title, -1), true;
      SetHighlight(ItemAt(point));
      return true;
    case kEvLeftUp:
      if (m_open >= 0 && ItemAt(point) >= 0) Choose(ItemAt(point));
      return true;
    case kCaptureLost:
      if (m_open >= 0) Open(-1, -1);
      return true;
    default:
      return EventGroup(code) == 0x100;
  }
}

bool CUIMenu::Pass(const SEventRecord& record) {
  if (record.code != kEvKeyDown && record.code != kEvKeyUp && record.code != kEvChar) return true;
  if (m_open < 0 && !(record.p2 & kModAlt)) return true;
  if (record.code != kEvKeyDown) return m_open < 0;
  return !OnMenuKey(static_cast<uint16_t>(record.p1 >> 16), static_cast<uint16_t>(record.p1 & 0xFFFF),
                    record.p2);
}

bool CUIMenu::OnMenuKey(uint16_t virtual_key, uint16_t, uint32_t modifiers) {
  const int titled = TitleWithMnemonic(virtual_key);
  if (modifiers & kModAlt) {
    if (titled < 0) return m_open >= 0;
    Open(titled, -1);
    SetHighlight(StepItem(-1, 1));
    return true;
  }
  int count = 0;
  while (MenuAt(count)) ++count;
  switch (virtual_key) {
    case kVkEscape:
      Open(-1, -1);
      break;
    case kVkLeft:
    case kVkRight:
      Open((m_open + (virtual_key == kVkLeft ? count - 1 : 1)) % count, -1);
      SetHighlight(StepItem(-1, 1));
      break;
    case kVkUp:
    case kVkDown:
      SetHighlight(StepItem(m_highlight, virtual_key == kVkUp ? -1 : 1));
      break;
    case kVkReturn:
      Choose(m_highlight);
      break;
    default: {
      // An item's mnemonic chooses it.
      const SMenu* menu = MenuAt(m_open);
      for (int i = 0; menu && i < static_cast<int>(menu->items.size()); ++i)
        if (Mnemonic(menu->items[static_cast<size_t>(i)].text) == static_cast<char>(virtual_key))
          return Choose(i), true;
    }
  }
  return true;
}

void CUIMenu::Draw(const SDrawContext& context, const TRect&) {
  if (m_bar)
    m_bar->DrawList(context);
  else
    DrawBar(context);
}

void CUIMenu::DrawBar(const SDrawContext& context) const {
  const TRect r = GetRect();
  context.Fill(r, kFace);
  context.Fill({r.left, r.bottom, r.right, r.bottom}, kShadow);
  const CFont* font = Desktop()->DefaultFont();
  if (!font) return;
  for (int i = 0; const SMenu* menu = MenuAt(i); ++i) {
    const TRect title = TitleRect(i);
    if (i == m_open) context.Fill({title.left, title.top, title.right, static_cast<int16_t>(title.bottom - 1)}, kHighlight);
    DrawMarked(context, *font, title.left + kTitlePadding, (r.top + r.bottom + 1 - font->LineHeight()) / 2,
               menu->title, i == m_open ? kHighlightInk : kInk);
  }
}

void CUIMenu::DrawList(const SDrawContext& context) const {
  const SMenu* menu = MenuAt(m_open);
  const TRect list = ListRect(m_open);
  context.Fill(list, kFace);
  context.Frame(list, kLight, kShadow);
  const CFont* font = Desktop()->DefaultFont();
  if (!menu || !font) return;
  for (int i = 0; i < static_cast<int>(menu->items.size()); ++i) {
    const SMenuItem& item = menu->items[static_cast<size_t>(i)];
    const TRect r = ItemRect(i);
    if (item.separator) {
      const auto y = static_cast<int16_t>((r.top + r.bottom) / 2);
      context.Fill({r.left, y, r.right, y}, kShadow);
      context.Fill({r.left, static_cast<int16_t>(y + 1), r.right, static_cast<int16_t>(y + 1)}, kLight);
      continue;
    }
    const bool lit = i == m_highlight && item.enabled;
    if (lit) context.Fill(r, kHighlight);
    const uint8_t ink = !item.enabled ? kShadow : lit ? kHighlightInk : kInk;
    const int y = (r.top + r.bottom + 1 - font->LineHeight()) / 2;
    if (item.checked) context.Text(*font, r.left + 2, y, "x", ink);
    DrawMarked(context, *font, r.left + kItemPadding, y, item.text, ink);
  }
}
