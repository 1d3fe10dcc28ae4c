#include "media/sdl_audio.h"

#include <mutex>

#include "media/sdlapi.h"

namespace zorvex {
namespace {
std::mutex& SdlInitMutex() {
    static std::mutex mutex;
    return mutex;
}
}  // namespace

bool StartSdlAudio() {
    std::lock_guard lock(SdlInitMutex());
    sdl::SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");  // Ctrl+C stays the application's
    return sdl::SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

void SetSdlAudioDriver(const char* driver) {
    std::lock_guard lock(SdlInitMutex());
    sdl::SDL_SetHint(SDL_HINT_AUDIODRIVER, driver);
}

void StopSdlAudio() {
    std::lock_guard lock(SdlInitMutex());
    sdl::SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace zorvex
