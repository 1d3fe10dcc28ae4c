// The main window "Zorvex": toolbar, queue group, options group, preview group
// and status bar around the workbench controller. It implements the
// controller's message boxes and pickers; the other windows hook in through
// the handlers below.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>

#include "app/core/workbench/workbench_ui.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;

namespace zorvex::app {

class AboutDialog;
class BackgroundWork;
class CameraSound;
class ConversionLogWindow;
class ConverterPort;
class DesktopNotifier;
class FormatDialogs;
class LauncherEntry;
class PowerControl;
class PreviewPanelWidget;
class QueueStore;
class QueueTableModel;
class SettingsStore;
class Shell;
class WorkbenchController;

class MainWindow : public QMainWindow, public WorkbenchUi {
    Q_OBJECT
public:
    struct Services {
        ConverterPort& converter;
        SettingsStore& settings;
        Shell& shell;
        PowerControl& power;
        FormatDialogs* formats = nullptr;  // none: adds answer that formats are unavailable
        QString programFolder;
        QString libraryFolder;
        QString defaultOutputFolder;
        CameraSound* cameraSound = nullptr;    // none: SDL's, owned by the window
        QString defaultSnapshotFolder = {};    // empty: ~/Video_Directory/快照
        DesktopNotifier* notifier = nullptr;   // none: no notification at the batch end
        LauncherEntry* launcher = nullptr;     // none: no progress on the launcher
        QueueStore* queueStore = nullptr;      // none: the queue is not kept for a crash
        BackgroundWork* background = nullptr;  // none: added files open on the window's thread
    };

    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    WorkbenchController& Controller() { return *controller_; }
    QTableView* QueueView() const { return queueView_; }
    // The preview group: the player's 313 x 190 video panel, slider and buttons.
    QGroupBox* PreviewGroup() const { return previewGroup_; }
    QWidget* PreviewPanelArea() const { return previewPanel_; }
    PreviewPanelWidget* Preview() const { return preview_; }
    AboutDialog& About() { return *about_; }
    // "转换日志" of the help menu; nullptr until first shown.
    ConversionLogWindow* ConversionLog() const { return logWindow_; }

    // Hooks for the windows that live elsewhere. The window's own preview
    // panel is in place from the start; tests may put another one.
    void SetPreviewPanel(PreviewPanel* panel);
    void SetFormatDialogs(FormatDialogs* formats);
    void SetUpdateWindowHandler(std::function<void()> show);                    // "网上升级..."
    void SetMediaInformationHandler(std::function<void(const QString&)> show);  // "信息"
    void SetFirstShowHandler(std::function<void()> handler);                    // the lock check

    // WorkbenchUi
    void Inform(const QString& text, const QString& caption) override;
    void Warn(const QString& text, const QString& caption) override;
    bool Confirm(const QString& text, const QString& caption) override;
    QString ChooseFolder(const QString& title) override;
    QString ChooseSourceFile(const QStringList& nameFilters) override;
    QStringList ChooseSourceFiles(const QStringList& nameFilters) override;
    void ShowMediaInformation(const QString& file) override;
    bool IsActive() const override;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class FormatRelay;

    void BuildToolBar();
    QWidget* BuildQueueGroup();
    QWidget* BuildOptionsGroup();
    QWidget* BuildPreviewGroup();
    void ApplyCommands();
    void FitQueueColumns();
    void SyncSelectionFromController();
    void ShowAbout();
    void ShowConversionLog();
    void ShowUpdateWindow();

    Services s_;
    std::unique_ptr<FormatDialogs> pendingFormats_;
    std::unique_ptr<FormatRelay> formatRelay_;
    std::unique_ptr<WorkbenchController> controller_;
    QueueTableModel* model_ = nullptr;
    AboutDialog* about_ = nullptr;
    ConversionLogWindow* logWindow_ = nullptr;

    QAction* addAction_ = nullptr;
    QAction* addOneAction_ = nullptr;
    QAction* addSeveralAction_ = nullptr;
    QAction* removeAction_ = nullptr;
    QAction* clearAction_ = nullptr;
    QAction* startAction_ = nullptr;
    QAction* pauseAction_ = nullptr;
    QAction* stopAction_ = nullptr;
    QAction* skinAction_ = nullptr;
    QAction* helpAction_ = nullptr;
    QMenu* skinMenu_ = nullptr;

    QTableView* queueView_ = nullptr;
    QProgressBar* progressStyle_ = nullptr;
    QPushButton* moveUpButton_ = nullptr;
    QPushButton* moveDownButton_ = nullptr;
    QPushButton* queueRemoveButton_ = nullptr;
    QPushButton* queueClearButton_ = nullptr;
    QPushButton* infoButton_ = nullptr;

    QLineEdit* outputFolderField_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QComboBox* namingChoice_ = nullptr;
    QComboBox* completionChoice_ = nullptr;
    QComboBox* filesAtOnceChoice_ = nullptr;
    QComboBox* cpuPriorityChoice_ = nullptr;

    QGroupBox* previewGroup_ = nullptr;
    QWidget* previewPanel_ = nullptr;
    std::unique_ptr<CameraSound> ownCameraSound_;
    PreviewPanelWidget* preview_ = nullptr;

    std::function<void()> showUpdateWindow_;
    std::function<void(const QString&)> showMediaInformation_;
    std::function<void()> firstShow_;
    bool shownOnce_ = false;
    bool syncingSelection_ = false;
};

}  // namespace zorvex::app
