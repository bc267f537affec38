#include "game_plan.h"

#include <strings.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "anim_recipe.h"
#include "pack_mounts.h"
#include "sha256.h"
#include "source_path.h"
#include "store/hash_ini.h"
#include "svg.h"
#include "text_position.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kKindNames[] = {"picture", "animation", "font", "world"};
constexpr const char* kOutputExtensions[] = {".bmp", ".ani", ".fnt", ".prj"};
constexpr const char* kToolIni = "tool.ini";
constexpr const char* kFontsIni = "fonts.ini";
// Characters that would cut a mount line of tool.ini short.
constexpr const char* kUnmountable = ";=[]";

bool ReadBytes(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), {});
  return !in.bad();
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() &&
         strcasecmp(text.data() + text.size() - end.size(), end.data()) == 0;
}

std::string WithExtension(const std::string& name, const char* extension) {
  return name.substr(0, name.rfind('.')) + extension;
}

// A job's key: the SHA-256 of the tool's version, the recipe's kind and
// every named input that its output depends on.
class CJobKey {
 public:
  CJobKey(const std::string& version, EGameJob kind) {
    Add("version", version);
    Add("kind", kKindNames[static_cast<int>(kind)]);
  }
  void Add(std::string_view name, std::string_view bytes) {
    const std::string head = std::string(name) + '\0' + std::to_string(bytes.size()) + '\0';
    m_sha.Update(head);
    m_sha.Update(bytes);
  }
  std::string Hex() { return m_sha.FinalHex(); }

 private:
  CSha256 m_sha;
};

class CPlanner {
 public:
  CPlanner(const SGameFolders& folders, SGamePlan* plan, std::vector<std::string>* errors)
      : m_folders(folders), m_plan(plan), m_errors(errors) {}

  void Run() {
    Scan();
    std::vector<std::string> world_files;
    bool tool_ini = false, fonts_ini = false;
    for (const std::string& file : m_files) {
      const size_t slash = file.find('/');
      if (slash == std::string::npos) {
        tool_ini |= file == kToolIni;
        fonts_ini |= file == kFontsIni;
        continue;
      }
      const std::string top = file.substr(0, slash), rest = file.substr(slash + 1);
      if (top == "world") {
        world_files.push_back(file);
      } else if (EndsWithIgnoringCase(rest, ".svg")) {
        Picture(file, top, rest);
      } else if (top == "anim" && rest.find('/') == std::string::npos &&
                 EndsWithIgnoringCase(rest, ".ini")) {
        Animation(file, top, rest);
      } else if (top != "tests") {
        m_plan->packs[top].push_back({rest, Full(file)});
      }
    }
    if (fonts_ini) Fonts();
    if (!world_files.empty()) World(world_files);
    if (!tool_ini) return Fail(kToolIni, {}, "missing: the game's configuration");
    std::string text;
    if (!Read(kToolIni, &text)) return;
    std::vector<std::string> folders;
    for (const auto& [folder, files] : m_plan->packs) {
      if (folder.find_first_of(kUnmountable) != std::string::npos)
        Fail(folder, {}, "a folder name tool.ini cannot mount (no \";=[]\")");
      folders.push_back(folder);
    }
    m_plan->tool_ini = AddPackMounts(text, folders);
  }

 private:
  void Fail(const std::string& file, STextPosition at, const std::string& text) {
    m_errors->push_back(LocatedError(file, at, text));
  }
  std::string Full(const std::string& relative) const { return m_folders.source + "/" + relative; }
  bool Read(const std::string& relative, std::string* bytes) {
    if (ReadBytes(Full(relative), bytes)) return true;
    Fail(relative, {}, "cannot be read");
    return false;
  }

  // Every file below the source folder but hidden ones, sorted; symbolic
  // links are refused, since they may lead out of it.
  void Scan() {
    const fs::path root(m_folders.source);
    std::error_code error_code;
    for (fs::recursive_directory_iterator it(root, error_code), end; !error_code && it != end;
         it.increment(error_code)) {
      const std::string relative = it->path().lexically_relative(root).generic_string();
      if (it->is_symlink(error_code)) {
        Fail(relative, {}, "a symbolic link: every file must lie inside the source folder");
      } else if (it->path().filename().string().starts_with(".")) {
        it.disable_recursion_pending();
      } else if (it->is_regular_file(error_code)) {
        m_files.push_back(relative);
      }
    }
    if (error_code) Fail(m_folders.source, {}, "cannot be listed");
    std::sort(m_files.begin(), m_files.end());
  }

  const std::string& Palette() {
    if (!m_palette_read && !Read(kGamePalette, &m_palette)) m_palette.clear();
    m_palette_read = true;
    return m_palette;
  }

  std::string AddJob(EGameJob kind, const std::string& source, std::vector<std::string> args,
                     CJobKey& key) {
    SGameJob job{kind, source, std::move(args),
                 m_folders.cache + "/" + key.Hex() + kOutputExtensions[static_cast<int>(kind)]};
    m_plan->jobs.push_back(std::move(job));
    return m_plan->jobs.back().output;
  }

