// The game's SVG pictures: rendering them, and checking that they refer
// only inside themselves (every href, plain or xlink:, must start with "#"
// or "data:").
#pragma once

#include <string>
#include <string_view>

// The byte offset of the first other href's value, or npos; `href` gets it.
size_t FindExternalHref(std::string_view svg, std::string* href);

// What the build says when the SVG renderer is missing.
inline constexpr const char* kRsvgMissing = "rsvg-convert not found (Debian package librsvg2-bin)";

// Renders the picture at its own size into a PNG file with rsvg-convert;
// false with `message` (kRsvgMissing, or the renderer's first line of
// complaint). Safe to call from several threads.
bool RenderSvg(const std::string& svg, const std::string& png, std::string* message);

// Where the folder of renderings `renders` keeps the PNG of an SVG with
// these bytes: named by their SHA-256, so that each is rendered once.
std::string RenderPath(const std::string& renders, std::string_view svg_bytes);
// RenderSvg unless `png` exists already. The picture goes to a file of this
// process and thread first, so that no one reads half of it.
bool RenderSvgOnce(const std::string& svg, const std::string& png, std::string* message);
