// The sample sources that mixer channels play.
#pragma once

#include <cstdint>

#include "base/errors.h"
#include "base/object.h"
#include "sound/convert.h"
#include "sound/sound_format.h"

class CSound : public CObject {
  TV_CLASS(CSound, CObject)

 public:
  virtual SoundFormat Format() const = 0;
  // The sound's length in frames of its own format.
  virtual uint64_t FrameCount() const = 0;

  // Called when a channel takes the sound: prepares playing from the start.
  virtual ErrCode Start() = 0;
  // Called when the channel lets the sound go.
  virtual void Stop() = 0;
  // Called once per mixer pass: time for stream refills.
  virtual ErrCode Update() = 0;

  // Converts output frames [position, position + count) at the converter's
  // device format into `out` (as CConverter::Convert) and answers how many
  // were delivered; fewer than asked means the samples are not there.
  virtual uint32_t DeliverSamples(const CConverter& converter, EConvertOp op,
                                  uint64_t position, uint32_t count,
                                  void* out) = 0;
};

// The bytes one output frame takes in `out` for an operation.
inline uint32_t OutputFrameBytes(SoundFormat device, EConvertOp op) {
  return op == EConvertOp::kDirect ? FormatFrameBytes(device)
                                   : FormatChannels(device) * 4;
}
