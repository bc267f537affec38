#include "store/vb_ini.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "store/hash_ini.h"
#include "store/value_base.h"

namespace {

constexpr size_t kMaxString = 1024;
constexpr uint32_t kMaxOpaque = 1024;
constexpr size_t kMaxSectionAndKey = 127;
constexpr size_t kLinePiece = 252;
constexpr size_t kHexPerKey = 16;
// Bounds on what a text may ask for: nesting and script size.
constexpr int kMaxNesting = 256;
constexpr int32_t kMaxScriptText = 1 << 20;

bool HasPrefix(const char* text, const char* prefix) {
  return strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

std::string KeyNumber(size_t n) { return std::to_string(n); }

// Export.

class CExporter {
 public:
  CExporter(CValueBase* vb, CHashIni* ini) : m_vb(vb), m_ini(ini) {}

  ErrCode Container(CVBContainer* container, const std::string& section) {
    if (!m_on_path.insert(container->Handle()).second) return err::kInvalidFormat;
    ErrCode result = err::kOk;
    uint32_t cursor = 0;
    Atom atom = 0;
    const uint8_t* value = nullptr;
    while (!result && container->NextValue(&cursor, &atom, &value) == err::kOk)
      result = Value(value, section, m_vb->NameOfAtom(atom));
    m_on_path.erase(container->Handle());
    return result;
  }

 private:
  // A name that matches an earlier one ignoring case is the same INI key:
  // the key keeps the earlier name and takes this value, whose sections
  // replace the earlier value's.
  ErrCode Value(const uint8_t* value, const std::string& section, const std::string& name) {
    const std::string text = ValueIniText(value);
    if (m_ini->FindKey(section.c_str(), name.c_str())) DropSectionsOf(section + name);
    if (ErrCode error = Add(section, name, text)) return error;
    if (text == "other") return Opaque(value, section + name);
    if (text == "script") return Script(value, section + name);
    if (text != "container") return err::kOk;
    COpenContainer child(m_vb, ContainerHandleOf(value));
    if (!child) return err::kInvalidFormat;
    return Container(child.get(), section + name + "/");
  }

  ErrCode Add(const std::string& section, const std::string& key, const std::string& value) {
    return m_ini->SetString(section.c_str(), key.c_str(), value.c_str());
  }

  // The sections of a value's contents: its own (scripts, opaque values) and
  // those of a container's sub-tree.
  void DropSectionsOf(const std::string& path) {
    const std::string tree = path + "/";
    std::vector<std::string> dropped;
    for (const SIniSection* s = m_ini->FirstSection(); s; s = s->next)
      if (strcasecmp(s->name, path.c_str()) == 0 || HasPrefix(s->name, tree.c_str()))
        dropped.push_back(s->name);
    for (const std::string& name : dropped) m_ini->DeleteSection(name.c_str());
  }

  ErrCode Script(const uint8_t* value, const std::string& section) {
    if (ValueType(value) != kValueScript) return err::kBadFormat;
    const StoreHandle source = ValueWord(value, 0);
    ErrCode error = err::kOk;
    const std::vector<uint8_t>* bytes = m_vb->GetData(source, &error);
    if (error) return error;
    std::string text;
    if (bytes) {
      text.assign(reinterpret_cast<const char*>(bytes->data()),
                  strnlen(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
      m_vb->ReleaseData(source);
    }
    if (!error) error = Add(section, "Size", std::to_string(kScriptValueSize));
    if (!error) error = Add(section, "Type", std::to_string(kValueScript));
    if (!error) error = Add(section, "TextSize", std::to_string(text.size() + 1));
    size_t key = 0;
    for (size_t start = 0; !error && start < text.size();) {
      size_t end = text.find_first_of("\r\n", start);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(start, end - start);
      if (end < text.size()) {
        const bool pair = end + 1 < text.size() && (text[end + 1] == '\r' || text[end + 1] == '\n') &&
                          text[end + 1] != text[end];
        end += pair ? 2 : 1;
      }
      start = end;
      for (size_t piece = 0; !error;) {
        const size_t length = std::min(kLinePiece, line.size() - piece);
        std::string out = ".";
        for (char c : line.substr(piece, length)) {
          if (c == ';') out += "\\s";
          else if (c == '\\') out += "\\\\";
          else out += c;
        }
        piece += length;
        const bool more = piece < line.size();
        if (more) out += '\\';
        error = Add(section, KeyNumber(++key), out);
        if (!more) break;
      }
    }
    return error;
  }

  ErrCode Opaque(const uint8_t* value, const std::string& section) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const size_t size = ValueSize(value);
    ErrCode error = err::kOk;
    size_t key = 0;
    for (size_t at = kValueHeaderSize; !error && at < size; at += kHexPerKey) {
      std::string line;
      for (size_t i = at; i < std::min(size, at + kHexPerKey); ++i) {
        line += kHex[value[i] >> 4];
        line += kHex[value[i] & 15];
        line += ' ';
      }
      error = Add(section, KeyNumber(++key), line);
    }
    if (!error) error = Add(section, "Size", std::to_string(size));
    if (!error) error = Add(section, "Type", std::to_string(ValueType(value)));
    return error;
  }

  CValueBase* m_vb;
  CHashIni* m_ini;
  std::unordered_set<StoreHandle> m_on_path;
};

// Import.

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

class CImporter {
 public:
  CImporter(CValueBase* vb, const CHashIni* ini) : m_vb(vb), m_ini(ini) {}

  ErrCode Section(CVBContainer* container, const std::string& section, int depth) {
    if (depth > kMaxNesting) return err::kBadFormat;
    const SIniSection* found = m_ini->FindSection(section.c_str());
    if (!found) return err::kOk;
    for (const SIniKey* key = found->first_key; key; key = key->next) {
      if (!*key->name || !*key->value) continue;
      if (ErrCode error = Key(container, section, key->name, key->value, depth)) return error;
    }
    return err::kOk;
  }

 private:
  ErrCode Key(CVBContainer* container, const std::string& section, const std::string& name,
              const char* text, int depth) {
    if (strcasecmp(text, "container") == 0) {
      ErrCode error = err::kOk;
      const StoreHandle child = m_vb->CreateContainer(&error);
      if (error) return error;
      if (ErrCode set = container->SetValue(name, MakeValue(kValueContainer, &child, 4).data())) {
        m_vb->Store()->FreeHandle(child);
        return set;
      }
      if (ErrCode ref = m_vb->AddRef(child)) return ref;
      COpenContainer opened(m_vb, child, &error);
      if (!opened) return error ? error : err::kNotFound;
      return Section(opened.get(), section + name + "/", depth + 1);
    }
    if (HasPrefix(text, "long:") || HasPrefix(text, "str:") || HasPrefix(text, "rect:") ||
        HasPrefix(text, "point:"))
      return SetValueFromIniText(m_vb, container, name, text);
    const bool script = HasPrefix(text, "script");
    if (!script && !HasPrefix(text, "other")) return err::kNotFound;
    const std::string own = section + name;
    if (own.size() > kMaxSectionAndKey) return err::kBufferTooSmall;
    return script ? Script(container, name, own) : Opaque(container, name, own);
  }

  int32_t Int(const std::string& section, const char* key, int32_t fallback) const {
    int32_t value = fallback;
    m_ini->GetInt(section.c_str(), key, &value);
    return value;
  }

  ErrCode Script(CVBContainer* container, const std::string& name, const std::string& section) {
    if (Int(section, "Type", 0) != kValueScript) return err::kOk;
    const int32_t text_size = Int(section, "TextSize", 0);
    if (text_size < 1 || text_size > kMaxScriptText) return err::kBadFormat;
    std::string text;
    const size_t limit = static_cast<size_t>(text_size) - 1;
    for (size_t n = 1; text.size() < limit; ++n) {
      const char* line = m_ini->GetString(section.c_str(), KeyNumber(n).c_str());
      if (!line) break;
      if (*line == '.') ++line;
      bool continued = false;
      for (const char* c = line; *c; ++c) {
        if (*c != '\\') {
          text += *c;
        } else if (c[1] == '\\') {
          text += '\\';
          ++c;
        } else if (c[1] == 's') {
          text += ';';
          ++c;
        } else if (c[1] == '\0') {
          continued = true;
        }
      }
      if (!continued) text += '\n';
    }
    text.resize(std::min(text.size(), limit));
    std::vector<uint8_t> block(static_cast<size_t>(text_size), 0);
    std::memcpy(block.data(), text.data(), text.size());
    CBFHP* store = m_vb->Store();
    ErrCode error = err::kOk;
    const StoreHandle source = store->NewHandle(static_cast<uint32_t>(block.size()), &error);
    if (error) return err::kAllocFail;
    if (store->Write(source, block.data(), 0, static_cast<uint32_t>(block.size()))) {
      store->FreeHandle(source);
      return err::kLockFail;
    }
    const uint32_t payload[2] = {source, 0};
    if (ErrCode set = container->SetValue(name, MakeValue(kValueScript, payload, 8).data())) {
      store->FreeHandle(source);
      return set;
    }
    return err::kOk;
  }

  ErrCode Opaque(CVBContainer* container, const std::string& name, const std::string& section) {
    const int32_t type = Int(section, "Type", -1);
    const int32_t size = Int(section, "Size", -1);
    // Values that hold store handles cannot come from text.
    if (size < static_cast<int32_t>(kValueHeaderSize) || size > static_cast<int32_t>(kMaxOpaque) ||
        type < 0 || type > 0xFFFF || type == kValueContainer || type == kValueScript)
      return err::kBadFormat;
    std::vector<uint8_t> payload;
    const size_t wanted = static_cast<size_t>(size) - kValueHeaderSize;
    for (size_t n = 1; payload.size() < wanted; ++n) {
      const char* line = m_ini->GetString(section.c_str(), KeyNumber(n).c_str());
      if (!line) return err::kBadFormat;
      for (size_t pairs = 0; pairs < kHexPerKey && payload.size() < wanted; ++pairs) {
        while (*line == ' ' || *line == '\t') ++line;
        if (!*line) break;
        const int high = HexDigit(line[0]);
        const int low = high < 0 ? -1 : HexDigit(line[1]);
        if (low < 0) return err::kBadFormat;
        payload.push_back(static_cast<uint8_t>(high * 16 + low));
        line += 2;
      }
    }
    return container->SetValue(
        name, MakeValue(static_cast<uint16_t>(type), payload.data(), payload.size()).data());
  }

  CValueBase* m_vb;
  const CHashIni* m_ini;
};

}  // namespace

std::string ValueIniText(const uint8_t* value) {
  const uint16_t size = ValueSize(value);
  char text[64];
  switch (ValueType(value)) {
    case kValueContainer:
      if (size == 8) return "container";
      break;
    case kValueLong:
      if (size == 8) {
        std::snprintf(text, sizeof text, "long:%ld",
                      static_cast<long>(static_cast<int32_t>(ValueWord(value, 0))));
        return text;
      }
      break;
    case kValueString: {
      const char* chars = reinterpret_cast<const char*>(value + kValueHeaderSize);
      const size_t length = size - kValueHeaderSize;
      if (size > kValueHeaderSize && std::memchr(chars, '\0', length))
        return std::string("str:") + chars;
      break;
    }
    case kValuePoint:
      if (size == 8) {
        int16_t v[2];
        std::memcpy(v, value + kValueHeaderSize, sizeof v);
        std::snprintf(text, sizeof text, "point:%d, %d", v[0], v[1]);
        return text;
      }
      break;
    case kValueRect:
      if (size == 12) {
        int16_t v[4];
        std::memcpy(v, value + kValueHeaderSize, sizeof v);
        std::snprintf(text, sizeof text, "rect:%d, %d, %d, %d", v[0], v[1], v[2], v[3]);
        return text;
      }
      break;
    case kValueScript:
      if (size == kScriptValueSize) return "script";
      break;
  }
  return "other";
}

ErrCode SetValueFromIniText(CValueBase* vb, CVBContainer* container, const std::string& name,
                            const char* text) {
  if (strcasecmp(text, "container") == 0) {
    ErrCode error = err::kOk;
    const StoreHandle child = vb->CreateContainer(&error);
    if (error) return error;
    return vb->LinkContainer(child, container->Handle(), name) ? err::kOk : err::kAllocFail;
  }
  if (HasPrefix(text, "long:")) {
    long number = 0;
    std::sscanf(text + 5, "%ld", &number);
    const int32_t value = static_cast<int32_t>(number);
    return container->SetValue(name, MakeValue(kValueLong, &value, 4).data());
  }
  if (HasPrefix(text, "str:")) {
    const size_t length = std::strlen(text + 4);
    if (length + 1 > kMaxString) return err::kBadParams;
    return container->SetValue(name, MakeValue(kValueString, text + 4, length + 1).data());
  }
  if (HasPrefix(text, "rect:")) {
    int16_t v[4] = {};
    std::sscanf(text + 5, "%hd, %hd, %hd, %hd", &v[0], &v[1], &v[2], &v[3]);
    return container->SetValue(name, MakeValue(kValueRect, v, sizeof v).data());
  }
  if (HasPrefix(text, "point:")) {
    int16_t v[2] = {};
    std::sscanf(text + 6, "%hd, %hd", &v[0], &v[1]);
    return container->SetValue(name, MakeValue(kValuePoint, v, sizeof v).data());
  }
  return err::kNotFound;
}

ErrCode ImportIni(CValueBase* vb, CVBContainer* container, const CHashIni* ini) {
  if (!vb || !container || !ini) return err::kBadParams;
  return CImporter(vb, ini).Section(container, "/", 0);
}

ErrCode ExportIni(CValueBase* vb, CVBContainer* container, CHashIni* ini) {
  if (!vb || !container || !ini) return err::kBadParams;
  return CExporter(vb, ini).Container(container, "/");
}
