#include "gfx/anim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fs/file_service.h"
#include "fs/memory_file.h"
#include "fs/native_fs.h"
#include "gfx/anim_writer.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(Bytes* b, int v) {
  b->push_back(static_cast<uint8_t>(v));
  b->push_back(static_cast<uint8_t>(v >> 8));
}
void Record(Bytes* b, int l, int t, int r, int bottom, uint32_t key, uint32_t frames,
            const Bytes& data) {
  Put16(b, l);
  Put16(b, t);
  Put16(b, r);
  Put16(b, bottom);
  Put32(b, key);
  Put32(b, frames);
  Put32(b, static_cast<uint32_t>(data.size()));
  b->insert(b->end(), data.begin(), data.end());
}

// A 4 x 2 animation of three frames in one chunk, coded by hand:
//   frame 0 (key frame)  5 5 5 5 / 1 2 3 4
//   frame 1              5 5 7 5 / 1 8 8 4   (rectangle 1,0-2,1, key 9)
//   frame 2              5 5 7 5 / 1 8 8 10  (rectangle 3,1-3,1)
Bytes HandMade() {
  Bytes b = {'R', 'L', 'M', 0};
  Put16(&b, 4);
  Put16(&b, 2);
  Put32(&b, 3);
  b.resize(1052, 0);
  b[28 + 4 * 5 + 2] = 0xEE;  // entry 5 is red
  Put32(&b, 0);
  Put32(&b, 7);
  Put32(&b, 0);
  Put32(&b, 0);
  b.insert(b.end(), {0x01, 5, 0xFC, 1, 2, 3, 4});
  Record(&b, 0, 0, 0, 0, 0xFFFFFFFF, 1, {0xFF, 5});
  Record(&b, 1, 0, 2, 1, 9, 1, {0xFE, 9, 7, 0xFE, 8, 8});
  Record(&b, 3, 1, 3, 1, 0xFFFFFFFF, 1, {0xFF, 10});
  return b;
}

std::vector<int> Pixels(const CAnimReader& reader) {
  std::vector<int> out;
  const CBitmap* frame = reader.GetFrameBitmap();
  for (int y = 0; y < frame->Height(); ++y)
    for (int x = 0; x < frame->Width(); ++x) out.push_back(frame->GetPixel(x, y));
  return out;
}

bool Same(const TRect& r, int l, int t, int right, int b) {
  return r.left == l && r.top == t && r.right == right && r.bottom == b;
}

ErrCode OpenBytes(CAnimReader* reader, std::span<const uint8_t> bytes) {
  return reader->OpenFile(std::make_unique<CMemoryFile>(bytes));
}

