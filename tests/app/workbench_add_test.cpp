#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <string>

#include "app/core/workbench/output_naming.h"
#include "app/core/workbench/startup.h"
#include "media/engine/engine.h"
#include "media/log.h"
#include "tests/app/qt_test_app.h"
#include "tests/app/workbench_fakes.h"
#include "tests/support/fixtures.h"

namespace zorvex::app::test {
namespace {

class AddFiles : public ::testing::Test {
protected:
    zorvex::test::TempDir dir;
    QString Path(const QString& name) const {
        return QString::fromStdString(dir.Path()) + "/" + name;
    }
    QString Touch(const QString& name) const {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return Path(name);
    }
    QString OutFolder() const {
        QDir().mkpath(Path("out"));
        return Path("out");
    }
};

TEST_F(AddFiles, BatchStartNames) {
    const std::string o = Path("o").toStdString(), p = Path("p").toStdString();
    QDir().mkpath(Path("o"));
    for (const char* name : {"o/a.mp4", "o/a(New_1).mp4", "o/b(New_1).mp4"}) Touch(name);
    struct StartCase {
        std::string folder;
        const char* base;
        int policy;
        std::string expected;
    } batchStart[] = {
        {o, "/old/a.mp4", npNewName, o + "/a(New_2).mp4"},  // a.mp4 and a(New_1).mp4 exist
        {o, "/old/a.mp4", npOverwrite, o + "/a.mp4"},
        {o + "/", "/old/b.mp4", npNewName, o + "/b.mp4"},  // b.mp4 is free
        // A mark that came with the source's name is the name's own.
        {o, "/old/a(New_1).mp4", npNewName, o + "/a(New_1)(New_1).mp4"},
        {o, "/old/a(New_1).mp4", npOverwrite, o + "/a(New_1).mp4"},
        {p, "/old/Trip (New_York).avi", npNewName, p + "/Trip (New_York).avi"},
        {"/", "/old/zorvex-no-such-file", npNewName, "/zorvex-no-such-file"},
    };
    for (const StartCase& c : batchStart) {
        OutputReservation outputs;
        EXPECT_EQ(BatchStartOutputName(c.folder, c.base, c.policy, outputs), c.expected) << c.base;
    }
}

// Within one batch no two rows get the same output and none gets a source,
// whichever policy: two sources of the same name, one of them in the output
// folder with the output's own extension.
TEST_F(AddFiles, ABatchNeverGivesOneFileTwice) {
    QDir().mkpath(Path("a"));
    QDir().mkpath(Path("o"));
    const std::string a = Touch("a/clip.avi").toStdString();
    Touch("o/clip.avi");  // an older output: replaced only under npOverwrite
    const std::string o = Path("o").toStdString(), folderA = Path("a").toStdString();
    for (int policy : {npNewName, npOverwrite}) {
        SCOPED_TRACE(policy);
        OutputReservation outputs;
        outputs.AddSource(a);
        outputs.AddSource(Path("b/clip.avi").toStdString());
        const std::string first = BatchStartOutputName(o, "/x/clip.avi", policy, outputs);
        const std::string second = BatchStartOutputName(o, "/y/clip.avi", policy, outputs);
        EXPECT_EQ(first, o + (policy == npOverwrite ? "/clip.avi" : "/clip(New_1).avi"));
        EXPECT_EQ(second, o + (policy == npOverwrite ? "/clip(New_1).avi" : "/clip(New_2).avi"));
        // Into the source's own folder: never the source itself.
        EXPECT_EQ(BatchStartOutputName(folderA, "/x/clip.avi", policy, outputs),
                  folderA + "/clip(New_1).avi");
    }
}

// An output folder that cannot be used is refused when files are added, with
// its name and the reason, before any file is chosen: nothing is queued. One
// that does not exist yet is made.
TEST_F(AddFiles, AnUnusableOutputFolderIsRefusedBeforeAnythingIsQueued) {
    const QString source = Touch("a.avi");
    const QString plain = Touch("plain");
    struct Case {
        QString folder, reason;
    } cases[] = {
        {plain, "同名的文件已经存在，它不是文件夹。"},
        {"/dev/null", "同名的文件已经存在，它不是文件夹。"},
        {plain + "/sub", "无法创建该文件夹："},  // and the system's reason
        {"", "没有设置输出文件存放目录。"},
    };
    for (const Case& c : cases) {
        for (bool alone : {false, true}) {
            Bench bench(OutFolder());
            bench.controller.SetOutputFolder(c.folder);
            bench.ui.files = {source};
            alone ? bench.controller.AddOneFile() : bench.controller.AddSeveralFiles();
            EXPECT_EQ(bench.formats.shown, 0) << c.folder.toStdString();
            EXPECT_EQ(bench.controller.RowCount(), 0);
            EXPECT_EQ(bench.converter.TaskCount(), 0);
            ASSERT_EQ(bench.ui.warns.size(), 1);
            EXPECT_TRUE(bench.ui.warns[0].startsWith("提示|输出文件存放目录不能使用：" + c.folder +
                                                     "\n" + c.reason))
                << bench.ui.warns[0].toStdString();
            EXPECT_TRUE(bench.controller.Commands().add) << "the add ended";
        }
    }
    if (::geteuid() != 0) {  // root writes into a read-only folder
        QDir().mkpath(Path("locked"));
        QFile::setPermissions(Path("locked"), QFile::ReadOwner | QFile::ExeOwner);
        Bench bench(OutFolder());
        bench.controller.SetOutputFolder(Path("locked"));
        bench.AddSeveral({source});
        EXPECT_EQ(bench.controller.RowCount(), 0);
        EXPECT_EQ(bench.ui.warns, QStringList{"提示|输出文件存放目录不能使用：" + Path("locked") +
                                              "\n没有在该文件夹中写入文件的权限。"});
    }

    Bench bench(OutFolder());
    bench.controller.SetOutputFolder(Path("new/deeper"));
    bench.AddSeveral({source});
    EXPECT_TRUE(QFileInfo(Path("new/deeper")).isDir());
    EXPECT_EQ(bench.controller.RowCount(), 1);
    EXPECT_TRUE(bench.ui.warns.isEmpty());
}

TEST_F(AddFiles, OneFileWithCutRangeAndCollision) {
    Bench bench(OutFolder());
    const QString source = Touch("a.avi");
    Touch("out/a.mp4");
    Touch("out/a(New_1).mp4");
    bench.ui.files = {source};
    bench.controller.AddOneFile();

    EXPECT_EQ(bench.ui.lastFilters.size(), 20);
    EXPECT_TRUE(bench.ui.lastFilters[0].startsWith("所有支持的文件类型 (*.AVI *.ASF *.asx"));
    EXPECT_EQ(bench.ui.lastFilters[3], "MPEG文件 (*.mpg;*.mpeg) (*.mpg *.mpeg)");
    EXPECT_TRUE(bench.formats.cutOffered);
    EXPECT_EQ(bench.formats.source, source);
    ASSERT_EQ(bench.converter.TaskCount(), 1);
    const FakeConverter::Task& task = bench.converter.tasks[0];
    EXPECT_EQ(task.inputOptions.StartTime, 10000000) << "input half, added alone";
    EXPECT_EQ(task.inputOptions.FileFormat, "");
    EXPECT_EQ(QString::fromStdString(task.output), Path("out/a(New_2).mp4"));
    EXPECT_EQ(task.outputOptions.StartTime, 0) << "output half, added alone";

    ASSERT_EQ(bench.controller.RowCount(), 1);
    const QueueRow& row = bench.controller.Rows()[0];
    EXPECT_EQ(row.sourceFile, source);
    EXPECT_EQ(row.sourceFormat, "AVI");
    EXPECT_EQ(row.targetFormat, "MP4");
    EXPECT_EQ(row.currentTime, "0");
    EXPECT_EQ(row.progress, -1);
    EXPECT_EQ(row.status, "准备");
    EXPECT_EQ(bench.controller.SelectedRow(), 0);
    EXPECT_EQ(bench.controller.PreviewFile(), source);
    EXPECT_EQ(bench.preview.shownFiles, QStringList({source}));
    EXPECT_EQ(bench.controller.ConversionLog(), QStringList({"", "装入成功.", ""}));
    const CommandStates& c = bench.controller.Commands();
    EXPECT_TRUE(c.add && c.remove && c.clear && c.start && c.moveUp && c.moveDown);
    EXPECT_FALSE(c.pause || c.stop);

    bench.controller.SetNamingPolicy(npOverwrite);
    bench.controller.AddOneFile();
    EXPECT_EQ(QString::fromStdString(bench.converter.tasks[1].output), Path("out/a.mp4"));
}

TEST_F(AddFiles, SeveralFilesKeepTheirOrderAndStopAtAMissingFile) {
    Bench bench(OutFolder());
    bench.formats.extension = ".psp.mp4";  // only the part from the last dot counts
    // In the dialog's order: clip.rmvb, two.avi, then the missing one ends it.
    const QStringList files = {Touch("clip.rmvb"), Touch("two.avi"), Path("gone.avi"),
                               Touch("last.avi")};
    bench.AddSeveral(files);
    EXPECT_FALSE(bench.formats.cutOffered);
    ASSERT_EQ(bench.controller.RowCount(), 2);
    EXPECT_EQ(bench.controller.Rows()[0].sourceFile, Path("clip.rmvb"));
    EXPECT_EQ(bench.controller.Rows()[1].sourceFile, Path("two.avi"));
    EXPECT_EQ(QString::fromStdString(bench.converter.tasks[0].output), Path("out/clip.mp4"));
    EXPECT_EQ(bench.converter.tasks[0].inputOptions.StartTime, NoPtsValue) << "not alone";
    EXPECT_EQ(bench.converter.tasks[0].outputOptions.StartTime, NoPtsValue);
    EXPECT_EQ(bench.controller.SelectedRow(), -1) << "an early end selects nothing";
    EXPECT_TRUE(bench.preview.shownFiles.isEmpty());

    // A complete walk selects the last row.
    bench.AddSeveral({Touch("more.avi")});
    EXPECT_EQ(bench.controller.SelectedRow(), 2);
}

TEST_F(AddFiles, ProbeFailureSkipsOneFileWithAMessage) {
    Bench bench(OutFolder());
    const QStringList files = {Touch("c.avi"), Touch("b.txt"), Touch("a.avi")};
    bench.converter.unprobeable = {Path("b.txt").toStdString()};
    bench.AddSeveral(files);
    EXPECT_EQ(bench.controller.RowCount(), 2);
    EXPECT_EQ(bench.ui.informs, QStringList({"提示|无法识别的音频或视频文件！\n" + Path("b.txt") +
                                             "\nInvalid data found when processing input"}));
    EXPECT_EQ(bench.controller.SelectedRow(), 1);
    EXPECT_EQ(bench.controller.ConversionLog(),
              QStringList({"", "装入成功.", "", "",
                           "***文件打开失败 " + Path("b.txt") +
                               ": Invalid data found when processing input",
                           "", "", "装入成功.", ""}));

    // A single add that fails the probe ends there.
    bench.ui.files = {Path("b.txt")};
    bench.controller.AddOneFile();
    EXPECT_EQ(bench.controller.RowCount(), 2);
    EXPECT_EQ(bench.converter.TaskCount(), 2);
}

TEST_F(AddFiles, ConverterFailures) {
    Bench bench(OutFolder());
    // AddTask fails: the walk stops.
    bench.converter.unopenable = {Path("b.avi").toStdString()};
    bench.AddSeveral({Touch("a.avi"), Touch("b.avi"), Touch("c.avi")});
    EXPECT_EQ(bench.controller.RowCount(), 1);
    EXPECT_TRUE(bench.controller.ConversionLog().contains("***打开文件失败: " + Path("b.avi") +
                                                          ": No such file or directory"));

    // SetOutputFile fails: the task is removed and the walk goes on.
    bench.converter.unopenable.clear();
    bench.converter.failOutputs = true;
    bench.AddSeveral({Touch("d.avi"), Touch("e.avi")});
    EXPECT_EQ(bench.controller.RowCount(), 1);
    EXPECT_EQ(bench.converter.TaskCount(), 1);
    EXPECT_EQ(bench.converter.removed, std::vector<int>({1, 1}));
    EXPECT_TRUE(bench.controller.ConversionLog().contains(
        "***不能进行正常转换: Unknown encoder 'nothing'"));

    // The libraries cannot be loaded: their error alone, no dialog.
    bench.converter.loaded = false;
    bench.converter.loadable = false;
    bench.ui.lastFilters.clear();
    bench.controller.AddSeveralFiles();
    EXPECT_EQ(bench.converter.loadedFrom, "/opt/zorvex/LibAV");
    EXPECT_TRUE(bench.ui.lastFilters.isEmpty());
    const QStringList& log = bench.controller.ConversionLog();
    EXPECT_EQ(log.mid(log.size() - 3),
              QStringList({"", "Load library libavcodec.so.59 error: not found", ""}));
    // Said on screen too, not only in the log.
    EXPECT_EQ(bench.ui.warns.last(),
              "提示|无法装入 FFmpeg 库，不能添加文件：\n"
              "Load library libavcodec.so.59 error: not found");
}

TEST_F(AddFiles, DatSourcesAreReadAsMpeg) {
    Bench bench(OutFolder());
    bench.AddSeveral({Touch("z.data"), Touch("y.dat"), Touch("x.DAT")});
    ASSERT_EQ(bench.converter.TaskCount(), 3);
    EXPECT_EQ(bench.converter.tasks[0].inputOptions.FileFormat, "");  // z.data
    EXPECT_EQ(bench.converter.tasks[1].inputOptions.FileFormat, "mpeg");
    EXPECT_EQ(bench.converter.tasks[2].inputOptions.FileFormat, "mpeg");
}

TEST_F(AddFiles, CancellingTheChooserAddsNothing) {
    Bench bench(OutFolder());
    bench.formats.cancel = true;
    bench.AddSeveral({Touch("a.avi")});
    bench.ui.files = {Path("a.avi")};
    bench.controller.AddOneFile();
    EXPECT_EQ(bench.formats.shown, 2);
    EXPECT_EQ(bench.formats.resets, 2);
    EXPECT_EQ(bench.controller.RowCount(), 0);
    EXPECT_EQ(bench.converter.probes, 0);
    EXPECT_EQ(bench.converter.TaskCount(), 0);
}

TEST_F(AddFiles, DroppedFilesAddLikeSeveral) {
    Bench bench(OutFolder());
    bench.controller.AddDroppedFiles({Touch("a.avi"), Touch("b.avi")});
    ASSERT_EQ(bench.controller.RowCount(), 2);
    EXPECT_EQ(bench.controller.Rows()[0].sourceFile, Path("a.avi"));
    EXPECT_TRUE(bench.ui.lastFilters.isEmpty()) << "no dialog";
    bench.controller.StartOrResume();
    bench.controller.AddDroppedFiles({Touch("c.avi")});  // refused while converting
    EXPECT_EQ(bench.controller.RowCount(), 2);
}

// Files open on background threads and finish in any order: the queue keeps
// the order they were given in, shows the add's progress, holds the commands
// that would act on a half-built queue, and takes up a drop that came
// meanwhile once the add has ended.
TEST_F(AddFiles, FilesOpenInTheBackgroundAndQueueInTheOrderGiven) {
    zorvex::test::TestApplication();
    Bench bench(OutFolder(), "/opt/zorvex", /*openInBackground=*/true);
    QStringList messages;
    QObject::connect(&bench.controller, &WorkbenchController::StatusMessage,
                     [&](const QString& text) { messages << text; });
    auto sources = [&] {
        QStringList out;
        for (const QueueRow& row : bench.controller.Rows())
            out << QFileInfo(row.sourceFile).fileName();
        return out;
    };
    const QStringList files = {Touch("a.avi"), Touch("b.avi"), Touch("c.avi"), Touch("d.avi"),
                               Touch("e.avi")};
    bench.converter.unprobeable = {Path("c.avi").toStdString()};
    bench.controller.AddDroppedFiles(files);
    ASSERT_EQ(bench.work.jobs.size(), 5u);
    EXPECT_EQ(bench.converter.probes, 0) << "nothing opened on the window's thread";
    EXPECT_TRUE(bench.controller.Adding());
    const CommandStates held = bench.controller.Commands();
    EXPECT_FALSE(held.add || held.start || held.remove || held.clear || held.moveUp);
    EXPECT_EQ(messages, QStringList({"正在添加文件 0/5"}));

    bench.work.Finish(4);
    bench.work.Finish(1);
    EXPECT_EQ(bench.controller.RowCount(), 0) << "the first file comes first";
    bench.controller.StartOrResume();
    bench.controller.ClearQueue();
    EXPECT_EQ(bench.converter.starts, 0);
    bench.controller.AddDroppedFiles({Touch("f.avi")});  // waits for this add
    EXPECT_EQ(bench.work.jobs.size(), 5u);

    bench.work.Finish(0);
    EXPECT_EQ(sources(), QStringList({"a.avi", "b.avi"}));
    EXPECT_EQ(messages.last(), "正在添加文件 2/5");
    bench.work.Finish(3);
    bench.work.Finish(2);  // not recognised: said, and the add goes on
    EXPECT_EQ(sources(), QStringList({"a.avi", "b.avi", "d.avi", "e.avi"}));
    ASSERT_EQ(bench.ui.informs.size(), 1);
    EXPECT_TRUE(bench.ui.informs[0].contains(Path("c.avi")));
    EXPECT_FALSE(bench.controller.Adding());
    EXPECT_EQ(messages.last(), "");
    EXPECT_TRUE(bench.controller.Commands().start && bench.controller.Commands().add);
    EXPECT_EQ(bench.controller.SelectedRow(), 3);

    QCoreApplication::processEvents();  // the waiting drop
    ASSERT_EQ(bench.work.jobs.size(), 6u);
    bench.work.Finish(5);
    EXPECT_EQ(sources(), QStringList({"a.avi", "b.avi", "d.avi", "e.avi", "f.avi"}));
    EXPECT_EQ(messages, QStringList({"正在添加文件 0/5", "正在添加文件 2/5", ""}))
        << "each count once; a single file shows none";
}

// The task opened when a file was added serves the first batch; a file that
// has changed since, and every later batch, open the file afresh.
TEST_F(AddFiles, TheAddTimeTaskServesTheFirstBatchUnlessTheFileChanged) {
    Bench bench(OutFolder());
    bench.AddSeveral({Touch("a.avi"), Touch("b.avi")});
    EXPECT_EQ(bench.converter.probes, 2);
    QFile changed(Path("b.avi"));
    ASSERT_TRUE(changed.open(QIODevice::Append));
    changed.write("more");
    changed.close();

    bench.controller.StartOrResume();
    ASSERT_EQ(bench.converter.TaskCount(), 2);
    EXPECT_EQ(bench.converter.probes, 2);
    EXPECT_EQ(bench.converter.listedPrepared, 3) << "a's add-time task listed again";
    EXPECT_EQ(bench.converter.reopened, 1) << "b only";
    EXPECT_EQ(QString::fromStdString(bench.converter.tasks[0].output), Path("out/a.mp4"));
    EXPECT_EQ(bench.converter.tasks[0].outputOptions.VideoCodec, "mpeg4");
    EXPECT_EQ(QString::fromStdString(bench.converter.tasks[1].output), Path("out/b.mp4"));

    bench.converter.FinishAll();
    bench.controller.StartOrResume();
    EXPECT_EQ(bench.converter.reopened, 3);
    EXPECT_EQ(bench.converter.listedPrepared, 3);
}

TEST(LogRouterLines, Format) {
    zorvex::test::TempDir dir;
    Bench bench(QString::fromStdString(dir.Path()));
    bench.controller.HandleLog(4021, llWarning, "Invalid frame dimensions 0x0.");
    bench.controller.HandleLog(7, llInfo, "中文");
    EXPECT_EQ(bench.controller.ConversionLog(),
              QStringList({"#4021.4: Invalid frame dimensions 0x0.", "#7.5: 中文"}));
}

// An engine's warning about an option, given while a task is configured on the
// main thread, reaches the conversion log through the log router.
TEST(LogRouterLines, OptionWarningsReachTheConversionLog) {
    zorvex::test::LoadConverterLibrariesOrFail();
    zorvex::test::TempDir dir;
    Bench bench(QString::fromStdString(dir.Path()));
    bench.controller.AttachLogRouter();
    TCustomFFmpeg engine;
    engine.Reset();
    engine.ParseOption("vcodce", "libx264");
    const QString line =
        "#" + QString::number(CurrentThreadId()) + ".4: Unrecognized option 'vcodce' ignored";
    EXPECT_TRUE(bench.controller.ConversionLog().contains(line))
        << bench.controller.ConversionLog().join('\n').toStdString();
    bench.controller.Close();
}

}  // namespace
}  // namespace zorvex::app::test
