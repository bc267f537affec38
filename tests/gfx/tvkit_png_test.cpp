// tvkit bmp from-png: PNG pictures brought into a GIMP palette.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "gfx/bmp.h"
#include "support/tvkit_fixture.h"

namespace {

std::string BigEndian(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

std::string Chunk(const std::string& type, const std::string& data) {
  return BigEndian(static_cast<uint32_t>(data.size())) + type + data + BigEndian(Crc32(type + data));
}

// A PNG file of `rows` (each led by its filter byte) in stored deflate
// blocks, written independently of the decoder under test.
std::string Png(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour_type,
                const std::string& rows) {
  std::string zlib = "\x78\x01";
  for (size_t at = 0; at == 0 || at < rows.size(); at += 65535) {
    const size_t length = std::min<size_t>(65535, rows.size() - at);
    zlib += static_cast<char>(at + length == rows.size());
    zlib += {static_cast<char>(length), static_cast<char>(length >> 8),
             static_cast<char>(~length), static_cast<char>(~length >> 8)};
    zlib += rows.substr(at, length);
  }
  uint32_t a = 1, b = 0;
  for (unsigned char byte : rows) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  zlib += BigEndian(b << 16 | a);
  std::string header = BigEndian(width) + BigEndian(height);
  header += {static_cast<char>(depth), static_cast<char>(colour_type), 0, 0, 0};
  return "\x89PNG\r\n\x1a\n" + Chunk("IHDR", header) + Chunk("IDAT", zlib) + Chunk("IEND", "");
}

struct SRgba {
  uint8_t red, green, blue, alpha;
};

std::string RgbaPng(uint32_t width, uint32_t height, const std::vector<SRgba>& pixels) {
  std::string rows;
  for (uint32_t y = 0; y < height; ++y) {
    rows += '\0';
    for (uint32_t x = 0; x < width; ++x) {
      const SRgba& p = pixels[pixels.size() == 1 ? 0 : y * width + x];
      rows += {static_cast<char>(p.red), static_cast<char>(p.green), static_cast<char>(p.blue),
               static_cast<char>(p.alpha)};
    }
  }
  return Png(width, height, 8, 6, rows);
}

// Index 0 white, 1 the key's magenta, 2 black, 3 red.
constexpr const char* kPalette = "GIMP Palette\n255 255 255\n255 0 255\n0 0 0\n255 0 0\n";

class TvkitPngTest : public CTvkitTest {
 protected:
  void SetUp() override {
    MountNativeFileSystem();
    m_dir.WriteFile("p.gpl", kPalette);
  }
  void TearDown() override { ShutdownFileService(); }

  // Converts `png` and answers the indices, top row first.
  std::vector<int> Convert(const std::string& png, std::vector<std::string> options = {}) {
    m_dir.WriteFile("in.png", png);
    std::vector<std::string> args = {"bmp", "from-png", "--palette", m_dir.Join("p.gpl")};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {m_dir.Join("out.bmp"), m_dir.Join("in.png")});
    const SProcessResult run = Run(args);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    ErrCode error = err::kOk;
    const std::unique_ptr<CBitmap> bitmap = LoadBmp(m_dir.Join("out.bmp").c_str(), &error, false);
    std::vector<int> indices;
    if (!bitmap) return indices;
    EXPECT_EQ(bitmap->Palette()->Count(), 4u);
    for (int y = 0; y < bitmap->Height(); ++y)
      for (int x = 0; x < bitmap->Width(); ++x) indices.push_back(bitmap->GetPixel(x, y));
    return indices;
  }
};

TEST_F(TvkitPngTest, PaletteColoursMapExactlyAndOnlyTransparentPixelsTakeTheKey) {
  const std::string png = RgbaPng(4, 2, {{255, 255, 255, 255}, {255, 0, 255, 255}, {0, 0, 0, 127},
                                         {255, 0, 0, 128}, {255, 0, 0, 255}, {0, 0, 0, 255},
                                         {255, 255, 255, 0}, {250, 5, 5, 255}});
  // The key's own colour, opaque, is as far from white, black and red; the
  // lowest of them wins.
  const std::vector<int> expected = {0, 0, 1, 3, 3, 2, 1, 3};
  EXPECT_EQ(Convert(png, {"--key", "1"}), expected);
  EXPECT_EQ(Convert(png, {"--key", "1", "--dither", "none"}), expected);
  // 16-bit grey: white and black.
  EXPECT_EQ(Convert(Png(2, 1, 16, 0, std::string("\0\xFF\xFF\0\0", 5)), {"--key", "1"}),
            (std::vector<int>{0, 2}));
}

TEST_F(TvkitPngTest, MidGreysDitherInTheEightByEightPattern) {
  // Grey 128 lies 127 from white and 128 from black: white is the nearest,
  // black on the other side, and black takes 127/255 of the cells, the
  // thresholds 0..31 of 64, which fall where x + y is even.
  std::vector<int> half(64), quarter(64);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      half[y * 8 + x] = (x + y) % 2 == 0 ? 2 : 0;
      // Grey 64: white takes 64/255, thresholds 0..15, at even x and even y.
      quarter[y * 8 + x] = x % 2 == 0 && y % 2 == 0 ? 0 : 2;
    }
  EXPECT_EQ(Convert(RgbaPng(8, 8, {{128, 128, 128, 255}}), {"--key", "1"}), half);
  EXPECT_EQ(Convert(RgbaPng(8, 8, {{64, 64, 64, 255}}), {"--key", "1", "--lzss", "0xC4"}), quarter);
  EXPECT_EQ(Convert(RgbaPng(8, 8, {{128, 128, 128, 255}}), {"--key", "1", "--dither", "none"}),
            std::vector<int>(64, 0));
}

TEST_F(TvkitPngTest, OversizeAndTruncatedPicturesAreRefusedWithNothingWritten) {
  const std::string out = m_dir.Join("out.bmp");
  const std::string wide = RgbaPng(4097, 1, {{0, 0, 0, 255}});
  const std::string whole = RgbaPng(4096, 2, {{0, 0, 0, 255}});
  const struct {
    std::string png;
    const char* error;
  } cases[] = {{wide, "error: OUTOFRANGE\n"},
               {whole.substr(0, whole.size() - 20), "error: INVALIDFORMAT\n"}};
  for (const auto& c : cases) {
    m_dir.WriteFile("in.png", c.png);
    ExpectRun({"bmp", "from-png", "--palette", m_dir.Join("p.gpl"), out, m_dir.Join("in.png")}, 1,
              "", c.error);
    EXPECT_FALSE(m_dir.Exists("out.bmp"));
    EXPECT_FALSE(m_dir.Exists("out.bmp.new"));
  }
}

}  // namespace
