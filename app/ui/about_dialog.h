// The About window: name and version, the versions of the FFmpeg libraries and
// of Qt that the program runs with, a link to the help, the maker's web and
// mail links, "确定".
#pragma once

#include <QDialog>
#include <functional>

class QLabel;

namespace zorvex::app {

class SettingsStore;
class Shell;

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    // openHelp opens the help document (the help menu's "帮助系统?").
    AboutDialog(SettingsStore& settings, Shell& shell, std::function<void()> openHelp,
                QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    SettingsStore& settings_;
    QLabel* libraries_ = nullptr;
};

}  // namespace zorvex::app
