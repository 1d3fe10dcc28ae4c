// The program's entry in the desktop's launcher or dock: the progress of the
// running batch and the number of files it still has to convert.
#pragma once

#include <QString>
#include <vector>

namespace zorvex::app {

class LauncherEntry {
public:
    virtual ~LauncherEntry() = default;
    // fraction from 0 to 1 over the whole batch; remaining: files not ended yet.
    virtual void ShowProgress(double fraction, int remaining) = 0;
    virtual void HideProgress() = 0;
};

// The com.canonical.Unity.LauncherEntry "Update" signal on the session bus,
// which the docks of KDE Plasma, GNOME (Dash to Dock) and others read. Without
// a session bus nothing is sent.
class DBusLauncherEntry : public LauncherEntry {
public:
    // desktopId names the program's desktop entry, without ".desktop" (letters,
    // digits and dots).
    explicit DBusLauncherEntry(QString desktopId);
    void ShowProgress(double fraction, int remaining) override;
    void HideProgress() override;

private:
    void Send(double fraction, int remaining, bool visible);
    QString appUri_;
    QString objectPath_;
};

// Records the updates; for tests.
class RecordingLauncherEntry : public LauncherEntry {
public:
    struct Update {
        double fraction;
        int remaining;
        bool visible;
    };
    void ShowProgress(double fraction, int remaining) override {
        updates.push_back({fraction, remaining, true});
    }
    void HideProgress() override { updates.push_back({0, 0, false}); }
    std::vector<Update> updates;
};

}  // namespace zorvex::app
