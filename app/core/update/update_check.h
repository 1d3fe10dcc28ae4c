// The online update check: fetch the update-information file, compare the
// version it names with ours and offer its download link to the shell. The
// program never installs anything itself.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace zorvex::app {

class Downloader;
class SettingsStore;
class Shell;

// Our own update version; any other non-empty "new" of the update file's
// [version] section counts as new, and a file without one as a failed check.
inline const QString kOwnUpdateVersion = QStringLiteral("1.63");
// Where the update-information file is fetched from unless system.ini names
// another address under [Update] InfoUrl=...
inline const QString kDefaultUpdateInfoUrl =
    QStringLiteral("https://update.zorvex.example/update.ini");
inline const QString kUpdateUrlSection = QStringLiteral("Update");
inline const QString kUpdateUrlKey = QStringLiteral("InfoUrl");

// The update-information address: system.ini's [Update] InfoUrl when set and
// not empty, else the built-in default.
QUrl UpdateInfoUrl(const SettingsStore& settings);
// The local copy "update.ini" in the program's folder, or in the settings
// folder when the program's folder is not writable.
QString UpdateInfoPath();

// Section "version" of an update-information file. Missing keys (or a missing
// file) read as empty texts.
struct UpdateInfo {
    QString newVersion;  // "new"
    QString date;        // "date"
    QString link;        // "links1"
    QString size;        // "size"
};
// Reads it the way the private-profile functions do: section and key names
// ignore letter case, values are trimmed and lose one pair of enclosing quotes.
UpdateInfo ReadUpdateInfo(const QString& path);

// The state of the update window and its commands; the window shows the state
// and repaints on Changed().
class UpdateCheck : public QObject {
    Q_OBJECT
public:
    UpdateCheck(Downloader& downloader, Shell& shell, QUrl infoUrl, QString localCopy,
                QObject* parent = nullptr);

    const QString& Status() const { return status_; }
    const QStringList& Messages() const { return messages_; }
    int Progress() const { return progress_; }
    bool DownloadEnabled() const { return downloadEnabled_; }
    const QString& DownloadLink() const { return downloadLink_; }
    // True while a check waits for the download.
    bool Busy() const { return busy_; }
    // Why the last download failed, for the log; empty after a success.
    const QString& LastError() const { return lastError_; }
    const QUrl& InfoUrl() const { return infoUrl_; }

    // On every showing of the window. The download link of the last check stays.
    void Reset();
    // "检测升级". Returns when the check has ended; the download runs on a worker
    // thread while this thread keeps serving events.
    void Check();
    // "开始下载": hands the download link to the shell; false when the command is
    // not available or the link is not an http or https address.
    bool StartDownload();

signals:
    void Changed();

private:
    void SetMessages(const QStringList& lines);

    Downloader& downloader_;
    Shell& shell_;
    QUrl infoUrl_;
    QString localCopy_;
    QString status_;
    QStringList messages_;
    int progress_ = 0;
    bool downloadEnabled_ = false;
    bool busy_ = false;
    QString downloadLink_;
    QString lastError_;
};

}  // namespace zorvex::app
