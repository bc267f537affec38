// BMP files.
//
// Layout (integers little-endian):
//
//   file header, 14 bytes
//     0   2  "BM" (also accepted as "MB")
//     2   4  file size
//     6   4  two reserved 16-bit zeros
//     10  4  offset of the pixel data
//   information header, S bytes (S >= 40; only the first 40 are read)
//     14  4  S
//     18  4  width
//     22  4  height: positive = rows stored bottom-up, negative = top-down
//     26  2  planes (1)
//     28  2  bits per pixel: 8, 16 (5-5-5) or 24
//     30  4  compression: "LZSS" for the engine's compressed pixels; any
//            other value is read as plain pixels
//     34  4  image size: with "LZSS", the compressed bytes after the colours
//     38  4  horizontal resolution: with "LZSS", the codec's parameter byte
//            (0 reads as 0xC4)
//     42  4  vertical resolution
//     46  4  colours used
//     50  4  colours important
//   colour table: (pixel offset - 14 - S) / 4 entries of blue, green, red, 0;
//            kept as the palette of 8-bit bitmaps, skipped otherwise
//   pixels at the pixel offset: rows padded to 4 bytes, in the header's row
//            order; with "LZSS" one stream decoding to exactly that many bytes
//
// Compressed pixels stay compressed in memory. Their pixel block is a custom
// handle whose handler decodes on the first lock, preferably into the one
// decode buffer the process shares; that buffer remembers whose pixels it
// holds, so locking the same bitmap again costs nothing until another
// compressed bitmap takes the buffer.
#include "gfx/bmp.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "base/byte_order.h"
#include "fs/file.h"
#include "fs/file_service.h"
#include "fs/lzss.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;
// The shared decode buffer holds a full 640 x 480 8-bit screen.
constexpr uint32_t kSharedDecodeSize = 640 * 480;
// An LZSS token of at least 12 bits yields at most 33 bytes.
constexpr uint64_t kLzssMaxExpansion = 22;
// The stored stream: compressed size, decoded size, parameter byte, then the
// compressed bytes.
constexpr uint32_t kStreamPrefix = 12;

bool g_decode_at_load = false;

ErrCode ReadExactly(CFile* file, void* buffer, uint32_t length) {
  uint32_t count = 0;
  const ErrCode error = file->Read(buffer, length, &count);
  return error || count != length ? err::kBmpBadFileFormat : err::kOk;
}

uint16_t TypeOfBits(uint16_t bits) {
  switch (bits) {
    case 8: return kPixel8;
    case 16: return kPixel555;
    case 24: return kPixel24;
    default: return 0;
  }
}

// Decodes a stored stream into `pixels` (`size` bytes), which must come out
// exactly full.
ErrCode DecodeStream(const uint8_t* stream, uint8_t* pixels, uint32_t size) {
  const uint32_t compressed = GetLe32(stream);
  const uint8_t param = stream[8];
  std::memset(pixels, 0, size);
  uint32_t decoded = size;
  if (ErrCode error = LzssDecode(param, stream + kStreamPrefix, compressed, pixels, &decoded))
    return error;
  return decoded == size ? err::kOk : err::kBmpBadFileFormat;
}

// The compressed pixels of one bitmap, owned by its custom handle.
struct SLzssPixels {
  CHandle stream;
  std::unique_ptr<uint8_t[]> private_pixels;  // while locked outside the shared buffer
};

struct SSharedDecode {
  std::unique_ptr<uint8_t[]> buffer;
  const SLzssPixels* holder = nullptr;  // whose pixels the buffer holds
  bool busy = false;                    // the holder is locked
};
SSharedDecode g_shared;

