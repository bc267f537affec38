#include "svg.h"

#include <cctype>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include <functional>
#include <system_error>
#include <thread>

#include "child_process.h"
#include "sha256.h"

namespace {

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
}

size_t SkipBlanks(std::string_view text, size_t at) {
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  return at;
}

bool Allowed(std::string_view value) { return value.starts_with("#") || value.starts_with("data:"); }

}  // namespace

size_t FindExternalHref(std::string_view svg, std::string* href) {
  constexpr std::string_view kName = "href";
  for (size_t at = svg.find(kName); at != std::string_view::npos; at = svg.find(kName, at + 1)) {
    // The attribute's whole name is "href" or ends in ":href".
    if (at > 0 && IsNameChar(svg[at - 1])) continue;
    if (at + kName.size() < svg.size() && IsNameChar(svg[at + kName.size()])) continue;
    size_t value = SkipBlanks(svg, at + kName.size());
    if (value >= svg.size() || svg[value] != '=') continue;
    value = SkipBlanks(svg, value + 1);
    if (value >= svg.size() || (svg[value] != '"' && svg[value] != '\'')) continue;
    const size_t end = svg.find(svg[value], value + 1);
    const size_t start = SkipBlanks(svg, value + 1);
    const std::string_view text = svg.substr(start, end == std::string_view::npos ? end : end - start);
    if (Allowed(text)) continue;
    *href = text;
    return start;
  }
  return std::string_view::npos;
}

bool RenderSvg(const std::string& svg, const std::string& png, std::string* message) {
  const std::string renderer = FindOnPath("rsvg-convert");
  if (renderer.empty()) {
    *message = kRsvgMissing;
    return false;
  }
  const std::string complaints = png + ".err";
  const int code = RunChild({renderer, "-o", png, svg}, "", complaints);
  std::string first_line;
  std::getline(std::ifstream(complaints), first_line);
  std::filesystem::remove(complaints);
  if (code == 0) return true;
  *message = first_line.empty() ? "rsvg-convert failed" : first_line;
  return false;
}

std::string RenderPath(const std::string& renders, std::string_view svg_bytes) {
  CSha256 sha;
  sha.Update(svg_bytes);
  return renders + "/" + sha.FinalHex() + ".png";
}

bool RenderSvgOnce(const std::string& svg, const std::string& png, std::string* message) {
  if (std::filesystem::exists(png)) return true;
  const std::string part = png + "." + std::to_string(getpid()) + "-" +
                           std::to_string(std::hash<std::thread::id>{}(std::this_thread::get_id()));
  const bool rendered = RenderSvg(svg, part, message);
  std::error_code error_code, ignored;
  if (rendered) std::filesystem::rename(part, png, error_code);
  std::filesystem::remove(part, ignored);
  if (rendered && error_code) *message = "cannot keep the rendering " + png;
  return rendered && !error_code;
}
