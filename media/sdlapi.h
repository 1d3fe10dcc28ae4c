// Entry-point table of SDL2 (sound only), filled by the library loader with the
// player library set. Call as sdl::SDL_OpenAudioDevice(...).
#pragma once

#include <SDL.h>

namespace zorvex::sdl {
#define SDL_ENTRY(name) extern decltype(&::name) name;
#include "media/sdl_entries.inc"
#undef SDL_ENTRY
}  // namespace zorvex::sdl