intptr_t MakeAvailable(SHandleEntry* entry, SLzssPixels* pixels) {
  if (g_shared.holder == pixels) {
    g_shared.busy = true;
    entry->pointer = g_shared.buffer.get();
    return 1;
  }
  CHandleLock stream(pixels->stream.get());
  if (!stream) return 0;
  const uint8_t* bytes = stream.as<uint8_t>();
  const uint32_t size = GetLe32(bytes + 4);
  uint8_t* target = nullptr;
  if (!g_shared.busy && size <= kSharedDecodeSize) {
    if (!g_shared.buffer) g_shared.buffer.reset(new (std::nothrow) uint8_t[kSharedDecodeSize]);
    target = g_shared.buffer.get();
    g_shared.holder = nullptr;
  }
  if (!target) {
    pixels->private_pixels.reset(new (std::nothrow) uint8_t[size ? size : 1]);
    target = pixels->private_pixels.get();
    if (!target) return 0;
  }
  if (DecodeStream(bytes, target, size)) {
    pixels->private_pixels.reset();
    return 0;
  }
  if (target == g_shared.buffer.get()) {
    g_shared.holder = pixels;
    g_shared.busy = true;
  }
  entry->pointer = target;
  return 1;
}

intptr_t LzssPixelsHandler(EHandleOp operation, SHandleEntry* entry, uintptr_t) {
  auto* pixels = reinterpret_cast<SLzssPixels*>(entry->handler_data);
  switch (operation) {
    case EHandleOp::kMakeAvailable:
      return MakeAvailable(entry, pixels);
    case EHandleOp::kReleased:
      if (pixels->private_pixels)
        pixels->private_pixels.reset();
      else if (g_shared.holder == pixels)
        g_shared.busy = false;
      return 1;
    case EHandleOp::kFree:
      if (g_shared.holder == pixels) {
        g_shared.holder = nullptr;
        g_shared.busy = false;
      }
      delete pixels;
      return 1;
    case EHandleOp::kResize:
      return 0;
  }
  return 0;
}

// Reads the compressed pixels: decoded at once into a plain pixel block, or
// kept as a stream behind the lazy decoder.
ErrCode ReadLzssPixels(CFile* file, const SBmpHeader& header, CBitmap* bitmap,
                       std::unique_ptr<CPalette> palette, int order) {
  const uint32_t compressed = header.image_size;
  const uint32_t size = CBitmap::RowBytes(header.bits, static_cast<uint16_t>(header.width)) *
                        static_cast<uint32_t>(std::abs(header.height));
  if (uint64_t{size} > kLzssMaxExpansion * compressed + 64) return err::kBmpBadFileFormat;
  if (header.x_resolution < 0 || header.x_resolution > 0xFF) return err::kBmpBadFileFormat;
  const uint8_t param =
      header.x_resolution ? static_cast<uint8_t>(header.x_resolution) : kLzssDefaultParameter;

  CHandle stream(AllocHandle(kStreamPrefix + compressed));
  if (!stream) return err::kBmpNoMem;
  {
    CHandleLock lock(stream.get());
    if (!lock) return err::kLockFail;
    uint8_t* bytes = lock.as<uint8_t>();
    PutLe32(bytes, compressed);
    PutLe32(bytes + 4, size);
    PutLe32(bytes + 8, param);
    if (ErrCode error = ReadExactly(file, bytes + kStreamPrefix, compressed)) return error;
  }
  const uint16_t width = static_cast<uint16_t>(header.width);
  const uint16_t height = static_cast<uint16_t>(std::abs(header.height));
  const uint16_t type = TypeOfBits(header.bits);
  if (g_decode_at_load) {
    if (ErrCode error = bitmap->Create(width, height, type, std::move(palette), order, 0))
      return error;
    CHandleLock source(stream.get());
    CHandleLock target(bitmap->PixelBlock());
    if (!source || (size && !target)) return err::kLockFail;
    return size ? DecodeStream(source.as<uint8_t>(), target.as<uint8_t>(), size) : err::kOk;
  }
  auto* pixels = new (std::nothrow) SLzssPixels{std::move(stream), nullptr};
  if (!pixels) return err::kBmpNoMem;
  CHandle block(AllocCustomHandle(LzssPixelsHandler, reinterpret_cast<uintptr_t>(pixels)));
  if (!block) {
    delete pixels;
    return err::kBmpNoMem;
  }
  return bitmap->Adopt(width, height, type, std::move(palette), order, std::move(block));
}

