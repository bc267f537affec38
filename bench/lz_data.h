// The sample data of the compression benchmarks: about 2 MB of generated
// text (words drawn from a vocabulary with a skewed distribution, sentences
// and lines) followed by about 2 MB of 8-bit picture data (640 x 480 frames
// of shaded bands, filled shapes, flat areas and a patch of noise).
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

inline std::vector<uint8_t> SampleText(size_t size) {
  std::mt19937 random(11);
  std::vector<std::string> words;
  for (int i = 0; i < 3000; ++i) {
    std::string word(2 + random() % 4 + random() % 5, ' ');
    for (char& c : word) c = static_cast<char>('a' + random() % 26);
    words.push_back(word);
  }
  std::vector<uint8_t> text;
  size_t line = 0;
  bool capital = true;
  while (text.size() < size) {
    // Rank r is taken with a probability falling off as 1 / r.
    const double u = std::uniform_real_distribution<double>(0, 1)(random);
    const size_t rank = static_cast<size_t>(std::exp(u * std::log(3000.0))) - 1;
    std::string word = words[rank];
    if (capital) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    capital = random() % 12 == 0;
    word += capital ? ". " : random() % 9 == 0 ? ", " : " ";
    line += word.size();
    if (line > 70) {
      word.back() = '\n';
      line = 0;
    }
    text.insert(text.end(), word.begin(), word.end());
  }
  text.resize(size);
  return text;
}

inline std::vector<uint8_t> SamplePicture(size_t size) {
  constexpr int kWidth = 640, kHeight = 480;
  std::mt19937 random(12);
  std::vector<uint8_t> pixels;
  for (int frame = 0; pixels.size() < size; ++frame) {
    const int cx = 100 + frame * 37 % 440, cy = 80 + frame * 53 % 320;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        uint8_t colour = static_cast<uint8_t>(16 + (y / 8 + frame) % 32);
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < 70 * 70)
          colour = static_cast<uint8_t>(200 + ((x + y) / 16) % 8);
        else if (y > 400)
          colour = 3;
        else if (x > 560 && y < 120)
          colour = static_cast<uint8_t>(random() % 4 + 100);
        else if (random() % 64 == 0)
          colour = static_cast<uint8_t>(colour + 1);
        pixels.push_back(colour);
      }
    }
  }
  pixels.resize(size);
  return pixels;
}

inline std::vector<uint8_t> SampleData() {
  std::vector<uint8_t> data = SampleText(2 << 20);
  const std::vector<uint8_t> picture = SamplePicture(2 << 20);
  data.insert(data.end(), picture.begin(), picture.end());
  return data;
}
