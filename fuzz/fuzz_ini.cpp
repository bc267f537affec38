// Feeds arbitrary bytes to the INI reader, both from memory and through a
// file that hands them out in small pieces, then runs every getter on every
// key, edits the result and checks that the writer's form reads back to
// itself.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "fs/file.h"
#include "store/hash_ini.h"

namespace {

// Answers at most `piece` bytes per read, as a slow device may.
class CPieceFile : public CFile {
  TV_CLASS(CPieceFile, CFile)

 public:
  CPieceFile(std::string_view bytes, size_t piece) : m_bytes(bytes), m_piece(piece) {}

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override {
    const size_t n =
        std::min({static_cast<size_t>(length), m_piece, m_bytes.size() - m_pos});
    if (n) std::memcpy(buffer, m_bytes.data() + m_pos, n);
    m_pos += n;
    *count = static_cast<uint32_t>(n);
    return m_pos == m_bytes.size() ? err::kEof : err::kOk;
  }

 private:
  std::string_view m_bytes;
  size_t m_piece;
  size_t m_pos = 0;
};

constexpr SIniFlag kFlags[] = {
    {"HIDDEN", 1}, {"H", 2}, {"TRANSPARENT", 4}, {"", 8}, {nullptr, 0}};
constexpr SIniFlag kNoFlags[] = {{nullptr, 0}};

void Check(bool condition) {
  if (!condition) std::abort();
}

void RunGetters(const CHashIni& ini, const char* section, const char* key) {
  const char* value = ini.GetString(section, key);
  Check(value != nullptr);
  char small[5];
  Check(ini.GetStringCopy(section, key, small, sizeof small) == err::kOk);
  Check(std::strlen(small) == std::min<size_t>(std::strlen(value), sizeof small - 1));
  int32_t number = 0;
  ini.GetInt(section, key, &number);
  TPoint point;
  ini.GetPoint(section, key, &point);
  TRect rect;
  ini.GetRect(section, key, &rect);
  ini.GetRectWH(section, key, &rect);
  uint8_t colour[4];
  ini.GetColor(section, key, colour);
  uint32_t flags = 0;
  ini.GetFlags(section, key, kFlags, &flags);
  ini.GetFlags(section, key, kNoFlags, &flags);
  char name[9];
  ini.GetNamedFlags(section, key, kFlags, name, sizeof name, &number, &flags);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CHashIni ini(7, 31);
  Check(ini.LoadText(bytes) == err::kOk);
  const std::string text = ini.Text();

  CPieceFile file(bytes, size ? data[0] % 61 + 1 : 1);
  CHashIni from_file(1, 3);
  Check(from_file.Load(&file) == err::kOk);
  Check(from_file.Text() == text);

  // Lines cannot grow past the reader's limit when written back.
  if (size < 1000) {
    CHashIni again(3, 5);
    Check(again.LoadText(text) == err::kOk);
    Check(again.Text() == text);
  }

  for (const SIniSection* section = ini.FirstSection(); section; section = section->next)
    for (const SIniKey* key = section->first_key; key; key = key->next)
      if (*key->name && ini.FindKey(section->name, key->name) == key)
        RunGetters(ini, section->name, key->name);

  // Edits on copies of the names: the records they come from change.
  if (const SIniSection* first = ini.FirstSection()) {
    const std::string section = first->name;
    const SIniKey* key = first->first_key;
    const std::string name = key ? key->name : "";
    ini.SetString(section.c_str(), name.empty() ? "added" : name.c_str(), "1, 2, 3, 4");
    ini.AddKey(section.c_str(), "", "", "remark",
               ini.FindSection(section.c_str())->first_key);
    ini.SetInt(section.c_str(), "n", static_cast<int32_t>(size));
    const std::string last = ini.LastSection()->name;
    ini.DeleteKey(section.c_str(), name.c_str());
    ini.DeleteSection(last.c_str());
    ini.Text();
    ini.DeleteSection(section.c_str());
  }
  return 0;
}
