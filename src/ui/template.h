// UI templates: dialogs and their controls described in INI files and built
// by one generic builder.
//
// Each object is a section: `Type` names its class, `Style` its style bits,
// `RectWH` or `Rect` its place relative to the parent, and the type's own
// keys the rest. A key missing in a section is looked up in the section its
// `Template` key names ("<section>" of the same file, or "<file>, <section>"),
// one level deep. A dialog's own keys stand in "<name> Params"; the children
// of an object "<name>" are the sections listed as keys of "<name> Objects".
#pragma once

#include <cstdint>
#include <string>

#include "base/errors.h"
#include "base/geometry.h"

class CHashIni;
class CResourceLoader;
class CWindow;
struct SStyleName;
struct STypeEntry;

// Reads the keys of one section at a time, with its base section.
class CTemplateReader {
 public:
  static constexpr size_t kMaxValue = 255;

  CTemplateReader(CResourceLoader* resources, CHashIni* ini);
  ~CTemplateReader();
  CTemplateReader(const CTemplateReader&) = delete;
  CTemplateReader& operator=(const CTemplateReader&) = delete;

  // Switches to `section`, finding its base; NOTFOUND when the section or a
  // named base is missing.
  ErrCode SetSection(const std::string& section);
  const std::string& Section() const { return m_section; }
  CHashIni* Ini() const { return m_ini; }
  CResourceLoader* Resources() const { return m_resources; }

  // NOTFOUND when neither the section nor its base has the key. Values are
  // cut to 255 characters.
  ErrCode Get(const char* key, std::string* value) const;
  bool Has(const char* key) const;
  // Numbers: "0x..." or decimal; 16-bit ones must fit, bytes be below 256.
  bool GetLong(const char* key, uint32_t* value) const;
  bool GetShort(const char* key, int16_t* value) const;
  bool GetByte(const char* key, uint8_t* value) const;
  // Up to `count` comma-separated 16-bit numbers; how many were read.
  int GetShorts(const char* key, int16_t* values, int count) const;
  // An id: a number, or the name of a section whose `Id` is taken.
  bool GetId(const char* key, uint32_t* id) const;

  // The type entry of the section being built.
  const STypeEntry* Type() const { return m_type; }
  void SetType(const STypeEntry* type) { m_type = type; }
  // How many objects are being built inside each other.
  int Depth() const { return m_depth; }
  void SetDepth(int depth) { m_depth = depth; }

 private:
  CResourceLoader* m_resources;
  CHashIni* m_ini;
  std::string m_section;
  CHashIni* m_base_ini = nullptr;
  CHashIni* m_locked_base = nullptr;  // a base file held from the resources
  std::string m_base_section;
  const STypeEntry* m_type = nullptr;
  int m_depth = 0;
};

using TemplateCreator = ErrCode (*)(CWindow* parent, CTemplateReader& reader, CWindow** made);

struct SStyleName {
  const char* name;
  uint32_t bits;
};

struct STypeEntry {
  const char* name;
  TemplateCreator create;
  const SStyleName* styles;  // ends with a null name
};

// Applies a style list to `style`: names of the table set their bits, with
// "!" they clear them, numbers stand for themselves; unknown names are
// reported through TraceOut and skipped. HIDDEN clears the visible bit.
uint32_t ApplyStyleList(uint32_t style, const char* list, const SStyleName* table);

// The window keys of the section: Style and RectWH or Rect, relative to the
// parent, set without redraw.
ErrCode ReadWindowKeys(CWindow* window, CWindow* parent, CTemplateReader& reader);

// The type table's entry of a type name (ignoring case), or null.
const STypeEntry* FindType(const char* name);

// Creates the object of the reader's section by its Type under `parent`,
// then its children; NOTFOUND for a missing or unknown type.
ErrCode CreateByType(CWindow* parent, CTemplateReader& reader, CWindow** made);
// Creates the children listed in "<object> Objects" under `parent`; the
// last nonzero result. Nesting deeper than kMaxTemplateNesting is skipped.
inline constexpr int kMaxTemplateNesting = 32;
ErrCode BuildChildren(CWindow* parent, CTemplateReader& reader, const std::string& object);
