// The engine's handler call sites: which handler the engine calls on which
// kind of object, and with which signature. Call sites read their
// signatures from here, and the authoring tools compile handlers against
// them, so the two never disagree.
#pragma once

#include <span>
#include <string_view>

// Object kinds of the table.
inline constexpr std::string_view kSiteView = "View";
inline constexpr std::string_view kSiteViewSet = "ViewSet";
inline constexpr std::string_view kSiteObject = "Object";  // any world object
inline constexpr std::string_view kSiteVisual = "Visual";  // visual objects
inline constexpr std::string_view kSiteTimer = "Timer";
inline constexpr std::string_view kSiteAnimation = "Animation";  // besides its visual rows

struct SHandlerSite {
  std::string_view handler;
  std::string_view kind;
  std::string_view signature;
};

std::span<const SHandlerSite> HandlerSites();
// The row of a handler on a kind of object (names compare exactly), or null.
const SHandlerSite* FindHandlerSite(std::string_view kind, std::string_view handler);
