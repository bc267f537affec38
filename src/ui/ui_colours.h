// The entries of the UI palette (ui.gpl) that the engine draws its own
// controls in: the first sixteen are the text-mode colours.
#pragma once

#include <cstdint>

namespace ui_colour {
inline constexpr uint8_t kInk = 0;        // black text
inline constexpr uint8_t kHighlight = 1;  // blue: what is chosen
inline constexpr uint8_t kFace = 7;       // light grey surfaces
inline constexpr uint8_t kShadow = 8;     // dark grey: lower edges, disabled text
inline constexpr uint8_t kLight = 15;     // near white: upper edges
}  // namespace ui_colour