TEST(AnimRuns, ControlBytesAndTransparency) {
  struct Case {
    const char* what;
    Bytes data;
    int width;
    uint32_t key;
    ErrCode error;
    int first, last;  // expected first and last pixel of the row
  };
  Bytes literals = {0x80};
  for (int i = 0; i < 128; ++i) literals.push_back(static_cast<uint8_t>(i));
  const Case cases[] = {
      {"0x80: 128 literals", literals, 128, CAnimReader::kNoTransparency, err::kOk, 0, 127},
      {"0x7F: 130 repeats", {0x7F, 6}, 130, CAnimReader::kNoTransparency, err::kOk, 6, 6},
      {"0x00: 3 repeats", {0x00, 6}, 3, CAnimReader::kNoTransparency, err::kOk, 6, 6},
      {"key 0 in literals", {0xFD, 0, 4, 0}, 3, 0, err::kOk, 0xCC, 0xCC},
      {"key 0 in repeats", {0x00, 0}, 3, 0, err::kOk, 0xCC, 0xCC},
      {"repeat overruns the row", {0x00, 6}, 2, CAnimReader::kNoTransparency,
       err::kInvalidFormat, 0, 0},
      {"literals overrun the row", {0xFD, 1, 2, 3}, 2, CAnimReader::kNoTransparency,
       err::kInvalidFormat, 0, 0},
      {"literals overrun the data", {0xFD, 1, 2}, 3, CAnimReader::kNoTransparency,
       err::kInvalidFormat, 0, 0},
      {"repeat without its byte", {0x00}, 3, CAnimReader::kNoTransparency,
       err::kInvalidFormat, 0, 0},
      {"data ends before the row", {0xFF, 1}, 3, CAnimReader::kNoTransparency,
       err::kInvalidFormat, 0, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> row(200, 0xCC);
    const SPixelView view{row.data(), 200, 200, 1};
    const TRect area{0, 0, static_cast<int16_t>(c.width - 1), 0};
    EXPECT_EQ(DecodeAnimRuns(c.data.data(), static_cast<uint32_t>(c.data.size()), view, area, c.key),
              c.error)
        << c.what;
    if (c.error) continue;
    EXPECT_EQ(row[0], c.first) << c.what;
    EXPECT_EQ(row[c.width - 1], c.last) << c.what;
    EXPECT_EQ(row[c.width], 0xCC) << c.what;
  }
  std::vector<uint8_t> row = {9, 9, 9};
  const uint8_t keyed[] = {0xFD, 0, 4, 0};
  ASSERT_EQ(DecodeAnimRuns(keyed, 4, SPixelView{row.data(), 3, 3, 1}, TRect{0, 0, 2, 0}, 0), err::kOk);
  EXPECT_EQ(row, (std::vector<uint8_t>{9, 4, 9}));
}

TEST(AnimReader, ShowsFramesByTimeWithTheirChangedRectangles) {
  CAnimReader reader;
  ASSERT_EQ(OpenBytes(&reader, HandMade()), err::kOk);
  EXPECT_EQ(reader.FrameCount(), 3u);
  EXPECT_TRUE(Same(reader.GetChangedRect(), 0, 0, 3, 1));
  SPalEntry red;
  reader.GetPalette()->GetEntry(5, &red);
  EXPECT_EQ(red.red, 0xEE);

  ASSERT_TRUE(reader.ShowTime(0));
  EXPECT_TRUE(reader.FrameChanged());
  EXPECT_EQ(Pixels(reader), (std::vector<int>{5, 5, 5, 5, 1, 2, 3, 4}));
  EXPECT_TRUE(Same(reader.GetChangedRect(), 0, 0, 3, 1));
  ASSERT_TRUE(reader.ShowTime(0));
  EXPECT_FALSE(reader.FrameChanged());

  ASSERT_TRUE(reader.ShowTime(1));
  EXPECT_EQ(Pixels(reader), (std::vector<int>{5, 5, 7, 5, 1, 8, 8, 4}));
  EXPECT_TRUE(Same(reader.GetChangedRect(), 1, 0, 2, 1));
  ASSERT_TRUE(reader.ShowTime(2));
  EXPECT_EQ(Pixels(reader), (std::vector<int>{5, 5, 7, 5, 1, 8, 8, 10}));
  EXPECT_TRUE(Same(reader.GetChangedRect(), 3, 1, 3, 1));

  // Earlier: back to the key frame.
  ASSERT_TRUE(reader.ShowTime(1));
  EXPECT_EQ(Pixels(reader), (std::vector<int>{5, 5, 7, 5, 1, 8, 8, 4}));
  EXPECT_TRUE(Same(reader.GetChangedRect(), 0, 0, 3, 1));
  // Catching up two records unites their rectangles.
  ASSERT_TRUE(reader.ShowTime(0));
  ASSERT_TRUE(reader.ShowTime(2));
  EXPECT_TRUE(Same(reader.GetChangedRect(), 1, 0, 3, 1));
  // Beyond the end without looping: the last frame stays.
  ASSERT_TRUE(reader.ShowTime(99));
  EXPECT_FALSE(reader.FrameChanged());
  reader.SetLoop(true);
  ASSERT_TRUE(reader.ShowTime(4));  // 4 mod 3
  EXPECT_EQ(reader.ShownFrame(), 1);
  reader.SetRate(1, 10);
  ASSERT_TRUE(reader.ShowTime(25));  // 2.5 frames
  EXPECT_EQ(reader.ShownFrame(), 2);
}

TEST(AnimReader, TheReadLimitSpreadsCatchingUpOverUpdates) {
  CAnimReader reader;
  reader.SetReadLimit(0);
  ASSERT_EQ(OpenBytes(&reader, HandMade()), err::kOk);
  ASSERT_TRUE(reader.ShowTime(2));
  EXPECT_EQ(reader.ShownFrame(), 0);
  ASSERT_TRUE(reader.ShowTime(2));
  EXPECT_EQ(reader.ShownFrame(), 1);
  EXPECT_TRUE(Same(reader.GetChangedRect(), 1, 0, 2, 1));
  ASSERT_TRUE(reader.ShowTime(2));
  EXPECT_EQ(reader.ShownFrame(), 2);
  ASSERT_TRUE(reader.ShowTime(2));
  EXPECT_FALSE(reader.FrameChanged());
}

TEST(AnimReader, DamagedFilesGiveInvalidFormatAndStayFailed) {
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;
    int width;
  };
  const size_t chunk = 1052;
  const size_t first_record = chunk + 16 + 7;
  const Case cases[] = {
      {"magic", 0, 'X', 1},
      {"next chunk backwards", chunk + 8, 1000, 4},
      {"next chunk outside the file", chunk + 8, 100000, 4},
      {"key frame longer than the file", chunk + 4, 1000, 4},
      {"rectangle right of the frame", first_record + 4, 4, 2},
      {"rectangle below the frame", first_record + 6, 2, 2},
      {"negative rectangle", first_record, 0xFFFF, 2},
      {"record lasting no frame", first_record + 12, 0, 4},
      {"data longer than the file", first_record + 16, 5000, 4},
      {"record without data", first_record + 16, 0, 4},
  };
  for (const Case& c : cases) {
    Bytes b = HandMade();
    if (c.at == chunk + 8) b[chunk + 12] = 3;  // the chunk then claims a successor
    for (int i = 0; i < c.width; ++i) b[c.at + i] = static_cast<uint8_t>(c.value >> (8 * i));
    CAnimReader reader;
    const ErrCode opened = OpenBytes(&reader, b);
    if (opened) {
      EXPECT_EQ(opened, err::kInvalidFormat) << c.what;
      continue;
    }
    bool ok = true;
    for (uint32_t t = 0; t < 3 && ok; ++t) ok = reader.ShowTime(t);
    EXPECT_FALSE(ok) << c.what;
    EXPECT_EQ(reader.LastError(), err::kInvalidFormat) << c.what;
    EXPECT_FALSE(reader.ShowTime(0)) << c.what;
  }
  CAnimReader reader;
  Bytes short_file = HandMade();
  short_file.resize(500);
  EXPECT_EQ(OpenBytes(&reader, short_file), err::kInvalidFormat);
  EXPECT_FALSE(reader.ShowTime(0));
}

