// Animation objects on the virtual clock: the frame shown at each time, and
// their handlers at their exact times.
#include "world/animation.h"

#include "kind_files.h"
#include "world/object_rig.h"

namespace {

struct SPlayCase {
  const char* what;
  const char* properties;
  uint32_t act_at;
  void (*act)(CAnim&);
  std::vector<std::pair<uint32_t, int>> shots;  // ms since entry, pixel (0, 0)
  uint32_t end;
  std::vector<std::string> calls;
};

// Frames 0-3 begin at 0, 100, 200 and 300 ms of play.
const SPlayCase kPlayCases[] = {
    {"PlaysOnceAndHaltsOnItsLastFrameWhenItsTimeIsOver", "Active=long:1\n", 0, nullptr,
     {{0, 10}, {99, 10}, {100, 11}, {350, 13}, {600, 13}}, 600,
     {"0 Walk OnPreStart", "0 Walk OnStart", "400 Walk OnPreStop", "400 Walk OnStop"}},
    {"LoopsAndRecoloursEveryRectangleDecodedLater", "Active=long:1\nLooping=long:1\n", 50,
     [](CAnim& anim) { anim.ReplaceColor(11, 40); },
     {{0, 10}, {100, 40}, {399, 13}, {400, 10}, {500, 40}, {750, 13}}, 750,
     {"0 Walk OnPreStart", "0 Walk OnStart"}},
    // At half the rate frame 2 begins 400 ms into play: play went on from
    // -150, so frame 3 comes at 450 and the end at 650.
    {"RescaledKeepsTheFrameShown", "Active=long:1\n", 250,
     [](CAnim& anim) { EXPECT_EQ(anim.Rescale(1, 2), err::kOk); },
     {{250, 12}, {449, 12}, {450, 13}}, 700,
     {"0 Walk OnPreStart", "0 Walk OnStart", "650 Walk OnPreStop", "650 Walk OnStop"}},
    // Played from 200: the interrupt at 150 into the first pass, then at
    // the 50 the handler wrote into the second (which begins at 600).
    {"WaitsOnFrameZeroUntilPlayedAndIsInterruptedEachPass", "InterruptTime=long:150\n", 200,
     [](CAnim& anim) { anim.Play(true); },
     {{100, 10}, {200, 10}, {450, 12}, {700, 11}}, 700,
     {"200 Walk OnPreStart", "200 Walk OnStart", "350 Walk OnInterrupt 150",
      "650 Walk OnInterrupt 50"}},
    {"WithASoundStartsAfterTheAutoDelay", "Active=long:1\nSndObj=str:Snd\n", 0, nullptr,
     {{4999, 10}, {5000, 10}, {5100, 11}}, 5100, {"5000 Walk OnPreStart", "5000 Walk OnStart"}},
    {"ANewFileInterruptsAndPlaysFromItsFrameZero", "Active=long:1\nLooping=long:1\n", 150,
     [](CAnim& anim) { EXPECT_EQ(anim.SetFile("other"), err::kOk); },
     {{149, 11}, {150, 20}, {250, 21}, {350, 20}}, 350,
     {"0 Walk OnPreStart", "0 Walk OnStart", "150 Walk Interrupt"}},
};

class AnimPlayTest : public CObjectRig, public ::testing::TestWithParam<SPlayCase> {
 protected:
  // `cut` adds "Cut", which plays "walk" without its last 2 bytes.
  void EnterWith(const std::string& properties, bool cut = false) {
    WriteAnim(Dir(), "walk", {10, 11, 12, 13});
    WriteAnim(Dir(), "other", {20, 21});
    Dir().WriteFile("broken.ani", "RLX");
    const std::string walk = Dir().ReadFile("walk.ani");
    Dir().WriteFile("cut.ani", walk.substr(0, walk.size() - 2));
    std::string sections = Section("Walk", "Animation") +
                           "ImageName=str:walk\nPos=rect:20, 20, 20, 20\nOnInterrupt=script\n" +
                           properties + Script("/World/Room/Walk/OnInterrupt", "itime = 50\\s") +
                           Section("Lost", "Animation") + "ImageName=str:none\n" +
                           Section("Broken", "Animation") + "ImageName=str:broken\n";
    if (cut) sections += Section("Cut", "Animation") + "ImageName=str:cut\nActive=long:1\n";
    Enter(sections);
  }
};

TEST_P(AnimPlayTest, ShowsEachFrameAtItsTimeAndCallsItsHandlersAtTheirs) {
  const SPlayCase& c = GetParam();
  EnterWith(c.properties);
  CAnim* walk = Object<CAnim>("Walk");
  ASSERT_NE(walk, nullptr);
  bool acted = c.act == nullptr;
  for (const auto& [ms, pixel] : c.shots) {
    if (!acted && c.act_at <= ms) {
      RunTo(c.act_at);
      c.act(*walk);
      acted = true;
    }
    RunTo(ms);
    EXPECT_EQ(Pixel<CAnim>("Walk", 0, 0), pixel) << ms;
  }
  RunTo(c.end);
  EXPECT_EQ(Calls(), c.calls);
}

INSTANTIATE_TEST_SUITE_P(Cases, AnimPlayTest, ::testing::ValuesIn(kPlayCases),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(AnimPlayTest, TakesTheFrameSizeKeepsAMissingFileSkipsABrokenOneAndHaltsOnABadFrame) {
  EnterWith("", true);
  CAnim* walk = Object<CAnim>("Walk");
  ASSERT_NE(walk, nullptr);
  EXPECT_EQ(walk->Pos().right, 21);
  EXPECT_EQ(walk->Pos().bottom, 21);
  EXPECT_EQ(walk->Rescale(0, 1), err::kBadParams);
  EXPECT_EQ(walk->SetFrame(2), err::kOk);
  EXPECT_EQ(Pixel<CAnim>("Walk", 0, 0), 12);
  ASSERT_NE(Object<CAnim>("Lost"), nullptr);
  EXPECT_EQ(Object<CAnim>("Lost")->Picture(), nullptr);
  EXPECT_EQ(Object<CAnim>("Broken"), nullptr);
  EXPECT_TRUE(Logged("Anim file not found: /anim/none.ani\n"));
  EXPECT_TRUE(Logged("/anim/broken.ani: INVALIDFORMAT\n"));
  // The last frame's data is cut short: playing halts on frame 2, quietly.
  RunTo(500);
  EXPECT_EQ(Pixel<CAnim>("Cut", 0, 0), 12);
  EXPECT_FALSE(Object<CAnim>("Cut")->IsPlaying());
  EXPECT_EQ(Calls(), (std::vector<std::string>{"0 Cut OnPreStart", "0 Cut OnStart"}));
  EXPECT_TRUE(Logged("/anim/cut.ani: INVALIDFORMAT\n"));
}

}  // namespace
