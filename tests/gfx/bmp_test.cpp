#include "gfx/bmp.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "fs/lzss.h"
#include "fs/memory_file.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The two headers of an 8-bit file of `size` bytes whose pixels start at
// `pixels`; the rest is zero.
Bytes Headers(uint32_t size, uint32_t pixels, uint32_t width, uint32_t height) {
  Bytes b(size, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, size);
  Put32(b, 10, pixels);
  Put32(b, 14, 40);
  Put32(b, 18, width);
  Put32(b, 22, height);
  b[26] = 1;
  b[28] = 8;
  return b;
}

// A 3 x 2 8-bit file, bottom-up, two colours: top row 0 1 1, bottom row 1 0 1.
Bytes SmallBmp() {
  Bytes b = Headers(70, 62, 3, 2);
  Put32(b, 46, 2);
  Put32(b, 50, 2);
  const uint8_t palette[] = {0, 0, 0, 0, 0x10, 0x20, 0x30, 0};
  std::copy(palette, palette + 8, b.begin() + 54);
  const uint8_t pixels[] = {1, 0, 1, 0, 0, 1, 1, 0};  // stored bottom row first
  std::copy(pixels, pixels + 8, b.begin() + 62);
  return b;
}

std::unique_ptr<CBitmap> Read(const Bytes& bytes, ErrCode* error, bool header_only = false) {
  CMemoryFile file(bytes);
  return ReadBmp(&file, error, header_only);
}

void ExpectSmallPixels(const CBitmap& bitmap) {
  const int expected[2][3] = {{0, 1, 1}, {1, 0, 1}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(bitmap.GetPixel(x, y), expected[y][x]) << x << "," << y;
}

TEST(BmpReader, ReadsAPositiveHeightFileBottomUp) {
  ErrCode error = err::kUnknownError;
  const auto bitmap = Read(SmallBmp(), &error);
  ASSERT_EQ(error, err::kOk);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width(), 3);
  EXPECT_EQ(bitmap->Height(), 2);
  EXPECT_EQ(bitmap->Stride(), -4);
  EXPECT_EQ(bitmap->Type(), kPixel8);
  ExpectSmallPixels(*bitmap);
  ASSERT_NE(bitmap->Palette(), nullptr);
  EXPECT_EQ(bitmap->Palette()->Count(), 2u);
  SPalEntry entry;
  ASSERT_EQ(bitmap->Palette()->GetEntry(1, &entry), err::kOk);
  EXPECT_EQ(entry.blue, 0x10);
  EXPECT_EQ(entry.red, 0x30);
  CHandleLock lock(bitmap->PixelBlock());
  EXPECT_EQ(bitmap->PixelAddress(0, 0), lock.as<uint8_t>() + 4);
}

TEST(BmpReader, ReadsANegativeHeightFileTopDown) {
  Bytes b = SmallBmp();
  Put32(b, 22, static_cast<uint32_t>(-2));
  ErrCode error;
  const auto bitmap = Read(b, &error);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Stride(), 4);
  EXPECT_EQ(bitmap->GetPixel(0, 0), 1);  // now the first stored row is the top
  EXPECT_EQ(bitmap->GetPixel(0, 1), 0);
}

TEST(BmpReader, AcceptsTheSignatureInEitherByteOrderAndHeaderOnly) {
  Bytes b = SmallBmp();
  b[0] = 'M';
  b[1] = 'B';
  ErrCode error;
  ASSERT_NE(Read(b, &error), nullptr);
  const auto header = Read(b, &error, true);
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->Width(), 3);
  EXPECT_EQ(header->Stride(), -4);
  EXPECT_EQ(header->PixelBlock(), 0u);
  EXPECT_EQ(header->Palette(), nullptr);
}

