#include "app/core/update/update_check.h"

#include <QFile>
#include <exception>

#include "app/platform/downloader.h"
#include "app/platform/off_ui_thread.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"

namespace zorvex::app {

namespace {

const QString kStatusIdle = QStringLiteral("状态信息:");
const QString kConnecting = QStringLiteral("正在连接软件网站....");
const QString kConnectingLine = QStringLiteral("正在连接软件网站,请您耐心等待....");
const QString kConnectFailed = QStringLiteral("连接失败!可能网络忙或没连接到网络...");
const QString kChecking = QStringLiteral("正在检测新版本的程序....");
const QString kFoundStatus = QStringLiteral("发现新版本程序,您可以升级下载新版本。");
const QString kUpToDate = QStringLiteral("没有检测到新版本,现在使用的为最新版本!");
const QString kDoneLine = QStringLiteral(
    "检测完成,您可以点击<开始下载>按钮打开下载最新升级版本。推荐您使用（网际快车）软件下载。");
const QString kBadLinkLine = QStringLiteral("检测完成,但下载链接无效,请到软件网站下载最新版本。");

// The file is tiny; anything larger than the download cap is not read further.
constexpr qint64 kMaxUpdateInfoBytes = 256 * 1024;

QString Unquoted(QString value) {
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.mid(1, value.size() - 2);
    }
    return value;
}

}  // namespace

QUrl UpdateInfoUrl(const SettingsStore& settings) {
    const QString stored = settings.ReadString(kUpdateUrlSection, kUpdateUrlKey).trimmed();
    if (stored.isEmpty() || stored == kNotSet) return QUrl(kDefaultUpdateInfoUrl);
    return QUrl(stored);
}

QString UpdateInfoPath() {
    return SettingsFolder() + QStringLiteral("/update.ini");
}

UpdateInfo ReadUpdateInfo(const QString& path) {
    UpdateInfo info;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return info;
    QString text = QString::fromUtf8(file.read(kMaxUpdateInfoBytes));
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);

    bool inVersion = false;
    bool seenNew = false, seenDate = false, seenLink = false, seenSize = false;
    auto take = [](bool& seen, QString& field, const QString& value) {
        if (seen) return;  // the first occurrence of a key wins
        seen = true;
        field = value;
    };
    for (const QString& raw : text.split('\n')) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';')) continue;
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inVersion = name.compare(QStringLiteral("version"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!inVersion || eq < 0) continue;
        const QString key = line.left(eq).trimmed().toLower();
        const QString value = Unquoted(line.mid(eq + 1));
        if (key == "new")
            take(seenNew, info.newVersion, value);
        else if (key == "date")
            take(seenDate, info.date, value);
        else if (key == "links1")
            take(seenLink, info.link, value);
        else if (key == "size")
            take(seenSize, info.size, value);
    }
    return info;
}

UpdateCheck::UpdateCheck(Downloader& downloader, Shell& shell, QUrl infoUrl, QString localCopy,
                         QObject* parent)
    : QObject(parent),
      downloader_(downloader),
      shell_(shell),
      infoUrl_(std::move(infoUrl)),
      localCopy_(std::move(localCopy)),
      status_(kStatusIdle) {}

void UpdateCheck::SetMessages(const QStringList& lines) {
    messages_ = lines;
}

void UpdateCheck::Reset() {
    messages_.clear();
    status_ = kStatusIdle;
    downloadEnabled_ = false;
    progress_ = 0;
    emit Changed();
}

void UpdateCheck::Check() {
    if (busy_) return;
    busy_ = true;
    progress_ = 0;
    status_ = kConnecting;
    emit Changed();
    SetMessages({kConnectingLine});
    progress_ = 20;
    emit Changed();

    DownloadResult result;
    RunOffUiThread([&] {
        // Whatever goes wrong inside the download is a failed download.
        try {
            result = downloader_.DownloadToFile(infoUrl_, localCopy_);
        } catch (const std::exception& e) {
            result = {false, QString::fromUtf8(e.what())};
        } catch (...) {
            result = {false, QStringLiteral("download failed")};
        }
    });
    lastError_ = result.error;
    if (!result.ok) {
        status_ = kConnectFailed;
        SetMessages({kConnectFailed});
        busy_ = false;
        emit Changed();
        return;
    }

    progress_ = 50;
    status_ = kChecking;
    emit Changed();
    const UpdateInfo info = ReadUpdateInfo(localCopy_);
    // What came is no update-information file (an error or login page served
    // in its place, an empty answer): as good as no answer.
    if (info.newVersion.isEmpty()) {
        lastError_ = QStringLiteral("%1: no version in section [version]").arg(infoUrl_.toString());
        status_ = kConnectFailed;
        SetMessages({kConnectFailed});
        busy_ = false;
        emit Changed();
        return;
    }

    if (info.newVersion != kOwnUpdateVersion) {
        status_ = kFoundStatus;
        QStringList lines = {QStringLiteral("发现新版本程序...."),
                             QStringLiteral("软件名称:Zorvex"),
                             QStringLiteral("最新版本:") + info.newVersion,
                             QStringLiteral("更新日期:") + info.date,
                             QStringLiteral("软件大小:") + info.size,
                             QStringLiteral("下载链接:") + info.link,
                             QString()};
        downloadLink_ = info.link;
        // Only a web address is handed to the shell, never a file or a program.
        downloadEnabled_ = IsWebUrl(QUrl(info.link));
        progress_ = 100;
        lines.append(downloadEnabled_ ? kDoneLine : kBadLinkLine);
        SetMessages(lines);
    } else {
        status_ = kUpToDate;
        SetMessages({kUpToDate});
        progress_ = 100;
    }
    busy_ = false;
    emit Changed();
}

bool UpdateCheck::StartDownload() {
    if (busy_ || !downloadEnabled_) return false;
    messages_.clear();
    emit Changed();
    const QUrl link(downloadLink_);
    if (!IsWebUrl(link)) return false;
    return shell_.OpenUrl(link);
}

}  // namespace zorvex::app