ErrCode ReadBitmap(CFile* file, bool header_only, CBitmap* bitmap) {
  SBmpHeader header;
  if (ErrCode error = ReadBmpHeader(file, &header)) return error;
  const uint16_t width = static_cast<uint16_t>(header.width);
  const uint16_t height = static_cast<uint16_t>(std::abs(header.height));
  const uint16_t type = TypeOfBits(header.bits);
  const int order = header.height > 0 ? kBottomUp : kTopDown;
  if (header_only) return bitmap->Adopt(width, height, type, nullptr, order, CHandle());

  std::unique_ptr<CPalette> palette;
  if (header.colour_entries && header.bits == 8) {
    palette = std::make_unique<CPalette>();
    if (ErrCode error = palette->SetCount(header.colour_entries)) return error;
    std::vector<SPalEntry> entries(header.colour_entries);
    if (ErrCode error = ReadExactly(file, entries.data(), 4 * header.colour_entries))
      return error;
    for (uint32_t i = 0; i < header.colour_entries; ++i) palette->SetEntry(i, entries[i]);
  }
  if (file->Seek(static_cast<int32_t>(header.pixel_offset), kSeekSet))
    return err::kBmpBadFileFormat;
  if (header.compression == kBmpLzss)
    return ReadLzssPixels(file, header, bitmap, std::move(palette), order);

  const uint32_t size = CBitmap::RowBytes(header.bits, width) * height;
  if (size > header.file_size - header.pixel_offset) return err::kBmpBadFileFormat;
  if (ErrCode error = bitmap->Create(width, height, type, std::move(palette), order, 0))
    return error;
  CHandleLock pixels(bitmap->PixelBlock());
  if (size && !pixels) return err::kLockFail;
  return size ? ReadExactly(file, pixels.get(), size) : err::kOk;
}

// Writes the headers, the palette and `pixels` (`size` bytes).
ErrCode WriteFile(CFile* file, const CBitmap& bitmap, uint32_t compression,
                  uint8_t param, const uint8_t* pixels, uint32_t size) {
  const uint32_t entries = bitmap.Palette() ? bitmap.Palette()->Count() : 0;
  uint8_t headers[kHeadersSize] = {};
  headers[0] = 'B';
  headers[1] = 'M';
  PutLe32(headers + 2, kHeadersSize + 4 * entries + size);
  PutLe32(headers + 10, kHeadersSize + 4 * entries);
  PutLe32(headers + 14, kInfoHeaderSize);
  PutLe32(headers + 18, bitmap.Width());
  const int32_t height = bitmap.Height();
  PutLe32(headers + 22, static_cast<uint32_t>(bitmap.Stride() >= 0 ? -height : height));
  PutLe16(headers + 26, 1);
  PutLe16(headers + 28, bitmap.Bits());
  PutLe32(headers + 30, compression);
  PutLe32(headers + 34, compression ? size : 0);
  PutLe32(headers + 38, compression ? param : 0);
  PutLe32(headers + 46, entries);
  PutLe32(headers + 50, entries);
  const auto write = [file](const void* bytes, uint32_t length) {
    uint32_t count = 0;
    const ErrCode error = file->Write(bytes, length, &count);
    return error ? error : count == length ? err::kOk : err::kWriteFail;
  };
  if (ErrCode error = write(headers, kHeadersSize)) return error;
  if (entries)
    if (ErrCode error = write(bitmap.Palette()->Entries(), 4 * entries)) return error;
  return size ? write(pixels, size) : err::kOk;
}

ErrCode WriteEither(CFile* file, CBitmap& bitmap, int order, bool compress, uint8_t param) {
  if (!file) return err::kNoBmpFile;
  if (order)
    if (ErrCode error = bitmap.SetRowOrder(order)) return error;
  const uint32_t size = bitmap.ByteCount();
  CHandleLock pixels(bitmap.PixelBlock());
  if (size && !pixels) return err::kLockFail;
  const uint8_t* bytes = pixels.as<uint8_t>();
  if (compress && size) {
    std::unique_ptr<uint8_t[]> packed(new (std::nothrow) uint8_t[size]);
    if (!packed) return err::kBmpNoMem;
    uint32_t packed_size = size;
    const ErrCode error = LzssEncode(param, bytes, size, packed.get(), &packed_size, nullptr);
    if (!error && packed_size < size)
      return WriteFile(file, bitmap, kBmpLzss, param, packed.get(), packed_size);
    if (error && error != err::kBufferTooSmall) return error;
  }
  return WriteFile(file, bitmap, 0, 0, bytes, size);
}

