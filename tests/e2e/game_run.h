// A game built with tvkit from text sources in a temporary folder, and runs
// of the engine binary on it, headless, with an input script and the
// handlers and views traces.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"

// The start-up file: the project to load, the messages a failed load
// shows, and the game folder mounted as "/HDD/".
inline std::string GameConfig(const std::string& more_main = "") {
  return "[main]\nautoload=game.prj\n" + more_main +
         "[Messages]\nError=Game\nBadInstall=Bad install.\n"
         "[FS]\n/HDD/=Trans, ./\n";
}

// A BMP of `width` x `height` pixels of `bits` bits with a grey palette
// when 8-bit; `rows` are the pixel bytes, bottom row first, each row padded
// to four bytes.
inline std::string BmpFile(uint32_t width, uint32_t height, uint16_t bits, const std::string& rows) {
  const uint32_t palette = bits == 8 ? 1024 : 0, offset = 14 + 40 + palette;
  std::string bmp;
  const auto le = [&bmp](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) bmp += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  bmp += "BM";
  le(offset + static_cast<uint32_t>(rows.size()), 4);
  le(0, 4);
  le(offset, 4);
  le(40, 4);
  le(width, 4);
  le(height, 4);
  le(1, 2);
  le(bits, 2);
  le(0, 4);
  le(static_cast<uint32_t>(rows.size()), 4);
  le(2835, 4);
  le(2835, 4);
  le(palette / 4, 4);
  le(0, 4);
  for (uint32_t i = 0; i < palette / 4; ++i) le(i * 0x010101, 4);
  return bmp + rows;
}

// A BMP of 64 x 48 pixels of colour 3: 8 bits with a grey palette, or 24
// bits of that grey.
inline std::string GamePicture(uint16_t bits = 8) {
  return BmpFile(64, 48, bits, std::string(64 * 48 * bits / 8, '\3'));
}

class GameRunTest : public ::testing::Test {
 protected:
  void SetUp() override { m_game.WriteFile("tool.ini", GameConfig()); }

  SProcessResult Tvkit(const std::vector<std::string>& args) {
    return CChildProcess(TVKIT_BINARY, args, {}, m_runtime.Join("tvkit")).Wait();
  }
  SProcessResult Build() { return Tvkit({"world", "build", m_game.Join("game.prj"), m_game.Join("src")}); }

  // `env` adds to the environment of the run.
  std::unique_ptr<CChildProcess> Start(const std::vector<std::string>& args,
                                       const std::string& input,
                                       std::map<std::string, std::string> env = {}) {
    m_game.WriteFile("input.txt", input);
    std::filesystem::remove(m_game.Join("trace.txt"));
    env.insert({{"TARVOLIN_PLATFORM", "headless"},
                {"TARVOLIN_DIR", m_game.Path()},
                {"TARVOLIN_INPUT", m_game.Join("input.txt")},
                {"XDG_RUNTIME_DIR", m_runtime.Path()},
                {"TARVOLIN_LOG", "1"},
                {"TARVOLIN_TRACE", "handlers,views,stats"},
                {"TARVOLIN_TRACE_FILE", m_game.Join("trace.txt")}});
    return std::make_unique<CChildProcess>(TARVOLIN_BINARY, args, env, m_runtime.Join("engine"));
  }
  SProcessResult Play(const std::vector<std::string>& args, const std::string& input,
                      std::map<std::string, std::string> env = {}) {
    return Start(args, input, std::move(env))->Wait();
  }

  // The trace's lines, each with its time field.
  std::vector<std::string> TraceLines() const {
    std::istringstream in(m_game.ReadFile("trace.txt"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  static std::string WithoutTime(const std::string& line) { return line.substr(line.find('\t') + 1); }

  CTempDir m_game;
  CTempDir m_runtime;
};
