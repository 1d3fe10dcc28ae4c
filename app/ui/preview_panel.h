// The preview group of the main window: the black video panel, the position
// slider, six picture buttons and the snapshot menu, around one player.
//
// The queue drives it through PreviewPanel: ShowFile when a row becomes
// selected (not while rows are being reordered), ClosePlayer when a click
// leaves no row selected, ClosePlayer and RepaintPanel when a row is removed or
// the queue cleared. The main window shows statusTextChanged in its status bar
// and appends logLine to the conversion log.
#pragma once

#include <QSlider>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#include "app/core/preview/preview_controller.h"
#include "app/core/workbench/workbench_ui.h"
#include "app/ui/preview_icons.h"
#include "media/player/player.h"

class QAction;
class QActionGroup;
class QMenu;
class QToolButton;

namespace zorvex::app {

class CameraSound;
class SettingsStore;
class Shell;
class VideoView;

// A slider that reports every press and release on it (not only on its
// handle); a press away from the handle moves the handle there first.
class SeekSlider : public QSlider {
    Q_OBJECT
public:
    explicit SeekSlider(QWidget* parent = nullptr);

signals:
    void pressed();
    void released();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class PreviewPanelWidget : public QWidget, public PreviewPanel {
    Q_OBJECT
public:
    static constexpr int kVideoWidth = 313;
    static constexpr int kVideoHeight = 190;

    // programFolder holds "sounds/cam.wav" and, unless SetLibraryFolder says
    // otherwise, "LibAV".
    PreviewPanelWidget(SettingsStore& settings, Shell& shell, CameraSound& sound,
                       QWidget* parent = nullptr, QString programFolder = {},
                       QString defaultSnapshotFolder = {});
    ~PreviewPanelWidget() override;

    // PreviewPanel
    void ShowFile(const QString& file) override;
    void ClosePlayer() override;
    void RepaintPanel() override;

    PreviewController& Controller() { return *controller_; }
    TDIZuvore& Player() { return player_; }
    VideoView* View() const { return view_; }
    SeekSlider* Slider() const { return slider_; }
    QMenu* SnapshotMenu() const { return snapshotMenu_; }
    // The folder picker of "设置快照目录"; tests replace it.
    void SetFolderPicker(std::function<QString()> picker) { folderPicker_ = std::move(picker); }

signals:
    void statusTextChanged(const QString& text);
    void logLine(const QString& line);
    void queueFocusRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    QToolButton* AddButton(const QString& name, const QString& hint, PreviewGlyph glyph);
    void ShowIcons();
    void ShowSnapshotMenu();
    void ShowSnapshotType(SnapshotType type);

    TDIZuvore player_;
    PreviewController* controller_ = nullptr;
    VideoView* view_ = nullptr;
    SeekSlider* slider_ = nullptr;
    QToolButton* soundButton_ = nullptr;
    bool muted_ = false;
    std::vector<std::pair<QToolButton*, PreviewGlyph>> glyphs_;
    QMenu* snapshotMenu_ = nullptr;
    QActionGroup* typeGroup_ = nullptr;
    QAction* typeActions_[4] = {};
    std::function<QString()> folderPicker_;
};

}  // namespace zorvex::app
