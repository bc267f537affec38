// The gate every script file access passes: which names a script may read
// or write, and the name to open for an allowed one.
//
// "\" counts as "/". Refused are empty names, names of 256 characters or
// more, control characters, ":", and empty, "." or ".." components. A name
// starting with "/" must belong (longest prefix, as the open finds it) to a
// mount with a non-empty prefix, never to the platform file system; a
// relative name reads from the game folder. Writes go only below "/out/",
// which must be mounted there, and never through a symbolic link.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

enum class EFileAccess : unsigned char { kRead, kWrite };

inline constexpr size_t kMaxScriptPath = 255;
inline constexpr std::string_view kScriptOutPrefix = "/out/";

// The rules alone: true with the name to open in `path`.
bool ScriptPathAllowed(std::string_view name, EFileAccess access, std::string* path);
// The rules for a native: a refusal also writes the script diagnostic
// "file access denied: <name>".
bool CheckScriptPath(std::string_view name, EFileAccess access, std::string* path);
