#include "gfx/zbuffer.h"

#include <algorithm>
#include <new>

#include "gfx/blit.h"

namespace {

constexpr int kNodeBlock = 256;

uint32_t RowRun(uint32_t state) { return (state >> CZBuffer::kRowRunShift) & CZBuffer::kRunMask; }
uint32_t ColumnRun(uint32_t state) {
  return (state >> CZBuffer::kColumnRunShift) & CZBuffer::kRunMask;
}
uint32_t WithRuns(uint32_t state, uint32_t row_run, uint32_t column_run) {
  state &= ~((CZBuffer::kRunMask << CZBuffer::kRowRunShift) |
             (CZBuffer::kRunMask << CZBuffer::kColumnRunShift));
  return state | std::min(row_run, CZBuffer::kRunMask) << CZBuffer::kRowRunShift |
         std::min(column_run, CZBuffer::kRunMask) << CZBuffer::kColumnRunShift;
}

}  // namespace

CZObj::~CZObj() {
  if (m_owner) m_owner->RemoveObject(this);
}

CZBuffer::~CZBuffer() {
  for (CZObj* object = m_first; object; object = object->m_next) object->m_owner = nullptr;
}

ErrCode CZBuffer::Init(CBitmap* canvas) {
  if (!canvas || canvas->Type() != kPixel8 ||
      (canvas->Palette() && canvas->Palette()->Count() != 256) || canvas->Width() == 0 ||
      canvas->Height() == 0)
    return err::kBadParams;
  const int columns = (canvas->Width() - 1) / kTileSize + 1;
  const int rows = (canvas->Height() - 1) / kTileSize + 1;
  std::unique_ptr<STile[]> tiles(new (std::nothrow) STile[columns * rows]);
  if (!tiles) return err::kAllocFail;
  for (CZObj* object = m_first; object; object = object->m_next) object->m_owner = nullptr;
  m_first = m_last = nullptr;
  m_node_blocks.clear();
  m_free_nodes = nullptr;
  m_tiles = std::move(tiles);
  for (int i = 0; i < columns * rows; ++i) m_tiles[i].state &= kKeptBits;
  m_canvas = canvas;
  m_columns = columns;
  m_rows = rows;
  m_width = canvas->Width();
  m_height = canvas->Height();
  m_bounds = canvas->GetBounds();
  m_recompose = m_show = false;
  return err::kOk;
}

CZBuffer::SNode* CZBuffer::NewNode() {
  if (!m_free_nodes) {
    std::unique_ptr<SNode[]> block(new (std::nothrow) SNode[kNodeBlock]);
    if (!block) return nullptr;
    for (int i = 0; i < kNodeBlock; ++i) block[i].next = i + 1 < kNodeBlock ? &block[i + 1] : nullptr;
    m_free_nodes = block.get();
    try {
      m_node_blocks.push_back(std::move(block));
    } catch (const std::bad_alloc&) {
      m_free_nodes = nullptr;
      return nullptr;
    }
  }
  SNode* node = m_free_nodes;
  m_free_nodes = node->next;
  return node;
}

void CZBuffer::FreeNode(SNode* node) {
  node->next = m_free_nodes;
  m_free_nodes = node;
}

bool CZBuffer::ClippedRect(const TRect& rect, TRect* clipped) const {
  return IntersectRect(rect, m_bounds, clipped);
}

ErrCode CZBuffer::InsertInTiles(CZObj* object) {
  TRect r;
  if (!ClippedRect(object->m_rect, &r)) return err::kOk;
  for (int row = r.top / kTileSize; row <= r.bottom / kTileSize; ++row) {
    for (int column = r.left / kTileSize; column <= r.right / kTileSize; ++column) {
      SNode* node = NewNode();
      if (!node) return err::kAllocFail;
      STile& tile = m_tiles[Index(column, row)];
      const int x = column * kTileSize;
      const int y = row * kTileSize;
      node->object = object;
      node->covers = object->m_rect.left <= x && object->m_rect.top <= y &&
                     object->m_rect.right >= x + kTileSize - 1 &&
                     object->m_rect.bottom >= y + kTileSize - 1;
      SNode* after = tile.head;
      while (after && after->object->m_z > object->m_z) after = after->next;
      node->next = after;
      node->prev = after ? after->prev : tile.tail;
      (node->prev ? node->prev->next : tile.head) = node;
      (after ? after->prev : tile.tail) = node;
      tile.state |= kRecompose;
      m_recompose = true;
    }
  }
  return err::kOk;
}

