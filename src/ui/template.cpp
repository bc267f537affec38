#include "ui/template.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "gfx/resource_cache.h"
#include "store/hash_ini.h"
#include "ui/button.h"
#include "ui/controls.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"
#include "ui/list.h"
#include "ui/scroll.h"
#include "ui/text.h"
#include "ui/tree.h"
#include "ui/window.h"

namespace {

constexpr uint32_t kHidden = kStyleVisible;

#define TV_WINDOW_STYLES                                                       \
  {"TRANSPARENT", kStyleTransparent}, {"HIDDEN", kHidden},                     \
      {"SETCURSOR", kStyleSetCursor}, {"FORCECURSOR", kStyleForceCursor},      \
      {"COLORUPDATE", kStyleColorUpdate}, {"COLORAWARE", kStyleColorAware}
#define TV_CONTROL_STYLES                                                      \
  TV_WINDOW_STYLES, {"DISABLED", kStyleDisabled}, {"INACTIVE", kStyleInactive}, \
      {"TABSTOP", kStyleTabStop}

constexpr SStyleName kWindowStyles[] = {TV_WINDOW_STYLES, {nullptr, 0}};
constexpr SStyleName kControlStyles[] = {TV_CONTROL_STYLES, {nullptr, 0}};
constexpr SStyleName kDialogStyles[] = {TV_CONTROL_STYLES, {"MODAL", kStyleModal}, {nullptr, 0}};
constexpr SStyleName kScrollStyles[] = {
    TV_CONTROL_STYLES,
    {"AUTOMOVE", kScrollAutoMove},
    {"AUTOREPEAT", kScrollAutoRepeat},
    {"AUTODISABLE", kScrollAutoDisable},
    {"AUTOHIDE", kScrollAutoHide},
    {"VSCROLL", kScrollVertical},
    {"HSCROLL", 0},
    {nullptr, 0}};
constexpr SStyleName kButtonStyles[] = {
    TV_CONTROL_STYLES,           {"AUTOREPEAT", kButtonAutoRepeat}, {"TOGGLE", kButtonToggle},
    {"MOVETOHEAD", kButtonMoveToHead}, {"DBLCLICK", kButtonDoubleClick}, {nullptr, 0}};
constexpr SStyleName kTextStyles[] = {TV_CONTROL_STYLES,
                                      {"SECURE", kTextSecure},
                                      {"TIGHTHSCROLL", kTextTightHScroll},
                                      {"TIGHTVSCROLL", kTextTightVScroll},
                                      {"SELECTION", kTextSelection},
                                      {"CURSOR", kTextCursor},
                                      {"CURSORVISIBLE", kTextCursorVisible},
                                      {"EDIT", kTextEdit},
                                      {"MULTILINE", kTextMultiline},
                                      {"NUMBER", kTextNumber},
                                      {"ALIGN_LEFT", kTextAlignLeft},
                                      {"ALIGN_RIGHT", kTextAlignRight},
                                      {"ALIGN_CENTER", kTextAlignCenter},
                                      {"AUTOWIDTH", kTextAutoWidth},
                                      {"UNDO", kTextUndo},
                                      {nullptr, 0}};
constexpr SStyleName kListStyles[] = {
    TV_CONTROL_STYLES,
    {"SINGLE", kListSingle},
    {"ROWS", kListRows},
    {"MULTISEL", kListMultiSelect},
    {"FIXED", kListFixed},
    {"TIGHTSCROLL", kListTightScroll},
    {"ICONONLY", kListIconOnly},
    {"TEXTONLY", kListTextOnly},
    {"AUTOCALC", kListAutoCalc},
    {"SELIMAGE", kListSelImage},
    {"ICONSONTOP", kListIconsOnTop},
    {nullptr, 0}};
constexpr SStyleName kTreeStyles[] = {
    TV_CONTROL_STYLES,
    {"DRAWLINE", kTreeDrawLine},
    {"DRAWSELECTION", kTreeDrawSelection},
    {"SORTEDALPHABETICAL", kTreeSortedAlphabetical},
    {"SORTEDFOLDERSFILES", kTreeSortedFoldersFiles},
    {"SORTEDFILESFOLDERS", kTreeSortedFilesFolders},
    {nullptr, 0}};

ErrCode CreateWindow(CWindow* parent, CTemplateReader& reader, CWindow** made) {
  auto* window = new CWindow(parent->Desktop(), parent, CWindow::kNoRect, kStyleVisible);
  *made = window;
  return ReadWindowKeys(window, parent, reader);
}

template <class T>
ErrCode CreateControl(CWindow* parent, CTemplateReader& reader, CWindow** made) {
  auto* control = new T(parent);
  *made = control;
  return control->ReadKeys(reader);
}

const STypeEntry kTypes[] = {
    {"Window", CreateWindow, kWindowStyles},
    {"Control", CreateControl<CUIControl>, kControlStyles},
    {"Dialog", CreateControl<CUIDialog>, kDialogStyles},
    {"Button", CreateControl<CUIButton>, kButtonStyles},
    {"Frame", CreateControl<CUIFrame>, kControlStyles},
    {"Background", CreateControl<CUIBkgnd>, kControlStyles},
    {"Scroll", CreateControl<CUIScroll>, kScrollStyles},
    {"List", CreateControl<CUISList>, kListStyles},
    {"Text", CreateControl<CUIText>, kTextStyles},
    {"Edit", CreateControl<CUIText>, kTextStyles},
    {"Tree", CreateControl<CCommonTreeBox>, kTreeStyles},
    {"OptionList", CreateControl<COptionTreeBox>, kTreeStyles},
    {"ImageButton", CreateControl<CUIButton>, kControlStyles},
};

// "0x..." or decimal, within `limit`.
bool ParseNumber(std::string_view text, uint64_t limit, uint64_t* value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  const std::string digits(text);
  if (digits.empty()) return false;
  char* end = nullptr;
  const bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
  const long long number = std::strtoll(digits.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
  if (*end || end == digits.c_str() + (hex ? 2 : 0)) return false;
  // Negative numbers stand for their two's complement within the width.
  const auto magnitude = static_cast<uint64_t>(number < 0 ? -number : number);
  if (magnitude > limit) return false;
  *value = static_cast<uint64_t>(number) & limit;
  return true;
}

}  // namespace

CTemplateReader::CTemplateReader(CResourceLoader* resources, CHashIni* ini)
    : m_resources(resources), m_ini(ini) {}

CTemplateReader::~CTemplateReader() {
  if (m_locked_base) m_resources->Unlock(kResourceTemplate, m_locked_base);
}

ErrCode CTemplateReader::SetSection(const std::string& section) {
  if (m_locked_base) m_resources->Unlock(kResourceTemplate, m_locked_base);
  m_locked_base = nullptr;
  m_base_ini = nullptr;
  m_base_section.clear();
  m_section = section;
  if (!m_ini->FindSection(section.c_str())) return err::kNotFound;
  const char* base = m_ini->GetString(section.c_str(), "Template");
  if (!base) return err::kOk;
  std::string value(base);
  const size_t comma = value.find(',');
  if (comma == std::string::npos) {
    m_base_ini = m_ini;
    m_base_section = value;
  } else {
    std::string file = value.substr(0, comma);
    m_base_section = value.substr(comma + 1);
    m_base_section.erase(0, m_base_section.find_first_not_of(" \t"));
    file.erase(file.find_last_not_of(" \t") + 1);
    CObject* loaded = nullptr;
    if (!m_resources || m_resources->Lock(kResourceTemplate, file.c_str(), &loaded, 0) != err::kOk)
      return err::kNotFound;
    m_locked_base = KindOf<CHashIni>(loaded);
    m_base_ini = m_locked_base;
  }
  return m_base_ini && m_base_ini->FindSection(m_base_section.c_str()) ? err::kOk
                                                                         : err::kNotFound;
}

ErrCode CTemplateReader::Get(const char* key, std::string* value) const {
  const char* found = m_ini->GetString(m_section.c_str(), key);
  if (!found && m_base_ini) found = m_base_ini->GetString(m_base_section.c_str(), key);
  if (!found) return err::kNotFound;
  *value = std::string(found).substr(0, kMaxValue);
  return err::kOk;
}

bool CTemplateReader::Has(const char* key) const {
  std::string ignored;
  return Get(key, &ignored) == err::kOk;
}

bool CTemplateReader::GetLong(const char* key, uint32_t* value) const {
  std::string text;
  uint64_t number = 0;
  if (Get(key, &text) != err::kOk || !ParseNumber(text, 0xFFFFFFFF, &number)) return false;
  *value = static_cast<uint32_t>(number);
  return true;
}

bool CTemplateReader::GetShort(const char* key, int16_t* value) const {
  return GetShorts(key, value, 1) == 1;
}

bool CTemplateReader::GetByte(const char* key, uint8_t* value) const {
  std::string text;
  uint64_t number = 0;
  if (Get(key, &text) != err::kOk || !ParseNumber(text, 0xFF, &number)) return false;
  *value = static_cast<uint8_t>(number);
  return true;
}

int CTemplateReader::GetShorts(const char* key, int16_t* values, int count) const {
  std::string text;
  if (Get(key, &text) != err::kOk) return 0;
  int read = 0;
  std::string_view rest = text;
  while (read < count && !rest.empty()) {
    const size_t comma = rest.find(',');
    uint64_t number = 0;
    if (!ParseNumber(rest.substr(0, comma), 0xFFFF, &number)) break;
    values[read++] = static_cast<int16_t>(number);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  return read;
}

bool CTemplateReader::GetId(const char* key, uint32_t* id) const {
  std::string text;
  uint64_t number = 0;
  if (Get(key, &text) != err::kOk) return false;
  if (ParseNumber(text, 0xFFFFFFFF, &number)) {
    *id = static_cast<uint32_t>(number);
    return true;
  }
  const char* named = m_ini->GetString(text.c_str(), "Id");
  return named && ParseNumber(named, 0xFFFFFFFF, &number) && (*id = static_cast<uint32_t>(number), true);
}

uint32_t ApplyStyleList(uint32_t style, const char* list, const SStyleName* table) {
  // HIDDEN is the visible bit turned round.
  style ^= kHidden;
  std::string_view rest = list;
  while (!rest.empty()) {
    const size_t end = std::min(rest.find_first_of(",;"), rest.size());
    std::string_view token = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    while (!token.empty() && (token.front() == ' ' || token.front() == '\t')) token.remove_prefix(1);
    const bool clear = !token.empty() && token.front() == '!';
    if (clear) token.remove_prefix(1);
    if (token.empty()) continue;
    const std::string name(token);
    const SStyleName* match = nullptr;
    for (const SStyleName* entry = table; entry->name; ++entry)
      if (strcasecmp(entry->name, name.c_str()) == 0) match = entry;
    uint64_t bits = 0;
    if (match)
      bits = match->bits;
    else if (!ParseNumber(name, 0xFFFFFFFF, &bits)) {
      TraceOut("Unknown style: %s\n", name.c_str());
      continue;
    }
    style = clear ? style & ~static_cast<uint32_t>(bits) : style | static_cast<uint32_t>(bits);
  }
  return style ^ kHidden;
}

ErrCode ReadWindowKeys(CWindow* window, CWindow* parent, CTemplateReader& reader) {
  std::string styles;
  if (reader.Get("Style", &styles) == err::kOk && reader.Type())
    window->SetStyle(ApplyStyleList(window->GetStyle(), styles.c_str(), reader.Type()->styles),
                     false);
  int16_t r[4];
  TRect rect;
  if (reader.GetShorts("RectWH", r, 4) == 4) {
    rect = {r[0], r[1], static_cast<int16_t>(r[0] + r[2] - 1), static_cast<int16_t>(r[1] + r[3] - 1)};
  } else if (reader.GetShorts("Rect", r, 4) == 4) {
    rect = {r[0], r[1], r[2], r[3]};
  } else {
    return err::kOk;
  }
  const TRect origin = parent->GetRect();
  window->SetRect(OffsetRect(rect, origin.left, origin.top), false, false);
  return err::kOk;
}

const STypeEntry* FindType(const char* name) {
  for (const STypeEntry& entry : kTypes)
    if (strcasecmp(entry.name, name) == 0) return &entry;
  return nullptr;
}

ErrCode CreateByType(CWindow* parent, CTemplateReader& reader, CWindow** made) {
  *made = nullptr;
  std::string name;
  if (reader.Get("Type", &name) != err::kOk) return err::kNotFound;
  const STypeEntry* type = FindType(name.c_str());
  if (!type) return err::kNotFound;
  reader.SetType(type);
  const std::string section = reader.Section();
  const ErrCode error = type->create(parent, reader, made);
  if (!*made) return error;
  const ErrCode children = BuildChildren(*made, reader, section);
  return error != err::kOk ? error : children;
}

ErrCode BuildChildren(CWindow* parent, CTemplateReader& reader, const std::string& object) {
  if (reader.Depth() >= kMaxTemplateNesting) {
    TraceOut("Nesting too deep: %s\n", object.c_str());
    return err::kOk;
  }
  const std::string objects = object.substr(0, 55) + " Objects";
  const SIniSection* list = reader.Ini()->FindSection(objects.c_str());
  if (!list) return err::kOk;
  ErrCode result = err::kOk;
  CEventQueue* queue = parent->Desktop()->Queue();
  const uint32_t parent_id = parent->Id();
  std::vector<uint32_t> made_ids;
  reader.SetDepth(reader.Depth() + 1);
  for (const SIniKey* key = list->first_key; key; key = key->next) {
    if (!*key->name) continue;
    CWindow* owner = queue->WindowById(parent_id);
    if (!owner) break;
    CWindow* made = nullptr;
    ErrCode error = reader.SetSection(key->name);
    if (error == err::kOk) error = CreateByType(owner, reader, &made);
    if (error != err::kOk) result = error;
    if (made) made_ids.push_back(made->Id());
  }
  reader.SetDepth(reader.Depth() - 1);
  for (uint32_t id : made_ids)
    if (CUIControl* control = KindOf<CUIControl>(queue->WindowById(id))) control->Connect();
  return result;
}
