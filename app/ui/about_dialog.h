// The About window: name and version, the maker's web and mail links, "确定".
#pragma once

#include <QDialog>

namespace zorvex::app {

class SettingsStore;
class Shell;

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    AboutDialog(SettingsStore& settings, Shell& shell, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    SettingsStore& settings_;
};

}  // namespace zorvex::app