void CZBuffer::RemoveFromTiles(CZObj* object) {
  TRect r;
  if (!ClippedRect(object->m_rect, &r)) return;
  for (int row = r.top / kTileSize; row <= r.bottom / kTileSize; ++row) {
    for (int column = r.left / kTileSize; column <= r.right / kTileSize; ++column) {
      STile& tile = m_tiles[Index(column, row)];
      tile.state |= kRecompose;
      m_recompose = true;
      SNode* node = tile.head;
      while (node && node->object != object) node = node->next;
      if (!node) continue;
      (node->prev ? node->prev->next : tile.head) = node->next;
      (node->next ? node->next->prev : tile.tail) = node->prev;
      FreeNode(node);
    }
  }
}

// Keeps the list of all objects sorted by z, highest first: the object goes
// just before the first object of lower z.
void CZBuffer::LinkObject(CZObj* object) {
  CZObj* after = m_first;
  while (after && after->m_z >= object->m_z) after = after->m_next;
  object->m_next = after;
  object->m_prev = after ? after->m_prev : m_last;
  (object->m_prev ? object->m_prev->m_next : m_first) = object;
  (after ? after->m_prev : m_last) = object;
}

void CZBuffer::UnlinkObject(CZObj* object) {
  (object->m_prev ? object->m_prev->m_next : m_first) = object->m_next;
  (object->m_next ? object->m_next->m_prev : m_last) = object->m_prev;
  object->m_next = object->m_prev = nullptr;
}

void CZBuffer::ObjectsAt(TPoint point, std::vector<CZObj*>* objects) const {
  objects->clear();
  FindAt(point, [objects](CZObj* object) {
    objects->push_back(object);
    return false;
  });
}

ErrCode CZBuffer::AddObject(CZObj* object) {
  if (!m_tiles || !object || object->m_owner) return err::kBadParams;
  object->m_owner = this;
  LinkObject(object);
  return InsertInTiles(object);
}

void CZBuffer::RemoveObject(CZObj* object) {
  if (!object || object->m_owner != this) return;
  RemoveFromTiles(object);
  UnlinkObject(object);
  object->m_owner = nullptr;
}

ErrCode CZBuffer::MoveObject(CZObj* object, const TRect& rect) {
  const TRect& old = object->m_rect;
  if (old.left == rect.left && old.top == rect.top && old.right == rect.right &&
      old.bottom == rect.bottom)
    return err::kOk;
  if (object->m_owner != this) {
    object->m_rect = rect;
    return err::kOk;
  }
  RemoveFromTiles(object);
  object->m_rect = rect;
  return InsertInTiles(object);
}

ErrCode CZBuffer::SetObjectZ(CZObj* object, uint8_t z) {
  if (object->m_z == z) return err::kOk;
  if (object->m_owner != this) {
    object->m_z = z;
    return err::kOk;
  }
  ErrCode error = err::kOk;
  TRect clipped;
  if (!ClippedRect(object->m_rect, &clipped)) {
    object->m_z = z;
  } else {
    RemoveFromTiles(object);
    object->m_z = z;
    error = InsertInTiles(object);
  }
  UnlinkObject(object);
  LinkObject(object);
  return error;
}

void CZBuffer::InvalidateRect(const TRect& rect, int) {
  TRect r;
  if (!m_tiles || !ClippedRect(rect, &r)) return;
  for (int row = r.top / kTileSize; row <= r.bottom / kTileSize; ++row)
    for (int column = r.left / kTileSize; column <= r.right / kTileSize; ++column)
      m_tiles[Index(column, row)].state |= kRecompose;
  m_recompose = true;
}

// Recounts the runs of the show tiles that follow (column, row) to the
// right and below, up to the first tile that is not shown.
void CZBuffer::Renumber(int column, int row) {
  for (int c = column + 1; c < m_columns; ++c) {
    STile& tile = m_tiles[Index(c, row)];
    if (!(tile.state & kShow)) break;
    tile.state = WithRuns(tile.state, RowRun(m_tiles[Index(c - 1, row)].state) + 1,
                          ColumnRun(tile.state));
  }
  for (int r = row + 1; r < m_rows; ++r) {
    STile& tile = m_tiles[Index(column, r)];
    if (!(tile.state & kShow)) break;
    tile.state = WithRuns(tile.state, RowRun(tile.state),
                          ColumnRun(m_tiles[Index(column, r - 1)].state) + 1);
  }
}

void CZBuffer::SetShown(int column, int row, bool shown) {
  STile& tile = m_tiles[Index(column, row)];
  if (shown) {
    const uint32_t left = column > 0 ? RowRun(m_tiles[Index(column - 1, row)].state) : 0;
    const uint32_t above = row > 0 ? ColumnRun(m_tiles[Index(column, row - 1)].state) : 0;
    tile.state = WithRuns(tile.state | kShow, left + 1, above + 1);
  } else {
    tile.state = WithRuns(tile.state & ~kShow, 0, 0);
  }
  Renumber(column, row);
}

