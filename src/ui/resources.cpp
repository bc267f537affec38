#include "ui/resources.h"

#include <strings.h>

#include <cstdio>

#include <array>
#include <sstream>
#include <string>

#include "fs/file_service.h"
#include "gfx/gpl.h"
#include "gfx/xpm.h"

std::optional<std::string_view> FindResource(std::string_view type, std::string_view name) {
  const std::string wanted_type(type), wanted_name(name);
  for (size_t i = 0; i < kResourceCount; ++i)
    if (strcasecmp(kResources[i].type, wanted_type.c_str()) == 0 &&
        strcasecmp(kResources[i].name, wanted_name.c_str()) == 0)
      return kResources[i].bytes;
  return std::nullopt;
}

SIcon IconFromXpm(std::string_view text) {
  SXpmImage image;
  if (ParseXpm(text, &image) != err::kOk) return {};
  SIcon icon{image.width, image.height, {}};
  icon.pixels.reserve(image.pixels.size());
  for (const uint16_t index : image.pixels) {
    const SXpmColour& colour = image.colours[index];
    icon.pixels.push_back(colour.none ? 0u
                                      : 0xFF000000u | uint32_t{colour.red} << 16 |
                                            uint32_t{colour.green} << 8 | colour.blue);
  }
  return icon;
}

ErrCode LoadPaletteColours(const char* path, std::vector<SRgb>* colours) {
  constexpr uint16_t kReadMode = 0xC1;
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(path, kReadMode, &error);
  if (!file) return error;
  std::string text(file->GetSize(), '\0');
  uint32_t read = 0;
  if ((error = file->Read(text.data(), static_cast<uint32_t>(text.size()), &read))) return error;
  text.resize(read);
  CPalette palette;
  if ((error = ParseGpl(text, &palette))) return error;
  *colours = ColoursOf(palette);
  return err::kOk;
}

std::vector<SRgb> ColoursOf(const CPalette& palette) {
  std::vector<SRgb> colours;
  for (uint32_t i = 0; i < palette.Count(); ++i) {
    const SPalEntry entry = palette.Entries()[i];
    colours.push_back({entry.red, entry.green, entry.blue});
  }
  return colours;
}
