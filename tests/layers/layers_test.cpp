// The layering rule: a file under src/<layer>/ includes only headers of its
// own layer and of the layers below it; tools sit on top of every layer. The
// order comes from the build (TV_LAYERS), where it is written once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Layers() {
  std::vector<std::string> layers;
  std::istringstream list(TV_LAYERS);
  for (std::string layer; std::getline(list, layer, ',');) layers.push_back(layer);
  return layers;
}

// The rank of a layer name, or -1 when the name is not a layer.
int RankOf(const std::vector<std::string>& layers, const std::string& name) {
  const auto found = std::find(layers.begin(), layers.end(), name);
  return found == layers.end() ? -1 : static_cast<int>(found - layers.begin());
}

// The rank of a file by its place under `root`: src/<layer>/... or tools/...
int RankOfFile(const std::vector<std::string>& layers, const fs::path& relative) {
  auto part = relative.begin();
  if (part == relative.end()) return -1;
  if (*part == "tools") return static_cast<int>(layers.size());
  if (*part != "src" || ++part == relative.end()) return -1;
  return RankOf(layers, part->string());
}

// "file:line: includes <header> of layer <layer> above <own layer>" for every
// upward include under root/src and root/tools.
std::vector<std::string> UpwardIncludes(const fs::path& root) {
  const std::vector<std::string> layers = Layers();
  static const std::regex kInclude(R"(^\s*#\s*include\s*"([^"/]+)/[^"]*")");
  std::vector<std::string> found;
  for (const char* top : {"src", "tools"}) {
    if (!fs::exists(root / top)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
      const fs::path& path = entry.path();
      if (!entry.is_regular_file() ||
          (path.extension() != ".cpp" && path.extension() != ".h"))
        continue;
      const fs::path relative = fs::relative(path, root);
      const int own = RankOfFile(layers, relative);
      std::ifstream in(path);
      std::string line;
      for (int number = 1; std::getline(in, line); ++number) {
        std::smatch match;
        if (!std::regex_search(line, match, kInclude)) continue;
        const int rank = RankOf(layers, match[1]);
        if (rank <= own) continue;
        std::ostringstream text;
        text << relative.generic_string() << ":" << number << ": includes \""
             << match[1] << "/...\" from a higher layer";
        found.push_back(text.str());
      }
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST(LayersTest, NoFileIncludesALayerAboveItsOwn) {
  const std::vector<std::string> found = UpwardIncludes(TV_SOURCE_DIR);
  std::string report;
  for (const std::string& line : found) report += line + "\n";
  EXPECT_TRUE(found.empty()) << report;
}

// The check itself, on a small tree with one upward include in the file
// system layer and allowed ones around it.
TEST(LayersTest, AnUpwardIncludeIsNamedWithFileAndLine) {
  const std::vector<std::string> expected = {
      "src/fs/upward.cpp:4: includes \"gfx/...\" from a higher layer",
  };
  EXPECT_EQ(UpwardIncludes(TV_BAD_TREE_DIR), expected);
}

}  // namespace
