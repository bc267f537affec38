// The INI text form of value-base sub-trees.
//
// A container's values are the keys of one section, named by the
// container's path from the exported root: "/" for the root, parent section
// + name + "/" for a sub-container. Values read "container", "long:5",
// "str:text", "rect:l, t, r, b", "point:x, y", "script" or "other"; scripts
// and opaque values keep their contents in a section of their own (parent
// section + name) whose keys "1", "2", ... hold the source lines or the
// payload in hex.
#pragma once

#include <string>

#include "base/errors.h"

class CHashIni;
class CValueBase;
class CVBContainer;

// Both start at the INI section "/" and stop at the first failure. Keys and
// sections ignore case, value names do not: the export of names in one
// container that differ only in case holds one key, named as the first of
// them, with the value (and the sections) of the last.
ErrCode ImportIni(CValueBase* vb, CVBContainer* container, const CHashIni* ini);
ErrCode ExportIni(CValueBase* vb, CVBContainer* container, CHashIni* ini);

// The INI text of one value as its container's section holds it; a
// value outside the listed types reads "other".
std::string ValueIniText(const uint8_t* value);
// Stores the value that `text` describes under `name` ("container" makes a
// new, empty container); only the forms without sections of their own.
ErrCode SetValueFromIniText(CValueBase* vb, CVBContainer* container, const std::string& name,
                            const char* text);
