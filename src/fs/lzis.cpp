// The "LZIS" stream of one block, bits read most significant first:
//
//   2 bits w, then 286 code lengths of w + 2 bits each: the literal/length
//     alphabet in symbol order (0 means the symbol does not occur)
//   2 bits w, then 60 code lengths of w + 2 bits: the distance alphabet
//   the symbols, until the end symbol 285; the stream ends in the byte
//     that holds the end symbol's last bit
//
// Each alphabet has canonical codes: for each length from 1 to the largest
// the code counter is doubled, then the symbols of that length receive
// consecutive codes in increasing symbol order. The code must be complete
// (the counter ends at 2 to the largest length); an alphabet whose lengths
// are all 0 has no codes.
//
// Symbols 0-255 are literal bytes. 256-284 are match lengths with Deflate's
// bases and extra bits (RFC 1951 symbols 257-285, moved down by one); the
// extra bits follow the symbol. A distance symbol d (0-59) follows: with
// i = d / 2 the distance is dbase(i) + (d mod 2) + 2e, where dbase and
// dextra are Deflate's 30 distance codes and e is read from
// max(0, dextra(i) - 1) bits. The match is copied byte by byte from that
// distance back, so it may overlap its own output.
//
// The decoder looks codes up by their first 11 (literal/length) or 9
// (distance) bits; longer codes are decoded canonically from the code
// counts. The encoder runs a hash-chain match finder tuned by the level and
// limits code lengths to 15 bits.
#include "fs/lzis.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "fs/bit_stream.h"

namespace {

constexpr int kLitLenSymbols = 286;
constexpr int kDistanceSymbols = 60;
constexpr int kEndSymbol = 285;
constexpr int kFirstLengthSymbol = 256;
constexpr int kMaxCodeLength = 31;
constexpr int kEncodeLengthLimit = 15;
constexpr uint32_t kMaxDistance = 32768;
constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kMinimumStream = 6;

struct SBaseExtra {
  uint16_t base;
  uint8_t extra;
};

constexpr SBaseExtra kLengthCodes[29] = {
    {3, 0},   {4, 0},   {5, 0},   {6, 0},   {7, 0},   {8, 0},   {9, 0},   {10, 0},
    {11, 1},  {13, 1},  {15, 1},  {17, 1},  {19, 2},  {23, 2},  {27, 2},  {31, 2},
    {35, 3},  {43, 3},  {51, 3},  {59, 3},  {67, 4},  {83, 4},  {99, 4},  {115, 4},
    {131, 5}, {163, 5}, {195, 5}, {227, 5}, {258, 0}};

constexpr SBaseExtra kDistanceCodes[30] = {
    {1, 0},     {2, 0},     {3, 0},     {4, 0},     {5, 1},     {7, 1},
    {9, 2},     {13, 2},    {17, 3},    {25, 3},    {33, 4},    {49, 4},
    {65, 5},    {97, 5},    {129, 6},   {193, 6},   {257, 7},   {385, 7},
    {513, 8},   {769, 8},   {1025, 9},  {1537, 9},  {2049, 10}, {3073, 10},
    {4097, 11}, {6145, 11}, {8193, 12}, {12289, 12}, {16385, 13}, {24577, 13}};

// A decoding table entry: the code length in bits 0-7, the extra bit count
// in bits 8-11, the kind in bits 12-15 and the value in bits 16-31.
enum EKind : uint32_t { kCopy = 0, kLiteral = 1, kEnd = 2, kLong = 3 };

constexpr uint32_t Entry(EKind kind, uint32_t value, uint32_t extra) {
  return value << 16 | kind << 12 | extra << 8;
}
constexpr uint32_t LengthOf(uint32_t entry) { return entry & 0xFF; }
constexpr uint32_t ExtraOf(uint32_t entry) { return entry >> 8 & 0x0F; }
constexpr EKind KindOf(uint32_t entry) { return static_cast<EKind>(entry >> 12 & 0x0F); }
constexpr uint32_t ValueOf(uint32_t entry) { return entry >> 16; }

uint32_t LitLenEntry(int symbol) {
  if (symbol < kFirstLengthSymbol) return Entry(kLiteral, symbol, 0);
  if (symbol == kEndSymbol) return Entry(kEnd, 0, 0);
  const SBaseExtra& code = kLengthCodes[symbol - kFirstLengthSymbol];
  return Entry(kCopy, code.base, code.extra);
}

uint32_t DistanceEntry(int symbol) {
  const SBaseExtra& code = kDistanceCodes[symbol / 2];
  return Entry(kCopy, code.base + symbol % 2, code.extra ? code.extra - 1 : 0);
}

// Reads the stream through a 64-bit buffer that holds `m_count` valid bits
// at its top. Past the end of the source it reads zero bytes and counts
// them, so a stream that runs out shows when the end is checked.
class CBitReader {
 public:
  CBitReader(const uint8_t* source, uint32_t length)
      : m_start(source), m_p(source), m_end(source + length) {}