// 40 frames of 48 x 32: a square moving over stripes, some frames repeated.
std::vector<Bytes> MovingSquare() {
  std::vector<Bytes> frames;
  for (int f = 0; f < 40; ++f) {
    Bytes frame(48 * 32);
    const int at = (f / 2) % 30;  // every frame shown twice
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 48; ++x) {
        const bool inside = x >= at && x < at + 10 && y >= 8 && y < 18;
        frame[y * 48 + x] = inside ? static_cast<uint8_t>(200 + f % 7) : static_cast<uint8_t>(x / 4);
      }
    frames.push_back(frame);
  }
  return frames;
}

void ExpectFrame(const CAnimReader& reader, const Bytes& expected, int frame) {
  const CBitmap* bitmap = reader.GetFrameBitmap();
  CBitmapLock lock(*bitmap);
  for (int y = 0; y < 32; ++y)
    ASSERT_EQ(std::memcmp(lock.View().Row(y), &expected[y * 48], 48), 0)
        << "frame " << frame << " row " << y;
}

TEST(AnimWriter, BuiltAnimationsPlayBackEveryFrameAtItsTime) {
  const std::vector<Bytes> frames = MovingSquare();
  CPalette palette;
  palette.SetCount(256);
  CMemoryFile file;
  const SAnimFormat format{48, 32, 25, 8};
  ASSERT_EQ(WriteAnimation(&file, format, palette, frames), err::kOk);
  CAnimReader reader;
  ASSERT_EQ(OpenBytes(&reader, file.Data()), err::kOk);
  EXPECT_EQ(reader.HeaderValue(0), 25u);
  uint32_t chunks = 0;
  ASSERT_EQ(reader.CountChunks(&chunks), err::kOk);
  EXPECT_EQ(chunks, 5u);
  reader.SetRate(25, 1000);  // 40 ms a frame
  for (int f = 0; f < 40; ++f) {
    ASSERT_TRUE(reader.ShowTime(f * 40 + 39));
    EXPECT_EQ(reader.ShownFrame() <= f, true);
    ExpectFrame(reader, frames[f], f);
  }
  // Looping restarts at the first key frame.
  reader.SetLoop(true);
  ASSERT_TRUE(reader.ShowTime(40 * 40 + 3 * 40));
  ExpectFrame(reader, frames[3], 43);
  ASSERT_TRUE(reader.ShowTime(40 * 40 + 37 * 40));
  ExpectFrame(reader, frames[37], 77);
  // Ten frames, looping, time 25 at 1/1: frame 5.
  CMemoryFile ten;
  ASSERT_EQ(WriteAnimation(&ten, SAnimFormat{48, 32, 0, 4}, palette,
                           std::span(frames).subspan(20, 10)),
            err::kOk);
  CAnimReader looping;
  ASSERT_EQ(OpenBytes(&looping, ten.Data()), err::kOk);
  looping.SetLoop(true);
  ASSERT_TRUE(looping.ShowTime(25));
  ExpectFrame(looping, frames[25], 25);
}

TEST(AnimWriter, FilesLargerThanTheReadLimitPlayFromDisk) {
  const std::vector<Bytes> frames = MovingSquare();
  CPalette palette;
  palette.SetCount(16);
  CTempDir dir;
  MountNativeFileSystem();
  {
    std::unique_ptr<CFile> out = FsOpen(dir.Join("square.ani").c_str(), 0x0F, nullptr);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(WriteAnimation(out.get(), SAnimFormat{48, 32, 10, 16}, palette, frames), err::kOk);
  }
  CAnimReader reader;
  reader.SetReadLimit(600);  // smaller than the file and than a key frame
  ASSERT_EQ(reader.Open(dir.Join("square.ani").c_str()), err::kOk);
  for (int f : {0, 17, 39, 5}) {
    do {
      ASSERT_TRUE(reader.ShowTime(f)) << ErrName(reader.LastError());
    } while (reader.FrameChanged());
    ExpectFrame(reader, frames[f], f);
  }
  EXPECT_EQ(reader.Open(dir.Join("none.ani").c_str()), err::kFileNotFound);
  ShutdownFileService();
}

}  // namespace
