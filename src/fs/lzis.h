// The "LZIS" block codec: LZ77 with canonical Huffman codes, close to
// Deflate (the stream is described at the top of lzis.cpp).
#pragma once

#include <cstdint>

#include "base/errors.h"

inline constexpr uint8_t kLzisDefaultLevel = 2;

// BADPARAMS for levels other than 1 to 3.
ErrCode LzisCheckLevel(uint8_t level);

// Decodes one block into `destination`. `*destination_length` is its
// capacity on entry and the decoded length on return. Output past the
// capacity is BUFFERTOOSMALL; a bad code, a copy from before the start of
// the block or a stream that does not end with its end symbol at its last
// byte is INVALIDFORMAT. Reads never pass `length` bytes of the source.
ErrCode LzisDecode(const uint8_t* source, uint32_t length, uint8_t* destination,
                   uint32_t* destination_length);

// Encodes one block at `level`; BUFFERTOOSMALL when the stream does not fit
// the capacity `*destination_length`. `*lead` as for LzssEncode; it may be
// null.
ErrCode LzisEncode(uint8_t level, const uint8_t* source, uint32_t length,
                   uint8_t* destination, uint32_t* destination_length,
                   int64_t* lead);