  // Afterwards at least 49 bits are valid.
  void Refill() {
    if (m_end - m_p >= 8) {
      m_bits |= LoadBigEndian64(m_p) >> m_count;
      m_p += (63 - m_count) >> 3;
      m_count |= 56;
      return;
    }
    while (m_count <= 48) {
      uint64_t byte = 0;
      if (m_p < m_end)
        byte = *m_p++;
      else
        ++m_past_end;
      m_bits |= byte << (56 - m_count);
      m_count += 8;
    }
  }
  uint64_t Bits() const { return m_bits; }
  int Count() const { return m_count; }
  void Skip(int count) {
    m_bits <<= count;
    m_count -= count;
  }
  uint32_t Take(int count) {
    if (count == 0) return 0;
    const uint32_t value = static_cast<uint32_t>(m_bits >> (64 - count));
    Skip(count);
    return value;
  }
  uint64_t Consumed() const {
    return (static_cast<uint64_t>(m_p - m_start) + m_past_end) * 8 - m_count;
  }

 private:
  const uint8_t* m_start;
  const uint8_t* m_p;
  const uint8_t* m_end;
  uint64_t m_bits = 0;
  int m_count = 0;
  uint64_t m_past_end = 0;
};

// Canonical codes of one alphabet from its code lengths: `codes` gets each
// symbol's code. False unless the code is complete or empty.
bool CanonicalCodes(const uint8_t* lengths, int symbols, uint32_t* codes,
                    uint16_t* counts, int* longest) {
  std::fill(counts, counts + kMaxCodeLength + 1, 0);
  *longest = 0;
  for (int s = 0; s < symbols; ++s) {
    ++counts[lengths[s]];
    *longest = std::max<int>(*longest, lengths[s]);
  }
  counts[0] = 0;
  if (*longest == 0) return true;
  uint64_t counter = 0;
  uint32_t next[kMaxCodeLength + 2];
  for (int length = 1; length <= *longest; ++length) {
    counter *= 2;
    next[length] = static_cast<uint32_t>(counter);
    counter += counts[length];
  }
  if (counter != uint64_t{1} << *longest) return false;
  for (int s = 0; s < symbols; ++s)
    if (lengths[s]) codes[s] = next[lengths[s]]++;
  return true;
}

template <int kRootBits, int kSymbols>
class CDecodeTable {
 public:
  bool Build(const uint8_t* lengths, uint32_t (*entry_of)(int)) {
    uint32_t codes[kSymbols];
    if (!CanonicalCodes(lengths, kSymbols, codes, m_counts, &m_longest))
      return false;
    m_root.fill(Entry(kLong, 0, 0));
    int sorted = 0;
    for (int length = 1; length <= m_longest; ++length)
      for (int s = 0; s < kSymbols; ++s)
        if (lengths[s] == length) m_sorted[sorted++] = static_cast<uint16_t>(s);
    for (int s = 0; s < kSymbols; ++s) {
      const int length = lengths[s];
      m_entries[s] = entry_of(s) | length;
      if (length == 0) continue;
      if (length > kRootBits) continue;
      const uint32_t first = codes[s] << (kRootBits - length);
      std::fill_n(m_root.begin() + first, 1u << (kRootBits - length), m_entries[s]);
    }
    return true;
  }

