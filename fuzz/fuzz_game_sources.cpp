// Feeds arbitrary text to the readers of a game's source folder: the
// animation recipe (whatever it accepts must be composable), the SVG
// reference check and the insertion of pack mounts into tool.ini.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "anim_recipe.h"
#include "pack_mounts.h"
#include "svg.h"

namespace {

void CheckRecipe(std::string_view text) {
  SAnimRecipe recipe;
  SRecipeError error;
  if (!ParseAnimRecipe(text, &recipe, &error)) {
    if (error.text.empty()) std::abort();
    return;
  }
  std::vector<SIndexedPicture> pictures;
  for (const SAnimLayer& layer : recipe.layers) {
    if (layer.keys.empty() || layer.first_shown > layer.last_shown ||
        layer.last_shown >= recipe.frames || layer.svg.empty())
      std::abort();
    for (size_t i = 0; i < layer.keys.size(); ++i)
      if (layer.keys[i].cell < 0 || layer.keys[i].cell >= layer.columns || (i > 0 && layer.keys[i].frame <= layer.keys[i - 1].frame))
        std::abort();
    const int width = layer.columns * 3;
    pictures.push_back({width, 2, std::vector<uint8_t>(static_cast<size_t>(width) * 2, 7)});
  }
  if (static_cast<long long>(recipe.frames) * recipe.width * recipe.height > (1 << 16)) return;
  const auto frames = ComposeAnimation(recipe, pictures);
  if (frames.size() != static_cast<size_t>(recipe.frames)) std::abort();
}

void CheckSvg(std::string_view text) {
  std::string href;
  const size_t at = FindExternalHref(text, &href);
  if (at == std::string::npos) return;
  if (at > text.size() || href.starts_with("#") || href.starts_with("data:")) std::abort();
}

void CheckToolIni(std::string_view text) {
  const std::string result = AddPackMounts(std::string(text), {"art", "Game Interface"});
  if (result.find("/art/=Pack, /HDD/art.pak") == std::string::npos ||
      result.find("/Game Interface/=Pack, /HDD/Game Interface.pak") == std::string::npos)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckRecipe(text);
  CheckSvg(text);
  CheckToolIni(text);
  return 0;
}
