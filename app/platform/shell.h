// Shell open: folders, files, web and mail links, through the desktop's handler.
#pragma once

#include <QList>
#include <QUrl>

namespace zorvex::app {

class Shell {
public:
    virtual ~Shell() = default;
    virtual bool OpenUrl(const QUrl& url) = 0;
};

class DesktopShell : public Shell {
public:
    bool OpenUrl(const QUrl& url) override;
};

// Records the calls instead of opening anything; for tests.
class RecordingShell : public Shell {
public:
    bool OpenUrl(const QUrl& url) override {
        opened.append(url);
        return result;
    }
    QList<QUrl> opened;
    bool result = true;
};

}  // namespace zorvex::app
