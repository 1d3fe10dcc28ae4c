// "转换日志": the conversion log, which the main window's layout has no room
// for, in a window of its own reached from the help menu. The lines follow the
// log while it is open; they can be copied and saved to a text file.
#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace zorvex::app {

class SettingsStore;
class WorkbenchController;

class ConversionLogWindow : public QDialog {
    Q_OBJECT
public:
    ConversionLogWindow(WorkbenchController& controller, SettingsStore& settings,
                        QWidget* parent = nullptr);

    QString Text() const;
    // Writes the log as UTF-8 text; false with the reason in *error.
    bool SaveTo(const QString& path, QString* error) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Reload();
    void AskAndSave();

    WorkbenchController& controller_;
    SettingsStore& settings_;
    QPlainTextEdit* text_ = nullptr;
};

}  // namespace zorvex::app
