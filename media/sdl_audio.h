// SDL2's sound subsystem, started and stopped with a reference count. SDL's own
// initialisation is not thread-safe, so every user goes through these two.
#pragma once

namespace zorvex {

// Starts SDL's sound subsystem (once more); false with SDL's error text in
// SDL_GetError when no sound driver could start. Leaves SDL's signal handlers out.
bool StartSdlAudio();
// The sound driver SDL starts next time it starts its sound subsystem: a name,
// or none for SDL's own choice. SDL_AUDIODRIVER in the environment wins.
void SetSdlAudioDriver(const char* driver);
// Gives one start back.
void StopSdlAudio();
// Frees what SDL keeps for the calling thread (its error text); threads that
// SDL did not start call it before they end.
void ReleaseSdlThreadData();

}  // namespace zorvex
