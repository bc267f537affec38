// Colour palettes.
//
// A palette is a list of 4-byte entries in BMP order (blue, green, red, one
// unused byte). Three tables derived from the entries are built on demand and
// dropped whenever the entry count changes: the nearest entry of every 5-5-5
// colour, the candidate entries of each colour cell, and the entries as 5-6-5
// colours.
//
// Colour distance is the largest of the three channel differences. The
// nearest-colour searches take an entry only when it is strictly nearer than
// the best so far, so among equally near entries the lowest index wins.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "base/object.h"

struct SPalEntry {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t unused = 0;
};
static_assert(sizeof(SPalEntry) == 4);

class CPalette : public CObject {
  TV_CLASS(CPalette, CObject)

 public:
  // The starting bound of a full search: above every possible distance.
  static constexpr int kFullSearch = 32000;
  // Colours are grouped into 8 x 8 x 8 cells by the top three bits of each
  // channel.
  static constexpr int kCellCount = 512;

  CPalette() = default;
  CPalette(const CPalette& other);
  CPalette& operator=(const CPalette&) = delete;
  ~CPalette() override;

  // No change when `count` is the current count; otherwise every entry and
  // derived table is dropped and `count` zero entries are allocated.
  ErrCode SetCount(uint32_t count);
  uint32_t Count() const { return static_cast<uint32_t>(m_entries.size()); }
  const SPalEntry* Entries() const { return m_entries.data(); }

  // PALBIGINDEX at or beyond the count; "Unknown error" without entries.
  virtual ErrCode GetEntry(uint32_t index, SPalEntry* entry) const;
  virtual ErrCode SetEntry(uint32_t index, SPalEntry entry);
  // Scans `first` to `last` inclusive. `distance` is in/out: the bound an
  // entry must beat, then the distance of the entry found. `index` is left
  // unchanged when no entry beats the bound.
  virtual void FindNearestInRange(SPalEntry colour, uint32_t first, uint32_t last,
                                  uint32_t* index, int* distance) const;
  // Searches the colour's cell candidates when the cell table exists, else
  // every entry. A palette without entries answers 0.
  virtual void FindNearest(SPalEntry colour, uint32_t* index) const;
  virtual ErrCode BuildLookup15();
  virtual ErrCode BuildCells();
  virtual ErrCode Build16BitTable();

  // The derived tables; null until built.
  const uint16_t* Lookup15() const { return m_lookup15.get(); }
  const uint16_t* Table16() const { return m_table16.get(); }

  static int Distance(SPalEntry a, SPalEntry b);
  static int CellOf(SPalEntry colour) {
    return colour.blue / 32 + (colour.green / 32) * 8 + (colour.red / 32) * 64;
  }

 private:
  void DropDerived();

  std::vector<SPalEntry> m_entries;
  // Nearest index of every 5-5-5 colour (red in the top bits).
  std::unique_ptr<uint16_t[]> m_lookup15;
  // Cell c's candidates are m_cell_list[m_cell_start[c] .. m_cell_start[c + 1]),
  // in increasing index order.
  std::unique_ptr<uint32_t[]> m_cell_start;
  std::unique_ptr<uint16_t[]> m_cell_list;
  // Entries as 5-6-5 colours.
  std::unique_ptr<uint16_t[]> m_table16;
};
