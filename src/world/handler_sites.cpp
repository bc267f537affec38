#include "world/handler_sites.h"

#include <algorithm>

namespace {

constexpr std::string_view kVoid = "void";
constexpr std::string_view kViewPointer = "void, int, int, str";
constexpr std::string_view kObjectPoint = "void, int x, int y";

// The world itself is the outermost view set: its "OnNew" and "OnNIS" rows
// are view-set rows.
constexpr SHandlerSite kSites[] = {
    {"OnClick", kSiteView, kViewPointer},
    {"OnMouseEnter", kSiteView, kViewPointer},
    {"OnMouseExit", kSiteView, kViewPointer},
    {"SecretSwitch", kSiteView, kVoid},
    {"SecretSwitch2", kSiteView, kVoid},
    {"OnRecordStop", kSiteView, kVoid},
    {"OnEntry", kSiteView, kVoid},
    {"OnExit", kSiteView, kVoid},
    {"OnEntry", kSiteViewSet, kVoid},
    {"OnExit", kSiteViewSet, kVoid},
    {"OnNew", kSiteViewSet, kVoid},
    {"OnNIS", kSiteViewSet, kVoid},
    {"IsActive", kSiteObject, "bool"},
    {"OnMouseEnter", kSiteVisual, kVoid},
    {"OnMouseExit", kSiteVisual, kVoid},
    {"OnLButtonDown", kSiteVisual, kObjectPoint},
    {"OnLButtonUp", kSiteVisual, kObjectPoint},
    {"OnLDoubleClick", kSiteVisual, kObjectPoint},
    {"OnRButtonDown", kSiteVisual, kObjectPoint},
    {"OnRButtonUp", kSiteVisual, kObjectPoint},
    {"OnRDoubleClick", kSiteVisual, kObjectPoint},
    {"OnCombine", kSiteVisual, "void, item SelectedItem"},
    {"OnAttach", kSiteVisual, "bool, int* x, int* y"},
    {"Accept", kSiteVisual, "bool, str id, int* x, int* y, int w, int h"},
    {"OnDetach", kSiteVisual, "bool, str idHolder, TRect* rc"},
    {"CalcPos", kSiteVisual, "void, int* x, int* y"},
    // Timers.
    {"OnStart", kSiteTimer, kVoid},
    {"OnStop", kSiteTimer, kVoid},
    {"OnLoop", kSiteTimer, kVoid},
    {"OnInterrupt", kSiteTimer, "void, int* itime"},
    {"IsLooping", kSiteTimer, "bool"},
    // Animations.
    {"OnPreStart", kSiteAnimation, kVoid},
    {"OnStart", kSiteAnimation, kVoid},
    {"OnPreStop", kSiteAnimation, kVoid},
    {"OnStop", kSiteAnimation, kVoid},
    {"OnInterrupt", kSiteAnimation, "void, int* itime"},
    {"Interrupt", kSiteAnimation, kVoid},
};

}  // namespace

std::span<const SHandlerSite> HandlerSites() { return kSites; }

const SHandlerSite* FindHandlerSite(std::string_view kind, std::string_view handler) {
  const auto* row = std::find_if(std::begin(kSites), std::end(kSites), [&](const SHandlerSite& s) {
    return s.kind == kind && s.handler == handler;
  });
  return row == std::end(kSites) ? nullptr : row;
}
