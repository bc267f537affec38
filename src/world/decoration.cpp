#include "world/decoration.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "base/log.h"
#include "fs/file_service.h"
#include "fs/replace.h"
#include "gfx/blit.h"
#include "gfx/bmp.h"
#include "world/view.h"
#include "world/world.h"

namespace {

constexpr char kMagic[4] = {'D', 'C', 'R', 'N'};
constexpr size_t kHeaderSize = 8;

}  // namespace

ErrCode ReadDecorationRecords(std::span<const uint8_t> bytes, std::vector<SDecorationRecord>* records) {
  if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
    return err::kInvalidFormat;
  const uint32_t count = GetLe32(bytes.data() + 4);
  if (count > (bytes.size() - kHeaderSize) / kDecorationRecordSize) return err::kInvalidFormat;
  std::vector<SDecorationRecord> read;
  read.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* at = bytes.data() + kHeaderSize + size_t{i} * kDecorationRecordSize;
    const auto* name = reinterpret_cast<const char*>(at + 4);
    const void* end = std::memchr(name, 0, kDecorationNameSize);
    if (!end) return err::kInvalidFormat;
    read.push_back({static_cast<int16_t>(GetLe16(at)), static_cast<int16_t>(GetLe16(at + 2)),
                    std::string(name, static_cast<const char*>(end))});
  }
  *records = std::move(read);
  return err::kOk;
}

std::vector<uint8_t> WriteDecorationRecords(std::span<const SDecorationRecord> records) {
  std::vector<uint8_t> bytes(kHeaderSize);
  std::memcpy(bytes.data(), kMagic, sizeof kMagic);
  PutLe32(bytes.data() + 4, static_cast<uint32_t>(records.size()));
  for (const SDecorationRecord& record : records) {
    AppendLe16(&bytes, static_cast<uint16_t>(record.x));
    AppendLe16(&bytes, static_cast<uint16_t>(record.y));
    const size_t length = std::min(record.name.size(), kDecorationNameSize - 1);
    bytes.insert(bytes.end(), record.name.begin(), record.name.begin() + static_cast<ptrdiff_t>(length));
    bytes.insert(bytes.end(), kDecorationNameSize - length, 0);
  }
  return bytes;
}

CDecoration::CDecoration(CWorld* world, StoreHandle own, StoreHandle template_handle)
    : CWHotSpot(world, own, template_handle) {}

CDecoration::~CDecoration() = default;

std::unique_ptr<CWObject> CDecoration::Load(CWorld* world, StoreHandle own,
                                            StoreHandle template_handle, ErrCode* error) {
  auto board = std::make_unique<CDecoration>(world, own, template_handle);
  if (const ErrCode failed = board->MakeBoard()) {
    const TRect& pos = board->Pos();
    LogMessage(kLogWarning, "Decoration board %d x %d: %s\n", pos.right - pos.left + 1,
               pos.bottom - pos.top + 1, ErrName(failed));
    *error = err::kOk;  // reported
    return nullptr;
  }
  return board;
}

ErrCode CDecoration::MakeBoard() {
  const TRect& pos = Pos();
  const int width = pos.right - pos.left + 1, height = pos.bottom - pos.top + 1;
  if (width > kMaxSide || height > kMaxSide) return err::kInvalidValue;
  if (width <= 0 || height <= 0) return err::kOk;
  auto board = std::make_unique<CBitmap>();
  if (ErrCode error = board->Create(static_cast<uint16_t>(width), static_cast<uint16_t>(height),
                                    kPixel8, nullptr, kTopDown, 0))
    return error;
  m_key = KeyOf(*board);
  ShowPicture(std::move(board), m_key);
  Redraw();
  return err::kOk;
}

ErrCode CDecoration::AddPiece(TPoint at, std::string_view name, int32_t mode, int32_t frames,
                              int32_t delay_ms) {
  if (name.size() > kMaxName) return err::kBadParams;
  m_pieces.push_back(MakePiece(at, name, mode, frames, delay_ms));
  Redraw();
  ScheduleNext();
  return err::kOk;
}

CDecoration::SPiece CDecoration::MakePiece(TPoint at, std::string_view name, int32_t mode,
                                           int32_t frames, int32_t delay_ms) const {
  SPiece piece;
  piece.name = name;
  piece.at = at;
  piece.animated = mode >= kLoop && mode <= kOnceThenGone && frames > 0;
  if (piece.animated) {
    piece.mode = mode;
    piece.frames = frames;
    piece.delay = std::max(delay_ms, 1);
    piece.timed = !(mode == kOnce && frames == 1);
    piece.due = World().Now() + static_cast<uint32_t>(piece.delay);
  }
  LoadFrame(piece);
  return piece;
}

void CDecoration::Clear() {
  m_pieces.clear();
  Redraw();
  ScheduleNext();
}