TEST(BmpReader, RejectsLyingHeaders) {
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;
    int width;  // bytes written: 1, 2 or 4
    ErrCode error;
  };
  const Case cases[] = {
      {"signature", 0, 'X', 1, err::kBmpBadFileFormat},
      {"info size below 40", 14, 12, 4, err::kBmpBadFileFormat},
      {"info size beyond the file", 14, 4000, 4, err::kBmpBadFileFormat},
      {"pixel offset inside the headers", 10, 50, 4, err::kBmpBadFileFormat},
      {"pixel offset beyond the file", 10, 71, 4, err::kBmpBadFileFormat},
      {"zero width", 18, 0, 4, err::kBmpBadFileFormat},
      {"negative width", 18, 0xFFFFFFFD, 4, err::kBmpBadFileFormat},
      {"huge width", 18, 0x10000, 4, err::kBmpBadFileFormat},
      {"zero height", 22, 0, 4, err::kBmpBadFileFormat},
      {"huge height", 22, 0x80000000, 4, err::kBmpBadFileFormat},
      {"more rows than pixels", 22, 3, 4, err::kBmpBadFileFormat},
      {"32 bits", 28, 32, 2, err::kBmpBadType},
      {"4 bits", 28, 4, 2, err::kBmpBadType},
      {"compressed size beyond the file", 34, 9, 4, err::kOk},  // not compressed: ignored
  };
  for (const Case& c : cases) {
    Bytes b = SmallBmp();
    for (int i = 0; i < c.width; ++i) b[c.at + i] = static_cast<uint8_t>(c.value >> (8 * i));
    ErrCode error = err::kOk;
    const auto bitmap = Read(b, &error);
    EXPECT_EQ(error, c.error) << c.what << ": " << ErrName(error);
    EXPECT_EQ(bitmap == nullptr, c.error != err::kOk) << c.what;
  }
  ErrCode error;
  Bytes truncated = SmallBmp();
  truncated.resize(69);
  Put32(truncated, 2, 69);
  EXPECT_EQ(Read(truncated, &error), nullptr);
  EXPECT_EQ(error, err::kBmpBadFileFormat);
  truncated.resize(30);
  EXPECT_EQ(Read(truncated, &error), nullptr);
  EXPECT_EQ(error, err::kBmpBadFileFormat);
  EXPECT_EQ(ReadBmp(nullptr, &error, false), nullptr);
  EXPECT_EQ(error, err::kNoBmpFile);
}

TEST(BmpReader, RejectsOverlongCompressedStreamsBeforeDecoding) {
  Bytes b = SmallBmp();
  Put32(b, 30, kBmpLzss);
  Put32(b, 34, 9);  // 8 bytes follow the palette
  ErrCode error;
  EXPECT_EQ(Read(b, &error), nullptr);
  EXPECT_EQ(error, err::kBmpBadFileFormat);
  Put32(b, 34, 8);
  Put32(b, 38, 0x1C4);  // not a parameter byte
  EXPECT_EQ(Read(b, &error), nullptr);
  EXPECT_EQ(error, err::kBmpBadFileFormat);
}

TEST(BmpWriter, WritesTheHeadersByteForByte) {
  ErrCode error;
  auto bitmap = Read(SmallBmp(), &error);
  ASSERT_NE(bitmap, nullptr);
  CMemoryFile out;
  ASSERT_EQ(WriteBmp(&out, *bitmap, 0), err::kOk);
  EXPECT_EQ(Bytes(out.Data().begin(), out.Data().end()), SmallBmp());  // same order, same palette: same file

  CMemoryFile top_down;
  ASSERT_EQ(WriteBmp(&top_down, *bitmap, kTopDown), err::kOk);
  Bytes expected = SmallBmp();
  Put32(expected, 22, static_cast<uint32_t>(-2));
  const uint8_t rows[] = {0, 1, 1, 0, 1, 0, 1, 0};
  std::copy(rows, rows + 8, expected.begin() + 62);
  EXPECT_EQ(Bytes(top_down.Data().begin(), top_down.Data().end()), expected);
}