  // The entry of the code at the top of the reader's bits (at least
  // kMaxCodeLength valid), which it consumes; 0 when no code matches.
  uint32_t Decode(CBitReader& in) const {
    uint32_t entry = m_root[in.Bits() >> (64 - kRootBits)];
    if (KindOf(entry) == kLong) entry = DecodeLong(in.Bits());
    in.Skip(static_cast<int>(LengthOf(entry)));
    return entry;
  }

 private:
  uint32_t DecodeLong(uint64_t bits) const {
    uint32_t first = 0, index = 0;
    for (int length = 1; length <= m_longest; ++length) {
      const uint32_t code = static_cast<uint32_t>(bits >> (64 - length));
      if (code - first < m_counts[length])
        return m_entries[m_sorted[index + code - first]];
      index += m_counts[length];
      first = (first + m_counts[length]) << 1;
    }
    return 0;
  }

  std::array<uint32_t, 1u << kRootBits> m_root;
  uint32_t m_entries[kSymbols];
  uint16_t m_sorted[kSymbols];
  uint16_t m_counts[kMaxCodeLength + 1];
  int m_longest = 0;
};

using CLitLenTable = CDecodeTable<11, kLitLenSymbols>;
using CDistanceTable = CDecodeTable<9, kDistanceSymbols>;

void ReadLengths(CBitReader& in, uint8_t* lengths, int symbols) {
  in.Refill();
  const int width = static_cast<int>(in.Take(2)) + 2;
  for (int s = 0; s < symbols; ++s) {
    if (in.Count() < width) in.Refill();
    lengths[s] = static_cast<uint8_t>(in.Take(width));
  }
}

// Copies `length` bytes from `distance` back; the caller has checked both.
// With room behind the match, whole 8-byte words are copied.
inline void CopyMatch(uint8_t* to, uint32_t distance, uint32_t length, bool room) {
  const uint8_t* from = to - distance;
  if (distance >= 8 && room) {
    uint8_t* const end = to + length;
    do {
      std::memcpy(to, from, 8);
      to += 8;
      from += 8;
    } while (to < end);
  } else if (distance == 1) {
    std::memset(to, *from, length);
  } else {
    for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
  }
}

}  // namespace

ErrCode LzisCheckLevel(uint8_t level) {
  return level >= 1 && level <= 3 ? err::kOk : err::kBadParams;
}

ErrCode LzisDecode(const uint8_t* source, uint32_t length, uint8_t* destination,
                   uint32_t* destination_length) {
  if (!source || !destination || !destination_length) return err::kBadParams;
  const uint32_t capacity = *destination_length;
  *destination_length = 0;
  if (length < kMinimumStream) return err::kInvalidFormat;

  CBitReader in(source, length);
  uint8_t lengths[kLitLenSymbols];
  CLitLenTable litlen;
  CDistanceTable distances;
  ReadLengths(in, lengths, kLitLenSymbols);
  if (!litlen.Build(lengths, LitLenEntry)) return err::kInvalidFormat;
  ReadLengths(in, lengths, kDistanceSymbols);
  if (!distances.Build(lengths, DistanceEntry)) return err::kInvalidFormat;

  uint32_t out = 0;
  for (;;) {
    in.Refill();
    uint32_t entry = litlen.Decode(in);
    const EKind kind = KindOf(entry);
    if (LengthOf(entry) == 0) return err::kInvalidFormat;
    if (kind == kLiteral) {
      if (out == capacity) return err::kBufferTooSmall;
      destination[out++] = static_cast<uint8_t>(ValueOf(entry));
      continue;
    }
    if (kind == kEnd) break;
    const uint32_t count = ValueOf(entry) + in.Take(static_cast<int>(ExtraOf(entry)));
    if (in.Count() < kMaxCodeLength + 12) in.Refill();
    entry = distances.Decode(in);
    if (LengthOf(entry) == 0) return err::kInvalidFormat;
    const uint32_t distance =
        ValueOf(entry) + (in.Take(static_cast<int>(ExtraOf(entry))) << 1);
    if (distance > out) return err::kInvalidFormat;
    if (count > capacity - out) return err::kBufferTooSmall;
    CopyMatch(destination + out, distance, count, capacity - out - count >= 8);
    out += count;
  }
  const uint64_t consumed = in.Consumed();
  if (consumed > uint64_t{length} * 8 || consumed <= uint64_t{length - 1} * 8)
    return err::kInvalidFormat;
  *destination_length = out;
  return err::kOk;
}

