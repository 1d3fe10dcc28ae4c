#include "media/sdl_audio.h"

#include <mutex>
#include <string>

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
    static std::string current;  // the hint as last set; empty: SDL's own choice
    std::lock_guard lock(SdlInitMutex());
    const std::string wanted = driver != nullptr ? driver : "";
    if (wanted == current) return;
    sdl::SDL_SetHint(SDL_HINT_AUDIODRIVER, driver);
    current = wanted;
}

void ReleaseSdlThreadData() {
    if (sdl::SDL_TLSCleanup != nullptr) sdl::SDL_TLSCleanup();
}

void StopSdlAudio() {
    std::lock_guard lock(SdlInitMutex());
    sdl::SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace zorvex
