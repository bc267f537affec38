// The LZSS and LZIS block codecs: hand-made streams and round trips.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fs/lzis.h"
#include "fs/lzss.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Bytes from a text of '0' and '1' (other characters are ignored), most
// significant bit first, the last byte filled with zeros.
Bytes FromBits(const std::string& text) {
  Bytes bytes;
  int used = 0;
  for (char c : text) {
    if (c != '0' && c != '1') continue;
    if (used % 8 == 0) bytes.push_back(0);
    if (c == '1') bytes.back() |= static_cast<uint8_t>(0x80 >> (used % 8));
    ++used;
  }
  return bytes;
}

// Decodes `stream` into a buffer of `capacity` bytes filled with '.': with
// LZSS of `parameter`, or with LZIS when it is 0. Answers the error and
// what was decoded.
std::pair<ErrCode, std::string> Decode(uint8_t parameter, const Bytes& stream,
                                       uint32_t capacity) {
  Bytes out(capacity, '.');
  uint32_t length = capacity;
  const auto size = static_cast<uint32_t>(stream.size());
  const ErrCode error = parameter
                            ? LzssDecode(parameter, stream.data(), size, out.data(), &length)
                            : LzisDecode(stream.data(), size, out.data(), &length);
  return {error, error == err::kOk ? std::string(out.begin(), out.begin() + length) : ""};
}

// An LZIS header: the code lengths of a few symbols, all others 0, in
// fields of w + 2 bits for both alphabets.
std::string LzisHeader(const std::vector<std::pair<int, int>>& litlen,
                       const std::vector<std::pair<int, int>>& distances, int w = 0) {
  auto alphabet = [w](int symbols, const std::vector<std::pair<int, int>>& set) {
    std::string bits = {static_cast<char>('0' + (w >> 1)), static_cast<char>('0' + (w & 1))};
    for (int s = 0; s < symbols; ++s) {
      int length = 0;
      for (const auto& [symbol, l] : set)
        if (symbol == s) length = l;
      for (int bit = w + 1; bit >= 0; --bit) bits += static_cast<char>('0' + ((length >> bit) & 1));
    }
    return bits;
  };
  return alphabet(286, litlen) + alphabet(60, distances);
}

Bytes Data(const std::string& kind, size_t size) {
  Bytes data(size);
  std::mt19937 random(static_cast<uint32_t>(size) + 7);
  const std::string text = "the quick brown fox jumps over the lazy dog; ";
  for (size_t i = 0; i < size; ++i) {
    if (kind == "random") data[i] = static_cast<uint8_t>(random());
    if (kind == "run") data[i] = 'x';
    if (kind == "text") data[i] = static_cast<uint8_t>(text[(i * 7 / 5) % text.size()]);
    if (kind == "image") data[i] = static_cast<uint8_t>((i / 13) % 6 * 40 + (i % 640 > 320));
  }
  return data;
}

}  // namespace

