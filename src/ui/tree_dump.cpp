#include "ui/tree_dump.h"

#include <cstdio>

#include "ui/controls.h"
#include "ui/desktop.h"
#include "ui/menu.h"

namespace {

void AppendEscaped(std::string* out, std::string_view latin1) {
  for (const char c : latin1) {
    const auto byte = static_cast<uint8_t>(c);
    if (c == '\t') {
      *out += "\\t";
    } else if (c == '\n') {
      *out += "\\n";
    } else if (c == '\\') {
      *out += "\\\\";
    } else if (byte < 0x80) {
      *out += c;
    } else {
      *out += static_cast<char>(0xC0 | byte >> 6);
      *out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
}

void DumpWindow(const CDesktop& desktop, const CWindow& window, int depth, std::string* out) {
  out->append(static_cast<size_t>(depth) * 2, ' ');
  AppendEscaped(out, window.Label());
  char style[32];
  std::snprintf(style, sizeof style, " style=0x%08X", window.GetStyle());
  *out += style;
  const std::pair<const CWindow*, const char*> marks[] = {
      {desktop.GetFocus(), " focus"},
      {desktop.Modal(), " modal"},
      {desktop.GetCapture(), " capture"},
      {desktop.Hover(), " hover"},
  };
  for (const auto& [holder, mark] : marks)
    if (holder == &window) *out += mark;
  if (const CUIControl* control = KindOf<CUIControl>(const_cast<CWindow*>(&window))) {
    *out += " section=\"";
    AppendEscaped(out, control->SectionName());
    *out += '"';
  }
  *out += '\n';
  std::vector<std::string> details;
  window.DescribeDetails(&details);
  for (const std::string& detail : details) {
    out->append(static_cast<size_t>(depth + 1) * 2, ' ');
    AppendEscaped(out, detail);
    *out += '\n';
  }
  for (const CWindow* child = window.FirstChild(); child; child = child->NextSibling())
    DumpWindow(desktop, *child, depth + 1, out);
}

void DumpMenus(const CMenuModel& model, std::string* out) {
  for (const SMenu& menu : model.Menus()) {
    *out += "menu: ";
    AppendEscaped(out, menu.title);
    *out += menu.open ? " open\n" : "\n";
    for (const SMenuItem& item : menu.items) {
      if (item.separator) {
        *out += "  separator\n";
        continue;
      }
      *out += "  item: " + std::to_string(item.id) + " ";
      AppendEscaped(out, item.text);
      if (!item.enabled) *out += " disabled";
      if (item.checked) *out += " checked";
      *out += '\n';
    }
  }
}

}  // namespace

std::string DumpTree(const CDesktop& desktop, const CMenuModel* menu) {
  std::string out;
  DumpWindow(desktop, desktop, 0, &out);
  if (menu) DumpMenus(*menu, &out);
  return out;
}
