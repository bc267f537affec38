// The z-order compositor.
//
// Drawable objects (CZObj) lie on one 8-bit canvas. The compositor divides
// the canvas into 16 x 16-pixel tiles and keeps, per tile, the list of the
// objects overlapping it, nearest first. Changes only mark tiles; Update
// repaints the marked tiles from the farthest object to the nearest, clipped
// to the tile, and Flush hands the repainted tiles on as a few merged
// rectangles.
//
// Tile state word:
//   bit 0       recompose: the tile's pixels must be rebuilt
//   bit 1       show: repainted, not yet flushed
//   bits 2-10   cleared at every repaint
//   bits 11-18  run of show tiles in this row ending here (1 = alone)
//   bits 19-26  run of show tiles in this column ending here
//   bits 27-31  left alone by the compositor
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "base/object.h"
#include "gfx/bitmap.h"
#include "base/geometry.h"

class CZBuffer;

// A drawable: a rectangle on the canvas, a z (larger is nearer; never 0), an
// 8-bit source bitmap drawn with an optional transparent key, and a drawing
// state. Objects without a bitmap or without a drawing state are not drawn.
// While registered, the rectangle and z change only through the compositor.
class CZObj : public CObject {
  TV_CLASS(CZObj, CObject)

 public:
  CZObj() = default;
  // Leaves the compositor it is registered with.
  ~CZObj() override;
  CZObj(const CZObj&) = delete;
  CZObj& operator=(const CZObj&) = delete;

  const TRect& Rect() const { return m_rect; }
  uint8_t Z() const { return m_z; }
  CBitmap* Bitmap() const { return m_bitmap; }
  uint32_t Key() const { return m_key; }
  bool HasDrawState() const { return m_draw_state; }

  // Before the object is registered.
  void Place(const TRect& rect, uint8_t z) {
    m_rect = rect;
    m_z = z;
  }
  // Not owned. Invalidate the object's rectangle after changing these.
  void SetBitmap(CBitmap* bitmap) { m_bitmap = bitmap; }
  void SetKey(uint32_t key) { m_key = key; }
  void SetDrawState(bool on) { m_draw_state = on; }

 private:
  friend class CZBuffer;

  TRect m_rect{0, 0, -1, -1};
  uint8_t m_z = 1;
  CBitmap* m_bitmap = nullptr;
  uint32_t m_key = 0xFFFFFFFF;
  bool m_draw_state = true;
  // The compositor's list of all objects.
  CZBuffer* m_owner = nullptr;
  CZObj* m_next = nullptr;
  CZObj* m_prev = nullptr;
};

class CZBuffer {
 public:
  static constexpr int kTileSize = 16;
  static constexpr uint32_t kRecompose = 0x1;
  static constexpr uint32_t kShow = 0x2;
  static constexpr uint32_t kRepaintCleared = 0x7FC;  // bits 2-10
  static constexpr uint32_t kKeptBits = 0xF8000000;   // bits 27-31
  static constexpr int kRowRunShift = 11;
  static constexpr int kColumnRunShift = 19;
  static constexpr uint32_t kRunMask = 0xFF;

  using FlushCallback = void (*)(const TRect& rect, void* context);

  CZBuffer() = default;
  ~CZBuffer();
  CZBuffer(const CZBuffer&) = delete;
  CZBuffer& operator=(const CZBuffer&) = delete;

  // The canvas (not owned) must be 8-bit and, with a palette, have 256
  // entries: else BADPARAMS.
  ErrCode Init(CBitmap* canvas);
  ErrCode AddObject(CZObj* object);
  void RemoveObject(CZObj* object);
  ErrCode MoveObject(CZObj* object, const TRect& rect);
  ErrCode SetObjectZ(CZObj* object, uint8_t z);
  // Pixels inside `rect` changed. The depth is not needed by the repaint.
  void InvalidateRect(const TRect& rect, int depth);
  // Repaints the marked tiles; whether anything waits to be shown.
  bool Update();
  void Flush(FlushCallback callback, void* context);

  int Columns() const { return m_columns; }
  int Rows() const { return m_rows; }
  uint32_t TileState(int column, int row) const { return m_tiles[Index(column, row)].state; }
  CZObj* FirstObject() const { return m_first; }
  // The objects whose rectangles hold the point, nearest first, as the
  // tile under it lists them.
  void ObjectsAt(TPoint point, std::vector<CZObj*>* objects) const;
  // Shows `visit` those objects in the same order until it answers true;
  // the object it stopped at, or null.
  template <class Visit>
  CZObj* FindAt(TPoint point, Visit visit) const {
    if (!m_tiles || point.x < 0 || point.y < 0 || point.x >= m_width || point.y >= m_height) return nullptr;
    const STile& tile = m_tiles[Index(point.x / kTileSize, point.y / kTileSize)];
    for (const SNode* node = tile.head; node; node = node->next)
      if (RectContains(node->object->m_rect, point) && visit(node->object)) return node->object;
    return nullptr;
  }

  // Counters: Flush passes, rectangles and tiles flushed, tiles repainted.
  uint32_t PassCount() const { return m_passes; }
  uint32_t RectCount() const { return m_rect_count; }
  uint32_t FlushedTileCount() const { return m_flushed_tiles; }
  uint32_t RepaintCount() const { return m_repaints; }

 private:
  struct SNode {
    CZObj* object;
    uint8_t covers;  // the object's rectangle covers the whole tile
    SNode* next;     // lower or equal z
    SNode* prev;
  };
  struct STile {
    uint32_t state = 0;
    SNode* head = nullptr;
    SNode* tail = nullptr;
  };

  int Index(int column, int row) const { return row * m_columns + column; }
  bool ClippedRect(const TRect& rect, TRect* clipped) const;
  ErrCode InsertInTiles(CZObj* object);
  void RemoveFromTiles(CZObj* object);
  void LinkObject(CZObj* object);
  void UnlinkObject(CZObj* object);
  void RepaintTile(int column, int row, const SPixelView& canvas);
  static bool PaintsWholeTile(const SNode& node);
  void SetShown(int column, int row, bool shown);
  void Renumber(int column, int row);
  SNode* NewNode();
  void FreeNode(SNode* node);

  CBitmap* m_canvas = nullptr;
  CZObj* m_first = nullptr;
  CZObj* m_last = nullptr;
  std::unique_ptr<STile[]> m_tiles;
  int m_columns = 0;
  int m_rows = 0;
  int m_width = 0;
  int m_height = 0;
  TRect m_bounds{0, 0, -1, -1};
  bool m_recompose = false;
  bool m_show = false;
  uint32_t m_passes = 0;
  uint32_t m_rect_count = 0;
  uint32_t m_flushed_tiles = 0;
  uint32_t m_repaints = 0;
  // Nodes come in blocks; free ones are chained through `next`.
  std::vector<std::unique_ptr<SNode[]>> m_node_blocks;
  SNode* m_free_nodes = nullptr;
};
