// The world's script types for inventory items.
#pragma once

#include <cstdint>

#include "script/library.h"

// TInvItem: an item variable's record (state, container handle), 8 bytes.
inline constexpr uint16_t kInvItemType = 4;
// item: the handle alone, 4 bytes.
inline constexpr uint16_t kItemType = lib::kItem;
