#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QWidget>

#include "app/core/skins/skin_table.h"
#include "app/core/workbench/startup.h"
#include "app/platform/settings_store.h"
#include "app/ui/skin.h"
#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace zorvex::app {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

TEST(OutputFolderBootstrap, FirstStartCreatesFileAndFolder) {
    zorvex::test::TempDir dir;
    IniSettingsStore settings(Q(dir.File("system.ini")));
    const QString fallback = Q(dir.File("home/Video_Directory"));
    EXPECT_EQ(BootstrapOutputFolder(settings, fallback), fallback);
    EXPECT_TRUE(QFileInfo(fallback).isDir());
    QSettings ini(Q(dir.File("system.ini")), QSettings::IniFormat);
    EXPECT_EQ(ini.value("OutPath/OutPath").toString(), fallback);
    EXPECT_TRUE(zorvex::test::ReadFile(dir.File("system.ini")).find("[OutPath]") !=
                std::string::npos);
}

TEST(OutputFolderBootstrap, StoredAndUnsetValues) {
    zorvex::test::TempDir dir;
    IniSettingsStore settings(Q(dir.File("system.ini")));
    const QString fallback = Q(dir.File("Video_Directory"));

    // A stored folder that does not exist is created with its parents.
    const QString stored = Q(dir.File("a/b/c"));
    settings.WriteString("OutPath", "OutPath", stored);
    EXPECT_EQ(BootstrapOutputFolder(settings, fallback), stored);
    EXPECT_TRUE(QFileInfo(stored).isDir());

    // "Error" and empty mean not set: the default is made and written back.
    for (const QString& unset : {QString("Error"), QString()}) {
        settings.WriteString("OutPath", "OutPath", unset);
        EXPECT_EQ(BootstrapOutputFolder(settings, fallback), fallback);
        EXPECT_EQ(settings.ReadString("OutPath", "OutPath"), fallback);
    }

    // Nothing can be written: start-up goes on with the default.
    MemorySettingsStore readOnly;
    readOnly.SetWritable(false);
    EXPECT_EQ(BootstrapOutputFolder(readOnly, fallback), fallback);
}

// A comma in a hand-edited value ("OutPath=/a,b") is part of the one path,
// not a list separator; values the program writes read back as written.
TEST(OutputFolderBootstrap, ACommaInTheStoredFolderIsPartOfIt) {
    zorvex::test::TempDir dir;
    const QString fallback = Q(dir.File("Video_Directory"));
    for (const QString& folder : {Q(dir.File("a,b")), Q(dir.File("电影, 2024,final"))}) {
        zorvex::test::WriteFile(dir.File("system.ini"),
                                "[OutPath]\nOutPath=" + folder.toStdString() + "\n");
        IniSettingsStore settings(Q(dir.File("system.ini")));
        EXPECT_EQ(settings.ReadString("OutPath", "OutPath"), folder);
        EXPECT_EQ(BootstrapOutputFolder(settings, fallback), folder);
        EXPECT_TRUE(QFileInfo(folder).isDir()) << folder.toStdString();

        settings.WriteString("OutPath", "OutPath", folder + ",x");
        EXPECT_EQ(settings.ReadString("OutPath", "OutPath"), folder + ",x");
    }
}

// A start that changes nothing leaves a hand-edited system.ini as it is,
// comments included; a changed value is written.
TEST(IniSettingsStore, AnUnchangedValueLeavesTheFileAsItIs) {
    zorvex::test::TempDir dir;
    const std::string text =
        "; 输出目录由管理员设定\n[OutPath]\nOutPath=/srv/视频\n\n# skin\n[skin]\nSetSkin=skin5\n";
    zorvex::test::WriteFile(dir.File("system.ini"), text);
    IniSettingsStore settings(Q(dir.File("system.ini")));
    EXPECT_TRUE(settings.WriteString("OutPath", "OutPath", "/srv/视频"));
    EXPECT_TRUE(settings.WriteString("skin", "SetSkin", "skin5"));
    EXPECT_EQ(zorvex::test::ReadFile(dir.File("system.ini")), text);

    EXPECT_TRUE(settings.WriteString("skin", "SetSkin", "skin6"));
    EXPECT_EQ(settings.ReadString("skin", "SetSkin"), "skin6");
    EXPECT_EQ(settings.ReadString("OutPath", "OutPath"), "/srv/视频");
}