ErrCode SaveEither(const char* path, CBitmap& bitmap, int order, bool compress,
                   uint8_t param) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(path, kBmpSaveMode, &error);
  if (!file) return error ? error : err::kNoBmpFile;
  if ((error = WriteEither(file.get(), bitmap, order, compress, param))) return error;
  return file->Flush();
}

}  // namespace

ErrCode ReadBmpHeader(CFile* file, SBmpHeader* header) {
  if (!file) return err::kNoBmpFile;
  uint8_t bytes[kHeadersSize];
  if (ErrCode error = ReadExactly(file, bytes, kFileHeaderSize + 4)) return error;
  if (!(bytes[0] == 'B' && bytes[1] == 'M') && !(bytes[0] == 'M' && bytes[1] == 'B'))
    return err::kBmpBadFileFormat;
  header->file_size = file->GetSize();
  header->pixel_offset = GetLe32(bytes + 10);
  header->info_size = GetLe32(bytes + 14);
  if (header->info_size < kInfoHeaderSize || header->info_size > header->file_size)
    return err::kBmpBadFileFormat;
  if (ErrCode error = ReadExactly(file, bytes + kFileHeaderSize + 4, kInfoHeaderSize - 4))
    return error;
  header->width = static_cast<int32_t>(GetLe32(bytes + 18));
  header->height = static_cast<int32_t>(GetLe32(bytes + 22));
  header->bits = GetLe16(bytes + 28);
  header->compression = GetLe32(bytes + 30);
  header->image_size = GetLe32(bytes + 34);
  header->x_resolution = static_cast<int32_t>(GetLe32(bytes + 38));
  header->colours_used = GetLe32(bytes + 46);

  const uint64_t table_start = uint64_t{kFileHeaderSize} + header->info_size;
  if (header->pixel_offset < table_start || header->pixel_offset > header->file_size)
    return err::kBmpBadFileFormat;
  header->colour_entries = static_cast<uint32_t>((header->pixel_offset - table_start) / 4);
  if (!TypeOfBits(header->bits)) return err::kBmpBadType;
  if (header->bits == 8 && header->colour_entries > 256) return err::kBmpBadFileFormat;
  if (header->width <= 0 || header->width > 0xFFFF || header->height == 0 ||
      header->height < -0xFFFF || header->height > 0xFFFF ||
      CBitmap::RowBytes(header->bits, static_cast<uint16_t>(header->width)) > 0x7FFF)
    return err::kBmpBadFileFormat;
  if (header->compression == kBmpLzss &&
      header->image_size > header->file_size - header->pixel_offset)
    return err::kBmpBadFileFormat;
  return file->Seek(static_cast<int32_t>(table_start), kSeekSet) ? err::kBmpBadFileFormat
                                                                 : err::kOk;
}

std::unique_ptr<CBitmap> ReadBmp(CFile* file, ErrCode* error, bool header_only) {
  auto bitmap = std::make_unique<CBitmap>();
  ErrCode result = ReadBitmap(file, header_only, bitmap.get());
  if (error) *error = result;
  if (result) bitmap.reset();
  return bitmap;
}

std::unique_ptr<CBitmap> LoadBmp(const char* path, ErrCode* error, bool header_only) {
  ErrCode result = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(path, kBmpLoadMode, &result);
  if (!file) {
    if (error) *error = result ? result : err::kNoBmpFile;
    return nullptr;
  }
  return ReadBmp(file.get(), error, header_only);
}

ErrCode WriteBmp(CFile* file, CBitmap& bitmap, int order) {
  return WriteEither(file, bitmap, order, false, 0);
}

ErrCode SaveBmp(const char* path, CBitmap& bitmap, int order) {
  return SaveEither(path, bitmap, order, false, 0);
}

ErrCode WriteBmpLzss(CFile* file, CBitmap& bitmap, int order, uint8_t param) {
  return WriteEither(file, bitmap, order, true, param);
}

ErrCode SaveBmpLzss(const char* path, CBitmap& bitmap, int order, uint8_t param) {
  return SaveEither(path, bitmap, order, true, param);
}

void SetBmpDecodeAtLoad(bool decode) { g_decode_at_load = decode; }
