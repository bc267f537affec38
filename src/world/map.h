// The map: a modal dialog over the view, while the world runs on behind it,
// with a button for each of its places whose view has been visited. A
// button goes to its view as "GoToView" does; the exit button, Escape and
// releasing the M key close the map.
//
// The map's container gives the area "Rectangle" (screen coordinates) and
// its picture "Background"; each container in it is a place ("MapButton"):
// the view "View", the picture "Image" with its state letters "ImgType",
// centred on "Pos" (relative to the area), and the point "ViewPoint" that
// travels with the change.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "ui/controls.h"
#include "ui/held_resource.h"
#include "world/world_object.h"

class CUIButton;
class CWorld;

class CWMapObj : public CWObject {
  TV_CLASS(CWMapObj, CWObject)

 public:
  static constexpr TRect kDefaultArea{0, 0, 639, 479};
  static constexpr char kExitImage[] = "/Game Interface/Map/ExitMapBtn.bmp";
  static constexpr char kExitStates[] = "AAAB";
  static constexpr char kDefaultStates[] = "AAAAA";
  // The exit button's top-right corner lies this far inside the area's.
  static constexpr int kExitInset = 15;

  using CWObject::CWObject;
  static std::unique_ptr<CWObject> Load(CWorld* world, StoreHandle own, StoreHandle template_handle,
                                        ErrCode* error);
  // The area on the screen.
  TRect Area() const;
};

// "MapButton": a place on the map.
class CWMapButton : public CWObject {
  TV_CLASS(CWMapButton, CWObject)

 public:
  using CWObject::CWObject;
  static std::unique_ptr<CWObject> Load(CWorld* world, StoreHandle own, StoreHandle template_handle,
                                        ErrCode* error);
  // Whether the place shows: its view visited, a "Pos" and an "Image".
  bool Shows() const;
};

class CMapDialog : public CUIDialog {
  TV_CLASS(CMapDialog, CUIDialog)

 public:
  static constexpr uint32_t kExitId = 1;

  // Builds the map of `map` on the world's desktop; null without one.
  static CMapDialog* Build(CWorld& world, const CWMapObj& map);

  void Draw(const SDrawContext& context, const TRect& rect) override;
  bool OnKey(uint32_t code, uint16_t virtual_key, uint16_t character) override;
  uint32_t OnEvent(const SEventRecord& record) override;

 private:
  struct SPlace {
    uint32_t id;
    std::string view;
    TPoint point;
  };

  CMapDialog(CWindow* parent, CWorld* world) : CUIDialog(parent), m_world(world) {}
  // A button of `image` under the dialog, of the size of one cell, for the
  // caller to place; null when the picture cannot be had.
  CUIButton* AddButton(uint32_t id, const std::string& image, const std::string& states);
  // The button of `place`, centred on its "Pos" inside `area`.
  void AddPlace(const CWMapButton& place, const TRect& area);

  CWorld* m_world;
  CHeldBitmap m_background;
  std::vector<SPlace> m_places;
};