TEST(BmpWriter, FilesLoadBackIdenticallyInBothRowOrders) {
  for (int stored : {kBottomUp, kTopDown}) {
    for (int written : {kBottomUp, kTopDown}) {
      CBitmap bitmap;
      ASSERT_EQ(bitmap.Create(5, 3, kPixel24, nullptr, stored, 0), err::kOk);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) bitmap.SetPixel(x, y, x * 0x10101 + y * 0x100000);
      CMemoryFile file;
      ASSERT_EQ(WriteBmp(&file, bitmap, written), err::kOk);
      EXPECT_EQ(file.GetSize(), 54u + 16 * 3);  // 15 bytes padded to 16
      ErrCode error;
      file.Seek(0, kSeekSet);
      const auto back = ReadBmp(&file, &error, false);
      ASSERT_NE(back, nullptr) << ErrName(error);
      EXPECT_EQ(back->RowOrder(), written);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
          ASSERT_EQ(back->GetPixel(x, y), x * 0x10101 + y * 0x100000);
    }
  }
}

TEST(BmpReader, ReadsAnImageMagickPaletteFile) {
  CTempDir dir;
  // A 5 x 4 picture of 20 colours (more than 16, so ImageMagick writes 8 bits
  // per pixel), as a plain-text PPM.
  const auto rgb = [](int x, int y) { return std::array<int, 3>{x * 50, y * 60, (x + y) * 20}; };
  std::string ppm = "P3 5 4 255\n";
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x)
      for (int c : rgb(x, y)) ppm += std::to_string(c) + " ";
  dir.WriteFile("in.ppm", ppm + "\n");
  const std::string command = "convert " + dir.Join("in.ppm") + " -type palette -compress none BMP3:" +
                              dir.Join("out.bmp") + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "ImageMagick is not installed";
  MountNativeFileSystem();
  ErrCode error;
  const auto bitmap = LoadBmp(dir.Join("out.bmp").c_str(), &error, false);
  ShutdownFileService();
  ASSERT_NE(bitmap, nullptr) << ErrName(error);
  ASSERT_EQ(bitmap->Bits(), 8);
  ASSERT_NE(bitmap->Palette(), nullptr);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) {
      SPalEntry entry;
      ASSERT_EQ(bitmap->Palette()->GetEntry(bitmap->GetPixel(x, y), &entry), err::kOk);
      EXPECT_EQ(entry.red, rgb(x, y)[0]) << x << "," << y;
      EXPECT_EQ(entry.green, rgb(x, y)[1]);
      EXPECT_EQ(entry.blue, rgb(x, y)[2]);
    }
  }
}

// "ABCD" as four literal tokens: 1 01000001, 1 01000010, 1 01000011, 1 01000100.
const Bytes kLiteralStream = {0xA0, 0xD0, 0xA8, 0x74, 0x40};
// "AAAA" read with 12 distance and 4 length bits: 'A' as 1 01000001, then
// 0, D = 4095 (distance 1), L = 1 (length 3). Other widths read other tokens
// from the same bits and miss the 4 bytes.
const Bytes kMatchStream = {0xA0, 0xBF, 0xFC, 0x40};

// A 4 x 1 8-bit "LZSS" file whose horizontal resolution is `param`.
Bytes CompressedBmp(uint32_t param, const Bytes& stream = kLiteralStream) {
  Bytes b = Headers(static_cast<uint32_t>(54 + stream.size()), 54, 4, 1);
  Put32(b, 30, kBmpLzss);
  Put32(b, 34, static_cast<uint32_t>(stream.size()));
  Put32(b, 38, param);
  std::copy(stream.begin(), stream.end(), b.begin() + 54);
  return b;
}

