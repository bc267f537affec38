#include "gfx/blit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A small 8-bit area drawn as one character per pixel.
struct SArea {
  SArea(int w, int h, uint8_t fill) : width(w), height(h), pixels(w * h, fill) {}
  SPixelView View() { return SPixelView{pixels.data(), width, width, height}; }
  std::string Text() const {
    std::string text;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) text += static_cast<char>('0' + pixels[y * width + x]);
      text += '/';
    }
    return text;
  }
  int width, height;
  std::vector<uint8_t> pixels;
};

SArea Source() {
  SArea source(3, 2, 0);
  const uint8_t values[] = {1, 2, 3, 4, 5, 6};
  std::copy(values, values + 6, source.pixels.begin());
  return source;
}

TEST(Blit, CopiesClipsAndKeys) {
  struct Case {
    const char* what;
    int x, y;
    TRect area;
    uint32_t key;
    TRect clip;
    const char* result;
  };
  const TRect all{0, 0, 99, 99};
  const Case cases[] = {
      {"whole", 1, 1, {0, 0, 2, 1}, kNoKey, all, "0000/0123/0456/"},
      {"key 5", 1, 1, {0, 0, 2, 1}, 5, all, "0000/0123/0406/"},
      {"key only in the low byte", 1, 1, {0, 0, 2, 1}, 0x105, all, "0000/0123/0406/"},
      {"off the top left", -1, -1, {0, 0, 2, 1}, kNoKey, all, "5600/0000/0000/"},
      {"off the bottom right", 2, 2, {0, 0, 2, 1}, kNoKey, all, "0000/0000/0012/"},
      {"area beyond the source", 0, 0, {1, 1, 5, 5}, kNoKey, all, "5600/0000/0000/"},
      {"clipped", 0, 0, {0, 0, 2, 1}, kNoKey, {1, 0, 1, 2}, "0200/0500/0000/"},
      {"empty clip", 0, 0, {0, 0, 2, 1}, kNoKey, {2, 2, 1, 1}, "0000/0000/0000/"},
  };
  for (const Case& c : cases) {
    SArea target(4, 3, 0);
    SArea source = Source();
    Blit8(target.View(), c.x, c.y, source.View(), c.area, c.key, c.clip);
    EXPECT_EQ(target.Text(), c.result) << c.what;
  }
}

TEST(Blit, ReplaceAndFill) {
  SArea area = Source();
  ReplaceColour(area.View(), 5, 9, nullptr);
  EXPECT_EQ(area.Text(), "123/496/");
  const TRect right{2, 0, 9, 9};
  ReplaceColour(area.View(), 9, 7, &right);  // 9 lies outside the rectangle
  EXPECT_EQ(area.Text(), "123/496/");
  ReplaceColour(area.View(), 6, 0, &right);
  EXPECT_EQ(area.Text(), "123/490/");
  Fill(area.View(), TRect{-5, 1, 1, 7}, 8);
  EXPECT_EQ(area.Text(), "123/880/");
}

TEST(Blit, DissolveReachesTheImageChangingEachPixelOnce) {
  SArea screen(37, 21, 0);  // not a multiple of the 16 x 16 block
  SArea image(37, 21, 0);
  for (size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<uint8_t>(1 + i % 5);
  const int steps = 8;
  std::vector<int> changed_at(screen.pixels.size(), -1);
  for (int step = 0; step < steps; ++step) {
    DissolveStep(screen.View(), image.View(), step, steps);
    int changed = 0;
    for (size_t i = 0; i < screen.pixels.size(); ++i) {
      if (screen.pixels[i] && changed_at[i] < 0) {
        changed_at[i] = step;
        ++changed;
      }
    }
    // Each step takes one eighth of every 16 x 16 block: 32 of its 256 pixels.
    EXPECT_GT(changed, 0);
    EXPECT_LT(changed, 37 * 21 / 4);
  }
  EXPECT_EQ(screen.pixels, image.pixels);
  DissolveStep(screen.View(), image.View(), steps, steps);  // out of range: nothing
  EXPECT_EQ(screen.pixels, image.pixels);

  SArea block(16, 16, 0);
  SArea ones(16, 16, 1);
  DissolveStep(block.View(), ones.View(), 3, steps);
  int count = 0;
  for (uint8_t p : block.pixels) count += p;
  EXPECT_EQ(count, 32);
}

}  // namespace
