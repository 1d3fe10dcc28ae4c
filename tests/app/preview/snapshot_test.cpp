#include "app/core/preview/snapshot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#include "app/platform/settings_store.h"
#include "media/loader.h"
#include "tests/app/preview/preview_support.h"

namespace zorvex::app {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

TEST(SnapshotSettings, TypeFallsBackToBmpAndIsWrittenBack) {
    struct Case {
        const char* stored;  // nullptr: no system.ini at all
        SnapshotType type;
    } cases[] = {
        {nullptr, SnapshotType::Bmp}, {"PNG", SnapshotType::Png},  {"JPG", SnapshotType::Jpg},
        {"GIF", SnapshotType::Gif},   {"TIFF", SnapshotType::Bmp}, {"png", SnapshotType::Bmp},
        {"Error", SnapshotType::Bmp}, {"", SnapshotType::Bmp},
    };
    for (const Case& c : cases) {
        MemorySettingsStore settings;
        if (c.stored != nullptr) settings.WriteString("SnapShot", "Picture", c.stored);
        EXPECT_EQ(ResolveSnapshotType(settings), c.type) << (c.stored ? c.stored : "(none)");
        EXPECT_EQ(settings.ReadString("SnapShot", "Picture"), SnapshotTypeText(c.type));
    }
}

TEST(SnapshotSettings, FolderIsTheStoredOneOrTheDefault) {
    test::TempDir dir;
    const QString fallback = Q(dir.File("home/Video_Directory/快照"));
    {
        MemorySettingsStore settings;  // no system.ini: the default, created and stored
        EXPECT_EQ(ResolveSnapshotFolder(settings, fallback), fallback);
        EXPECT_TRUE(QFileInfo(fallback).isDir());
        EXPECT_EQ(settings.ReadString("SnapShot", "Dir"), fallback);
    }
    {
        MemorySettingsStore settings;  // a stored folder that is missing is created
        const QString stored = Q(dir.File("mine/deeper/snaps"));
        settings.WriteString("SnapShot", "Dir", stored);
        EXPECT_EQ(ResolveSnapshotFolder(settings, fallback), stored);
        EXPECT_TRUE(QFileInfo(stored).isDir());
    }
    {
        MemorySettingsStore settings;
        settings.WriteString("SnapShot", "Dir", "Error");
        EXPECT_EQ(ResolveSnapshotFolder(settings, fallback), fallback);
    }
    MemorySettingsStore settings;
    EXPECT_FALSE(StoreSnapshotFolder(settings, Q(dir.File("not-there"))));
    EXPECT_EQ(settings.ReadString("SnapShot", "Dir"), kNotSet);
    EXPECT_TRUE(StoreSnapshotFolder(settings, Q(dir.Path())));
    EXPECT_EQ(settings.ReadString("SnapShot", "Dir"), Q(dir.Path()));
}

TEST(SnapshotNames, SmallestFreeNumberPerExtension) {
    test::TempDir dir;
    const QString folder = Q(dir.Path());
    EXPECT_EQ(NextSnapshotPath(folder, "/videos/a.avi", SnapshotType::Bmp), folder + "/a_1.bmp");
    test::WriteFile(dir.File("a_1.bmp"), "x");
    test::WriteFile(dir.File("a_3.bmp"), "x");
    EXPECT_EQ(NextSnapshotPath(folder, "/videos/a.avi", SnapshotType::Bmp), folder + "/a_2.bmp");
    EXPECT_EQ(NextSnapshotPath(folder, "/videos/a.avi", SnapshotType::Png), folder + "/a_1.png");
    EXPECT_EQ(NextSnapshotPath(folder, "/v/我的.片段.mkv", SnapshotType::Jpg),
              folder + "/我的.片段_1.jpg");
    EXPECT_EQ(NextSnapshotPath(folder, "/v/noext", SnapshotType::Gif), folder + "/noext_1.gif");
}

TBitmap TwoColourBitmap(int width, int height) {
    TBitmap bitmap(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const bool left = x < width / 2;
            row[3 * x] = left ? 200 : 20;      // blue
            row[3 * x + 1] = left ? 40 : 180;  // green
            row[3 * x + 2] = left ? 30 : 240;  // red
        }
    }
    return bitmap;
}

TEST(SnapshotFiles, EveryTypeWritesAPictureThatReadsBack) {
    test::EnsureApplication();
    test::LoadConverterLibrariesOrFail();
    test::TempDir dir;
    const TBitmap bitmap = TwoColourBitmap(161, 121);  // odd sizes and padded rows
    const QImage expected = BitmapToImage(bitmap);
    struct Case {
        SnapshotType type;
        const char* format;
        double tolerance;
    } cases[] = {
        {SnapshotType::Bmp, "bmp", 0.0},
        {SnapshotType::Png, "png", 0.0},
        {SnapshotType::Jpg, "jpeg", 6.0},
        {SnapshotType::Gif, "gif", 2.0},
    };
    for (const Case& c : cases) {
        const QString path = Q(dir.File("shot." + SnapshotExtension(c.type).toStdString()));
        QString error;
        ASSERT_TRUE(SaveSnapshot(bitmap, path, c.type, error)) << error.toStdString();
        QImageReader reader(path);
        EXPECT_EQ(reader.format(), QByteArray(c.format));
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
        EXPECT_EQ(image.size(), QSize(161, 121));
        EXPECT_LE(test::MeanDifference(image, expected), c.tolerance) << c.format;
    }
    // Debian's ffprobe agrees that the GIF is a GIF.
    test::ProcessResult probe = test::RunProcess(
        "/usr/bin/ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,width,height",
                             "-of", "csv=p=0", dir.File("shot.gif")});
    EXPECT_EQ(probe.out, "gif,161,121\n");
}

TEST(SnapshotFiles, FailureLeavesNoFile) {
    test::EnsureApplication();
    test::LoadConverterLibrariesOrFail();
    test::TempDir dir;
    for (SnapshotType type : {SnapshotType::Bmp, SnapshotType::Gif}) {
        const QString path = Q(dir.File("missing/shot.") + SnapshotExtension(type).toStdString());
        QString error;
        EXPECT_FALSE(SaveSnapshot(TwoColourBitmap(8, 8), path, type, error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(path));
    }
    QString error;
    EXPECT_FALSE(SaveSnapshot(TBitmap(), Q(dir.File("empty.bmp")), SnapshotType::Bmp, error));
    EXPECT_FALSE(QFileInfo::exists(Q(dir.File("empty.bmp"))));
}

}  // namespace
}  // namespace zorvex::app
