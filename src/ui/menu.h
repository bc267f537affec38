// The menu bar's model: menus in bar order, each a list of items and
// separators, loaded from a menu resource (an INI text; see the resource
// VelmoraToolMenu for the form).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/errors.h"

struct SMenuItem {
  uint32_t id = 0;
  std::string text;
  bool separator = false;
  bool enabled = true;
  bool checked = false;
};

struct SMenu {
  std::string title;
  std::vector<SMenuItem> items;
  bool open = false;  // pulled down by the engine's menu bar
};

class CMenuModel {
 public:
  // NOTFOUND when no menu resource has the name.
  static std::unique_ptr<CMenuModel> Load(std::string_view name, ErrCode* error);
  static std::unique_ptr<CMenuModel> Parse(std::string_view text, ErrCode* error);

  const std::vector<SMenu>& Menus() const { return m_menus; }
  std::vector<SMenu>& Menus() { return m_menus; }
  // Null for an id no item has.
  SMenuItem* Find(uint32_t id);
  const SMenuItem* Find(uint32_t id) const;

 private:
  std::vector<SMenu> m_menus;
};
