// Download of a small file over http or https into a local file. The call
// blocks the calling thread until the file is stored or the download failed;
// callers on the UI thread run it on a worker (see RunOffUiThread).
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

namespace zorvex::app {

struct DownloadResult {
    bool ok = false;
    QString error;  // why it failed, in English, for logs and tests
};

class Downloader {
public:
    virtual ~Downloader() = default;
    // Stores the body of url in filePath. On failure the file is left as it was.
    virtual DownloadResult DownloadToFile(const QUrl& url, const QString& filePath) = 0;
};

// Whether url is one the program will fetch or hand to the shell: http or
// https with a host.
bool IsWebUrl(const QUrl& url);

// The real download. Any thread with a Qt event dispatcher (the main thread or
// a QThread) may call it; each call has its own network session.
class HttpDownloader : public Downloader {
public:
    static constexpr int kDefaultTimeoutMs = 20000;
    static constexpr qint64 kDefaultMaxBytes = 256 * 1024;

    // timeoutMs bounds the whole download, redirects included; maxBytes the
    // size of the body.
    explicit HttpDownloader(int timeoutMs = kDefaultTimeoutMs, qint64 maxBytes = kDefaultMaxBytes);
    DownloadResult DownloadToFile(const QUrl& url, const QString& filePath) override;

private:
    int timeoutMs_;
    qint64 maxBytes_;
};

// Writes a fixed body or fails, recording the URLs it was asked for; for tests.
class FakeDownloader : public Downloader {
public:
    DownloadResult DownloadToFile(const QUrl& url, const QString& filePath) override;

    QList<QUrl> requested;
    bool succeed = true;
    QByteArray body;
};

}  // namespace zorvex::app
