#include "platform/sdl_api.h"

#include <dlfcn.h>

#include <cstdio>

namespace {

constexpr const char* kLibraryName = "libSDL2-2.0.so.0";

SSdlApi g_api;

// The library stays loaded for the rest of the process: SDL keeps threads
// and handlers of its own that must not outlive their code.
bool Load() {
  void* library = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    std::fprintf(stderr, "SDL: %s\n", dlerror());
    return false;
  }
  bool complete = true;
#define TV_SDL_LOAD(name)                                                  \
  g_api.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
  if (!g_api.name) {                                                       \
    std::fprintf(stderr, "SDL: %s is missing\n", #name);                   \
    complete = false;                                                      \
  }
  TV_SDL_FUNCTIONS(TV_SDL_LOAD)
#undef TV_SDL_LOAD
  return complete;
}

}  // namespace

bool LoadSdlApi() {
  static const bool loaded = Load();
  return loaded;
}

const SSdlApi& Sdl() { return g_api; }
