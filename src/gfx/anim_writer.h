// Writing "RLM" animation files (the layout is described in anim.cpp).
//
// Each chunk starts with a key frame; every other frame becomes a record over
// the rectangle that changed, with the unchanged pixels inside it coded as a
// transparent index the changed pixels do not use. Frames equal to the one
// before lengthen the previous record.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/errors.h"
#include "gfx/palette.h"

class CFile;

struct SAnimFormat {
  uint16_t width = 0;
  uint16_t height = 0;
  uint32_t frames_per_second = 0;
  uint32_t frames_per_chunk = 50;
};

// `frames` are width x height palette indices each, top row first. The
// palette gives up to 256 entries (missing ones are written black).
ErrCode WriteAnimation(CFile* file, const SAnimFormat& format, const CPalette& palette,
                       std::span<const std::vector<uint8_t>> frames);

// Run-length codes `count` pixels of one row.
void EncodeAnimRow(const uint8_t* pixels, int count, std::vector<uint8_t>* out);