  void Picture(const std::string& file, const std::string& top, const std::string& rest) {
    std::string svg, href;
    if (!Read(file, &svg)) return;
    const size_t at = FindExternalHref(svg, &href);
    if (at != std::string::npos)
      return Fail(file, PositionOf(svg, at), "an external reference \"" + href + "\"");
    CJobKey key(m_folders.tool_version, EGameJob::kPicture);
    key.Add(kGamePalette, Palette());
    key.Add("lzss", kGameLzss);
    key.Add("svg", svg);
    const std::string render = RenderPath(m_folders.cache, svg);
    m_plan->renders.insert(render);
    const std::string output = AddJob(EGameJob::kPicture, file, {Full(file), render}, key);
    m_plan->packs[top].push_back({WithExtension(rest, ".bmp"), output});
  }

  void Animation(const std::string& file, const std::string& top, const std::string& rest) {
    std::string text;
    if (!Read(file, &text)) return;
    SAnimRecipe recipe;
    SRecipeError error;
    if (!ParseAnimRecipe(text, &recipe, &error)) return Fail(file, error.at, error.text);
    CJobKey key(m_folders.tool_version, EGameJob::kAnimation);
    key.Add(kGamePalette, Palette());
    key.Add("recipe", text);
    for (const SAnimLayer& layer : recipe.layers) {
      std::string path, svg;
      if (!SourcePathInside(m_folders.source, layer.svg, &path) || !ReadBytes(path, &svg))
        return Fail(file, FindIniValue(text, layer.section, "svg"),
                    "svg " + layer.svg + " is not a file inside the source folder");
      key.Add(layer.svg, svg);
      m_plan->renders.insert(RenderPath(m_folders.cache, svg));
    }
    const std::string output = AddJob(EGameJob::kAnimation, file, {Full(file)}, key);
    m_plan->packs[top].push_back({WithExtension(rest, ".ani"), output});
  }

  // One font per section of fonts.ini, named by the file it becomes.
  void Fonts() {
    std::string text;
    if (!Read(kFontsIni, &text)) return;
    CHashIni ini(8, 32);
    ini.LoadText(text);
    for (const SIniSection* section = ini.FirstSection(); section; section = section->next)
      Font(text, ini, section->name);
  }

  void Font(const std::string& text, const CHashIni& ini, const std::string& name) {
    const auto fail = [&](const char* key, const std::string& what) {
      Fail(kFontsIni, FindIniValue(text, name, key), what);
    };
    const size_t slash = name.find('/');
    std::string checked, ttf_bytes;
    if (slash == std::string::npos || !SourcePathInside(m_folders.source, name, &checked))
      return fail("", "a font's section names the file it becomes, in a folder");
    const char* ttf = ini.GetString(name.c_str(), "ttf");
    const char* size = ini.GetString(name.c_str(), "size");
    const char* licence = ini.GetString(name.c_str(), "licence");
    const char* licence_name = ini.GetString(name.c_str(), "licence_name");
    const std::string_view size_text = size ? size : "";
    int pixels = 0;
    const auto [end, ec] =
        std::from_chars(size_text.data(), size_text.data() + size_text.size(), pixels);
    if (ec != std::errc() || end != size_text.data() + size_text.size() || pixels < 4 || pixels > 128)
      return fail("size", "size must be a pixel height from 4 to 128");
    if (!ttf || !ReadBytes(ttf, &ttf_bytes)) return fail("ttf", "ttf must name a readable font file");
    CJobKey key(m_folders.tool_version, EGameJob::kFont);
    key.Add("size", size);
    key.Add("ttf", ttf_bytes);
    const std::string output = AddJob(EGameJob::kFont, kFontsIni, {ttf, size}, key);
    m_plan->packs[name.substr(0, slash)].push_back({name.substr(slash + 1), output});
    if (!licence) return;
    const std::string plain = licence_name ? licence_name : "";
    if (plain.empty() || plain.find_first_of("/\\") != std::string::npos || plain == "." ||
        plain == "..")
      return fail("licence_name", "licence_name must be a plain file name");
    if (!fs::is_regular_file(licence)) return fail("licence", "licence must name a file");
    m_plan->loose.push_back({name.substr(0, name.rfind('/') + 1) + plain, licence});
  }

  void World(const std::vector<std::string>& files) {
    CJobKey key(m_folders.tool_version, EGameJob::kWorld);
    for (const std::string& file : files) {
      std::string bytes;
      if (!Read(file, &bytes)) return;
      key.Add(file, bytes);
    }
    std::string name = fs::absolute(m_folders.source).lexically_normal().generic_string();
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    m_plan->project = fs::path(name).filename().string() + ".prj";
    m_plan->project_file = AddJob(EGameJob::kWorld, "world", {Full("world")}, key);
  }

  const SGameFolders& m_folders;
  SGamePlan* m_plan;
  std::vector<std::string>* m_errors;
  std::vector<std::string> m_files;
  std::string m_palette;
  bool m_palette_read = false;
};

}  // namespace

bool PlanGame(const SGameFolders& folders, SGamePlan* plan, std::vector<std::string>* errors) {
  CPlanner planner(folders, plan, errors);
  planner.Run();
  return errors->empty();
}