namespace {

// How a level searches: 1 << depth candidates per position, a match of
// `nice` bytes ends the search, and a match shorter than `lazy` is given up
// when the next position starts a longer one.
struct SSearch {
  int depth;
  uint32_t nice;
  uint32_t lazy;
};

constexpr SSearch kLevels[] = {{1, 0, 0}, {5, 50, 4}, {8, 255, 255}};

struct SToken {
  uint16_t length;  // 0 for a literal
  uint16_t value;   // the byte, or the distance
};

struct SMatch {
  uint32_t length = 0;
  uint32_t distance = 0;
};

class CChainFinder {
 public:
  CChainFinder(const uint8_t* text, uint32_t length, const SSearch& search)
      : m_text(text),
        m_length(length),
        m_tries(1u << search.depth),
        m_nice(std::max(search.nice, kMinMatch)),
        m_hash_bits(std::clamp<uint32_t>(std::bit_width(length), 8, kMaxHashBits)),
        m_head(size_t{1} << m_hash_bits, -1),
        m_previous(std::clamp<uint32_t>(length, 1, kMaxDistance), -1) {}

  void Insert(uint32_t position) {
    if (position + kMinMatch > m_length) return;
    int32_t& head = m_head[Hash(position)];
    m_previous[position & (kMaxDistance - 1)] = head;
    head = static_cast<int32_t>(position);
  }

  // The longest match for `position` among the positions inserted so far.
  SMatch Find(uint32_t position) const {
    SMatch best;
    if (position + kMinMatch > m_length) return best;
    const uint32_t limit = std::min(kMaxMatch, m_length - position);
    const uint8_t* here = m_text + position;
    int32_t candidate = m_head[Hash(position)];
    for (uint32_t tries = m_tries; tries && candidate >= 0; --tries) {
      const uint32_t distance = position - static_cast<uint32_t>(candidate);
      if (distance > kMaxDistance) break;
      const uint8_t* there = m_text + candidate;
      if (best.length < kMinMatch || there[best.length] == here[best.length]) {
        const uint32_t length = MatchLength(here, there, limit);
        if (length >= kMinMatch && length > best.length) {
          best = {length, distance};
          if (length >= m_nice || length == limit) break;
        }
      }
      const int32_t next = m_previous[candidate & (kMaxDistance - 1)];
      if (next >= candidate) break;
      candidate = next;
    }
    return best;
  }

 private:
  // Small blocks get small tables: positions index the chain links
  // directly while the block is shorter than the window.
  static constexpr uint32_t kMaxHashBits = 15;

  uint32_t Hash(uint32_t position) const {
    const uint8_t* p = m_text + position;
    const uint32_t key = p[0] << 16 | p[1] << 8 | p[2];
    return (key * 2654435761u) >> (32 - m_hash_bits);
  }

  static uint32_t MatchLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
    uint32_t length = 0;
    while (length + 8 <= limit) {
      uint64_t x, y;
      std::memcpy(&x, a + length, 8);
      std::memcpy(&y, b + length, 8);
      if (x != y) return length + (__builtin_ctzll(x ^ y) >> 3);
      length += 8;
    }
    while (length < limit && a[length] == b[length]) ++length;
    return length;
  }

  const uint8_t* m_text;
  uint32_t m_length;
  uint32_t m_tries;
  uint32_t m_nice;
  uint32_t m_hash_bits;
  std::vector<int32_t> m_head;
  std::vector<int32_t> m_previous;
};

