// The "LZSS" block codec: LZ77 with fixed-width fields (the stream is
// described at the top of lzss.cpp).
//
// The parameter byte selects the field widths: its high nibble is the
// number of distance bits W (10 to 12), its low nibble the number of length
// bits N (1 to 5); any other byte gives NOSUCHBITLENGTHS.
#pragma once

#include <cstdint>

#include "base/errors.h"

inline constexpr uint8_t kLzssDefaultParameter = 0xC4;

ErrCode LzssCheckParameter(uint8_t parameter);

// Decodes one block into `destination`. `*destination_length` is its
// capacity on entry and the decoded length on return; a stream that would
// write past the capacity, or copy from before the start of the block, is
// INVALIDFORMAT. Reads never pass `length` bytes of the source.
ErrCode LzssDecode(uint8_t parameter, const uint8_t* source, uint32_t length,
                   uint8_t* destination, uint32_t* destination_length);

// Encodes one block; BUFFERTOOSMALL when the stream does not fit the
// capacity `*destination_length`. `*lead` receives by how many bytes the
// output of a decode runs ahead of the input it has consumed at most (see
// CCompressedFile for decoding in place); it may be null.
ErrCode LzssEncode(uint8_t parameter, const uint8_t* source, uint32_t length,
                   uint8_t* destination, uint32_t* destination_length,
                   int64_t* lead);
