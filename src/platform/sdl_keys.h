// SDL's keys and modifiers in the engine's terms. Virtual keys are those of
// a 105-key keyboard: letters and digits as the layout names them, every
// other key by its place, so that the key right of 'P' is 0xDB on any
// layout.
#pragma once

#include <SDL.h>

#include <cstdint>

// 0 for keys the engine has no code for.
uint16_t VirtualKeyOf(SDL_Scancode scancode, SDL_Keycode key);

// The kMod bits of SDL's modifier state, and back (as left-hand keys).
uint32_t ModifiersOf(uint16_t sdl_modifiers);
uint16_t SdlModifiersOf(uint32_t modifiers);

// The key that gives a virtual key under the current layout;
// SDL_SCANCODE_UNKNOWN when none does.
SDL_Scancode ScancodeOf(uint16_t virtual_key);
