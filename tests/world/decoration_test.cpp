// Decoration boards: piece frames at their times, picking, and the board's
// "DCRN" file written, read back and refused when malformed.
#include "world/decoration.h"

#include "gfx/bmp.h"
#include "world/object_rig.h"

namespace {

// The board lies at (10, 10), 8 x 4, cleared to its "TColor" 0. Pieces:
// "p1.bmp" to "p3.bmp" are 2 x 2 of 21 to 23; "leaf.bmp" is 5 but for its
// transparent top-left pixel.
class DecorationTest : public CObjectRig, public ::testing::Test {
 protected:
  void SetUp() override {
    for (uint8_t i = 1; i <= 3; ++i)
      WritePicture(Dir(), "p" + std::to_string(i) + ".bmp", 2, std::vector<uint8_t>(4, 20 + i));
    WritePicture(Dir(), "leaf.bmp", 2, {0, 5, 5, 5});
    Enter(Section("Board", "Decoration") + "Pos=rect:10, 10, 17, 13\nTColor=long:0\n");
    m_board = Object<CDecoration>("Board");
    ASSERT_NE(m_board, nullptr);
  }
  int At(int x, int y) const { return Pixel<CDecoration>("Board", x, y); }

  CDecoration* m_board = nullptr;
};

struct SModeCase {
  int32_t mode;
  std::vector<std::pair<uint32_t, int>> shots;  // ms since added, pixel at (1, 1)
  size_t pieces_left;
};

TEST_F(DecorationTest, PiecesPlayTheirFramesAtTheirTimesAndMode3GoesWhenItsNextFrameIsDue) {
  const SModeCase kCases[] = {
      {CDecoration::kOnce, {{0, 21}, {99, 21}, {100, 22}, {200, 23}, {300, 23}, {500, 23}}, 1},
      {CDecoration::kOnceThenGone, {{0, 21}, {200, 23}, {299, 23}, {300, 0}}, 0},
  };
  uint32_t start = 0;
  for (const SModeCase& c : kCases) {
    m_board->Clear();
    ASSERT_EQ(m_board->AddPiece({1, 1}, "/deco/p", c.mode, 3, 100), err::kOk);
    for (const auto& [ms, pixel] : c.shots) {
      RunTo(start + ms);
      EXPECT_EQ(At(1, 1), pixel) << "mode " << c.mode << " at " << ms;
    }
    EXPECT_EQ(m_board->PieceCount(), c.pieces_left);
    start += 1000;
    RunTo(start);
  }
  EXPECT_EQ(m_board->Pos().right, 17);
  EXPECT_EQ(m_board->Pos().bottom, 13);
}

TEST_F(DecorationTest, PickTakesTheFirstOpaquePieceAndAStillPieceFallsBackToItsFirstFrame) {
  ASSERT_EQ(m_board->AddPiece({0, 0}, "/deco/leaf.bmp"), err::kOk);
  ASSERT_EQ(m_board->AddPiece({0, 0}, "/deco/p"), err::kOk);  // no file: p1.bmp
  EXPECT_EQ(At(0, 0), 21);
  std::string name;
  // The leaf comes first but is transparent at (0, 0).
  ASSERT_TRUE(m_board->Pick({0, 0}, &name));
  EXPECT_EQ(name, "/deco/p");
  EXPECT_EQ(At(0, 0), 0);
  EXPECT_EQ(At(1, 0), 5);
  EXPECT_FALSE(m_board->Pick({0, 0}, &name));
  ASSERT_TRUE(m_board->Pick({1, 1}, &name));
  EXPECT_EQ(name, "/deco/leaf.bmp");
  EXPECT_EQ(m_board->AddPiece({0, 0}, std::string(64, 'n')), err::kBadParams);
  EXPECT_EQ(m_board->AddPiece({0, 0}, std::string(63, 'n')), err::kOk);
}

TEST_F(DecorationTest, TheBoardFileRoundTripsAndMalformedOnesLeaveTheBoard) {
  ASSERT_EQ(m_board->AddPiece({3, -1}, "/deco/leaf.bmp"), err::kOk);
  ASSERT_EQ(m_board->AddPiece({6, 2}, "/deco/p", CDecoration::kLoop, 3, 100), err::kOk);
  const std::string path = Dir().Join("board.dcr");
  ASSERT_EQ(m_board->Save(path.c_str(), true), err::kOk);
  std::string expected = std::string("DCRN\x02\0\0\0", 8) + std::string("\x03\0\xFF\xFF", 4) +
                         "/deco/leaf.bmp" + std::string(64 - 14, '\0') +
                         std::string("\x06\0\x02\0", 4) + "/deco/p" + std::string(64 - 7, '\0');
  EXPECT_EQ(Dir().ReadFile("board.dcr"), expected);
  ErrCode error = err::kOk;
  std::unique_ptr<CBitmap> shot = LoadBmp((path + ".bmp").c_str(), &error, false);
  ASSERT_NE(shot, nullptr);
  EXPECT_EQ(shot->Width(), 8);
  // The leaf's first row lies above the board.
  EXPECT_EQ(shot->GetPixel(3, 0), 5);
  EXPECT_EQ(shot->GetPixel(5, 0), 0);

  m_board->Clear();
  uint32_t count = 0;
  ASSERT_EQ(m_board->Load(path.c_str(), &count), err::kOk);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(At(7, 3), 21);  // the looping piece is read back still
  RunTo(250);
  EXPECT_EQ(At(7, 3), 21);

  const struct {
    const char* what;
    std::string bytes;
  } kMalformed[] = {
      {"magic", "DCRX" + expected.substr(4)},
      {"count past the end", expected.substr(0, 4) + std::string("\x03\0\0\0", 4) + expected.substr(8)},
      {"name without its end", expected.substr(0, 12) + std::string(64, 'x') + expected.substr(76)},
  };
  for (const auto& c : kMalformed) {
    Dir().WriteFile("bad.dcr", c.bytes);
    count = 7;
    EXPECT_EQ(m_board->Load(Dir().Join("bad.dcr").c_str(), &count), err::kInvalidFormat) << c.what;
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(m_board->PieceCount(), 2u);
    EXPECT_EQ(At(7, 3), 21);
  }
}

}  // namespace
