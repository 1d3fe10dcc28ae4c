// The preview panel's logic, without widgets: plays the selected queue row's
// file in the player (paused at first), drives it from the buttons and the
// position slider, and takes snapshots into the snapshot folder.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "app/core/preview/snapshot.h"
#include "media/player/player.h"

namespace zorvex::app {

class CameraSound;
class SettingsStore;
class Shell;

// The status-bar text after a snapshot.
extern const QString kSnapshotTakenText;

class PreviewController : public QObject {
    Q_OBJECT
public:
    // programFolder holds "LibAV" and "sounds/cam.wav"; defaultSnapshotFolder is
    // used when system.ini names none.
    PreviewController(TCustomPlayer& player, SettingsStore& settings, Shell& shell,
                      CameraSound& sound, QString programFolder, QString defaultSnapshotFolder,
                      QObject* parent = nullptr);
    ~PreviewController() override;

    // Where the player draws; set before the first file opens.
    void SetSurface(TDisplaySurface* surface) { surface_ = surface; }
    // Where the player's libraries are loaded from (default: programFolder/LibAV).
    void SetLibraryFolder(const QString& folder) { libraryFolder_ = folder; }

    // The queue: a row became selected (the caller skips this while rows are
    // being reordered); a click left no row selected; a row was removed or the
    // queue cleared.
    void SelectFile(const QString& path);
    void Deselect();
    void CloseForQueueChange();

    // The buttons.
    void Play();
    void Pause();
    void Stop();
    void ToggleMute();
    void TakeSnapshot();

    // The position slider.
    void SliderPressed();
    void SliderReleased(int position, int maximum);

    // The snapshot menu.
    QString SnapshotFolder();            // resolved (and created) on every call
    SnapshotType CurrentSnapshotType();  // resolved on every call
    void OpenSnapshotFolder();
    // Stores the folder the user chose when it exists; an empty choice (cancel)
    // stores nothing.
    bool ChooseSnapshotFolder(const QString& folder);
    void SetSnapshotType(SnapshotType type);

    const QString& PreviewFile() const { return previewFile_; }
    qint64 Duration() const { return duration_; }
    bool Muted() const { return player_.Mute(); }
    TCustomPlayer& Player() { return player_; }

signals:
    void statusTextChanged(const QString& text);
    void logLine(const QString& line);  // for the conversion log
    void sliderReset();                 // a row was selected: the slider goes to 0
    void fileOpened(qint64 duration);   // the slider takes its working range
    void muteChanged(bool muted);
    void snapshotTypeChanged(SnapshotType type);
    void panelCleared();         // the video panel goes black
    void queueFocusRequested();  // play and pause give the focus back

private:
    void OpenPending();
    void OpenPreview();
    void CloseNowOrAfterOpen();

    TCustomPlayer& player_;
    SettingsStore& settings_;
    Shell& shell_;
    CameraSound& sound_;
    QString programFolder_;
    QString libraryFolder_;
    QString defaultSnapshotFolder_;
    TDisplaySurface* surface_ = nullptr;
    QString previewFile_;
    QString pendingFile_;  // selected, not open yet (a wait or an open is under way)
    QTimer settle_;        // a playing file pauses for a moment before the next opens
    bool closePending_ = false;
    bool rowSelected_ = false;
    qint64 duration_ = 0;
    bool busy_ = false;  // a player call is waiting (and serving events) already
};

}  // namespace zorvex::app