TEST(BmpReader, CompressedPixelsDecodeOnLockOrAtLoad) {
  for (bool at_load : {false, true}) {
    SetBmpDecodeAtLoad(at_load);
    for (uint32_t param : {0u, 0xC4u, 0xA1u}) {
      ErrCode error;
      const auto bitmap = Read(CompressedBmp(param), &error);
      ASSERT_NE(bitmap, nullptr) << ErrName(error);
      for (int x = 0; x < 4; ++x) EXPECT_EQ(bitmap->GetPixel(x, 0), 'A' + x);
    }
    // Resolution 0 reads the stream with 0xC4; 0xB4 with other widths.
    for (uint32_t param : {0u, 0xC4u, 0xB4u}) {
      ErrCode error;
      const auto bitmap = Read(CompressedBmp(param, kMatchStream), &error);
      const bool c4 = param != 0xB4;
      ASSERT_EQ(bitmap != nullptr, c4 || !at_load) << param;
      if (!bitmap) continue;
      for (int x = 0; x < 4; ++x) EXPECT_EQ(bitmap->GetPixel(x, 0), c4 ? 'A' : -1) << param;
    }
  }
  SetBmpDecodeAtLoad(false);
}

TEST(BmpReader, AlternatingCompressedBitmapsKeepTheirOwnPixels) {
  ErrCode error;
  const auto a = Read(CompressedBmp(0), &error);
  Bytes other = CompressedBmp(0);
  other[54] = 0xA1;  // first literal 'C' instead of 'A'
  const auto b = Read(other, &error);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  CBitmapLock hold(*a);  // a keeps the shared buffer, so b decodes on its own
  EXPECT_EQ(b->GetPixel(0, 0), 'C');
  EXPECT_EQ(a->GetPixel(0, 0), 'A');
  EXPECT_EQ(hold.View().origin[1], 'B');
}

TEST(BmpReader, CompressedStreamsOfTheWrongLengthFail) {
  Bytes b = CompressedBmp(0);
  Put32(b, 18, 5);  // 5 pixels promised, 4 decoded: a short stream
  SetBmpDecodeAtLoad(true);
  ErrCode error;
  EXPECT_EQ(Read(b, &error), nullptr);
  EXPECT_EQ(error, err::kBmpBadFileFormat);
  SetBmpDecodeAtLoad(false);
  const auto lazy = Read(b, &error);
  ASSERT_NE(lazy, nullptr);
  CBitmapLock lock(*lazy);
  EXPECT_FALSE(lock);
}

TEST(BmpWriter, CompressedWriterFallsBackToPlainForIncompressiblePixels) {
  CBitmap noise;
  ASSERT_EQ(noise.Create(4, 1, kPixel8, nullptr, kBottomUp, 0), err::kOk);
  for (int x = 0; x < 4; ++x) noise.SetPixel(x, 0, 0x35 + 17 * x);
  CMemoryFile file;
  ASSERT_EQ(WriteBmpLzss(&file, noise, 0, 0xC4), err::kOk);
  EXPECT_EQ(file.Data()[30], 0);  // compression 0
  EXPECT_EQ(file.GetSize(), 58u);

  CBitmap flat;
  ASSERT_EQ(flat.Create(64, 64, kPixel8, nullptr, kTopDown, 0), err::kOk);
  flat.SetPixel(5, 5, 9);
  CMemoryFile packed;
  ASSERT_EQ(WriteBmpLzss(&packed, flat, 0, 0xB3), err::kOk);
  EXPECT_EQ(packed.Data()[30], 'L');
  EXPECT_EQ(packed.Data()[38], 0xB3);
  EXPECT_LT(packed.GetSize(), 54u + 4096);
  packed.Seek(0, kSeekSet);
  ErrCode error;
  const auto back = ReadBmp(&packed, &error, false);
  ASSERT_NE(back, nullptr) << ErrName(error);
  EXPECT_EQ(back->GetPixel(5, 5), 9);
  EXPECT_EQ(back->GetPixel(6, 5), 0);
}

}  // namespace
