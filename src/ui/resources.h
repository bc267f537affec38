// Files built into the executable: menus, icons and "Binary" files, found by
// type and name, both ignoring case.
#pragma once

#include <cstddef>
#include <optional>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "gfx/palette.h"
#include "platform/platform.h"

struct SResource {
  const char* type;
  const char* name;
  std::string_view bytes;
};

extern const SResource kResources[];
extern const size_t kResourceCount;

std::optional<std::string_view> FindResource(std::string_view type, std::string_view name);

// The UI palette shipped beside the executable, and a reader for GIMP
// palette files by virtual path into the colours a window shows.
inline constexpr char kUiPalette[] = "/Tool Interface/Shared/ui.gpl";
ErrCode LoadPaletteColours(const char* path, std::vector<SRgb>* colours);
// A palette's entries as the colours a window shows.
std::vector<SRgb> ColoursOf(const CPalette& palette);

// An icon resource's picture, from its XPM text ("None" is clear). Empty
// when the text is malformed.
struct SIcon {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0xAARRGGBB
};
SIcon IconFromXpm(std::string_view text);
