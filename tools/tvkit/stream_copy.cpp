#include "stream_copy.h"

#include <memory>
#include <vector>

#include "fs/file_service.h"

namespace {

constexpr uint32_t kChunk = 65536;

// Calls `sink` (bytes, count) for each piece read until the end.
template <class Sink>
ErrCode ForEachPiece(CFile& in, Sink sink) {
  std::vector<char> buffer(kChunk);
  for (;;) {
    uint32_t count = 0;
    const ErrCode error = in.Read(buffer.data(), kChunk, &count);
    if (error && error != err::kEof) return error;
    if (count == 0) return err::kOk;
    if (ErrCode sink_error = sink(buffer.data(), count)) return sink_error;
  }
}

}  // namespace

ErrCode CopyFile(CFile& in, CFile& out) {
  return ForEachPiece(in, [&](const char* bytes, uint32_t count) {
    return out.Write(bytes, count, nullptr);
  });
}

ErrCode CopyToStream(CFile& in, FILE* out) {
  return ForEachPiece(in, [&](const char* bytes, uint32_t count) {
    return std::fwrite(bytes, 1, count, out) == count ? err::kOk : err::kWriteFail;
  });
}

ErrCode ReadWholeFile(const char* path, std::string* bytes) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(path, kOpenRead | kOpenShareRead, &error);
  if (!file) return error;
  bytes->assign(file->GetSize(), '\0');
  return file->ReadAt(bytes->data(), 0, static_cast<uint32_t>(bytes->size()), nullptr);
}