std::vector<SToken> Parse(const uint8_t* text, uint32_t length, const SSearch& search) {
  std::vector<SToken> tokens;
  tokens.reserve(length / 2 + 16);
  CChainFinder finder(text, length, search);
  uint32_t position = 0;
  SMatch current = finder.Find(0);
  while (position < length) {
    finder.Insert(position);
    if (current.length < kMinMatch) {
      tokens.push_back({0, text[position]});
      ++position;
      current = finder.Find(position);
      continue;
    }
    if (current.length < search.lazy && position + 1 < length) {
      const SMatch next = finder.Find(position + 1);
      if (next.length > current.length) {
        tokens.push_back({0, text[position]});
        ++position;
        current = next;
        continue;
      }
    }
    tokens.push_back({static_cast<uint16_t>(current.length),
                      static_cast<uint16_t>(current.distance)});
    for (uint32_t i = position + 1; i < position + current.length; ++i)
      finder.Insert(i);
    position += current.length;
    current = finder.Find(position);
  }
  return tokens;
}

// Code lengths of at most `limit` bits for the frequencies, forming a
// complete code whenever any symbol occurs (a lone symbol gets a partner).
void HuffmanLengths(const uint32_t* frequencies, int symbols, int limit,
                    uint8_t* lengths) {
  std::fill(lengths, lengths + symbols, 0);
  std::vector<int> used;
  for (int s = 0; s < symbols; ++s)
    if (frequencies[s]) used.push_back(s);
  if (used.empty()) return;
  if (used.size() == 1) {
    lengths[used[0]] = 1;
    lengths[used[0] == 0 ? 1 : 0] = 1;
    return;
  }
  std::stable_sort(used.begin(), used.end(), [&](int a, int b) {
    return frequencies[a] < frequencies[b];
  });
  // Two queues: the sorted leaves, then the merged nodes in creation order.
  const size_t leaves = used.size();
  std::vector<uint64_t> weight(2 * leaves - 1);
  std::vector<size_t> parent(2 * leaves - 1);
  for (size_t i = 0; i < leaves; ++i) weight[i] = frequencies[used[i]];
  size_t next_leaf = 0, next_node = leaves;
  auto take = [&](size_t created) {
    if (next_leaf < leaves && (next_node >= created || weight[next_leaf] <= weight[next_node]))
      return next_leaf++;
    return next_node++;
  };
  for (size_t created = leaves; created < 2 * leaves - 1; ++created) {
    const size_t a = take(created), b = take(created);
    weight[created] = weight[a] + weight[b];
    parent[a] = parent[b] = created;
  }
  std::vector<int> depth(2 * leaves - 1, 0);
  uint32_t counts[kMaxCodeLength + 1] = {};
  for (size_t node = 2 * leaves - 2; node-- > 0;) {
    depth[node] = depth[parent[node]] + 1;
    if (node < leaves) ++counts[std::min(depth[node], limit)];
  }
  // Lengths cut at the limit over-fill the code; each step below takes a
  // leaf off the deepest level and splits a shallower leaf in two, which
  // lowers the fill by one unit of the deepest level.
  uint64_t fill = 0;
  for (int length = 1; length <= limit; ++length)
    fill += uint64_t{counts[length]} << (limit - length);
  while (fill > uint64_t{1} << limit) {
    --counts[limit];
    for (int length = limit - 1; length > 0; --length) {
      if (counts[length]) {
        --counts[length];
        counts[length + 1] += 2;
        break;
      }
    }
    --fill;
  }
  // The rarest symbols get the longest codes.
  size_t leaf = 0;
  for (int length = limit; length > 0; --length)
    for (uint32_t i = 0; i < counts[length]; ++i)
      lengths[used[leaf++]] = static_cast<uint8_t>(length);
}

struct SLengthSymbol {
  uint16_t symbol;
  uint8_t extra_bits;
  uint16_t extra;
};

SLengthSymbol LengthSymbol(uint32_t length) {
  int code = 28;
  while (kLengthCodes[code].base > length) --code;
  return {static_cast<uint16_t>(kFirstLengthSymbol + code), kLengthCodes[code].extra,
          static_cast<uint16_t>(length - kLengthCodes[code].base)};
}

