#include "anim_recipe.h"

#include <strings.h>

#include <algorithm>
#include <charconv>

#include "store/hash_ini.h"

namespace {

constexpr std::string_view kLayerPrefix = "layer ";
constexpr int kMaxSide = 4096;
constexpr int kMaxFrames = 100000;
constexpr long long kMaxPixels = 1LL << 28;
constexpr int kMaxOffset = 32767;

// A recipe being read: the text for positions, and the first failure.
class CRecipeReader {
 public:
  CRecipeReader(std::string_view text, SRecipeError* error) : m_text(text), m_error(error) {}

  bool Fail(const SIniSection& section, const char* key, const std::string& text) {
    m_error->at = FindIniValue(m_text, section.name, key ? key : "");
    m_error->text = text;
    return false;
  }

  // The whole value as a number in [low, high].
  bool Number(const SIniSection& section, const SIniKey& key, int low, int high, int* out) {
    const std::string_view value = key.value;
    int parsed = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    if (ec != std::errc() || end != value.data() + value.size() || parsed < low || parsed > high)
      return Fail(section, key.name,
                  std::string(key.name) + " must be a number from " + std::to_string(low) + " to " +
                      std::to_string(high));
    *out = parsed;
    return true;
  }

 private:
  std::string_view m_text;
  SRecipeError* m_error;
};

// Blank-separated integers of a text; false at anything else.
bool Integers(std::string_view text, std::vector<int>* out) {
  out->clear();
  while (true) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return true;
    text.remove_prefix(start);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || (end != text.data() + text.size() && *end != ' ' && *end != '\t'))
      return false;
    out->push_back(value);
    text.remove_prefix(static_cast<size_t>(end - text.data()));
  }
}

bool Is(const SIniKey& key, const char* name) { return strcasecmp(key.name, name) == 0; }

bool ReadAnim(CRecipeReader& reader, const SIniSection& section, SAnimRecipe* recipe) {
  const struct {
    const char* name;
    int low;
    int high;
    int* out;
  } fields[] = {{"fps", 1, 60, &recipe->fps},
                {"frames", 1, kMaxFrames, &recipe->frames},
                {"width", 1, kMaxSide, &recipe->width},
                {"height", 1, kMaxSide, &recipe->height},
                {"fill", 0, 255, &recipe->fill}};
  for (const SIniKey* key = section.first_key; key; key = key->next) {
    if (!*key->name) continue;
    const auto* field = std::find_if(std::begin(fields), std::end(fields),
                                     [&](const auto& f) { return Is(*key, f.name); });
    if (field == std::end(fields)) return reader.Fail(section, key->name, "unknown key " + std::string(key->name));
    if (!reader.Number(section, *key, field->low, field->high, field->out)) return false;
  }
  for (const auto& field : fields)
    if (*field.out == 0 && field.low > 0)
      return reader.Fail(section, nullptr, std::string("[anim] needs ") + field.name);
  if (static_cast<long long>(recipe->frames) * recipe->width * recipe->height > kMaxPixels)
    return reader.Fail(section, "frames", "the frames hold more than 2^28 pixels");
  return true;
}

bool ReadShow(CRecipeReader& reader, const SIniSection& section, const SIniKey& key, int frames,
              SAnimLayer* layer) {
  const std::string_view value = key.value;
  const size_t dash = value.find('-');
  std::vector<int> first, last;
  if (dash == std::string_view::npos || !Integers(value.substr(0, dash), &first) ||
      !Integers(value.substr(dash + 1), &last) || first.size() != 1 || last.size() != 1 ||
      first[0] < 0 || first[0] > last[0] || last[0] >= frames)
    return reader.Fail(section, key.name, "show must be <first>-<last> within the frames");
  layer->first_shown = first[0];
  layer->last_shown = last[0];
  return true;
}

bool ReadKeys(CRecipeReader& reader, const SIniSection& section, const SIniKey& key, int frames,
              SAnimLayer* layer) {
  layer->keys.clear();
  std::string_view rest = key.value;
  std::vector<int> numbers;
  while (true) {
    const size_t bar = std::min(rest.find('|'), rest.size());
    if (!Integers(rest.substr(0, bar), &numbers) || numbers.size() < 3 || numbers.size() > 4)
      return reader.Fail(section, key.name, "a key is \"frame x y [cell]\"");
    const SAnimKey made{numbers[0], numbers[1], numbers[2], numbers.size() == 4 ? numbers[3] : 0};
    if (made.frame < 0 || made.frame >= frames ||
        (!layer->keys.empty() && made.frame <= layer->keys.back().frame))
      return reader.Fail(section, key.name, "key frames must rise within the frames");
    if (made.x < -kMaxOffset || made.x > kMaxOffset || made.y < -kMaxOffset || made.y > kMaxOffset)
      return reader.Fail(section, key.name, "a key's position must be within 32767 of the frame's corner");
    layer->keys.push_back(made);
    if (bar == rest.size()) return true;
    rest.remove_prefix(bar + 1);
  }
}

