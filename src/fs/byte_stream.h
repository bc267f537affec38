// A sequential byte stream: what the dictionary image is read from and
// written to.
#pragma once

#include <cstdint>

#include "base/errors.h"

class CByteStream {
 public:
  virtual ~CByteStream() = default;
  // A read past the end transfers nothing and answers EOF.
  virtual ErrCode Read(void* buffer, uint32_t length) = 0;
  virtual ErrCode Write(const void* buffer, uint32_t length) = 0;
  // Bytes left to read.
  virtual uint32_t Remaining() const = 0;
};
