// Files that come from outside the program (command line, another start, a
// drop) and what the desktop hears of a batch: its notification and the
// launcher's progress.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QUrl>

#include "app/core/workbench/source_paths.h"
#include "tests/app/qt_test_app.h"
#include "tests/app/workbench_fakes.h"
#include "tests/support/fixtures.h"

namespace zorvex::app::test {
namespace {

// Lists compared as text, so a failure shows the names.
std::string Lines(const QStringList& list) {
    return list.join('\n').toStdString();
}

class FromOutside : public ::testing::Test {
protected:
    void SetUp() override { zorvex::test::TestApplication(); }
    zorvex::test::TempDir dir;
    QString Path(const QString& name) const {
        return QString::fromStdString(dir.Path()) + "/" + name;
    }
    QString Touch(const QString& name) const {
        QDir().mkpath(QFileInfo(Path(name)).absolutePath());
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return Path(name);
    }
    QString OutFolder() const {
        QDir().mkpath(Path("out"));
        return Path("out");
    }
    static QStringList Sources(const Bench& bench) {
        QStringList out;
        for (const QueueRow& row : bench.controller.Rows()) out << row.sourceFile;
        return out;
    }
    static void RunEventLoop() { QCoreApplication::processEvents(); }
};

TEST_F(FromOutside, FoldersStandForTheirMediaFiles) {
    Touch("clips/clip10.mp4");
    Touch("clips/clip2.MP4");
    Touch("clips/notes.txt");
    Touch("clips/.hidden/secret.avi");
    Touch("clips/.dot.avi");
    Touch("clips/sub/旅行 日记.mkv");
    Touch("elsewhere/linked.avi");
    ASSERT_TRUE(QFile::link(Path("elsewhere"), Path("clips/link")));
    const QString readme = Touch("readme.txt");

    const SourceFiles found = CollectSourceFiles(
        {Path("clips"), readme, Path("gone.mp4"), Path("clips/clip2.MP4"), Path("clips/")});
    EXPECT_EQ(Lines(found.files), Lines({Path("clips/clip2.MP4"), Path("clips/clip10.mp4"),
                                         Path("clips/sub/旅行 日记.mkv"), readme}))
        << "natural order, each file once, a named file kept whatever its type";
    EXPECT_EQ(Lines(found.missing), Lines({Path("gone.mp4")}));
}

TEST_F(FromOutside, CommandLineArgumentsBecomeAbsolutePaths) {
    struct Case {
        QString argument;
        QString expected;
    } cases[] = {
        {"a.mp4", "/work/dir/a.mp4"},
        {"../up/b.mkv", "/work/up/b.mkv"},
        {"./sub//c.avi", "/work/dir/sub/c.avi"},
        {"/abs/d.mp3", "/abs/d.mp3"},
        {"file:///media/%E4%B8%AD%E6%96%87%20e.mp4", "/media/中文 e.mp4"},
    };
    QStringList arguments, expected;
    for (const Case& c : cases) {
        arguments << c.argument;
        expected << c.expected;
    }
    arguments << QString();  // an empty argument is no file
    EXPECT_EQ(Lines(AbsoluteSourcePaths(arguments, "/work/dir")), Lines(expected));
}

TEST_F(FromOutside, OpenedFilesAreAddedLikeSeveralInTheGivenOrder) {
    Bench bench(OutFolder());
    const QString a = Touch("z-first.avi");
    Touch("folder/b2.avi");
    Touch("folder/b10.avi");
    bench.controller.OpenFiles({a, Path("folder"), Path("missing.avi")});

    EXPECT_EQ(Lines(Sources(bench)), Lines({a, Path("folder/b2.avi"), Path("folder/b10.avi")}));
    EXPECT_EQ(bench.formats.shown, 1) << "one format choice for the whole list";
    EXPECT_FALSE(bench.formats.cutOffered);
    EXPECT_EQ(bench.controller.SelectedRow(), 2);
    ASSERT_EQ(bench.ui.informs.size(), 1);
    EXPECT_TRUE(bench.ui.informs[0].contains(Path("missing.avi")))
        << bench.ui.informs[0].toStdString();
    EXPECT_TRUE(bench.ui.lastFilters.isEmpty()) << "no open dialog";
}

TEST_F(FromOutside, FilesOpenedDuringAnAddOrABatchWaitForItsEnd) {
    Bench bench(OutFolder());
    const QString late = Touch("late.avi");
    bench.formats.whileShown = [&] {
        bench.formats.whileShown = nullptr;
        bench.controller.OpenFiles({late});  // a second start while the chooser is open
    };
    bench.controller.OpenFiles({Touch("first.avi")});
    EXPECT_EQ(Lines(Sources(bench)), Lines({Path("first.avi")}));
    RunEventLoop();
    EXPECT_EQ(Lines(Sources(bench)), Lines({Path("first.avi"), late}));
    EXPECT_EQ(bench.formats.shown, 2);

    // The same during "添加一个视频文件".
    const QString later = Touch("later.avi");
    bench.formats.whileShown = [&] {
        bench.formats.whileShown = nullptr;
        bench.controller.OpenFiles({later});
    };
    bench.ui.files = {Touch("single.avi")};
    bench.controller.AddOneFile();
    RunEventLoop();
    EXPECT_EQ(Lines(Sources(bench).mid(2)), Lines({Path("single.avi"), later}));

    bench.controller.StartOrResume();
    bench.controller.OpenFiles({Touch("during1.avi")});
    bench.controller.OpenFiles({Touch("during2.avi")});
    EXPECT_EQ(bench.controller.RowCount(), 4);
    EXPECT_EQ(bench.ui.informs.size(), 1)
        << "said once: " << bench.ui.informs.join(";").toStdString();
    bench.converter.FinishAll();
    RunEventLoop();
    EXPECT_EQ(Lines(Sources(bench).mid(4)), Lines({Path("during1.avi"), Path("during2.avi")}));
    EXPECT_EQ(bench.formats.shown, 5);
}

TEST_F(FromOutside, BatchEndNotifiesOnlyWhenTheWindowIsNotActive) {
    Bench bench(OutFolder());
    bench.AddSeveral({Touch("c.avi"), Touch("b.avi"), Touch("a.avi"), Touch("gone.avi")});
    ASSERT_EQ(bench.controller.RowCount(), 4);
    QFile::remove(Path("gone.avi"));  // left out of the batch: counts as failed
    bench.ui.active = false;
    bench.controller.StartOrResume();
    ASSERT_EQ(bench.converter.TaskCount(), 3);

    bench.converter.Progress(0, 5000000, 10000000);
    bench.converter.Progress(0, 7500000, 10000000);
    bench.converter.Progress(1, 2000000, 0);  // no total: no progress to show
    bench.converter.End(0, true);
    bench.converter.End(1, false, "Invalid data found when processing input");
    EXPECT_TRUE(bench.notifier.shown.isEmpty()) << "not before the batch end";
    bench.converter.End(2, true);
    EXPECT_EQ(Lines(bench.notifier.shown), "转换完毕|2 个文件转换成功，2 个文件失败");

    struct Step {
        int percent;
        int remaining;
        bool visible;
    };
    const std::vector<Step> expected = {{0, 3, true},  {16, 3, true},  {25, 3, true}, {33, 2, true},
                                        {66, 1, true}, {100, 0, true}, {0, 0, false}};
    ASSERT_EQ(bench.launcher.updates.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const RecordingLauncherEntry::Update& u = bench.launcher.updates[i];
        EXPECT_EQ(static_cast<int>(u.fraction * 100), expected[i].percent) << i;
        EXPECT_EQ(u.remaining, expected[i].remaining) << i;
        EXPECT_EQ(u.visible, expected[i].visible) << i;
    }

    // Watched in the program's window, the same batch says nothing.
    bench.ui.active = true;
    bench.controller.StartOrResume();
    bench.converter.FinishAll();
    EXPECT_EQ(bench.notifier.shown.size(), 1);
}

TEST_F(FromOutside, StoppedBatchNotifiesWhatWasStopped) {
    Bench bench(OutFolder());
    bench.AddSeveral({Touch("b.avi"), Touch("a.avi")});
    bench.ui.active = false;
    bench.controller.StartOrResume();
    bench.converter.End(0, true);
    bench.controller.StopBatch();
    EXPECT_EQ(Lines(bench.notifier.shown),
              "转换已停止|1 个文件转换成功，0 个文件失败，1 个文件被停止");
    EXPECT_FALSE(bench.launcher.updates.back().visible);
}

}  // namespace
}  // namespace zorvex::app::test
