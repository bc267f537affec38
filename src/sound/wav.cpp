#include "sound/wav.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "fs/file.h"
#include "sound/adpcm.h"

namespace {

constexpr uint32_t kFixedHeaderSize = 36;
constexpr uint32_t kFormatChunkStart = 20;
constexpr uint32_t kChunkHeaderSize = 8;

// A header that ends early is not a WAV the engine takes.
ErrCode ReadHeaderBytes(CFile* file, uint32_t position, uint8_t* buffer,
                        uint32_t length) {
  uint32_t count = 0;
  const ErrCode error = file->ReadAt(buffer, position, length, &count);
  if (error == err::kEof || (error == err::kOk && count < length))
    return err::kUnknownError;
  return error;
}

}  // namespace

ErrCode ReadWavHeader(CFile* file, SWavInfo* info) {
  uint8_t header[kFixedHeaderSize];
  if (ErrCode error = ReadHeaderBytes(file, 0, header, sizeof header))
    return error;
  const uint32_t format_size = GetLe32(header + 16);
  const uint16_t tag = GetLe16(header + 20);
  const uint16_t channels = GetLe16(header + 22);
  const uint32_t rate = GetLe32(header + 24);
  const uint16_t bits = GetLe16(header + 34);
  if (std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVEfmt ", 8) != 0 || format_size < 16 ||
      (channels != 1 && channels != 2) || rate < kWavMinRate ||
      rate > kWavMaxRate || (bits != 8 && bits != 16) ||
      (tag == kAdpcmFormatTag && bits != 16))
    return err::kUnknownError;

  const uint64_t file_size = file->GetSize();
  uint64_t position = uint64_t{kFormatChunkStart} + format_size + (format_size & 1);
  for (;;) {
    uint8_t chunk[kChunkHeaderSize];
    if (position + kChunkHeaderSize > file_size) return err::kUnknownError;
    if (ErrCode error = ReadHeaderBytes(file, static_cast<uint32_t>(position),
                                        chunk, sizeof chunk))
      return error;
    const uint32_t size = GetLe32(chunk + 4);
    position += kChunkHeaderSize;
    if (std::memcmp(chunk, "data", 4) == 0) {
      info->adpcm = tag == kAdpcmFormatTag;
      info->format = MakeSoundFormat(rate, bits, channels);
      info->data_start = static_cast<uint32_t>(position);
      info->data_size =
          static_cast<uint32_t>(std::min<uint64_t>(size, file_size - position));
      return err::kOk;
    }
    position += uint64_t{size} + (size & 1);
  }
}
