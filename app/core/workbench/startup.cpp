#include "app/core/workbench/startup.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include "app/core/file_names.h"
#include "app/platform/settings_store.h"

namespace zorvex::app {

namespace {
const QString kOutPath = QStringLiteral("OutPath");

bool IsSet(const QString& value) {
    return !value.isEmpty() && value != kNotSet;
}

bool MakeFolder(const QString& path, bool withParents) {
    if (QFileInfo(path).isDir()) return true;
    return withParents ? QDir().mkpath(path) : QDir().mkdir(path);
}
}  // namespace

QString DefaultOutputFolder() {
    return QDir::homePath() + QStringLiteral("/Video_Directory");
}

QString BootstrapOutputFolder(SettingsStore& settings, const QString& defaultFolder) {
    if (settings.Exists()) {
        const QString stored = settings.ReadString(kOutPath, kOutPath);
        if (IsSet(stored)) {
            MakeFolder(stored, true);  // a folder that cannot be made still counts
            return stored;
        }
        if (MakeFolder(defaultFolder, false) &&
            settings.WriteString(kOutPath, kOutPath, defaultFolder)) {
            return defaultFolder;
        }
    } else if (MakeFolder(defaultFolder, true) &&
               settings.WriteString(kOutPath, kOutPath, defaultFolder)) {
        return defaultFolder;
    }
    // Fallback: whatever failed above, start with the default and say nothing.
    MakeFolder(defaultFolder, true);
    settings.WriteString(kOutPath, kOutPath, defaultFolder);
    return defaultFolder;
}

QString ResolveSnapshotPictureType(SettingsStore& settings) {
    static const QStringList kTypes = {"BMP", "JPG", "GIF", "PNG"};
    if (settings.Exists()) {
        const QString stored =
            settings.ReadString(QStringLiteral("SnapShot"), QStringLiteral("Picture"));
        if (kTypes.contains(stored)) return stored;
    }
    settings.WriteString(QStringLiteral("SnapShot"), QStringLiteral("Picture"),
                         QStringLiteral("BMP"));
    return QStringLiteral("BMP");
}

namespace {
// The first entry of the open-file filter: every source type the program takes.
constexpr const char* kSupportedPatterns =
    "*.AVI;*.ASF;*.asx;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;"
    "*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.SWF;*.FLAC;"
    "*.M4A;*.MID;*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;*.AC3;*.DTS;*.DV;"
    "*.m4v;*.3g2;*.mkv;*.dv;*.yuv;*.h261;*.h264;*.mjpeg;*.dif;*.m4v;*.3gpp;*.3gp2;*.qt";
}  // namespace

bool IsSupportedSourceName(const QString& path) {
    static const QSet<QString> kExtensions = [] {
        QSet<QString> extensions;
        for (const QString& pattern : QString::fromUtf8(kSupportedPatterns).split(';')) {
            extensions.insert(pattern.mid(1).toLower());  // "*.AVI" -> ".avi"
        }
        return extensions;
    }();
    return kExtensions.contains(ExtensionPart(path).toLower());
}

QStringList OpenDialogNameFilters() {
    struct Entry {
        const char* description;
        const char* patterns;
    };
    static const Entry kEntries[] = {
        {"所有支持的文件类型", kSupportedPatterns},
        {"所有的文件 (*.*)", "*"},
        {"AVI文件 (*.avi)", "*.avi"},
        {"MPEG文件 (*.mpg;*.mpeg)", "*.mpg;*.mpeg"},
        {"Windows Media文件 (*.wmv;*.asf;*.asx)", "*.wmv;*.asf;*.asx"},
        {"Dat文件 (*.dat)", "*.dat"},
        {"DVD光盘VOB文件 (*.vob)", "*.vob"},
        {"Real类型文件 (*.rm;*.rmvb)", "*.rm;*.rmvb"},
        {"MP4类型文件 (*.mp4;*.m4v)", "*.mp4;*.m4v"},
        {"手机3GP文件 (*.3gp;*.3gpp)", "*.3gp;*.3gpp"},
        {"手机3GPP2文件 (*.3g2;*.3gp2)", "*.3g2;*.3gp2"},
        {"Flash文件 (*.swf)", "*.swf"},
        {"Quick Time文件 (*.mov;*.qt)", "*.mov;*.qt"},
        {"FLV类型文件 (*.flv)", "*.flv"},
        {"Raw视频文件 (*.yuv)", "*.yuv"},
        {"Raw h261类型文件 (*.h261)", "*.h261"},
        {"Raw h264类型文件 (*.h264)", "*.h264"},
        {"MJPEG类型文件 (*.mjpeg)", "*.mjpeg"},
        {"MKV视频文件 (*.mkv)", "*.mkv"},
        {"DV视频文件 (*.dv;*.dif)", "*.dv;*.dif"},
    };
    QStringList filters;
    for (const Entry& e : kEntries) {
        // Qt reads the patterns from the last parenthesised group, separated by
        // spaces; the description keeps its own text in front of it.
        filters << QString::fromUtf8(e.description) + " (" +
                       QString::fromUtf8(e.patterns).replace(';', ' ') + ")";
    }
    return filters;
}

}  // namespace zorvex::app
