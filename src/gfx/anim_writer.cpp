#include "gfx/anim_writer.h"

#include <algorithm>
#include <array>
#include <new>

#include "base/byte_order.h"
#include "fs/file.h"

namespace {

struct SBox {
  int left, top, right, bottom;
};

// The smallest box holding every pixel that differs; false when none does.
bool ChangedBox(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                int width, int height, SBox* box) {
  *box = SBox{width, height, -1, -1};
  for (int y = 0; y < height; ++y) {
    const uint8_t* a = &before[static_cast<size_t>(y) * width];
    const uint8_t* b = &after[static_cast<size_t>(y) * width];
    int x = 0;
    while (x < width && a[x] == b[x]) ++x;
    if (x == width) continue;
    int last = width - 1;
    while (a[last] == b[last]) --last;
    box->left = std::min(box->left, x);
    box->right = std::max(box->right, last);
    box->top = std::min(box->top, y);
    box->bottom = y;
  }
  return box->right >= 0;
}

void PutRecord(std::vector<uint8_t>* out, const SBox& box, uint32_t transparent,
               const std::vector<uint8_t>& data) {
  AppendLe16(out, box.left);
  AppendLe16(out, box.top);
  AppendLe16(out, box.right);
  AppendLe16(out, box.bottom);
  AppendLe32(out, transparent);
  AppendLe32(out, 1);
  AppendLe32(out, static_cast<uint32_t>(data.size()));
  out->insert(out->end(), data.begin(), data.end());
}

}  // namespace

void EncodeAnimRow(const uint8_t* pixels, int count, std::vector<uint8_t>* out) {
  int i = 0;
  while (i < count) {
    int run = 1;
    while (i + run < count && run < 130 && pixels[i + run] == pixels[i]) ++run;
    if (run >= 3) {
      out->push_back(static_cast<uint8_t>(run - 3));
      out->push_back(pixels[i]);
      i += run;
      continue;
    }
    // Literals up to the next run of three or 128 bytes.
    int n = 0;
    while (i + n < count && n < 128 &&
           !(i + n + 2 < count && pixels[i + n] == pixels[i + n + 1] &&
             pixels[i + n] == pixels[i + n + 2]))
      ++n;
    out->push_back(static_cast<uint8_t>(256 - n));
    out->insert(out->end(), pixels + i, pixels + i + n);
    i += n;
  }
}

ErrCode WriteAnimation(CFile* file, const SAnimFormat& format, const CPalette& palette,
                       std::span<const std::vector<uint8_t>> frames) {
  const int width = format.width;
  const int height = format.height;
  const size_t frame_size = static_cast<size_t>(width) * height;
  if (!file || frame_size == 0 || format.frames_per_chunk == 0) return err::kBadParams;
  for (const std::vector<uint8_t>& frame : frames)
    if (frame.size() != frame_size) return err::kBadParams;

  std::vector<uint8_t> out;
  try {
    out = {'R', 'L', 'M', 0};
    AppendLe16(&out, width);
    AppendLe16(&out, height);
    AppendLe32(&out, static_cast<uint32_t>(frames.size()));
    AppendLe32(&out, format.frames_per_second);
    AppendLe32(&out, format.frames_per_chunk);
    AppendLe32(&out, 0);
    AppendLe32(&out, 0);
    for (uint32_t i = 0; i < 256; ++i) {
      SPalEntry entry;
      if (palette.GetEntry(i, &entry)) entry = SPalEntry{};
      out.insert(out.end(), {entry.blue, entry.green, entry.red, 0});
    }
    size_t chunk_header = 0;
    size_t last_record = 0;
    std::vector<uint8_t> data;
    std::vector<uint8_t> coded(width);
    for (size_t f = 0; f < frames.size(); ++f) {
      const std::vector<uint8_t>& frame = frames[f];
      data.clear();
      if (f % format.frames_per_chunk == 0) {
        if (f) {
          PutLe32(&out[chunk_header + 8], static_cast<uint32_t>(out.size()));
          PutLe32(&out[chunk_header + 12], static_cast<uint32_t>(f));
        }
        chunk_header = out.size();
        for (size_t y = 0; y < static_cast<size_t>(height); ++y)
          EncodeAnimRow(&frame[y * width], width, &data);
        AppendLe32(&out, 0);
        AppendLe32(&out, static_cast<uint32_t>(data.size()));
        AppendLe32(&out, 0);
        AppendLe32(&out, 0);
        out.insert(out.end(), data.begin(), data.end());
        // The key frame shows the chunk's first frame; its record repeats
        // one pixel so that the frame has a record to be shown by.
        last_record = out.size();
        PutRecord(&out, SBox{0, 0, 0, 0}, 0xFFFFFFFF, {0xFF, frame[0]});
        continue;
      }
      SBox box;
      if (!ChangedBox(frames[f - 1], frame, width, height, &box)) {
        PutLe32(&out[last_record + 12], GetLe32(&out[last_record + 12]) + 1);
        continue;
      }
      std::array<bool, 256> used{};
      for (int y = box.top; y <= box.bottom; ++y)
        for (int x = box.left; x <= box.right; ++x) {
          const size_t i = static_cast<size_t>(y) * width + x;
          if (frame[i] != frames[f - 1][i]) used[frame[i]] = true;
        }
      const auto free_index = std::find(used.begin(), used.end(), false);
      const bool keyed = free_index != used.end();
      const uint8_t key = static_cast<uint8_t>(free_index - used.begin());
      const int box_width = box.right - box.left + 1;
      coded.resize(box_width);
      for (int y = box.top; y <= box.bottom; ++y) {
        const size_t row = static_cast<size_t>(y) * width + box.left;
        for (int x = 0; x < box_width; ++x) {
          const uint8_t now = frame[row + x];
          coded[x] = keyed && now == frames[f - 1][row + x] ? key : now;
        }
        EncodeAnimRow(coded.data(), box_width, &data);
      }
      last_record = out.size();
      PutRecord(&out, box, keyed ? key : 0xFFFFFFFF, data);
    }
  } catch (const std::bad_alloc&) {
    return err::kAllocFail;
  }
  uint32_t count = 0;
  const ErrCode error = file->Write(out.data(), static_cast<uint32_t>(out.size()), &count);
  return error ? error : count == out.size() ? err::kOk : err::kWriteFail;
}