// Streams written from the token rules: a literal is 1 and 8 bits, a match
// 0, W bits D and N bits L; it copies L + 2 bytes from 2^W - D back, and
// D = 0 skips them.
TEST(LzssTest, HandMadeStreams) {
  // 'A' as a literal, then D = 4095 (distance 1), L = 3 (length 5): 26 bits,
  // so the stream is 4 bytes and no token starts in the last one.
  const char* const repeat = "1 01000001  0 111111111111 0011";
  ASSERT_EQ(FromBits(repeat), (Bytes{0xA0, 0xBF, 0xFC, 0xC0}));
  const struct {
    const char* what;
    uint8_t parameter;
    const char* bits;
    uint32_t capacity;
    ErrCode error;
    std::string out;
  } cases[] = {
      {"repeat", 0xC4, repeat, 16, err::kOk, "AAAAAA"},
      {"exactly full", 0xC4, repeat, 6, err::kOk, "AAAAAA"},
      {"overrun", 0xC4, repeat, 5, err::kInvalidFormat, ""},
      // The same copy as the first token reaches before the block.
      {"before the start", 0xC4, "0 111111111111 0011", 16, err::kInvalidFormat, ""},
      // D = 0 skips L + 2 = 3 bytes, then a literal 'B'.
      {"skip", 0xC4, "0 000000000000 0001  1 01000010", 16, err::kOk, "...B"},
      {"empty", 0xC4, "", 16, err::kOk, ""},
      {"one byte", 0xC4, "1010 0000", 16, err::kOk, ""},
      // 'A' 'B' 'C', then D = 1021 (distance 3), L = 3 (length 5).
      {"10 bits", 0xA2, "1 01000001  1 01000010  1 01000011  0 1111111101 11", 64, err::kOk,
       "ABCABCAB"},
      // 'x' 'y', then D = 2046 (distance 2), L = 31 (length 33).
      {"11 bits", 0xB5, "1 01111000  1 01111001  0 11111111110 11111", 64, err::kOk,
       "xyxyxyxyxyxyxyxyxyxyxyxyxyxyxyxyxyx"},
      // D = 0 skips L + 2 = 3 bytes, then 'Z'.
      {"10 bits skip", 0xA1, "0 0000000000 1  1 01011010", 64, err::kOk, "...Z"},
      // 'A', then D = 2047 (distance 1), L = 1 (length 3).
      {"11 bits repeat", 0xB1, "1 01000001  0 11111111111 1", 64, err::kOk, "AAAA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto [error, out] = Decode(c.parameter, FromBits(c.bits), c.capacity);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(out, c.out);
  }
}

TEST(LzssTest, OnlyKnownBitLengthsAreAccepted) {
  for (int p = 0; p < 256; ++p) {
    const int w = p >> 4, n = p & 15;
    const bool known = w >= 10 && w <= 12 && n >= 1 && n <= 5;
    EXPECT_EQ(LzssCheckParameter(static_cast<uint8_t>(p)),
              known ? err::kOk : err::kNoSuchBitLengths)
        << p;
  }
  EXPECT_EQ(Decode(0xA6, Bytes(4), 4).first, err::kNoSuchBitLengths);
}

TEST(LzisTest, HandMadeStreams) {
  // 'A' and the end symbol with 1-bit codes 0 and 1.
  const std::string a_end = LzisHeader({{65, 1}, {285, 1}}, {});
  // 'A' (10), a match of length 3 (11) at distance symbol 0 (code 0, distance
  // 1), the end (0).
  const std::string match =
      LzisHeader({{65, 2}, {256, 2}, {285, 1}}, {{0, 1}, {1, 1}}) + "10 11 0 0";
  const struct {
    const char* what;
    std::string bits;
    uint32_t capacity;
    ErrCode error;
    std::string out;
  } cases[] = {
      {"one literal", a_end + "0 1", 8, err::kOk, "A"},
      {"literals", a_end + "0000 1", 8, err::kOk, "AAAA"},
      {"a match", match, 8, err::kOk, "AAAA"},
      {"output full", a_end + "0000 1", 3, err::kBufferTooSmall, ""},
      {"match past the end", match, 3, err::kBufferTooSmall, ""},
      {"before the start", LzisHeader({{256, 1}, {285, 1}}, {{0, 1}, {1, 1}}) + "0 0 1", 8,
       err::kInvalidFormat, ""},
      {"incomplete code", LzisHeader({{65, 1}, {285, 2}}, {}) + "0 10", 8, err::kInvalidFormat,
       ""},
      {"over-subscribed", LzisHeader({{65, 1}, {66, 1}, {285, 1}}, {}) + "0", 8,
       err::kInvalidFormat, ""},
      {"lone code", LzisHeader({{285, 1}}, {}) + "0", 8, err::kInvalidFormat, ""},
      {"incomplete distances", LzisHeader({{65, 1}, {285, 1}}, {{3, 2}}) + "0 1", 8,
       err::kInvalidFormat, ""},
      {"no end symbol", a_end + "0", 64, err::kBufferTooSmall, ""},
      {"too short", "00000000 00000000 00000000 00000000 00000000", 8, err::kInvalidFormat, ""},
      // The header and "0 1" fill 87 bytes and 2 bits: 8 more bits add a
      // byte after the end symbol's.
      {"a byte after the end", a_end + "0 1 00000000", 8, err::kInvalidFormat, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto [error, out] = Decode(0, FromBits(c.bits), c.capacity);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(out, c.out);
  }
}

TEST(LzCodecTest, EncodedBlocksDecodeToTheirData) {
  struct SCodec {
    const char* name;
    uint8_t parameter;
    bool lzis;
  } codecs[] = {{"lzss a1", 0xA1, false}, {"lzss b3", 0xB3, false},
                {"lzss c4", 0xC4, false}, {"lzss c5", 0xC5, false},
                {"lzis 1", 1, true},      {"lzis 2", 2, true},
                {"lzis 3", 3, true}};
  for (const SCodec& codec : codecs) {
    for (const char* kind : {"random", "run", "text", "image"}) {
      for (size_t size : {size_t{1}, size_t{2}, size_t{3}, size_t{300}, size_t{40000}}) {
        const Bytes data = Data(kind, size);
        Bytes stream(size * 2 + 300);
        uint32_t stream_length = static_cast<uint32_t>(stream.size());
        const auto encode = codec.lzis ? LzisEncode : LzssEncode;
        ASSERT_EQ(encode(codec.parameter, data.data(), static_cast<uint32_t>(size),
                         stream.data(), &stream_length, nullptr),
                  err::kOk)
            << codec.name << " " << kind << " " << size;
        stream.resize(stream_length);
        const auto [error, out] =
            Decode(codec.lzis ? 0 : codec.parameter, stream, static_cast<uint32_t>(size));
        ASSERT_EQ(error, err::kOk) << codec.name << " " << kind << " " << size;
        EXPECT_EQ(out, std::string(data.begin(), data.end()))
            << codec.name << " " << kind << " " << size;
        if (std::string(kind) != "random" && size == 40000) {
          EXPECT_LT(stream_length, size * 3 / 4) << codec.name << " " << kind;
        }
      }
    }
  }
}

TEST(LzCodecTest, EncodersReportAStreamThatDoesNotFitAndBadArguments) {
  const Bytes data = Data("random", 1000);
  Bytes stream(100);
  uint32_t length = 100;
  EXPECT_EQ(LzssEncode(0xC4, data.data(), 1000, stream.data(), &length, nullptr),
            err::kBufferTooSmall);
  length = 100;
  EXPECT_EQ(LzisEncode(2, data.data(), 1000, stream.data(), &length, nullptr),
            err::kBufferTooSmall);
  EXPECT_EQ(LzisEncode(4, data.data(), 1000, stream.data(), &length, nullptr),
            err::kBadParams);
  length = 8;
  EXPECT_EQ(LzisDecode(nullptr, 8, stream.data(), &length), err::kBadParams);
  EXPECT_EQ(LzisCheckLevel(0), err::kBadParams);
  EXPECT_EQ(LzisCheckLevel(4), err::kBadParams);
}

// Each length symbol with its extra bits after 'A', copied from distance 1:
// the block is 'A' and L more. The lengths are worked out from the table
// (base + extra) by hand.
TEST(LzisTest, LengthSymbolsReadTheirExtraBits) {
  struct SCase {
    int symbol;
    const char* extra;
    uint32_t length;
  } cases[] = {
      {256, "", 3},         {263, "", 10},         {264, "1", 12},        {267, "0", 17},
      {268, "11", 22},      {271, "10", 33},       {272, "101", 40},      {275, "111", 66},
      {276, "0110", 73},    {279, "1111", 130},    {280, "00001", 132},   {283, "11110", 257},
      {284, "", 258},
  };
  for (const SCase& c : cases) {
    // 285 "0", 'A' "10", the length symbol "11"; distance symbols 0 and 1.
    const Bytes stream =
        FromBits(LzisHeader({{65, 2}, {c.symbol, 2}, {285, 1}}, {{0, 1}, {1, 1}}) + "10 11" +
                 c.extra + " 0  0");
    const auto [error, out] = Decode(0, stream, 300);
    ASSERT_EQ(error, err::kOk) << c.symbol;
    EXPECT_EQ(out, std::string(1 + c.length, 'A')) << c.symbol;
  }
}

// Each distance symbol d with its extra bits e: 'B', then 'A' until the block
// is `distance` bytes long, then a match of 3 at d. Only the right distance
// copies "BAA"; one less copies "AAA", one more reaches before the block.
TEST(LzisTest, DistanceSymbolsReadTheirExtraBits) {
  struct SCase {
    int symbol;
    const char* extra;
    uint32_t distance;  // base(d / 2) + d mod 2 + 2e, by hand
  } cases[] = {
      // Pair d / 2: its base and its extra bits, of which one less is read.
      {3, "", 3},                     // pair 1: base 2, 0 bits
      {9, "", 6},                     // pair 4: base 5, 1 bit
      {13, "1", 12},                  // pair 6: base 9, 2 bits, e = 1
      {20, "101", 43},                // pair 10: base 33, 4 bits, e = 5
      {41, "10000001", 1284},         // pair 20: base 1025, 9 bits, e = 129
      {56, "000000000001", 16387},    // pair 28: base 16385, 13 bits, e = 1
      {59, "111111111111", 32768},    // pair 29: base 24577, 13 bits, e = 4095
  };
  for (const SCase& c : cases) {
    // 285 "0", 'A' "10", 'B' "110", 256 (length 3) "1110", 284 (258) "1111";
    // distance symbols 0 ("0", distance 1) and d ("1").
    std::string bits = LzisHeader({{65, 2}, {66, 3}, {256, 4}, {284, 4}, {285, 1}},
                                  {{0, 1}, {c.symbol, 1}}, 1);
    bits += "110 10";  // 'B' 'A'
    uint32_t block = 2;
    for (; block + 258 <= c.distance; block += 258) bits += " 1111 0";
    for (; block < c.distance; ++block) bits += " 10";
    bits += std::string(" 1110 1") + c.extra + " 0";
    const auto [error, out] = Decode(0, FromBits(bits), c.distance + 3);
    ASSERT_EQ(error, err::kOk) << c.symbol;
    ASSERT_EQ(out.size(), c.distance + 3) << c.symbol;
    EXPECT_EQ(out.substr(c.distance - 1), "ABAA") << c.symbol;
  }
}
