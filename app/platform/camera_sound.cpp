#include "app/platform/camera_sound.h"

#include <QFileInfo>
#include <algorithm>
#include <chrono>

#include "media/loader.h"
#include "media/sdl_audio.h"
#include "media/sdlapi.h"

namespace zorvex::app {

SdlCameraSound::~SdlCameraSound() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        paths_.clear();
    }
    queued_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void SdlCameraSound::Play(const QString& wavPath) {
    if (!QFileInfo(wavPath).isFile()) return;
    std::lock_guard lock(mutex_);
    paths_.push_back(wavPath.toStdString());
    if (!worker_.joinable()) worker_ = std::thread(&SdlCameraSound::Run, this);
    queued_.notify_all();
}

void SdlCameraSound::Run() {
    for (;;) {
        std::string path;
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [&] { return stop_ || !paths_.empty(); });
            if (stop_) break;
            path = std::move(paths_.front());
            paths_.pop_front();
        }
        PlayNow(path);
    }
    ReleaseSdlThreadData();
}

void SdlCameraSound::PlayNow(const std::string& path) {
    if (!Loader().LoadLibrarySet(LibraryBit(liSdl))) return;
    if (!StartSdlAudio()) return;
    SDL_AudioSpec format{};
    Uint8* samples = nullptr;
    Uint32 length = 0;
    SDL_RWops* file = sdl::SDL_RWFromFile(path.c_str(), "rb");
    if (file != nullptr && sdl::SDL_LoadWAV_RW(file, 1, &format, &samples, &length) != nullptr) {
        format.callback = nullptr;  // queued sound
        const SDL_AudioDeviceID device = sdl::SDL_OpenAudioDevice(nullptr, 0, &format, nullptr, 0);
        if (device != 0) {
            sdl::SDL_QueueAudio(device, samples, length);
            sdl::SDL_PauseAudioDevice(device, 0);
            const int bytesPerSecond = format.freq * format.channels *
                                       static_cast<int>(SDL_AUDIO_BITSIZE(format.format) / 8);
            const auto limit =
                std::chrono::steady_clock::now() +
                std::chrono::milliseconds(1000 + 1000LL * length / std::max(bytesPerSecond, 1));
            for (;;) {
                {
                    std::lock_guard lock(mutex_);
                    if (stop_) break;
                }
                if (sdl::SDL_GetQueuedAudioSize(device) == 0 ||
                    std::chrono::steady_clock::now() > limit) {
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            // Let the device play out what it has taken from the queue.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            sdl::SDL_CloseAudioDevice(device);
        }
        sdl::SDL_FreeWAV(samples);
    }  // with freesrc set, SDL_LoadWAV_RW closes the file on every path
    StopSdlAudio();
}

}  // namespace zorvex::app
