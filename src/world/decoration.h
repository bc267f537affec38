// Decorations: a board of the object's "Pos" size on which pieces (small
// pictures) are placed, drawn in list order over the board's "TColor" with
// that colour transparent.
//
// A piece may animate: mode 1 loops its frames, 2 plays them once and keeps
// the last, 3 plays them once and goes when its next frame would be due. An
// animated piece named N shows "N1.bmp", "N2.bmp", ...; a still one shows N,
// or "N1.bmp" when N is no picture. Only the earliest frame due is
// scheduled.
//
// The board's file (integers little-endian): "DCRN", u32 piece count, per
// piece u16 x, u16 y, char name[64] (NUL-terminated). Read back, every piece
// is still.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "world/visual_object.h"

// A piece as the board's file holds it.
struct SDecorationRecord {
  int16_t x = 0;
  int16_t y = 0;
  std::string name;
};

inline constexpr size_t kDecorationNameSize = 64;
inline constexpr size_t kDecorationRecordSize = 4 + kDecorationNameSize;

// INVALIDFORMAT for another magic, a count past the end or a name without
// its NUL; `records` is left alone then.
ErrCode ReadDecorationRecords(std::span<const uint8_t> bytes, std::vector<SDecorationRecord>* records);
// Names are cut to 63 characters.
std::vector<uint8_t> WriteDecorationRecords(std::span<const SDecorationRecord> records);

class CDecoration : public CWHotSpot {
  TV_CLASS(CDecoration, CWHotSpot)

 public:
  enum EMode : int32_t { kStill = 0, kLoop = 1, kOnce = 2, kOnceThenGone = 3 };
  static constexpr size_t kMaxName = kDecorationNameSize - 1;
  static constexpr int kMaxSide = 4096;

  CDecoration(CWorld* world, StoreHandle own, StoreHandle template_handle);
  ~CDecoration() override;

  // The loader of "Decoration": INVALIDVALUE (logged) for a board wider or
  // higher than kMaxSide.
  static std::unique_ptr<CWObject> Load(CWorld* world, StoreHandle own, StoreHandle template_handle,
                                        ErrCode* error);

  // Places a piece at `at` (board coordinates) on top of the others; a mode
  // without frames is still. BADPARAMS for names over kMaxName characters.
  ErrCode AddPiece(TPoint at, std::string_view name, int32_t mode = kStill, int32_t frames = 0,
                   int32_t delay_ms = 0);
  void Clear();
  // Takes the first piece in list order with an opaque pixel at `at`
  // (board coordinates) off the board; false when none.
  bool Pick(TPoint at, std::string* name);
  // Writes the board's file, and with `with_bmp` the board as path + ".bmp",
  // each replacing the old file whole.
  ErrCode Save(const char* path, bool with_bmp) const;
  // Reads the board's file: the pieces replace the board's, all still.
  ErrCode Load(const char* path, uint32_t* count);
  size_t PieceCount() const { return m_pieces.size(); }

 private:
  struct SPiece {
    std::string name;
    TPoint at;
    int32_t mode = kStill;
    int32_t frames = 0;
    int32_t delay = 0;
    int32_t frame = 1;
    bool animated = false;
    bool timed = false;  // a next frame is due
    uint32_t due = 0;
    std::unique_ptr<CBitmap> picture;
  };

  ErrCode MakeBoard();
  SPiece MakePiece(TPoint at, std::string_view name, int32_t mode, int32_t frames,
                   int32_t delay_ms) const;
  void LoadFrame(SPiece& piece) const;
  // Whether the piece stays.
  bool Advance(SPiece& piece) const;
  void Tick();
  void ScheduleNext();
  void Redraw();
  int32_t FillColour() const { return m_key < 0 ? 0 : m_key; }

  std::vector<SPiece> m_pieces;
  int32_t m_key = -1;
};
