#include "gfx/palette.h"

#include <algorithm>
#include <cstdlib>
#include <new>

CPalette::CPalette(const CPalette& other) : CObject(), m_entries(other.m_entries) {}

CPalette::~CPalette() = default;

void CPalette::DropDerived() {
  m_lookup15.reset();
  m_cell_start.reset();
  m_cell_list.reset();
  m_table16.reset();
}

ErrCode CPalette::SetCount(uint32_t count) {
  if (count == Count()) return err::kOk;
  DropDerived();
  m_entries.clear();
  m_entries.shrink_to_fit();
  try {
    m_entries.resize(count);
  } catch (const std::bad_alloc&) {
    return err::kPalNoMem;
  }
  return err::kOk;
}

ErrCode CPalette::GetEntry(uint32_t index, SPalEntry* entry) const {
  if (m_entries.empty()) return err::kUnknownError;
  if (index >= Count()) return err::kPalBigIndex;
  *entry = m_entries[index];
  return err::kOk;
}

ErrCode CPalette::SetEntry(uint32_t index, SPalEntry entry) {
  if (m_entries.empty()) return err::kUnknownError;
  if (index >= Count()) return err::kPalBigIndex;
  m_entries[index] = entry;
  // The derived tables describe the old colours.
  if (m_lookup15 || m_cell_start || m_table16) DropDerived();
  return err::kOk;
}

int CPalette::Distance(SPalEntry a, SPalEntry b) {
  return std::max({std::abs(a.blue - b.blue), std::abs(a.green - b.green),
                   std::abs(a.red - b.red)});
}

void CPalette::FindNearestInRange(SPalEntry colour, uint32_t first, uint32_t last,
                                  uint32_t* index, int* distance) const {
  if (m_entries.empty()) return;
  last = std::min(last, Count() - 1);
  for (uint32_t i = first; i <= last; ++i) {
    const int d = Distance(colour, m_entries[i]);
    if (d < *distance) {
      *distance = d;
      *index = i;
    }
  }
}

void CPalette::FindNearest(SPalEntry colour, uint32_t* index) const {
  *index = 0;
  int distance = kFullSearch;
  if (!m_cell_start) {
    FindNearestInRange(colour, 0, Count() - 1, index, &distance);
    return;
  }
  const int cell = CellOf(colour);
  const uint16_t* candidate = &m_cell_list[m_cell_start[cell]];
  const uint16_t* end = &m_cell_list[m_cell_start[cell + 1]];
  for (; candidate != end; ++candidate) {
    const int d = Distance(colour, m_entries[*candidate]);
    if (d < distance) {
      distance = d;
      *index = *candidate;
    }
  }
}

ErrCode CPalette::BuildLookup15() {
  std::unique_ptr<uint16_t[]> table(new (std::nothrow) uint16_t[32768]);
  if (!table) return err::kPalNoMem;
  // Each 5-bit channel widens to 8 bits by repeating its top bits.
  const auto widen = [](int v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); };
  for (int c = 0; c < 32768; ++c) {
    const SPalEntry colour{widen(c & 31), widen((c >> 5) & 31), widen(c >> 10), 0};
    uint32_t index = 0;
    FindNearest(colour, &index);
    table[c] = static_cast<uint16_t>(index);
  }
  m_lookup15 = std::move(table);
  return err::kOk;
}

namespace {

// The nearest and farthest an entry's channel value can be from a channel
// value inside [low, low + 31].
int ChannelMin(int value, int low) {
  if (value < low) return low - value;
  if (value > low + 31) return value - (low + 31);
  return 0;
}
int ChannelMax(int value, int low) {
  return std::max(std::abs(value - low), std::abs(value - (low + 31)));
}

}  // namespace

// An entry can be nearest to some colour of a cell only if its smallest
// possible distance to the cell is not above the best guaranteed distance,
// which is the smallest over all entries of their largest distance.
ErrCode CPalette::BuildCells() {
  const uint32_t count = Count();
  std::unique_ptr<uint32_t[]> start(new (std::nothrow) uint32_t[kCellCount + 1]);
  std::unique_ptr<int[]> min_distance(new (std::nothrow) int[count ? count : 1]);
  std::vector<uint16_t> list;
  if (!start || !min_distance) return err::kPalNoMem;
  try {
    for (int cell = 0; cell < kCellCount; ++cell) {
      const int blue = (cell % 8) * 32;
      const int green = (cell / 8 % 8) * 32;
      const int red = (cell / 64) * 32;
      int bound = kFullSearch;
      for (uint32_t i = 0; i < count; ++i) {
        const SPalEntry e = m_entries[i];
        min_distance[i] = std::max({ChannelMin(e.blue, blue), ChannelMin(e.green, green),
                                    ChannelMin(e.red, red)});
        bound = std::min(bound, std::max({ChannelMax(e.blue, blue),
                                          ChannelMax(e.green, green),
                                          ChannelMax(e.red, red)}));
      }
      start[cell] = static_cast<uint32_t>(list.size());
      for (uint32_t i = 0; i < count; ++i)
        if (min_distance[i] <= bound) list.push_back(static_cast<uint16_t>(i));
    }
  } catch (const std::bad_alloc&) {
    return err::kPalNoMem;
  }
  start[kCellCount] = static_cast<uint32_t>(list.size());
  std::unique_ptr<uint16_t[]> cells(new (std::nothrow) uint16_t[list.size() + 1]);
  if (!cells) return err::kPalNoMem;
  std::copy(list.begin(), list.end(), cells.get());
  m_cell_start = std::move(start);
  m_cell_list = std::move(cells);
  return err::kOk;
}

ErrCode CPalette::Build16BitTable() {
  std::unique_ptr<uint16_t[]> table(new (std::nothrow) uint16_t[Count() ? Count() : 1]);
  if (!table) return err::kPalNoMem;
  for (uint32_t i = 0; i < Count(); ++i) {
    const SPalEntry e = m_entries[i];
    table[i] = static_cast<uint16_t>(((e.red >> 3) << 11) | ((e.green >> 2) << 5) |
                                     (e.blue >> 3));
  }
  m_table16 = std::move(table);
  return err::kOk;
}
