#include "ui/resources.h"

#include <strings.h>

#include <cstdio>

#include <array>
#include <sstream>
#include <string>

#include "fs/file_service.h"
#include "gfx/gpl.h"

std::optional<std::string_view> FindResource(std::string_view type, std::string_view name) {
  const std::string wanted_type(type), wanted_name(name);
  for (size_t i = 0; i < kResourceCount; ++i)
    if (strcasecmp(kResources[i].type, wanted_type.c_str()) == 0 &&
        strcasecmp(kResources[i].name, wanted_name.c_str()) == 0)
      return kResources[i].bytes;
  return std::nullopt;
}

SIcon ParseIcon(std::string_view text) {
  constexpr int kMaxSide = 256;
  std::istringstream in{std::string(text)};
  SIcon icon;
  std::string line;
  if (!std::getline(in, line) || std::sscanf(line.c_str(), "%d %d", &icon.width, &icon.height) != 2 ||
      icon.width <= 0 || icon.height <= 0 || icon.width > kMaxSide || icon.height > kMaxSide)
    return {};
  std::array<int64_t, 256> colours;
  colours.fill(-1);
  while (std::getline(in, line) && line.size() > 2 && line[1] == ' ') {
    unsigned rgb = 0;
    int opaque = 1;
    if (std::sscanf(line.c_str() + 2, "%x %d", &rgb, &opaque) < 1) return {};
    colours[static_cast<uint8_t>(line[0])] = opaque ? (0xFF000000u | rgb) : 0;
  }
  // The legend's loop has read the first row already.
  for (int y = 0; y < icon.height; ++y) {
    if ((y > 0 && !std::getline(in, line)) || static_cast<int>(line.size()) < icon.width) return {};
    for (int x = 0; x < icon.width; ++x) {
      const int64_t colour = colours[static_cast<uint8_t>(line[x])];
      if (colour < 0) return {};
      icon.pixels.push_back(static_cast<uint32_t>(colour));
    }
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
