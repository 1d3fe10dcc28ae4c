#include "app/platform/downloader.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>

namespace zorvex::app {

namespace {

constexpr int kMaxRedirects = 5;

}  // namespace

bool IsWebUrl(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == "http" || scheme == "https") && !url.host().isEmpty();
}

HttpDownloader::HttpDownloader(int timeoutMs, qint64 maxBytes)
    : timeoutMs_(timeoutMs), maxBytes_(maxBytes) {}

DownloadResult HttpDownloader::DownloadToFile(const QUrl& url, const QString& filePath) {
    if (!IsWebUrl(url)) return {false, "not an http or https address: " + url.toString()};

    // The body goes to a temporary file that replaces filePath only when the
    // whole download succeeded.
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly)) return {false, "cannot write " + filePath};

    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setTransferTimeout(timeoutMs_);
    // A cached or compressed body would make the size cap count the wrong bytes.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);

    QNetworkReply* reply = network.get(request);
    QString failure;
    auto fail = [&](const QString& why) {
        if (failure.isEmpty()) failure = why;
        reply->abort();
    };
    auto store = [&] {
        const QByteArray chunk = reply->readAll();
        if (file.size() + chunk.size() > maxBytes_) {
            fail(QString("larger than %1 bytes").arg(maxBytes_));
            return;
        }
        if (file.write(chunk) != chunk.size()) fail("cannot write " + filePath);
    };

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop,
                     [&] { fail(QString("no answer within %1 ms").arg(timeoutMs_)); });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBytes_) {
            fail(QString("larger than %1 bytes").arg(maxBytes_));
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, store);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs_);
    if (!reply->isFinished()) loop.exec();
    deadline.stop();

    if (failure.isEmpty() && reply->error() == QNetworkReply::NoError) store();
    if (failure.isEmpty() && reply->error() != QNetworkReply::NoError) {
        failure = reply->errorString();
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (failure.isEmpty() && (status < 200 || status > 299)) {
        failure = QString("HTTP status %1").arg(status);
    }
    if (!failure.isEmpty()) {
        file.cancelWriting();
        return {false, failure};
    }
    if (!file.commit()) return {false, "cannot write " + filePath};
    return {true, {}};
}

DownloadResult FakeDownloader::DownloadToFile(const QUrl& url, const QString& filePath) {
    requested.append(url);
    if (!succeed) return {false, "fake failure"};
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size() || !file.commit()) {
        return {false, "cannot write " + filePath};
    }
    return {true, {}};
}

}  // namespace zorvex::app