void CDecoration::LoadFrame(SPiece& piece) const {
  const std::string numbered = piece.name + std::to_string(piece.frame) + ".bmp";
  std::unique_ptr<CBitmap> picture = World().LoadPicture((piece.animated ? numbered : piece.name).c_str());
  if (!picture && !piece.animated) picture = World().LoadPicture(numbered.c_str());
  piece.picture = picture && picture->Bits() == 8 ? std::move(picture) : nullptr;
}

bool CDecoration::Advance(SPiece& piece) const {
  piece.due += static_cast<uint32_t>(piece.delay);
  if (piece.frame < piece.frames) {
    ++piece.frame;
    piece.timed = !(piece.mode == kOnce && piece.frame == piece.frames);
    return true;
  }
  piece.frame = 1;
  return piece.mode == kLoop;
}

void CDecoration::Tick() {
  const uint32_t now = World().Now();
  bool changed = false;
  for (auto it = m_pieces.begin(); it != m_pieces.end();) {
    const int32_t frame = it->frame;
    bool stays = true;
    while (stays && it->timed && static_cast<int32_t>(it->due - now) <= 0) stays = Advance(*it);
    changed |= !stays || it->frame != frame;
    if (stays && it->frame != frame) LoadFrame(*it);
    it = stays ? it + 1 : m_pieces.erase(it);
  }
  if (changed) Redraw();
  ScheduleNext();
}

void CDecoration::ScheduleNext() {
  CWorld* world = &World();
  const uint32_t serial = Serial();
  world->Scheduler().Cancel(serial, kTickDecorationFrame);
  const SPiece* next = nullptr;
  for (const SPiece& piece : m_pieces)
    if (piece.timed && (!next || static_cast<int32_t>(piece.due - next->due) < 0)) next = &piece;
  if (!next) return;
  world->Scheduler().Schedule(serial, kTickDecorationFrame, next->due, [world, serial] {
    if (auto* board = KindOf<CDecoration>(world->Find(serial))) board->Tick();
  });
}

void CDecoration::Redraw() {
  CBitmap* board = Picture();
  if (!board) return;
  {
    CBitmapLock lock(*board);
    if (!lock) return;
    const TRect whole = board->GetBounds();
    Fill(lock.View(), whole, static_cast<uint8_t>(FillColour()));
    const uint32_t key = m_key < 0 ? kNoKey : static_cast<uint32_t>(m_key);
    for (const SPiece& piece : m_pieces) {
      if (!piece.picture) continue;
      CBitmapLock source(*piece.picture);
      if (source)
        Blit8(lock.View(), piece.at.x, piece.at.y, source.View(), piece.picture->GetBounds(), key, whole);
    }
  }
  PictureChanged();
}

bool CDecoration::Pick(TPoint at, std::string* name) {
  const auto hit = std::find_if(m_pieces.begin(), m_pieces.end(), [&](const SPiece& piece) {
    const int32_t pixel = piece.picture ? piece.picture->GetPixel(at.x - piece.at.x, at.y - piece.at.y) : -1;
    return pixel >= 0 && pixel != m_key;
  });
  if (hit == m_pieces.end()) return false;
  *name = hit->name;
  m_pieces.erase(hit);
  Redraw();
  ScheduleNext();
  return true;
}

ErrCode CDecoration::Save(const char* path, bool with_bmp) const {
  std::vector<SDecorationRecord> records;
  for (const SPiece& piece : m_pieces) records.push_back({piece.at.x, piece.at.y, piece.name});
  const std::vector<uint8_t> bytes = WriteDecorationRecords(records);
  if (ErrCode error = ReplaceFileContents(
          path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
    return error;
  if (!with_bmp || !Picture()) return err::kOk;
  CBitmap board(*Picture());
  const CWPlaneViewWindow* view = World().CurrentView();
  const CPalette* palette = view && view->Canvas() ? view->Canvas()->Palette() : nullptr;
  auto copy = palette ? std::make_unique<CPalette>(*palette) : std::make_unique<CPalette>();
  copy->SetCount(256);
  board.SetPalette(std::move(copy));
  return WriteReplacing((std::string(path) + ".bmp").c_str(), 0,
                        [&](CFile& file) { return WriteBmp(&file, board, kBottomUp); });
}

ErrCode CDecoration::Load(const char* path, uint32_t* count) {
  RemoveStaleCopy(path);
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(path, kOpenRead | kOpenShareRead, &error);
  if (!file) return error ? error : err::kFileNotFound;
  std::vector<uint8_t> bytes(file->GetSize());
  uint32_t read = 0;
  if (ErrCode failed = file->ReadAt(bytes.data(), 0, static_cast<uint32_t>(bytes.size()), &read))
    return failed;
  std::vector<SDecorationRecord> records;
  if (ErrCode failed = ReadDecorationRecords(std::span(bytes.data(), read), &records)) return failed;
  m_pieces.clear();
  for (const SDecorationRecord& record : records)
    m_pieces.push_back(MakePiece({record.x, record.y}, record.name, kStill, 0, 0));
  Redraw();
  ScheduleNext();
  *count = static_cast<uint32_t>(records.size());
  return err::kOk;
}