// The distance symbol and its extra bits.
SLengthSymbol DistanceSymbol(uint32_t distance) {
  static const std::array<uint8_t, kMaxDistance + 1> kCodeOf = [] {
    std::array<uint8_t, kMaxDistance + 1> table{};
    int code = 0;
    for (uint32_t d = 1; d <= kMaxDistance; ++d) {
      while (code < 29 && kDistanceCodes[code + 1].base <= d) ++code;
      table[d] = static_cast<uint8_t>(code);
    }
    return table;
  }();
  const int code = kCodeOf[distance];
  const uint32_t offset = distance - kDistanceCodes[code].base;
  const int extra = kDistanceCodes[code].extra;
  return {static_cast<uint16_t>(2 * code + (offset & 1)),
          static_cast<uint8_t>(extra ? extra - 1 : 0),
          static_cast<uint16_t>(offset >> 1)};
}

void PutLengths(CBitWriter& out, const uint8_t* lengths, int symbols) {
  const int longest = *std::max_element(lengths, lengths + symbols);
  const int w = longest <= 3 ? 0 : longest <= 7 ? 1 : longest <= 15 ? 2 : 3;
  out.Put(w, 2);
  for (int s = 0; s < symbols; ++s) out.Put(lengths[s], w + 2);
}

}  // namespace

ErrCode LzisEncode(uint8_t level, const uint8_t* source, uint32_t length,
                   uint8_t* destination, uint32_t* destination_length,
                   int64_t* lead) {
  if (ErrCode error = LzisCheckLevel(level)) return error;
  if ((!source && length) || !destination) return err::kBadParams;
  const std::vector<SToken> tokens = Parse(source, length, kLevels[level - 1]);

  uint32_t litlen_frequencies[kLitLenSymbols] = {};
  uint32_t distance_frequencies[kDistanceSymbols] = {};
  for (const SToken& token : tokens) {
    if (token.length == 0) {
      ++litlen_frequencies[token.value];
    } else {
      ++litlen_frequencies[LengthSymbol(token.length).symbol];
      ++distance_frequencies[DistanceSymbol(token.value).symbol];
    }
  }
  ++litlen_frequencies[kEndSymbol];
  uint8_t litlen_lengths[kLitLenSymbols], distance_lengths[kDistanceSymbols];
  HuffmanLengths(litlen_frequencies, kLitLenSymbols, kEncodeLengthLimit, litlen_lengths);
  HuffmanLengths(distance_frequencies, kDistanceSymbols, kEncodeLengthLimit,
                 distance_lengths);
  uint32_t litlen_codes[kLitLenSymbols], distance_codes[kDistanceSymbols];
  uint16_t counts[kMaxCodeLength + 1];
  int longest;
  CanonicalCodes(litlen_lengths, kLitLenSymbols, litlen_codes, counts, &longest);
  CanonicalCodes(distance_lengths, kDistanceSymbols, distance_codes, counts, &longest);

  CBitWriter out(destination, *destination_length);
  PutLengths(out, litlen_lengths, kLitLenSymbols);
  PutLengths(out, distance_lengths, kDistanceSymbols);
  uint32_t position = 0;
  for (const SToken& token : tokens) {
    if (token.length == 0) {
      out.Put(litlen_codes[token.value], litlen_lengths[token.value]);
      ++position;
    } else {
      const SLengthSymbol l = LengthSymbol(token.length);
      out.Put(litlen_codes[l.symbol], litlen_lengths[l.symbol]);
      out.Put(l.extra, l.extra_bits);
      const SLengthSymbol d = DistanceSymbol(token.value);
      out.Put(distance_codes[d.symbol], distance_lengths[d.symbol]);
      out.Put(d.extra, d.extra_bits);
      position += token.length;
    }
    out.Token(position);
  }
  out.Put(litlen_codes[kEndSymbol], litlen_lengths[kEndSymbol]);
  if (lead) *lead = out.Lead();
  return out.Finish(0, destination_length);
}
