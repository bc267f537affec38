#include "sound/file_sound.h"

#include <algorithm>
#include <cstring>

#include "fs/file_service.h"

std::unique_ptr<CFileSound> CFileSound::OpenWav(std::unique_ptr<CFile> file,
                                                ErrCode* error) {
  SWavInfo info;
  *error = ReadWavHeader(file.get(), &info);
  if (*error) return nullptr;
  std::unique_ptr<CFileSound> sound(new CFileSound);
  sound->m_adpcm = info.adpcm;
  sound->m_data_start = info.data_start;
  sound->m_data_size = info.data_size;
  if (sound->m_adpcm)
    *error = sound->m_codec.SetFormat(FormatChannels(info.format), 2);
  if (!*error)
    *error = sound->SetSource(file.release(), true, 0, kWholeSound,
                              info.format, 0);
  if (*error) return nullptr;
  return sound;
}

std::unique_ptr<CFileSound> CFileSound::OpenWav(const char* path,
                                                ErrCode* error) {
  std::unique_ptr<CFile> file = FsOpen(path, kOpenRead | kOpenShareRead, error);
  if (!file) {
    if (!*error) *error = err::kFileNotFound;
    return nullptr;
  }
  return OpenWav(std::move(file), error);
}

ErrCode CFileSound::SetSource(CFile* file, bool owns, uint32_t start,
                              uint32_t end, SoundFormat format,
                              uint32_t buffer_size) {
  if (file != m_file) {
    m_owned_file.reset(owns ? file : nullptr);
    m_file = file;
  }
  m_read_buffer.reset();
  m_decode_buffer.reset();
  m_buffer_size = 0;
  m_ready = false;
  m_format = format;
  const uint64_t in_file =
      std::min<uint64_t>(m_data_size, file->GetSize() > m_data_start
                                          ? file->GetSize() - m_data_start
                                          : 0);
  const uint64_t length = m_adpcm ? 4 * in_file : in_file;
  const uint32_t frame = FrameBytes();
  m_end = static_cast<uint32_t>(std::min<uint64_t>(end, length) / frame * frame);
  m_start = start / frame * frame;
  if (start > end || m_start > m_end) {
    m_start = m_end;
    return err::kUnknownError;
  }
  m_codec.Reset();
  m_read_pos = m_adpcm ? 0 : m_start;
  m_window_pos = m_read_pos;
  m_fill = 0;
  m_next_pos = m_start;
  m_error = err::kOk;
  return SetBufferSize(buffer_size);
}

ErrCode CFileSound::SetBufferSize(uint32_t bytes) {
  if (bytes == 0) bytes = FrameBytes() * FormatRate(m_format) / 8;
  bytes = std::min(bytes, m_end - m_start);
  const uint32_t size = (bytes + 32) & ~uint32_t{31};
  CHandle read(AllocHandle(size));
  CHandle decode(m_adpcm ? AllocHandle(size_t{4} * size) : 0);
  if (!read || (m_adpcm && !decode)) return err::kAllocFail;
  m_read_buffer = std::move(read);
  m_decode_buffer = std::move(decode);
  m_buffer_size = size;
  m_window_pos = m_read_pos;
  m_fill = 0;
  return err::kOk;
}

uint64_t CFileSound::FrameCount() const {
  return (m_end - m_start) / FrameBytes();
}

uint32_t CFileSound::ReadStep() const {
  if (m_read_step) return m_read_step;
  return m_adpcm ? m_codec.BlockSize() : m_buffer_size;
}

ErrCode CFileSound::Start() {
  m_error = err::kOk;
  CHandleLock samples(m_adpcm ? m_decode_buffer.get() : m_read_buffer.get());
  if (!samples) return err::kLockFail;
  Seek(m_start);
  Fill(samples.as<uint8_t>());
  m_next_pos = m_start;
  m_ready = true;
  return m_error;
}

ErrCode CFileSound::Update() {
  if (!m_ready) return err::kOk;
  CHandleLock samples(m_adpcm ? m_decode_buffer.get() : m_read_buffer.get());
  if (!samples) return err::kLockFail;
  Compact(samples.as<uint8_t>(), m_next_pos);
  Fill(samples.as<uint8_t>());
  return m_error;
}

