// Animation recipes: an INI text that lays pictures (layers) over each
// other frame by frame, each at positions interpolated between key frames.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text_position.h"

// Pixels of this index in a layer's picture are not drawn.
inline constexpr uint8_t kAnimKeyIndex = 1;

struct SAnimKey {
  int frame = 0;
  int x = 0;
  int y = 0;
  int cell = 0;
};

struct SAnimLayer {
  std::string section;  // as written, for messages
  std::string svg;      // relative to the source folder
  int columns = 1;
  int cycle = 0;  // > 0: the cell advances every `cycle` frames
  int first_shown = 0;
  int last_shown = 0;
  std::vector<SAnimKey> keys;  // by increasing frame, at least one
};

struct SAnimRecipe {
  int fps = 0;
  int frames = 0;
  int width = 0;
  int height = 0;
  int fill = kAnimKeyIndex;
  std::vector<SAnimLayer> layers;
};

struct SRecipeError {
  STextPosition at;
  std::string text;
};

// False with `error` set for anything outside the recipe's form.
bool ParseAnimRecipe(std::string_view text, SAnimRecipe* recipe, SRecipeError* error);

struct SAnimPoint {
  int x = 0;
  int y = 0;
};

// The cell's top-left in the frame: held before the first key and after the
// last, linear between keys, rounded to nearest (halves up).
SAnimPoint LayerPosition(const SAnimLayer& layer, int frame);
// The cell drawn in the frame.
int LayerCell(const SAnimLayer& layer, int frame);

struct SIndexedPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // top row first
};

// The frames, width x height indices each, top row first; `pictures` holds
// one picture per layer, each at least `columns` pixels wide.
std::vector<std::vector<uint8_t>> ComposeAnimation(const SAnimRecipe& recipe,
                                                   const std::vector<SIndexedPicture>& pictures);
