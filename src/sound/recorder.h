// The recorder behind the script function Record: the wave input captured
// into memory, written as a 22050 Hz 16-bit mono PCM WAV file when the
// recording stops. A recording keeps at most kMaxMs of sound; the main loop
// serves it once per pass and stops it when that time has passed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

class CRecorder {
 public:
  static constexpr uint32_t kMaxMs = 10000;

  explicit CRecorder(CPlatform* platform) : m_platform(platform) {}
  CRecorder(const CRecorder&) = delete;
  CRecorder& operator=(const CRecorder&) = delete;

  // Starts a recording into `path` (a name for the file service) unless one
  // runs; false when none started. Without a wave input the log says so.
  bool Start(const std::string& path);
  bool Active() const { return m_input != nullptr; }
  // Milliseconds since the recording began.
  uint32_t Elapsed() const;
  // Takes what the input has captured.
  void Service();
  // Takes the rest, replaces the file with the recording and ends it; a
  // file that cannot be written is logged. Nothing without a recording.
  void Stop();

 private:
  CPlatform* m_platform;
  std::unique_ptr<CAudioInput> m_input;
  std::string m_path;
  uint32_t m_start = 0;
  // The header's place, then the samples taken so far.
  std::vector<uint8_t> m_file;
};
