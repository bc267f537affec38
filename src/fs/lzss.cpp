// The "LZSS" stream of one block. Bits are read most significant first and
// tokens follow each other without alignment:
//
//   1, then 8 bits       a literal byte
//   0, then W bits D,    a copy of L + 2 bytes (2 to 2^N + 1) from 2^W - D
//   then N bits L        bytes back, byte by byte (so it may overlap its own
//                        output); D = 0 instead skips L + 2 output bytes,
//                        which keep what the buffer held
//
// Decoding stops as soon as the byte holding the next token's first bit is
// the block's last byte or beyond; the decoded length is the output position
// reached. An empty source decodes to nothing. So an encoder ends the stream
// with the byte that holds its last bit, plus one zero byte when the bits
// end exactly on a byte boundary.
//
// The encoder finds matches with a binary search tree of the window's
// positions ordered by the bytes that follow them. A position whose match
// runs the full length replaces the older equal node, which keeps the tree
// small on repetitive data.
#include "fs/lzss.h"

#include <cstring>
#include <vector>

#include "fs/bit_stream.h"

namespace {

struct SWidths {
  int distance_bits;
  int length_bits;
};

SWidths WidthsOf(uint8_t parameter) {
  return {parameter >> 4, parameter & 0x0F};
}

}  // namespace

ErrCode LzssCheckParameter(uint8_t parameter) {
  const SWidths widths = WidthsOf(parameter);
  if (widths.distance_bits < 10 || widths.distance_bits > 12 ||
      widths.length_bits < 1 || widths.length_bits > 5)
    return err::kNoSuchBitLengths;
  return err::kOk;
}

ErrCode LzssDecode(uint8_t parameter, const uint8_t* source, uint32_t length,
                   uint8_t* destination, uint32_t* destination_length) {
  if (ErrCode error = LzssCheckParameter(parameter)) return error;
  const auto [w, n] = WidthsOf(parameter);
  const uint32_t window = 1u << w;
  const uint32_t capacity = *destination_length;
  *destination_length = 0;
  if (length == 0) return err::kOk;
  const uint64_t last_start = uint64_t{length - 1} * 8;
  uint64_t position = 0;
  uint32_t out = 0;
  while (position < last_start) {
    const uint64_t bits = PeekBits64(source, length, position);
    if (bits >> 63) {
      if (out == capacity) return err::kInvalidFormat;
      destination[out++] = static_cast<uint8_t>(bits >> 55);
      position += 9;
      continue;
    }
    const uint32_t d = static_cast<uint32_t>(bits >> (63 - w)) & (window - 1);
    const uint32_t count =
        (static_cast<uint32_t>(bits >> (63 - w - n)) & ((1u << n) - 1)) + 2;
    position += 1 + w + n;
    if (count > capacity - out) return err::kInvalidFormat;
    if (d != 0) {
      const uint32_t distance = window - d;
      if (distance > out) return err::kInvalidFormat;
      uint8_t* to = destination + out;
      const uint8_t* from = to - distance;
      if (distance >= count) {
        std::memcpy(to, from, count);
      } else {
        for (uint32_t i = 0; i < count; ++i) to[i] = from[i];
      }
    }
    out += count;
  }
  *destination_length = out;
  return err::kOk;
}

namespace {

// The search tree over the window. Nodes are window slots (position modulo
// the window size); each first byte has its own root, whose right child holds
// that byte's tree. kNil is a spare slot that may be written freely.
class CMatchTree {
 public:
  CMatchTree(const uint8_t* text, uint32_t window)
      : m_text(text),
        m_mask(window - 1),
        m_nil(window + 256),
        m_left(window + 257, m_nil),
        m_right(window + 257, m_nil),
        m_parent(window + 257, m_nil),
        m_position(window + 257, 0) {}

  struct SMatch {
    uint32_t length = 0;
    uint32_t position = 0;
  };

