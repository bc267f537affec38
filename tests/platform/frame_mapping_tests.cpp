#include <gtest/gtest.h>

#include "platform/frame_mapping.h"

namespace {

struct SFitCase {
  int output_width, output_height;
  bool integer_only;
  SFrameRect expected;
  double scale;
  int sharp_factor;
};

TEST(FrameMapping, FitsLargestAspectCorrectCentred) {
  const SFitCase cases[] = {
      {1920, 1080, false, {240, 0, 1440, 1080}, 2.25, 3},
      {1920, 1080, true, {320, 60, 1280, 960}, 2, 2},
      {640, 480, false, {0, 0, 640, 480}, 1, 1},
      {1000, 1000, false, {0, 125, 1000, 750}, 1.5625, 2},
      {1279, 959, true, {319, 239, 640, 480}, 1, 1},
      // Too small for one whole factor: still 1, overhanging.
      {600, 400, true, {-20, -40, 640, 480}, 1, 1},
  };
  for (const SFitCase& c : cases) {
    const CFrameMapping mapping(640, 480, c.output_width, c.output_height,
                                c.output_width, c.output_height,
                                c.integer_only);
    SCOPED_TRACE(testing::Message() << c.output_width << "x" << c.output_height
                                    << (c.integer_only ? " whole" : ""));
    EXPECT_EQ(mapping.Output(), c.expected);
    EXPECT_DOUBLE_EQ(mapping.Scale(), c.scale);
    EXPECT_EQ(mapping.SharpFactor(), c.sharp_factor);
  }
}

// A display of two pixels per window unit: output 1920 x 1080, window
// 960 x 540; the frame spans output columns 240 ... 1679.
TEST(FrameMapping, HighResolutionWindowPositions) {
  const CFrameMapping mapping(640, 480, 1920, 1080, 960, 540, false);
  struct {
    int window_x, window_y, frame_x, frame_y;
  } const cases[] = {
      {120, 0, 0, 0},        // output 241, 1
      {119, 0, -1, 0},       // output 239: left of the frame, not clamped
      {839, 539, 639, 479},  // output 1679, 1079
      {840, 0, 640, 0},      // output 1681: right of the frame
  };
  for (const auto& c : cases) {
    int x = 0, y = 0;
    mapping.FrameFromWindow(c.window_x, c.window_y, &x, &y);
    EXPECT_EQ(x, c.frame_x) << c.window_x;
    EXPECT_EQ(y, c.frame_y) << c.window_y;
  }
}

TEST(FrameMapping, WindowPositionOfEveryPixelMapsBack) {
  const CFrameMapping mappings[] = {
      {640, 480, 1920, 1080, 1920, 1080, false},
      {640, 480, 1920, 1080, 960, 540, false},
      {640, 480, 1000, 1000, 1000, 1000, false},
      {640, 480, 2560, 1440, 2560, 1440, true},
  };
  for (const CFrameMapping& mapping : mappings)
    for (int i = 0; i < 640; ++i) {
      int window_x = 0, window_y = 0, x = 0, y = 0;
      mapping.WindowFromFrame(i, i * 3 / 4, &window_x, &window_y);
      mapping.FrameFromWindow(window_x, window_y, &x, &y);
      ASSERT_EQ(x, i) << mapping.Scale();
      ASSERT_EQ(y, i * 3 / 4) << mapping.Scale();
    }
}

}  // namespace
