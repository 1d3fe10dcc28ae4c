// The camera sound that announces a snapshot.
#pragma once

#include <QString>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace zorvex::app {

class CameraSound {
public:
    virtual ~CameraSound() = default;
    // Starts playing the WAV file and returns at once. A missing file or sound
    // device is skipped silently.
    virtual void Play(const QString& wavPath) = 0;
};

// Plays through SDL2 on a worker thread of its own, one sound after another.
class SdlCameraSound : public CameraSound {
public:
    SdlCameraSound() = default;
    ~SdlCameraSound() override;  // stops a sound that is still playing
    void Play(const QString& wavPath) override;

private:
    void Run();
    void PlayNow(const std::string& path);

    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::string> paths_;
    bool stop_ = false;
    std::thread worker_;
};

// Records the requests; for tests.
class FakeCameraSound : public CameraSound {
public:
    void Play(const QString& wavPath) override { played.append(wavPath); }
    QStringList played;
};

}  // namespace zorvex::app