bool ReadLayer(CRecipeReader& reader, const SIniSection& section, int frames, SAnimLayer* layer) {
  layer->section = section.name;
  layer->last_shown = frames - 1;
  layer->keys = {SAnimKey{}};
  const SIniKey* keys_line = nullptr;
  for (const SIniKey* key = section.first_key; key; key = key->next) {
    bool ok = true;
    if (!*key->name) continue;
    if (Is(*key, "svg")) {
      layer->svg = key->value;
    } else if (Is(*key, "columns")) {
      ok = reader.Number(section, *key, 1, kMaxSide, &layer->columns);
    } else if (Is(*key, "cycle")) {
      ok = reader.Number(section, *key, 0, kMaxFrames, &layer->cycle);
    } else if (Is(*key, "show")) {
      ok = ReadShow(reader, section, *key, frames, layer);
    } else if (Is(*key, "keys")) {
      ok = ReadKeys(reader, section, *key, frames, layer);
      keys_line = key;
    } else {
      ok = reader.Fail(section, key->name, "unknown key " + std::string(key->name));
    }
    if (!ok) return false;
  }
  if (layer->svg.empty()) return reader.Fail(section, nullptr, "a layer needs svg");
  for (const SAnimKey& key : layer->keys)
    if (key.cell < 0 || key.cell >= layer->columns)
      return reader.Fail(section, keys_line->name, "a key's cell must be from 0 to columns - 1");
  return true;
}

// Floor of n / d for d > 0.
int FloorDiv(long long n, long long d) { return static_cast<int>(n >= 0 ? n / d : -((-n + d - 1) / d)); }

int Between(int a, int b, int step, int steps) {
  return a + FloorDiv(2LL * (b - a) * step + steps, 2LL * steps);
}

}  // namespace

bool ParseAnimRecipe(std::string_view text, SAnimRecipe* recipe, SRecipeError* error) {
  CHashIni ini(8, 64);
  *recipe = {};
  if (ErrCode code = ini.LoadText(text)) {
    error->text = ErrName(code);
    return false;
  }
  CRecipeReader reader(text, error);
  const SIniSection* anim = ini.FindSection("anim");
  if (!anim) {
    error->at = {1, 1};
    error->text = "no [anim] section";
    return false;
  }
  if (!ReadAnim(reader, *anim, recipe)) return false;
  for (const SIniSection* section = ini.FirstSection(); section; section = section->next) {
    if (section == anim) continue;
    if (strncasecmp(section->name, kLayerPrefix.data(), kLayerPrefix.size()) != 0)
      return reader.Fail(*section, nullptr, "unknown section [" + std::string(section->name) + "]");
    recipe->layers.emplace_back();
    if (!ReadLayer(reader, *section, recipe->frames, &recipe->layers.back())) return false;
  }
  return true;
}

SAnimPoint LayerPosition(const SAnimLayer& layer, int frame) {
  const std::vector<SAnimKey>& keys = layer.keys;
  if (frame <= keys.front().frame) return {keys.front().x, keys.front().y};
  if (frame >= keys.back().frame) return {keys.back().x, keys.back().y};
  const auto next = std::upper_bound(keys.begin(), keys.end(), frame,
                                     [](int f, const SAnimKey& key) { return f < key.frame; });
  const SAnimKey& a = next[-1];
  const SAnimKey& b = *next;
  const int step = frame - a.frame;
  const int steps = b.frame - a.frame;
  return {Between(a.x, b.x, step, steps), Between(a.y, b.y, step, steps)};
}

int LayerCell(const SAnimLayer& layer, int frame) {
  if (layer.cycle > 0) return frame / layer.cycle % layer.columns;
  const auto next = std::upper_bound(layer.keys.begin(), layer.keys.end(), frame,
                                     [](int f, const SAnimKey& key) { return f < key.frame; });
  return next == layer.keys.begin() ? next->cell : next[-1].cell;
}

namespace {

void DrawLayer(const SAnimRecipe& recipe, const SAnimLayer& layer, const SIndexedPicture& picture,
               int frame, std::vector<uint8_t>* pixels) {
  const SAnimPoint at = LayerPosition(layer, frame);
  const int cell_width = picture.width / layer.columns;
  const int cell_left = LayerCell(layer, frame) * cell_width;
  const int first_x = std::max(0, -at.x), last_x = std::min(cell_width, recipe.width - at.x);
  const int first_y = std::max(0, -at.y), last_y = std::min(picture.height, recipe.height - at.y);
  for (int y = first_y; y < last_y; ++y) {
    const uint8_t* source = &picture.pixels[static_cast<size_t>(y) * picture.width + cell_left];
    const size_t row = static_cast<size_t>(at.y + y) * recipe.width;
    for (int x = first_x; x < last_x; ++x)
      if (source[x] != kAnimKeyIndex) (*pixels)[row + at.x + x] = source[x];
  }
}

}  // namespace

std::vector<std::vector<uint8_t>> ComposeAnimation(const SAnimRecipe& recipe,
                                                   const std::vector<SIndexedPicture>& pictures) {
  std::vector<std::vector<uint8_t>> frames;
  for (int frame = 0; frame < recipe.frames; ++frame) {
    std::vector<uint8_t> pixels(static_cast<size_t>(recipe.width) * recipe.height,
                                static_cast<uint8_t>(recipe.fill));
    for (size_t i = 0; i < recipe.layers.size(); ++i) {
      const SAnimLayer& layer = recipe.layers[i];
      if (frame >= layer.first_shown && frame <= layer.last_shown)
        DrawLayer(recipe, layer, pictures[i], frame, &pixels);
    }
    frames.push_back(std::move(pixels));
  }
  return frames;
}
