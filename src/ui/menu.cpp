#include "ui/menu.h"

#include <charconv>

#include "store/hash_ini.h"
#include "ui/resources.h"

namespace {

constexpr uint32_t kMenuBuckets = 16;

bool ParseId(std::string_view text, uint32_t* id) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), *id);
  return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

}  // namespace

std::unique_ptr<CMenuModel> CMenuModel::Load(std::string_view name, ErrCode* error) {
  const std::optional<std::string_view> text = FindResource("menu", name);
  if (!text) {
    *error = err::kNotFound;
    return nullptr;
  }
  return Parse(*text, error);
}

std::unique_ptr<CMenuModel> CMenuModel::Parse(std::string_view text, ErrCode* error) {
  CHashIni ini(kMenuBuckets, kMenuBuckets);
  *error = ini.LoadText(text);
  if (*error != err::kOk) return nullptr;
  const SIniSection* bar = ini.FindSection("Menus");
  if (!bar) {
    *error = err::kNotFound;
    return nullptr;
  }
  auto model = std::make_unique<CMenuModel>();
  for (const SIniKey* entry = bar->first_key; entry; entry = entry->next) {
    if (!*entry->name) continue;
    SMenu menu{entry->value, {}};
    if (const SIniSection* section = ini.FindSection(entry->name)) {
      for (const SIniKey* key = section->first_key; key; key = key->next) {
        SMenuItem item;
        if (key->name[0] == '-')
          item.separator = true;
        else if (!ParseId(key->name, &item.id))
          continue;
        else
          item.text = key->value;
        menu.items.push_back(item);
      }
    }
    model->m_menus.push_back(std::move(menu));
  }
  *error = err::kOk;
  return model;
}

SMenuItem* CMenuModel::Find(uint32_t id) {
  for (SMenu& menu : m_menus)
    for (SMenuItem& item : menu.items)
      if (!item.separator && item.id == id) return &item;
  return nullptr;
}

const SMenuItem* CMenuModel::Find(uint32_t id) const {
  return const_cast<CMenuModel*>(this)->Find(id);
}
