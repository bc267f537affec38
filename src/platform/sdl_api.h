// SDL, loaded when the SDL back end starts rather than when the program does.
//
// The SDL library brings the whole desktop stack with it (X11, Wayland, the
// sound servers and their codecs: some fifty libraries); loading them at
// start-up would cost a headless run most of its start-up time, and a machine
// without SDL could not run at all. So the back end calls SDL through this
// table of the functions it uses, filled from the library on first use.
#pragma once

#include <SDL.h>

// X(function): every SDL function the back end calls.
#define TV_SDL_FUNCTIONS(X) \
  X(SDL_CaptureMouse) \
  X(SDL_ClearQueuedAudio) \
  X(SDL_CloseAudioDevice) \
  X(SDL_CreateColorCursor) \
  X(SDL_CreateRGBSurfaceWithFormat) \
  X(SDL_CreateRenderer) \
  X(SDL_CreateTexture) \
  X(SDL_CreateWindow) \
  X(SDL_DestroyRenderer) \
  X(SDL_DestroyTexture) \
  X(SDL_DestroyWindow) \
  X(SDL_DisableScreenSaver) \
  X(SDL_EnableScreenSaver) \
  X(SDL_FreeCursor) \
  X(SDL_FreeSurface) \
  X(SDL_GetAudioDeviceName) \
  X(SDL_GetCurrentVideoDriver) \
  X(SDL_GetDefaultCursor) \
  X(SDL_GetError) \
  X(SDL_GetModState) \
  X(SDL_GetNumAudioDevices) \
  X(SDL_GetPerformanceCounter) \
  X(SDL_GetPerformanceFrequency) \
  X(SDL_GetQueuedAudioSize) \
  X(SDL_GetTicks) \
  X(SDL_GetWindowData) \
  X(SDL_GetWindowFromID) \
  X(SDL_Init) \
  X(SDL_InitSubSystem) \
  X(SDL_LockTexture) \
  X(SDL_OpenAudioDevice) \
  X(SDL_PauseAudioDevice) \
  X(SDL_PollEvent) \
  X(SDL_QueueAudio) \
  X(SDL_Quit) \
  X(SDL_RenderClear) \
  X(SDL_RenderCopy) \
  X(SDL_RenderPresent) \
  X(SDL_RenderSetLogicalSize) \
  X(SDL_SetCursor) \
  X(SDL_SetHint) \
  X(SDL_SetRenderDrawColor) \
  X(SDL_SetWindowData) \
  X(SDL_SetWindowFullscreen) \
  X(SDL_SetWindowTitle) \
  X(SDL_ShowCursor) \
  X(SDL_ShowMessageBox) \
  X(SDL_ShowWindow) \
  X(SDL_UnlockTexture) \
  X(SDL_WaitEventTimeout)

struct SSdlApi {
#define TV_SDL_POINTER(name) decltype(&::name) name = nullptr;
  TV_SDL_FUNCTIONS(TV_SDL_POINTER)
#undef TV_SDL_POINTER
};

// Loads the library and its functions once; false (with the reason on
// standard error) when either is missing.
bool LoadSdlApi();
// The loaded functions; valid once LoadSdlApi has succeeded.
const SSdlApi& Sdl();
