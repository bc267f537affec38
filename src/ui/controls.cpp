#include "ui/controls.h"

#include <cstdio>

#include "gfx/resource_cache.h"
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

CUIDialog::CUIDialog(CWindow* parent) : CUIControl(parent) {}

ErrCode CUIDialog::ReadDialogKeys(CTemplateReader& reader) {
  const ErrCode error = CUIControl::ReadKeys(reader);
  reader.GetShorts("MinSize", m_min_size, 2);
  reader.GetShorts("MaxSize", m_max_size, 2);
  reader.GetId("Focus", &m_focus_id);
  reader.GetId("Esc", &m_esc_id);
  reader.GetId("Enter", &m_enter_id);
  return error;
}

ErrCode CUIDialog::ReadKeys(CTemplateReader& reader) {
  const ErrCode error = ReadDialogKeys(reader);
  const ErrCode children = BuildChildren(this, reader, reader.Section());
  return error != err::kOk ? error : children;
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
  if (reader.SetSection(params) == err::kOk) error = ReadDialogKeys(reader);
  SetSectionName(object);
  const ErrCode children = BuildChildren(this, reader, object);
  resources->Unlock(kResourceTemplate, loaded);
  return error != err::kOk ? error : children;
}