uint32_t CFileSound::ReadStream(uint32_t file_bytes, uint8_t* target) {
  const uint64_t position = m_data_start + (m_adpcm ? m_read_pos / 4 : m_read_pos);
  CHandleLock read(m_read_buffer.get());
  uint8_t* into = m_adpcm ? read.as<uint8_t>() : target;
  uint32_t count = 0;
  if (!read || position > UINT32_MAX) {
    m_error = err::kReadFail;
    return 0;
  }
  const ErrCode error =
      m_file->ReadAt(into, static_cast<uint32_t>(position), file_bytes, &count);
  if (error && error != err::kEof) m_error = error;
  if (m_adpcm) {
    m_codec.Decode(into, count, target);
    m_read_pos += uint64_t{4} * count;
  } else {
    m_read_pos += count;
  }
  return count;
}

void CFileSound::Seek(uint64_t position) {
  CHandleLock decode(m_decode_buffer.get());
  if (m_adpcm) {
    position &= ~uint64_t{3};
    if (position < m_read_pos) {
      m_codec.Reset();
      m_read_pos = 0;
    }
    // The state at `position` is only known by decoding up to it.
    while (decode && m_read_pos < position) {
      const uint64_t left = (position - m_read_pos) / 4;
      if (!ReadStream(static_cast<uint32_t>(std::min<uint64_t>(left, m_buffer_size)),
                      decode.as<uint8_t>()))
        break;
    }
  } else {
    m_read_pos = position;
  }
  m_window_pos = m_read_pos;
  m_fill = 0;
}

void CFileSound::Compact(uint8_t* samples, uint64_t position) {
  if (position <= m_window_pos) return;
  if (position >= WindowEnd()) {
    m_window_pos = WindowEnd();
    m_fill = 0;
    return;
  }
  const uint32_t drop = static_cast<uint32_t>(position - m_window_pos);
  std::memmove(samples, samples + drop, m_fill - drop);
  m_fill -= drop;
  m_window_pos = position;
}

void CFileSound::Fill(uint8_t* samples) {
  const uint32_t scale = m_adpcm ? 4 : 1;
  while (m_read_pos < m_end && !m_error) {
    const uint32_t room = (Capacity() - m_fill) / scale;
    const uint64_t left = (m_end - m_read_pos + scale - 1) / scale;
    const uint32_t bytes = static_cast<uint32_t>(
        std::min<uint64_t>({room, left, ReadStep()}));
    if (bytes == 0) break;
    const uint32_t count = ReadStream(bytes, samples + m_fill);
    m_fill += count * scale;
    if (count < bytes) break;
  }
}

uint32_t CFileSound::DeliverSamples(const CConverter& converter, EConvertOp op,
                                    uint64_t position, uint32_t count,
                                    void* out) {
  CHandleLock lock(m_adpcm ? m_decode_buffer.get() : m_read_buffer.get());
  if (!lock || !m_file) return 0;
  uint8_t* samples = lock.as<uint8_t>();
  const uint32_t frame = FrameBytes();
  const uint64_t frames = FrameCount();
  const uint32_t out_frame = OutputFrameBytes(converter.DeviceFormat(), op);
  uint32_t delivered = 0;
  while (delivered < count) {
    const uint64_t output = position + delivered;
    const uint64_t source = converter.SourceFrame(output);
    if (source >= frames) break;
    const uint64_t at = m_start + source * frame;
    if (at < m_window_pos || at > WindowEnd()) Seek(at);
    // What the rest of the request reads, as far as the buffer can hold it.
    const uint64_t last = converter.SourceFrame(output + (count - delivered) - 1);
    const uint64_t wanted =
        std::min<uint64_t>((last - source + 4) * frame, Capacity());
    if (WindowEnd() < at + wanted) {
      Compact(samples, at);
      Fill(samples);
    }
    const uint64_t buffered = std::min<uint64_t>(
        frames, (WindowEnd() - m_start) / frame);
    const uint32_t part =
        converter.FramesWithin(output, buffered, count - delivered);
    if (part == 0) break;
    converter.Convert(op, samples + (at - m_window_pos), output, part,
                      static_cast<uint8_t*>(out) + size_t{delivered} * out_frame);
    delivered += part;
  }
  m_next_pos = m_start + std::min(converter.SourceFrame(position + delivered),
                                  frames) * frame;
  return delivered;
}
