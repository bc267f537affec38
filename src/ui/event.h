// Engine events: what the window tree, the world and the timers exchange.
//
// A record names how it is delivered and to whom, where it came from, what
// happened (code and two parameters) and when it was posted and is due.
// Targets are 32-bit ids handed out by the event queue, never reused in a
// run, so a record outliving its target finds nothing and is dropped.
#pragma once

#include <cstdint>

#include "base/geometry.h"

// How a record reaches its target.
enum : uint16_t {
  kDeliverFunction = 2,  // a function registered with the queue
  kDeliverObject = 3,    // a world object, through the queue's object hook
  kDeliverWindow = 16,   // a window's OnEvent
};

// Where a record came from.
enum : uint16_t {
  kSourcePlatform = 8,
  kSourceTopLevel = 9,
  kSourceWindow = 16,
};

// Event codes. The group is the code with its low byte cleared.
enum : uint32_t {
  kEvRefresh = 0x0000,
  kEvMouseMove = 0x0101,
  kEvLeftDown = 0x0111,
  kEvLeftUp = 0x0112,
  kEvLeftDouble = 0x0113,
  kEvRightDown = 0x0121,
  kEvRightUp = 0x0122,
  kEvRightDouble = 0x0123,
  kEvWheel = 0x0131,
  kEvKeyDown = 0x0201,
  kEvKeyUp = 0x0202,
  kEvChar = 0x0203,
  kEvFocusGained = 0x0204,
  kEvFocusLost = 0x0205,
  kEvDisplayMode = 0x0300,
  kEvPlatformPaint = 0x0400,
  kEvRepaintAll = 0x0500,
  kEvClose = 0x0600,
  kEvWindowDeactivated = 0x0701,
  kEvWindowActivated = 0x0702,
  kEvAppDeactivated = 0x0703,
  kEvAppActivated = 0x0704,
  kEvMenuCommand = 0x0800,
  kEvResized = 0x0900,
  kEvDestroyed = 0x0B00,
  kEvMouseLeft = 0x0C00,
  kEvPlatformFocusGained = 0x0D00,
  kEvPlatformFocusLost = 0x0E00,
  kEvMenuOpened = 0x0F00,
  kEvScrollSet = 0x1000,
  kEvScrollMoved = 0x1100,
  // Sent to every child of the desktop after the top-level window resized.
  kEvLayout = 0x2897123,
};

// The hover codes OnMouse receives besides the mouse event codes.
enum : uint32_t { kMouseEnter = 1, kMouseLeave = 2, kCaptureLost = 3 };

inline constexpr uint32_t EventGroup(uint32_t code) { return code & ~0xFFu; }

// A position travels as x in the low 16 bits, y in the high 16 bits.
inline uint32_t PackPoint(TPoint point) {
  return static_cast<uint16_t>(point.x) |
         static_cast<uint32_t>(static_cast<uint16_t>(point.y)) << 16;
}
inline TPoint UnpackPoint(uint32_t value) {
  return {static_cast<int16_t>(value & 0xFFFF), static_cast<int16_t>(value >> 16)};
}

struct SEventRecord {
  uint16_t delivery = kDeliverWindow;
  uint32_t target = 0;
  uint16_t source_kind = kSourceWindow;
  uint32_t source = 0;
  uint32_t code = 0;
  uint32_t p1 = 0;
  uint32_t p2 = 0;
  uint32_t posted = 0;  // ms of the platform clock
  uint32_t due = 0;
  uint32_t serial = 0;  // 0 for records sent at once
};