  // Inserts `position` and answers the longest match among the positions in
  // the tree, at most `lookahead` bytes long.
  SMatch Insert(uint32_t position, uint32_t lookahead) {
    const uint8_t* key = m_text + position;
    const uint32_t r = position & m_mask;
    m_position[r] = position;
    m_left[r] = m_right[r] = m_nil;
    uint32_t p = m_mask + 1 + key[0];
    int compare = 1;
    SMatch match;
    for (;;) {
      uint32_t& child = compare >= 0 ? m_right[p] : m_left[p];
      if (child == m_nil) {
        child = r;
        m_parent[r] = p;
        return match;
      }
      p = child;
      const uint8_t* other = m_text + m_position[p];
      uint32_t i = 1;
      compare = 0;
      while (i < lookahead && (compare = key[i] - other[i]) == 0) ++i;
      if (i > match.length) {
        match = {i, m_position[p]};
        if (i >= lookahead) break;
      }
    }
    // `r` takes the place of the equal node `p`.
    m_parent[r] = m_parent[p];
    m_left[r] = m_left[p];
    m_right[r] = m_right[p];
    m_parent[m_left[p]] = r;
    m_parent[m_right[p]] = r;
    ReplaceChild(p, r);
    m_parent[p] = m_nil;
    return match;
  }

  void Remove(uint32_t position) {
    const uint32_t p = position & m_mask;
    if (m_parent[p] == m_nil || m_position[p] != position) return;
    uint32_t q;
    if (m_right[p] == m_nil) {
      q = m_left[p];
    } else if (m_left[p] == m_nil) {
      q = m_right[p];
    } else {
      q = m_left[p];
      if (m_right[q] != m_nil) {
        while (m_right[q] != m_nil) q = m_right[q];
        m_right[m_parent[q]] = m_left[q];
        m_parent[m_left[q]] = m_parent[q];
        m_left[q] = m_left[p];
        m_parent[m_left[p]] = q;
      }
      m_right[q] = m_right[p];
      m_parent[m_right[p]] = q;
    }
    m_parent[q] = m_parent[p];
    ReplaceChild(p, q);
    m_parent[p] = m_nil;
  }

 private:
  void ReplaceChild(uint32_t old_child, uint32_t new_child) {
    const uint32_t parent = m_parent[old_child];
    if (m_right[parent] == old_child)
      m_right[parent] = new_child;
    else
      m_left[parent] = new_child;
  }

  const uint8_t* m_text;
  uint32_t m_mask;
  uint32_t m_nil;
  std::vector<uint32_t> m_left, m_right, m_parent, m_position;
};

}  // namespace

ErrCode LzssEncode(uint8_t parameter, const uint8_t* source, uint32_t length,
                   uint8_t* destination, uint32_t* destination_length,
                   int64_t* lead) {
  if (ErrCode error = LzssCheckParameter(parameter)) return error;
  const auto [w, n] = WidthsOf(parameter);
  const uint32_t window = 1u << w;
  const uint32_t longest = (1u << n) + 1;
  const int match_bits = 1 + w + n;
  if (lead) *lead = 0;
  if (length == 0) {
    *destination_length = 0;
    return err::kOk;
  }
  CBitWriter writer(destination, *destination_length);
  CMatchTree tree(source, window);
  uint32_t covered = 0;  // the output reaches this position
  for (uint32_t position = 0; position < length; ++position) {
    if (position >= window) tree.Remove(position - window);
    const CMatchTree::SMatch match =
        tree.Insert(position, std::min(longest, length - position));
    if (position < covered) continue;
    if (match.length >= 2 && match_bits < 9 * static_cast<int>(match.length)) {
      writer.Put(0, 1);
      writer.Put(window - (position - match.position), w);
      writer.Put(match.length - 2, n);
      covered = position + match.length;
    } else {
      writer.Put(0x100 | source[position], 9);
      covered = position + 1;
    }
    writer.Token(covered);
  }
  if (lead) *lead = writer.Lead();
  return writer.Finish(writer.BitCount() % 8 == 0 ? 1 : 0, destination_length);
}
