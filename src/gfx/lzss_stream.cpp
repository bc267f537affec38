#include "gfx/lzss_stream.h"

#include "fs/lzss.h"

ErrCode DecodeLzssStream(const uint8_t* source, uint32_t length, uint8_t param,
                         uint8_t* destination, uint32_t capacity, uint32_t* decoded) {
  *decoded = capacity;
  const ErrCode error = LzssDecode(param, source, length, destination, decoded);
  if (error) *decoded = 0;
  return error;
}

ErrCode EncodeLzssStream(const uint8_t* source, uint32_t length, uint8_t param,
                         uint8_t* destination, uint32_t* size) {
  const ErrCode error = LzssEncode(param, source, length, destination, size, nullptr);
  if (error) *size = 0;
  return error;
}
