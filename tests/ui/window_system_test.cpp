// The window system end to end on the headless platform: input script in,
// traced events, presents and shots out.
#include <gtest/gtest.h>

#include "gfx/bmp.h"
#include "test_windows.h"
#include "ui_rig.h"

namespace {

const std::string kA = "CPanel@100,100,299,299";
const std::string kB = "CPanel@200,200,399,399";
const std::string kC = "CPanel@250,250,269,269";

class WindowSystemTest : public ::testing::Test {
 protected:
  void Play(const std::string& script) {
    m_rig.reset();
    m_rig = std::make_unique<CUiRig>(script);
    m_tree = BuildTestTree(m_rig->Desktop());
    m_rig->Run();
  }
  // The hover codes (enter 1, leave 2, capture lost 3) as "<code> <label>".
  std::vector<std::string> HoverLines() const {
    std::vector<std::string> lines;
    for (const std::string& line : m_rig->TraceLines("event\tmouse\t0x")) {
      const std::string code = line.substr(12, line.find('\t', 12) - 12);
      if (code == "0x1" || code == "0x2" || code == "0x3")
        lines.push_back(code + " " + line.substr(line.rfind('\t') + 1));
    }
    return lines;
  }

  std::unique_ptr<CUiRig> m_rig;
  STestTree m_tree{};
};

TEST_F(WindowSystemTest, HoverEntersAndLeavesAlongTheTree) {
  Play("10 move 150 150\n20 move 300 300\n30 move 260 260\n");
  EXPECT_EQ(HoverLines(), (std::vector<std::string>{"0x1 " + kA, "0x2 " + kA, "0x1 " + kB,
                                                    "0x2 " + kB, "0x1 " + kC}));
}

TEST_F(WindowSystemTest, CaptureKeepsOtherWindowsOutOfTheMouse) {
  Play("10 ldown 150 150\n20 move 300 300\n30 move 150 150\n40 lup 150 150\n");
  EXPECT_EQ(m_rig->TraceLines("capture\t"),
            (std::vector<std::string>{"capture\t" + kA, "capture\tnone"}));
  EXPECT_EQ(HoverLines(), (std::vector<std::string>{"0x1 " + kA, "0x2 " + kA, "0x1 " + kA,
                                                    "0x3 " + kA}));
  EXPECT_TRUE(m_tree.b->mouse.empty());
}

TEST_F(WindowSystemTest, ADoubleClickCountsOnlyAfterADownOnTheSameHoverWindow) {
  Play("10 ldown 300 300\n20 lup 300 300\n30 ldbl 300 300\n");
  EXPECT_EQ(m_tree.b->mouse.back(), kEvLeftDouble);
  Play("10 ldown 300 300\n20 lup 300 300\n22 move 150 150\n24 move 300 300\n"
       "30 ldbl 300 300\n");
  EXPECT_EQ(m_tree.b->mouse.back(), kEvLeftDown);
}

TEST_F(WindowSystemTest, AClickRepaintsOnlyTheWindowItChanged) {
  Play("10 ldown 300 300\n20 shot {dir}shot.bmp\n");
  EXPECT_EQ(m_rig->TraceLines("present\t"),
            (std::vector<std::string>{"present\t0,0,639,479", "present\t200,200,399,399"}));
  ErrCode error = err::kOk;
  const std::unique_ptr<CBitmap> shot = LoadBmp(m_rig->Dir().Join("shot.bmp").c_str(), &error, false);
  ASSERT_TRUE(shot) << ErrName(error);
  CBitmapLock lock(*shot);
  const auto pixel = [&](int x, int y) { return lock.View().Row(y)[x]; };
  EXPECT_EQ(pixel(300, 300), 4);
  EXPECT_EQ(pixel(250, 250), 3);
  EXPECT_EQ(pixel(251, 251), 4);  // inside the transparent frame
  EXPECT_EQ(pixel(150, 150), 1);
  EXPECT_EQ(pixel(50, 50), 255);
  for (uint32_t n : {0u, 1u, 128u, 255u}) {
    SPalEntry entry;
    ASSERT_EQ(shot->Palette()->GetEntry(n, &entry), err::kOk);
    EXPECT_EQ(entry.red, n);
    EXPECT_EQ(entry.green, n);
    EXPECT_EQ(entry.blue, n);
  }
}

}  // namespace
