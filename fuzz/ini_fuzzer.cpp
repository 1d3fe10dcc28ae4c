// The two INI files the program reads: system.ini through the settings store
// (skin, output folder, snapshot keys, the update address) and the downloaded
// update.ini through the update check's reader. Both read the same bytes.
#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <QString>
#include <QUrl>

#include "app/core/preview/snapshot.h"
#include "app/core/skins/skin_table.h"
#include "app/core/update/update_check.h"
#include "app/platform/downloader.h"
#include "app/platform/settings_store.h"
#include "fuzz/fuzz_support.h"

using namespace zorvex;
using namespace zorvex::app;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One file name throughout, so that Qt's cache of parsed INI files holds one
    // entry instead of growing with every input (which would set off a leak scan
    // each time); a new time stamp per input makes it read the file again.
    static const std::string file = fuzz::ScratchFolder() + "/system.ini";
    static const QString path = QString::fromStdString(file);
    static long long stamp = 0;
    fuzz::WriteScratchFile(file, data, size);
    const timespec times[2] = {{++stamp, 0}, {stamp, 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);

    const IniSettingsStore settings(path);
    FindSkin(settings.ReadString(QStringLiteral("skin"), QStringLiteral("SetSkin")));
    SnapshotTypeFromText(
        settings.ReadString(QStringLiteral("SnapShot"), QStringLiteral("Picture")));
    settings.ReadString(QStringLiteral("SnapShot"), QStringLiteral("Dir"));
    settings.ReadString(QStringLiteral("OutPath"), QStringLiteral("OutPath"));
    IsWebUrl(UpdateInfoUrl(settings));

    const UpdateInfo info = ReadUpdateInfo(path);
    IsWebUrl(QUrl(info.link));
    if (info.newVersion.contains('\n') || info.link.contains('\n')) {
        std::fprintf(stderr, "update.ini value spans lines\n");
        std::abort();
    }
    return 0;
}
