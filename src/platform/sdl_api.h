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
  X(SDL_CreateCursor) \
  X(SDL_CreateRenderer) \
  X(SDL_CreateRGBSurfaceWithFormat) \
  X(SDL_CreateRGBSurfaceWithFormatFrom) \
  X(SDL_CreateTexture) \
  X(SDL_CreateWindow) \
  X(SDL_DequeueAudio) \
  X(SDL_DestroyRenderer) \
  X(SDL_DestroyTexture) \
  X(SDL_DestroyWindow) \
  X(SDL_FillRect) \
  X(SDL_DisableScreenSaver) \
  X(SDL_EnableScreenSaver) \
  X(SDL_free) \
  X(SDL_FreeCursor) \
  X(SDL_FreeSurface) \
  X(SDL_GetAudioDeviceName) \
  X(SDL_GetClipboardText) \
  X(SDL_GetCurrentVideoDriver) \
  X(SDL_GetDefaultCursor) \
  X(SDL_GetDesktopDisplayMode) \
  X(SDL_GetDisplayMode) \
  X(SDL_GetDisplayUsableBounds) \
  X(SDL_GetError) \
  X(SDL_GetKeyFromScancode) \
  X(SDL_GetModState) \
  X(SDL_GetMouseFocus) \
  X(SDL_GetMouseState) \
  X(SDL_GetNumAudioDevices) \
  X(SDL_GetNumDisplayModes) \
  X(SDL_GetPerformanceCounter) \
  X(SDL_GetPerformanceFrequency) \
  X(SDL_GetQueuedAudioSize) \
  X(SDL_GetRGB) \
  X(SDL_GetRendererInfo) \
  X(SDL_GetRendererOutputSize) \
  X(SDL_GetScancodeFromKey) \
  X(SDL_GetTicks) \
  X(SDL_GetWindowData) \
  X(SDL_GetWindowDisplayIndex) \
  X(SDL_GetWindowFlags) \
  X(SDL_GetWindowFromID) \
  X(SDL_GetWindowID) \
  X(SDL_GetWindowSize) \
  X(SDL_GetWindowSurface) \
  X(SDL_Init) \
  X(SDL_InitSubSystem) \
  X(SDL_LockTexture) \
  X(SDL_MapRGB) \
  X(SDL_OpenAudioDevice) \
  X(SDL_PauseAudioDevice) \
  X(SDL_PeepEvents) \
  X(SDL_PollEvent) \
  X(SDL_QueueAudio) \
  X(SDL_Quit) \
  X(SDL_RenderClear) \
  X(SDL_RenderCopy) \
  X(SDL_RenderPresent) \
  X(SDL_RenderReadPixels) \
  X(SDL_SetClipboardText) \
  X(SDL_SetCursor) \
  X(SDL_SetHint) \
  X(SDL_SetRenderDrawColor) \
  X(SDL_SetRenderTarget) \
  X(SDL_SetTextureBlendMode) \
  X(SDL_SetTextureScaleMode) \
  X(SDL_SetWindowBordered) \
  X(SDL_SetWindowData) \
  X(SDL_SetWindowFullscreen) \
  X(SDL_SetWindowIcon) \
  X(SDL_SetWindowPosition) \
  X(SDL_SetWindowResizable) \
  X(SDL_SetWindowSize) \
  X(SDL_SetWindowTitle) \
  X(SDL_ShowCursor) \
  X(SDL_ShowMessageBox) \
  X(SDL_ShowWindow) \
  X(SDL_UnlockTexture) \
  X(SDL_UpdateWindowSurface) \
  X(SDL_UpdateWindowSurfaceRects) \
  X(SDL_WaitEventTimeout) \
  X(SDL_WarpMouseInWindow)

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
