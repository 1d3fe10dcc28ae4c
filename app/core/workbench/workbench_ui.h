// What the main window controller asks of the screen: message boxes, pickers,
// the media information window and the preview panel. The widgets implement it;
// tests script it.
#pragma once

#include <QString>
#include <QStringList>

namespace zorvex::app {

class WorkbenchUi {
public:
    virtual ~WorkbenchUi() = default;
    // Modal message boxes.
    virtual void Inform(const QString& text, const QString& caption) = 0;
    virtual void Warn(const QString& text, const QString& caption) = 0;
    // OK / Cancel with an information icon; true for OK.
    virtual bool Confirm(const QString& text, const QString& caption) = 0;
    // A folder picker; empty when cancelled.
    virtual QString ChooseFolder(const QString& title) = 0;
    // Open-file dialogs with the add commands' filter list; empty when cancelled.
    virtual QString ChooseSourceFile(const QStringList& nameFilters) = 0;
    virtual QStringList ChooseSourceFiles(const QStringList& nameFilters) = 0;
    // The media information window for an existing source file.
    virtual void ShowMediaInformation(const QString& file) = 0;
    // Whether the user works in the program's windows (a batch that ends
    // otherwise is announced on the desktop).
    virtual bool IsActive() const { return true; }
};

// The preview panel of the main window as the queue drives it.
class PreviewPanel {
public:
    virtual ~PreviewPanel() = default;
    // A row was selected: show that file, paused at its start.
    virtual void ShowFile(const QString& file) = 0;
    // Closes the player (and waits for it).
    virtual void ClosePlayer() = 0;
    virtual void RepaintPanel() = 0;
};

}  // namespace zorvex::app
