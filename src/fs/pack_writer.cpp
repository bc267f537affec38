#include "fs/pack_writer.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "fs/pack_fs.h"

namespace {

constexpr char kPackMagic[] = "TOVSYS PackFile\n\x1A";
constexpr uint32_t kHeaderSize = 40;

size_t SharedLength(const std::string& a, const std::string& b) {
  const size_t limit = std::min(a.size(), b.size());
  size_t i = 0;
  while (i < limit && a[i] == b[i]) ++i;
  return i;
}

// The directory bytes for the sorted items whose data starts at `data_start`.
std::string Directory(const std::vector<SPackItem>& items, uint64_t data_start) {
  std::string directory;
  const std::string* previous = nullptr;
  uint64_t offset = data_start;
  for (const SPackItem& item : items) {
    const size_t shared = previous ? SharedLength(*previous, item.name) : 0;
    directory.push_back(static_cast<char>(item.name.size()));
    directory.push_back(static_cast<char>(shared));
    directory.append(item.name, shared);
    AppendLe32(&directory, static_cast<uint32_t>(offset));
    AppendLe32(&directory, item.size);
    offset += item.size;
    previous = &item.name;
  }
  return directory;
}

}  // namespace

ErrCode WritePack(CFile& out, std::vector<SPackItem> items,
                  const PackDataWriter& write_data) {
  std::sort(items.begin(), items.end(),
            [](const SPackItem& a, const SPackItem& b) { return a.name < b.name; });
  uint64_t total = kHeaderSize;
  for (size_t i = 0; i < items.size(); ++i) {
    const std::string& name = items[i].name;
    if (name.empty() || name.size() > kPackNameLimit) return err::kBadParams;
    if (i > 0 && name == items[i - 1].name) return err::kBadParams;
    total += 2 + name.size() + 8 + items[i].size;
  }
  if (total > UINT32_MAX) return err::kBadParams;

  // The directory's size does not depend on the offsets inside it.
  const std::string sized = Directory(items, 0);
  const std::string directory = Directory(items, kHeaderSize + sized.size());
  std::string header(kPackMagic, sizeof kPackMagic);
  header.resize(32, '\0');
  AppendLe32(&header, static_cast<uint32_t>(items.size()));
  AppendLe32(&header, static_cast<uint32_t>(directory.size()));
  if (ErrCode error = out.Seek(0, kSeekSet)) return error;
  if (ErrCode error = out.Truncate()) return error;
  if (ErrCode error = out.Write(header.data(), kHeaderSize, nullptr)) return error;
  if (ErrCode error = out.Write(directory.data(),
                                static_cast<uint32_t>(directory.size()), nullptr))
    return error;
  for (const SPackItem& item : items)
    if (ErrCode error = write_data(item.source, out)) return error;
  return out.Flush();
}
