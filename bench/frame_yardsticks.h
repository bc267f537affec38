// The two physical limits of a 640 x 480 8-bit frame, for benchmarks to
// register beside their own figures: a memcpy of the frame, and the palette
// conversion of the whole frame to 32-bit pixels that one present costs.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

inline constexpr size_t kYardstickFrameSize = 640 * 480;

inline void FrameMemcpyYardstick(benchmark::State& state) {
  std::vector<uint8_t> from(kYardstickFrameSize, 1), to(kYardstickFrameSize);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::ClobberMemory();
  }
}

inline void FramePaletteTo32BitYardstick(benchmark::State& state) {
  std::vector<uint8_t> frame(kYardstickFrameSize);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint32_t> colours(256), out(frame.size());
  for (uint32_t i = 0; i < 256; ++i) colours[i] = 0xFF000000u | i * 0x010203u;
  for (auto _ : state) {
    for (size_t i = 0; i < frame.size(); ++i) out[i] = colours[frame[i]];
    benchmark::ClobberMemory();
  }
}
