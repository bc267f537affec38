// Files the tests of the visual kinds read: a font of blocks and small
// animations.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fs/file_service.h"
#include "fs/replace.h"
#include "gfx/anim_writer.h"
#include "gfx/font.h"
#include "ui/test_windows.h"

// Glyphs of 2 x 3 blocks, 3 pixels apart, lines 4 pixels high.
inline void WriteBlockFont(const std::string& path) {
  CFont font(4, 3, ' ');
  const uint8_t mask[] = {0xC0, 0xC0, 0xC0};
  font.AddGlyph(SGlyph{0, 0, 0, 0, 3}, mask);
  for (char c = '!'; c <= 'Z'; ++c) font.AddGlyph(SGlyph{2, 3, 0, 0, 3}, mask);
  std::unique_ptr<CFile> out = FsOpen(path.c_str(), 0x0F, nullptr);
  ASSERT_EQ(font.Write(out.get()), err::kOk);
}

// 2 x 2 frames at 10 frames per second: frame i is colours[i] at (0, 0) on 1.
inline void WriteAnim(const CTempDir& dir, const std::string& name,
                      const std::vector<uint8_t>& colours) {
  SAnimFormat format{2, 2, 10, 50};
  CPalette palette;
  palette.SetCount(256);
  std::vector<std::vector<uint8_t>> frames;
  for (uint8_t colour : colours) frames.push_back({colour, 1, 1, 1});
  ASSERT_EQ(WriteReplacing(dir.Join(name + ".ani").c_str(), 0,
                           [&](CFile& file) { return WriteAnimation(&file, format, palette, frames); }),
            err::kOk);
}
