#include "app/core/preview/preview_controller.h"

#include <QFileInfo>
#include <QUrl>
#include <chrono>

#include "app/platform/camera_sound.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"

namespace zorvex::app {
namespace {

// How long a playing file is given to pause before another file replaces it.
constexpr std::chrono::milliseconds kSettleTime{50};

// While one player call waits (serving queued events), a click that arrives
// meanwhile is dropped instead of re-entering the player.
class BusyGuard {
public:
    explicit BusyGuard(bool& busy) : busy_(busy), entered_(!busy) { busy_ = true; }
    ~BusyGuard() {
        if (entered_) busy_ = false;
    }
    bool Entered() const { return entered_; }

private:
    bool& busy_;
    bool entered_;
};

}  // namespace

const QString kSnapshotTakenText =
    QStringLiteral("已经为您捕获视频快照，您可以点击“快照设置”按钮打开快照目录查看图片。");

PreviewController::PreviewController(TCustomPlayer& player, SettingsStore& settings, Shell& shell,
                                     CameraSound& sound, QString programFolder,
                                     QString defaultSnapshotFolder, QObject* parent)
    : QObject(parent),
      player_(player),
      settings_(settings),
      shell_(shell),
      sound_(sound),
      programFolder_(std::move(programFolder)),
      libraryFolder_(programFolder_ + "/LibAV"),
      defaultSnapshotFolder_(std::move(defaultSnapshotFolder)) {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleTime);
    connect(&settle_, &QTimer::timeout, this, &PreviewController::OpenPending);
    player_.OnFileOpen = [this](TCustomPlayer*, std::int64_t duration, int, int, int&, int&) {
        duration_ = duration;
        emit fileOpened(duration);
    };
}

PreviewController::~PreviewController() {
    settle_.stop();
    player_.Close(true);
    player_.OnFileOpen = nullptr;
}

void PreviewController::SelectFile(const QString& path) {
    emit sliderReset();
    rowSelected_ = true;
    previewFile_ = path;
    pendingFile_ = path;
    closePending_ = false;
    if (busy_ || settle_.isActive()) return;  // the call or wait under way opens it when done
    if (!player_.LibrariesLoaded() && !player_.LoadLibraries(libraryFolder_.toStdString())) {
        pendingFile_.clear();
        return;  // nothing visible: the preview simply stays black
    }
    if (player_.Playing() && !player_.Paused()) {
        // The playing file pauses and is given a moment to settle before it is
        // closed; the window goes on meanwhile, and a selection made during
        // the wait replaces this one.
        player_.Pause();
        settle_.start();
        return;
    }
    OpenPending();
}

void PreviewController::OpenPending() {
    BusyGuard guard(busy_);
    if (!guard.Entered()) return;  // the call under way opens it when it is done
    while (!pendingFile_.isEmpty()) {
        previewFile_ = pendingFile_;
        pendingFile_.clear();
        OpenPreview();  // waits for the old playback, serving the media set's calls
    }
    if (closePending_) {
        closePending_ = false;
        player_.Close(true);
    }
}

void PreviewController::OpenPreview() {
    // The panel's current size, whatever it was when the last file played.
    player_.SetScreenWidth(0);
    player_.SetScreenHeight(0);
    if (!player_.Open(previewFile_.toStdString(), surface_, true)) {
        emit panelCleared();
        emit logLine(QString::fromStdString(player_.LastError()));
    }
}

void PreviewController::Deselect() {
    rowSelected_ = false;
    CloseNowOrAfterOpen();
}

void PreviewController::CloseForQueueChange() {
    rowSelected_ = false;
    CloseNowOrAfterOpen();
    emit panelCleared();
}

void PreviewController::CloseNowOrAfterOpen() {
    settle_.stop();  // a file waiting to open is not opened any more
    pendingFile_.clear();
    BusyGuard guard(busy_);
    if (guard.Entered()) {
        player_.Close(true);
    } else {  // an open is under way: it closes again when it is done
        closePending_ = true;
    }
}

void PreviewController::Play() {
    player_.Resume();
    emit queueFocusRequested();
}

void PreviewController::Pause() {
    player_.Pause();
    emit queueFocusRequested();
}

void PreviewController::Stop() {
    if (!rowSelected_ || previewFile_.isEmpty()) return;
    BusyGuard guard(busy_);
    if (!guard.Entered()) return;
    settle_.stop();  // the selected file opens now
    pendingFile_.clear();
    player_.Close(true);
    OpenPreview();
}

void PreviewController::ToggleMute() {
    player_.SetMute(!player_.Mute());
    emit muteChanged(player_.Mute());
}

void PreviewController::SliderPressed() {
    player_.TogglePause();
}

void PreviewController::SliderReleased(int position, int maximum) {
    player_.Pause();
    if (maximum > 0 && duration_ > 0) {
        player_.Seek(0, false, static_cast<qint64>(duration_) * position / maximum);
    }
    player_.Resume();
}

QString PreviewController::SnapshotFolder() {
    return ResolveSnapshotFolder(settings_, defaultSnapshotFolder_);
}

SnapshotType PreviewController::CurrentSnapshotType() {
    const SnapshotType type = ResolveSnapshotType(settings_);
    emit snapshotTypeChanged(type);
    return type;
}

void PreviewController::OpenSnapshotFolder() {
    shell_.OpenUrl(QUrl::fromLocalFile(SnapshotFolder()));
}

bool PreviewController::ChooseSnapshotFolder(const QString& folder) {
    return StoreSnapshotFolder(settings_, folder);
}

void PreviewController::SetSnapshotType(SnapshotType type) {
    StoreSnapshotType(settings_, type);
    emit snapshotTypeChanged(type);
}

void PreviewController::TakeSnapshot() {
    std::int64_t time = 0;
    const TBitmap picture = player_.CurrentFrame(time);
    const QString folder = SnapshotFolder();
    const SnapshotType type = CurrentSnapshotType();
    if (picture.Width <= 0) return;  // nothing on screen: no file, no sound
    const QString path = NextSnapshotPath(folder, previewFile_, type);
    QString error;
    if (!SaveSnapshot(picture, path, type, error)) {
        emit logLine(QStringLiteral("Cannot save the snapshot %1: %2").arg(path, error));
        return;
    }
    // Announced only once the picture is on disk.
    const QString click = programFolder_ + "/sounds/cam.wav";
    if (QFileInfo(click).isFile()) sound_.Play(click);
    emit statusTextChanged(kSnapshotTakenText);
}

}  // namespace zorvex::app
