// The LZSS streams inside compressed bitmaps: one stream of the compressed
// files' LZSS codec, with that codec's parameter byte (high nibble: distance
// bits 10-12, low nibble: length bits 1-5).
//
// These two functions are the bitmaps' whole use of the codec (fs/lzss.h).
#pragma once

#include <cstdint>

#include "app/base/errors.h"

// The parameter a compressed bitmap is read with when it stores 0.
inline constexpr uint8_t kDefaultLzssParam = 0xC4;
// Bytes past the end of a stream that the decoder may read (and ignores);
// callers keep that many readable bytes after `source`.
inline constexpr uint32_t kLzssSourceSlack = 3;

// Decodes the stream of `length` bytes into `destination`, which holds
// `capacity` bytes, and stores the decoded length in `*decoded`. Never writes
// past `capacity`: a stream that would decode to more gives INVALIDFORMAT.
// Bytes the stream skips keep what `destination` held. An invalid parameter
// gives NOSUCHBITLENGTHS.
ErrCode DecodeLzssStream(const uint8_t* source, uint32_t length, uint8_t param,
                         uint8_t* destination, uint32_t capacity, uint32_t* decoded);

// Encodes `length` bytes into `destination`. `*size` is in/out: the
// destination's capacity, then the encoded length. An encoding that does not
// fit the capacity gives BUFFERTOOSMALL; an invalid parameter
// NOSUCHBITLENGTHS.
ErrCode EncodeLzssStream(const uint8_t* source, uint32_t length, uint8_t param,
                         uint8_t* destination, uint32_t* size);
