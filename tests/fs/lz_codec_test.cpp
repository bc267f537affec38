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

std::string Decoded(const Bytes& out, uint32_t length) {
  return std::string(out.begin(), out.begin() + length);
}

// An LZIS header: literal/length code lengths given for a few symbols in
// 2-bit fields (w = 0), then the distance lengths.
std::string LzisHeader(const std::vector<std::pair<int, int>>& litlen,
                       const std::vector<std::pair<int, int>>& distances) {
  auto alphabet = [](int symbols, const std::vector<std::pair<int, int>>& set) {
    std::string bits = "00";
    for (int s = 0; s < symbols; ++s) {
      int length = 0;
      for (const auto& [symbol, l] : set)
        if (symbol == s) length = l;
      bits += std::string(1, '0' + (length >> 1)) + std::string(1, '0' + (length & 1));
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

TEST(LzssTest, HandMadeStreams) {
  // 'A' as a literal, then D = 4095 (distance 1), L = 3 (length 5): 26 bits,
  // so the stream is 4 bytes and no token starts in the last one.
  const Bytes repeat = FromBits("1 01000001  0 111111111111 0011");
  ASSERT_EQ(repeat, (Bytes{0xA0, 0xBF, 0xFC, 0xC0}));
  // The same copy as the first token reaches before the block.
  const Bytes before = FromBits("0 111111111111 0011");
  // D = 0 skips L + 2 = 3 bytes, then a literal 'B'.
  const Bytes skip = FromBits("0 000000000000 0001  1 01000010");
  struct SCase {
    const char* what;
    Bytes stream;
    uint32_t capacity;
    ErrCode error;
    std::string out;
  } cases[] = {
      {"repeat", repeat, 16, err::kOk, "AAAAAA"},
      {"exactly full", repeat, 6, err::kOk, "AAAAAA"},
      {"overrun", repeat, 5, err::kInvalidFormat, ""},
      {"before the start", before, 16, err::kInvalidFormat, ""},
      {"skip", skip, 16, err::kOk, std::string("...B")},
      {"empty", {}, 16, err::kOk, ""},
      {"one byte", {0xA0}, 16, err::kOk, ""},
  };
  for (const SCase& c : cases) {
    Bytes out(16, '.');
    uint32_t length = c.capacity;
    EXPECT_EQ(LzssDecode(0xC4, c.stream.data(), static_cast<uint32_t>(c.stream.size()),
                         out.data(), &length),
              c.error)
        << c.what;
    if (c.error == err::kOk) {
      EXPECT_EQ(Decoded(out, length), c.out) << c.what;
    }
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
  uint8_t out[4];
  uint32_t length = 4;
  EXPECT_EQ(LzssDecode(0xA6, out, 4, out, &length), err::kNoSuchBitLengths);
}

TEST(LzisTest, HandMadeStreams) {
  // 'A' and the end symbol with 1-bit codes 0 and 1.
  const std::string a_end = LzisHeader({{65, 1}, {285, 1}}, {});
  // 'A' (10), a match of length 3 (11) at distance symbol 0 (code 0, distance
  // 1), the end (0).
  const std::string match =
      LzisHeader({{65, 2}, {256, 2}, {285, 1}}, {{0, 1}, {1, 1}}) + "10 11 0 0";
  struct SCase {
    const char* what;
    Bytes stream;
    uint32_t capacity;
    ErrCode error;
    std::string out;
  } cases[] = {
      {"one literal", FromBits(a_end + "0 1"), 8, err::kOk, "A"},
      {"literals", FromBits(a_end + "0000 1"), 8, err::kOk, "AAAA"},
      {"a match", FromBits(match), 8, err::kOk, "AAAA"},
      {"output full", FromBits(a_end + "0000 1"), 3, err::kBufferTooSmall, ""},
      {"match past the end", FromBits(match), 3, err::kBufferTooSmall, ""},
      {"before the start",
       FromBits(LzisHeader({{256, 1}, {285, 1}}, {{0, 1}, {1, 1}}) + "0 0 1"), 8,
       err::kInvalidFormat, ""},
      {"incomplete code", FromBits(LzisHeader({{65, 1}, {285, 2}}, {}) + "0 10"), 8,
       err::kInvalidFormat, ""},
      {"over-subscribed", FromBits(LzisHeader({{65, 1}, {66, 1}, {285, 1}}, {}) + "0"),
       8, err::kInvalidFormat, ""},
      {"lone code", FromBits(LzisHeader({{285, 1}}, {}) + "0"), 8,
       err::kInvalidFormat, ""},
      {"incomplete distances",
       FromBits(LzisHeader({{65, 1}, {285, 1}}, {{3, 2}}) + "0 1"), 8,
       err::kInvalidFormat, ""},
      {"no end symbol", FromBits(a_end + "0"), 64, err::kBufferTooSmall, ""},
      {"too short", {0, 0, 0, 0, 0}, 8, err::kInvalidFormat, ""},
  };
  for (const SCase& c : cases) {
    Bytes out(64, '.');
    uint32_t length = c.capacity;
    EXPECT_EQ(LzisDecode(c.stream.data(), static_cast<uint32_t>(c.stream.size()),
                         out.data(), &length),
              c.error)
        << c.what;
    if (c.error == err::kOk) {
      EXPECT_EQ(Decoded(out, length), c.out) << c.what;
    }
  }
}

TEST(LzisTest, TheStreamMustEndWithTheEndSymbolsByte) {
  Bytes stream = FromBits(LzisHeader({{65, 1}, {285, 1}}, {}) + "0 1");
  Bytes out(8);
  uint32_t length = 8;
  stream.push_back(0);
  EXPECT_EQ(LzisDecode(stream.data(), static_cast<uint32_t>(stream.size()), out.data(),
                       &length),
            err::kInvalidFormat);
  length = 8;
  EXPECT_EQ(LzisDecode(nullptr, 8, out.data(), &length), err::kBadParams);
  EXPECT_EQ(LzisCheckLevel(0), err::kBadParams);
  EXPECT_EQ(LzisCheckLevel(4), err::kBadParams);
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
        Bytes out(size);
        uint32_t length = static_cast<uint32_t>(size);
        const ErrCode error =
            codec.lzis ? LzisDecode(stream.data(), stream_length, out.data(), &length)
                       : LzssDecode(codec.parameter, stream.data(), stream_length,
                                    out.data(), &length);
        ASSERT_EQ(error, err::kOk) << codec.name << " " << kind << " " << size;
        EXPECT_EQ(out, data) << codec.name << " " << kind << " " << size;
        if (std::string(kind) != "random" && size == 40000) {
          EXPECT_LT(stream_length, size * 3 / 4) << codec.name << " " << kind;
        }
      }
    }
  }
}

TEST(LzCodecTest, EncodersReportAStreamThatDoesNotFit) {
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
}