bool CZBuffer::PaintsWholeTile(const SNode& node) {
  const CZObj* object = node.object;
  const CBitmap* bitmap = object->m_bitmap;
  return node.covers && object->m_key == kNoKey && object->m_draw_state && bitmap &&
         bitmap->Type() == kPixel8 &&
         bitmap->Width() >= object->m_rect.right - object->m_rect.left + 1 &&
         bitmap->Height() >= object->m_rect.bottom - object->m_rect.top + 1;
}

void CZBuffer::RepaintTile(int column, int row, const SPixelView& canvas) {
  STile& tile = m_tiles[Index(column, row)];
  if (!tile.head) return;
  tile.state &= ~(kRecompose | kRepaintCleared);
  SetShown(column, row, true);
  m_show = true;
  ++m_repaints;
  const TRect area{static_cast<int16_t>(column * kTileSize), static_cast<int16_t>(row * kTileSize),
                   static_cast<int16_t>(std::min(column * kTileSize + kTileSize, m_width) - 1),
                   static_cast<int16_t>(std::min(row * kTileSize + kTileSize, m_height) - 1)};
  // Objects below the nearest one that paints the whole tile opaquely are
  // hidden by it.
  SNode* first = tile.head;
  while (first->next && !PaintsWholeTile(*first)) first = first->next;
  for (SNode* node = first; node; node = node->prev) {
    const CZObj* object = node->object;
    if (!object->m_bitmap || !object->m_draw_state) continue;
    TRect clip;
    if (!IntersectRect(area, object->m_rect, &clip)) continue;
    CBitmapLock source(*object->m_bitmap);
    if (!source || object->m_bitmap->Type() != kPixel8) continue;
    const TRect from{static_cast<int16_t>(clip.left - object->m_rect.left),
                     static_cast<int16_t>(clip.top - object->m_rect.top),
                     static_cast<int16_t>(clip.right - object->m_rect.left),
                     static_cast<int16_t>(clip.bottom - object->m_rect.top)};
    Blit8(canvas, clip.left, clip.top, source.View(), from, object->m_key, clip);
  }
}

bool CZBuffer::Update() {
  if (!m_recompose) return m_show;
  m_recompose = false;
  CBitmapLock canvas(*m_canvas);
  if (!canvas) return m_show;
  for (int row = 0; row < m_rows; ++row)
    for (int column = 0; column < m_columns; ++column)
      if (m_tiles[Index(column, row)].state & kRecompose) RepaintTile(column, row, canvas.View());
  return m_show;
}

void CZBuffer::Flush(FlushCallback callback, void* context) {
  ++m_passes;
  const auto shown = [this](int c, int r) { return (m_tiles[Index(c, r)].state & kShow) != 0; };
  const auto row_run = [this](int c, int r) { return RowRun(m_tiles[Index(c, r)].state); };
  const auto column_run = [this](int c, int r) { return ColumnRun(m_tiles[Index(c, r)].state); };
  for (int y = 0; y < m_rows; ++y) {
    for (int x = 0; x < m_columns;) {
      if (!shown(x, y)) {
        ++x;
        continue;
      }
      int right = x;
      int bottom = y;
      // The runs of the corner tile prove the enlarged square entirely shown.
      while (right + 1 < m_columns && bottom + 1 < m_rows && shown(right + 1, bottom + 1) &&
             row_run(right + 1, bottom + 1) >= static_cast<uint32_t>(right + 2 - x) &&
             column_run(right + 1, bottom + 1) >= static_cast<uint32_t>(bottom + 2 - y)) {
        ++right;
        ++bottom;
      }
      const int square_right = right;
      while (right + 1 < m_columns && shown(right + 1, bottom) &&
             column_run(right + 1, bottom) >= static_cast<uint32_t>(bottom + 2 - y))
        ++right;
      if (right == square_right) {
        while (bottom + 1 < m_rows && shown(right, bottom + 1) &&
               row_run(right, bottom + 1) >= static_cast<uint32_t>(right + 2 - x))
          ++bottom;
      }
      for (int r = y; r <= bottom; ++r)
        for (int c = x; c <= right; ++c) SetShown(c, r, false);
      ++m_rect_count;
      m_flushed_tiles += (right - x + 1) * (bottom - y + 1);
      if (callback)
        callback(TRect{static_cast<int16_t>(x * kTileSize), static_cast<int16_t>(y * kTileSize),
                       static_cast<int16_t>(right * kTileSize + kTileSize - 1),
                       static_cast<int16_t>(bottom * kTileSize + kTileSize - 1)},
                 context);
      x = right + 1;
    }
  }
  m_show = false;
}