TEST(SnapshotPictureType, UnknownValuesBecomeBmp) {
    struct Case {
        const char* stored;  // nullptr: no file at all
        const char* type;
    } cases[] = {{nullptr, "BMP"}, {"PNG", "PNG"}, {"JPG", "JPG"},
                 {"TIFF", "BMP"},  {"png", "BMP"}, {"Error", "BMP"}};
    for (const Case& c : cases) {
        zorvex::test::TempDir dir;
        IniSettingsStore settings(Q(dir.File("system.ini")));
        if (c.stored) settings.WriteString("SnapShot", "Picture", c.stored);
        EXPECT_EQ(ResolveSnapshotPictureType(settings), c.type) << (c.stored ? c.stored : "none");
        EXPECT_EQ(settings.ReadString("SnapShot", "Picture"), c.type);
    }
}

class Skins : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QApplication::instance()) app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    int argc_ = 1;
    char arg0_[8] = "tests";
    char* argv_[2] = {arg0_, nullptr};
    std::unique_ptr<QApplication> app_;
    zorvex::test::TempDir dir_;
};

TEST_F(Skins, TableNamesAndFiles) {
    ASSERT_EQ(SkinTable().size(), 18u);
    QStringList names, sheets;
    int menuItems = 0;
    for (const SkinEntry& skin : SkinTable()) {
        names << skin.settingName;
        menuItems += skin.menuCaption.isEmpty() ? 0 : 1;
        const QString sheet = SkinStyleSheet(skin, Q(ZORVEX_SOURCE_DIR));
        EXPECT_TRUE(sheet.contains("QProgressBar::chunk")) << skin.source.toStdString();
        sheets << sheet;
        if (skin.kind == SkinKind::ThemeFile) {
            // Shipped beside the built program as well.
            const QString beside = QFileInfo(Q(ZORVEX_APP_PATH)).absolutePath() + "/" + skin.source;
            EXPECT_TRUE(QFileInfo(beside).isFile()) << beside.toStdString();
        }
    }
    EXPECT_EQ(menuItems, 17);
    EXPECT_EQ(names.removeDuplicates(), 0);
    EXPECT_EQ(sheets.removeDuplicates(), 0) << "every skin looks different";
    for (int i = 1; i <= 18; ++i) EXPECT_NE(FindSkin(QString("skin%1").arg(i)), nullptr) << i;
    EXPECT_EQ(FindSkin("other"), nullptr);
    EXPECT_EQ(FindSkin("Error"), nullptr);
    EXPECT_EQ(FindSkin("skin19"), nullptr);
}

TEST_F(Skins, StoredSkinIsAppliedByName) {
    MemorySettingsStore settings;
    QWidget window;
    const QString folder = Q(ZORVEX_SOURCE_DIR);

    settings.WriteString("skin", "SetSkin", "skin17");
    ASSERT_TRUE(ApplySkin(&window, settings.ReadString("skin", "SetSkin"), folder));
    QFile royale(folder + "/skins/royale.sui");
    ASSERT_TRUE(royale.open(QIODevice::ReadOnly));
    EXPECT_EQ(window.styleSheet(), QString::fromUtf8(royale.readAll()));

    ASSERT_TRUE(ApplySkin(&window, "skin7", folder));  // built-in DeepBlue
    EXPECT_TRUE(window.styleSheet().contains("DeepBlue"));
    const QString deepBlue = window.styleSheet();
    for (const char* keep : {"other", "Error", "skin0"}) {
        EXPECT_FALSE(ApplySkin(&window, keep, folder)) << keep;
        EXPECT_EQ(window.styleSheet(), deepBlue) << keep;
    }
    // A theme file that is not there leaves the look as it was.
    EXPECT_FALSE(ApplySkin(&window, "skin2", Q(dir_.Path())));
    EXPECT_EQ(window.styleSheet(), deepBlue);
}

}  // namespace
}  // namespace zorvex::app
