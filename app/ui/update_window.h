// "网上升级": checks the update server for a newer version and offers its
// download link.
#pragma once

#include <QDialog>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace zorvex::app {

class Downloader;
class SettingsStore;
class Shell;
class UpdateCheck;

class UpdateWindow : public QDialog {
    Q_OBJECT
public:
    // The program's window: downloads over the network from the address that
    // system.ini names (or the built-in one) into UpdateInfoPath(). Keep one
    // window for the program's life, so the last check's link stays stored.
    UpdateWindow(const SettingsStore& settings, Shell& shell, QWidget* parent = nullptr);
    // A window on a given check; for tests and screenshots.
    UpdateWindow(UpdateCheck& check, const SettingsStore& settings, QWidget* parent = nullptr);
    ~UpdateWindow() override;

    UpdateCheck& Check() { return *check_; }

public slots:
    // Ignored while a check is running.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Build();
    void Render();

    const SettingsStore& settings_;
    std::unique_ptr<Downloader> ownDownloader_;
    std::unique_ptr<UpdateCheck> ownCheck_;
    UpdateCheck* check_ = nullptr;
    QLabel* status_ = nullptr;
    QPlainTextEdit* messages_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* checkButton_ = nullptr;
    QPushButton* downloadButton_ = nullptr;
    QPushButton* backButton_ = nullptr;
};

}  // namespace zorvex::app
