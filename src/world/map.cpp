#include "world/map.h"

#include <algorithm>

#include "gfx/blit.h"
#include "platform/virtual_keys.h"
#include "ui/button.h"
#include "ui/desktop.h"
#include "world/view.h"
#include "world/world.h"

namespace {

constexpr char kUntitledPlace[] = "untitled_map_button";
constexpr uint32_t kFirstPlaceId = CMapDialog::kExitId + 1;
constexpr uint16_t kVkM = kVkA + ('M' - 'A');
const SLoaderRow kPlaceRows[] = {{"MapButton", CWMapButton::Load}};

// Moves `button` so that its top-left is (left, top), keeping its size.
void MoveTo(CUIButton& button, int left, int top) {
  const TRect rect = button.GetRect();
  button.SetRect({static_cast<int16_t>(left), static_cast<int16_t>(top),
                  static_cast<int16_t>(left + rect.right - rect.left),
                  static_cast<int16_t>(top + rect.bottom - rect.top)},
                 false, false);
}

}  // namespace

std::unique_ptr<CWObject> CWMapObj::Load(CWorld* world, StoreHandle own, StoreHandle template_handle,
                                         ErrCode*) {
  return std::make_unique<CWMapObj>(world, own, template_handle);
}

TRect CWMapObj::Area() const {
  const TRect area = GetRect("Rectangle");
  return RectEmpty(area) ? kDefaultArea : area;
}

std::unique_ptr<CWObject> CWMapButton::Load(CWorld* world, StoreHandle own,
                                            StoreHandle template_handle, ErrCode*) {
  return std::make_unique<CWMapButton>(world, own, template_handle);
}

bool CWMapButton::Shows() const {
  const char* view = GetString("View");
  const char* image = GetString("Image");
  return view && World().TimesVisited(view) > 0 && HasValue("Pos", kValuePoint) && image &&
         *image;
}

CMapDialog* CMapDialog::Build(CWorld& world, const CWMapObj& map) {
  CDesktop* desktop = world.Desktop();
  if (!desktop) return nullptr;
  auto* dialog = new CMapDialog(desktop, &world);
  const TRect stage = desktop->StageRect();
  const TRect area = OffsetRect(map.Area(), stage.left, stage.top);
  dialog->SetRect(area, false, false);
  if (const char* background = map.GetString("Background"); background && *background)
    dialog->m_background.Load(world.Resources(), background);
  // Without a picture of its own the map shows the view through.
  if (!dialog->m_background) dialog->SetStyle(dialog->GetStyle() | kStyleTransparent, false);
  if (CUIButton* exit = dialog->AddButton(kExitId, CWMapObj::kExitImage, CWMapObj::kExitStates)) {
    const TRect size = exit->GetRect();
    MoveTo(*exit, area.right - CWMapObj::kExitInset - (size.right - size.left),
           area.top + CWMapObj::kExitInset);
  }
  if (map.Own())
    LoadChildren(world, *map.Own(), kPlaceRows, kUntitledPlace, [&](std::unique_ptr<CWObject> made) {
      const auto* place = KindOf<CWMapButton>(made.get());
      if (place && place->Shows()) dialog->AddPlace(*place, area);
      return true;
    });
  return dialog;
}

CUIButton* CMapDialog::AddButton(uint32_t id, const std::string& image, const std::string& states) {
  auto* button = new CUIButton(this);
  button->SetControlId(id);
  if (button->SetImage(m_world->Resources(), image, states)) return button;
  delete button;
  return nullptr;
}

void CMapDialog::AddPlace(const CWMapButton& place, const TRect& area) {
  const char* states = place.GetString("ImgType");
  const auto id = static_cast<uint32_t>(kFirstPlaceId + m_places.size());
  CUIButton* button =
      AddButton(id, place.GetString("Image"), states && *states ? states : CWMapObj::kDefaultStates);
  if (!button) return;
  // Centred: the middle column and row of the button's cell on "Pos".
  const TRect size = button->GetRect();
  const TPoint pos = place.GetPoint("Pos");
  MoveTo(*button, area.left + pos.x - (size.right - size.left + 1) / 2,
         area.top + pos.y - (size.bottom - size.top + 1) / 2);
  const bool has_point = place.HasValue("ViewPoint", kValuePoint);
  m_places.push_back({id, place.GetString("View"),
                      has_point ? place.GetPoint("ViewPoint") : TPoint{-1, -1}});
}

void CMapDialog::Draw(const SDrawContext& context, const TRect&) {
  if (m_background)
    context.Picture(*m_background, m_background->GetBounds(), GetRect().left, GetRect().top, kNoKey);
}

bool CMapDialog::OnKey(uint32_t code, uint16_t virtual_key, uint16_t character) {
  const bool escape = code == kEvKeyDown && virtual_key == kVkEscape;
  const bool map_key = code == kEvKeyUp && virtual_key == kVkM;
  if (!escape && !map_key) return CUIDialog::OnKey(code, virtual_key, character);
  EndModal(0);
  return true;
}

uint32_t CMapDialog::OnEvent(const SEventRecord& record) {
  if (record.code != kNotifyPressed) return CUIDialog::OnEvent(record);
  const auto place = std::find_if(m_places.begin(), m_places.end(),
                                  [&](const SPlace& known) { return known.id == record.p1; });
  if (place == m_places.end() && record.p1 != kExitId) return CUIDialog::OnEvent(record);
  if (place != m_places.end()) m_world->RequestView(place->view, place->point, false);
  EndModal(record.p1);
  return 0;
}
