#include "app/core/about/library_versions.h"

#include <QStringList>
#include <QtGlobal>

#include "media/ffapi.h"
#include "media/loader.h"

namespace zorvex::app {
namespace {

QString VersionText(const char* name, unsigned version) {
    return QStringLiteral("%1 %2.%3.%4")
        .arg(QLatin1String(name))
        .arg(AV_VERSION_MAJOR(version))
        .arg(AV_VERSION_MINOR(version))
        .arg(AV_VERSION_MICRO(version));
}

}  // namespace

QString FFmpegVersionsText() {
    if (!Loader().LibrarySetLoaded(ConverterLibrarySet) &&
        !Loader().LoadLibrarySet(ConverterLibrarySet)) {
        return QStringLiteral("未找到 (%1)").arg(QString::fromStdString(Loader().LastError()));
    }
    const QStringList versions = {
        VersionText("libavutil", ff::avutil_version()),
        VersionText("libavcodec", ff::avcodec_version()),
        VersionText("libavformat", ff::avformat_version()),
        VersionText("libavfilter", ff::avfilter_version()),
        VersionText("libswscale", ff::swscale_version()),
        VersionText("libswresample", ff::swresample_version()),
    };
    return versions.join(QStringLiteral(", "));
}

QString QtVersionText() {
    return QString::fromLatin1(qVersion());
}

}  // namespace zorvex::app
