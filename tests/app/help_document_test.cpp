// The help document shipped with the program: what it must describe, and that
// the build puts it beside the program.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QString>

#include "app/core/formats/format_catalogue.h"
#include "app/core/workbench/product_info.h"
#include "tests/support/fixtures.h"

namespace zorvex::app {
namespace {

QString ReadHelp(const QString& folder) {
    return QString::fromStdString(
        zorvex::test::ReadFile((folder + "/" + kHelpDocument).toStdString()));
}

TEST(HelpDocument, DescribesEveryFormatTheSettingsAndTheCommandLine) {
    const QString help = ReadHelp(ZORVEX_SOURCE_DIR);
    ASSERT_FALSE(help.isEmpty());
    for (const CatalogueTab& tab : CatalogueTabs()) {
        EXPECT_TRUE(help.contains(QString::fromUtf8(tab.caption.data(), tab.caption.size())))
            << tab.caption;
    }
    for (const FormatEntry& format : Formats()) {
        EXPECT_TRUE(help.contains(QString::fromUtf8(format.caption.data(), format.caption.size())))
            << format.caption;
    }
    for (const char* text :
         {"添加一个视频文件", "添加多个视频文件", "选项设置", "输出文件存放目录",
          "如果输出文件存在", "捕捉快照", "zorvex-cli probe", "zorvex-cli formats",
          "zorvex-cli convert", "zorvex-cli transcode", "zorvex-cli batch"}) {
        EXPECT_TRUE(help.contains(QString::fromUtf8(text))) << text;
    }
}

TEST(HelpDocument, NamesTheProgramsVersion) {
    EXPECT_TRUE(ReadHelp(ZORVEX_SOURCE_DIR)
                    .contains("<p class=\"note\">" + kProductName + ' ' + kProductVersion + "</p>"))
        << "help/index.html's last line names another version than CMakeLists.txt's project()";
}

TEST(HelpDocument, IsCopiedBesideTheProgram) {
    const QString programFolder = QFileInfo(ZORVEX_APP_PATH).absolutePath();
    EXPECT_EQ(ReadHelp(programFolder), ReadHelp(ZORVEX_SOURCE_DIR));
}

}  // namespace
}  // namespace zorvex::app
