// BMP files: the reader, the plain writer and the compressed writer.
//
// The reader keeps "LZSS" pixels compressed in memory and decodes them when
// the bitmap's pixels are locked (see bmp.cpp), unless the decode-at-load
// switch asks for decoding at once.
#pragma once

#include <cstdint>
#include <memory>

#include "base/errors.h"
#include "gfx/bitmap.h"

class CFile;

// The compression value of the engine's compressed bitmaps: "LZSS" read as a
// little-endian 32-bit value.
inline constexpr uint32_t kBmpLzss = 0x53535A4C;
inline constexpr uint16_t kBmpLoadMode = 0xC1;
inline constexpr uint16_t kBmpSaveMode = 0x0F;

// What the two headers of a BMP file say.
struct SBmpHeader {
  uint32_t file_size = 0;
  uint32_t pixel_offset = 0;
  uint32_t info_size = 0;
  int32_t width = 0;
  int32_t height = 0;  // positive: bottom-up
  uint16_t bits = 0;
  uint32_t compression = 0;
  uint32_t image_size = 0;
  int32_t x_resolution = 0;
  uint32_t colours_used = 0;
  uint32_t colour_entries = 0;  // entries between the headers and the pixels
};

// Reads both headers from the start of the file and checks that they
// describe a bitmap this reader can hold: NOBMPFILE for a null file,
// BMP_BADFILEFORMAT for damaged or lying headers, BMPBADTYPE for bit counts
// other than 8, 16 and 24.
ErrCode ReadBmpHeader(CFile* file, SBmpHeader* header);

// A new bitmap, or null with `*error` set. With `header_only` the bitmap has
// the file's geometry and neither pixels nor palette.
std::unique_ptr<CBitmap> ReadBmp(CFile* file, ErrCode* error, bool header_only);
std::unique_ptr<CBitmap> LoadBmp(const char* path, ErrCode* error, bool header_only);

// A non-zero `order` first turns the bitmap's rows to that order.
ErrCode WriteBmp(CFile* file, CBitmap& bitmap, int order);
ErrCode SaveBmp(const char* path, CBitmap& bitmap, int order);
// Writes the plain form when the pixels do not get smaller.
ErrCode WriteBmpLzss(CFile* file, CBitmap& bitmap, int order, uint8_t param);
ErrCode SaveBmpLzss(const char* path, CBitmap& bitmap, int order, uint8_t param);

// Set by the application: decode compressed pixels when they are read.
void SetBmpDecodeAtLoad(bool decode);
