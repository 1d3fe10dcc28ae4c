#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <thread>

#include "app/core/workbench/controller.h"
#include "app/core/workbench/output_naming.h"
#include "app/core/workbench/startup.h"
#include "media/cpu_cores.h"
#include "media/main_thread.h"
#include "media/output_paths.h"
#include "tests/app/workbench_fakes.h"
#include "tests/support/fixtures.h"

namespace zorvex::app::test {
namespace {

QString Touch(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write("x");
    return path;
}

class Workbench : public ::testing::Test {
protected:
    zorvex::test::TempDir dir;
    QString In(const QString& name) const {
        QDir().mkpath(QString::fromStdString(dir.Path()) + "/in");
        return QString::fromStdString(dir.Path()) + "/in/" + name;
    }
    QString Out(const QString& name = {}) const {
        const QString out = QString::fromStdString(dir.Path()) + "/out";
        QDir().mkpath(out);
        return name.isEmpty() ? out : out + "/" + name;
    }
    // Three queued sources a.avi, b.avi, c.avi (rows in that order).
    Bench& ThreeQueued(Bench& bench) {
        bench.AddSeveral({Touch(In("a.avi")), Touch(In("b.avi")), Touch(In("c.avi"))});
        return bench;
    }
};

TEST_F(Workbench, RestartConvertsEveryRowAgainWithTheNewNameRule) {
    Bench bench(Out());
    Touch(Out("a.mp4"));  // a.avi's output exists at add time
    bench.AddSeveral({Touch(In("a.avi")), Touch(In("b.avi"))});
    ASSERT_EQ(bench.controller.RowCount(), 2);
    EXPECT_EQ(QString::fromStdString(bench.converter.tasks[0].output), Out("a(New_1).mp4"));

    for (int run = 0; run < 2; ++run) {
        bench.controller.StartOrResume();
        ASSERT_EQ(bench.converter.TaskCount(), 2) << "run " << run;
        if (run == 1) {
            // a.mp4 is gone now: the "(New_" name falls back to the plain one;
            // b.mp4, the first run's output, is tested too and kept.
            EXPECT_EQ(QString::fromStdString(bench.converter.tasks[0].output), Out("a.mp4"));
            EXPECT_EQ(QString::fromStdString(bench.converter.tasks[1].output), Out("b(New_1).mp4"));
        } else {
            EXPECT_EQ(QString::fromStdString(bench.converter.tasks[0].output), Out("a(New_1).mp4"));
            EXPECT_EQ(QString::fromStdString(bench.converter.tasks[1].output), Out("b.mp4"));
        }
        EXPECT_EQ(bench.Statuses(), QStringList({"准备", "准备"}));
        bench.converter.FinishAll();
        EXPECT_EQ(bench.Statuses(), QStringList({"完成", "完成"}));
        EXPECT_FALSE(bench.controller.Converting());
        QFile::remove(Out("a.mp4"));
        Touch(Out("b.mp4"));
    }
    // Under policy 1 an existing plain name is used again.
    Touch(Out("a.mp4"));
    bench.controller.SetNamingPolicy(npOverwrite);
    bench.controller.StartOrResume();
    EXPECT_EQ(QString::fromStdString(bench.converter.tasks[0].output), Out("a.mp4"));
}

// A batch start takes back only the "(New_k)" mark the queue itself added: a
// mark that came with the source's name stays, so under "直接覆盖该文件" the
// user's clip.mp4 is never taken for clip(New_1).avi's output. The name the
// queue marked survives a saved and restored queue.
TEST_F(Workbench, ABatchStartKeepsMarksFromTheSourcesOwnName) {
    Touch(Out("clip.mp4"));
    Touch(Out("Trip .mp4"));
    Touch(Out("a.mp4"));
    Bench bench(Out());
    bench.AddSeveral(
        {Touch(In("clip(New_1).avi")), Touch(In("Trip (New_York).avi")), Touch(In("a.avi"))});
    ASSERT_EQ(bench.controller.RowCount(), 3);
    EXPECT_EQ(bench.converter.tasks[2].output, Out("a(New_1).mp4").toStdString());
    const SavedQueue saved = *bench.queueStore.saved;

    bench.controller.SetNamingPolicy(npOverwrite);
    bench.controller.StartOrResume();
    EXPECT_EQ(bench.converter.tasks[0].output, Out("clip(New_1).mp4").toStdString());
    EXPECT_EQ(bench.converter.tasks[1].output, Out("Trip (New_York).mp4").toStdString());
    EXPECT_EQ(bench.converter.tasks[2].output, Out("a.mp4").toStdString());
    EXPECT_FALSE(bench.controller.ConversionLog().join('\n').contains("改存为"));
    bench.converter.FinishAll();

    QFile::remove(Out("a.mp4"));
    Bench restored(Out());
    restored.queueStore.saved = saved;
    restored.controller.OfferSavedQueue();
    ASSERT_EQ(restored.controller.RowCount(), 3);
    restored.controller.StartOrResume();
    EXPECT_EQ(restored.converter.tasks[0].output, Out("clip(New_1).mp4").toStdString());
    EXPECT_EQ(restored.converter.tasks[2].output, Out("a.mp4").toStdString());
}

// "同时进行转换的文件个数：" and "CPU占用率修改项目：" come from system.ini at
// start-up, decide how the next batch starts and are written back when chosen.
TEST_F(Workbench, FilesAtOnceAndPriorityAreKeptAndStartTheBatch) {
    const int autoAtOnce = AutoFilesAtOnce(3);
    struct Case {
        const char* files;  // stored "FilesAtOnce"; null: none
        const char* priority;
        int filesIndex, startedWith, priorityIndex;
    } cases[] = {
        {nullptr, nullptr, kFilesAtOnceAuto, autoAtOnce, 3},
        {"Auto", "0", kFilesAtOnceAuto, autoAtOnce, 0},
        {"2", "1", 1, 2, 1},
        {"10", "2", 9, 3, 2},  // never more than the rows
        {"0", "4", kFilesAtOnceAuto, autoAtOnce, 3},
        {"11", "x", kFilesAtOnceAuto, autoAtOnce, 3},
        {"2.5", "-1", kFilesAtOnceAuto, autoAtOnce, 3},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.files ? k.files : "none");
        Bench bench(Out());
        if (k.files) bench.settings.WriteString("Convert", "FilesAtOnce", k.files);
        if (k.priority) bench.settings.WriteString("Convert", "CpuPriority", k.priority);
        bench.controller.Startup();
        EXPECT_EQ(bench.controller.FilesAtOnce(), k.filesIndex);
        EXPECT_EQ(bench.controller.CpuPriority(), k.priorityIndex);
        ThreeQueued(bench);
        bench.controller.StartOrResume();
        EXPECT_EQ(bench.converter.startedWith, k.startedWith);
        EXPECT_EQ(bench.converter.priority, static_cast<TThreadPriority>(k.priorityIndex));
        bench.converter.FinishAll();
    }

    Bench bench(Out());
    bench.controller.SetFilesAtOnce(4);
    bench.controller.SetCpuPriority(1);
    EXPECT_EQ(bench.settings.ReadString("Convert", "FilesAtOnce"), "5");
    EXPECT_EQ(bench.settings.ReadString("Convert", "CpuPriority"), "1");
    bench.controller.SetFilesAtOnce(10);  // out of range: kept as it was
    bench.controller.SetCpuPriority(4);
    EXPECT_EQ(bench.controller.FilesAtOnce(), 4);
    EXPECT_EQ(bench.controller.CpuPriority(), 1);
    bench.controller.SetFilesAtOnce(kFilesAtOnceAuto);
    EXPECT_EQ(bench.settings.ReadString("Convert", "FilesAtOnce"), "Auto");
}

TEST_F(Workbench, ChangedOutputFolderMovesTheNextBatch) {
    Bench bench(Out());
    bench.AddSeveral({Touch(In("a.avi"))});
    const QString moved = QString::fromStdString(dir.Path()) + "/moved/deeper";
    bench.ui.folderAnswer = moved;
    bench.controller.ChooseOutputFolder();
    EXPECT_EQ(bench.ui.folderTitles, QStringList({"选择输出文件存放目录"}));
    EXPECT_EQ(bench.controller.OutputFolder(), moved);
    // Not saved: the folder does not exist yet.
    EXPECT_EQ(bench.settings.ReadString("OutPath", "OutPath"), Out());

    bench.controller.StartOrResume();
    EXPECT_TRUE(QFileInfo(moved).isDir()) << "created with its parents at batch start";
    EXPECT_EQ(QString::fromStdString(bench.converter.tasks[0].output), moved + "/a.mp4");
    EXPECT_EQ(bench.converter.tasks[0].outputOptions.VideoCodec, "mpeg4");  // record kept

    bench.converter.FinishAll();
    bench.controller.ChooseOutputFolder();
    EXPECT_EQ(bench.settings.ReadString("OutPath", "OutPath"), moved);
    bench.ui.folderAnswer.clear();  // cancelled picker: nothing changes
    bench.controller.ChooseOutputFolder();
    EXPECT_EQ(bench.controller.OutputFolder(), moved);
}

TEST_F(Workbench, RemoveShiftsSlotsAndParksTheRemovedOneAtTheEnd) {
    Bench bench(Out());
    QStringList files;
    for (const char* name : {"a", "b", "c", "d", "e"}) files << Touch(In(QString(name) + ".avi"));
    bench.AddSeveral(files);  // rows a..e
    ASSERT_EQ(bench.controller.RowCount(), 5);
    ASSERT_EQ(bench.converter.TaskCount(), 5);

    bench.controller.SelectRow(1);
    bench.controller.RemoveSelected();
    const TaskSlotTable& table = bench.controller.Slots();
    EXPECT_EQ(bench.controller.RowCount(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(SlotStateText(table.State(i)), "Full") << i;
    EXPECT_EQ(table.Slot(1).input.FileName, In("c.avi").toStdString());
    EXPECT_EQ(table.Slot(3).input.FileName, In("e.avi").toStdString());
    for (int i = 4; i < 500; ++i) ASSERT_EQ(SlotStateText(table.State(i)), "kong") << i;
    EXPECT_EQ(SlotStateText(table.State(500)), "DELETED");
    EXPECT_EQ(table.Slot(500).input.FileName, In("b.avi").toStdString());
    EXPECT_EQ(bench.converter.removed, std::vector<int>({1}));
    EXPECT_EQ(bench.controller.Rows()[1].sourceFile, In("c.avi"));
    EXPECT_FALSE(bench.controller.Commands().remove);
    EXPECT_TRUE(bench.controller.Commands().start);
    EXPECT_EQ(bench.preview.repaints, 1);

    // Without a selection: the message, nothing removed.
    bench.controller.SelectRow(-1);
    bench.controller.SelectRow(0);
    bench.controller.SelectRow(-1);
    bench.controller.RemoveSelected();
    EXPECT_EQ(bench.ui.informs, QStringList({"提示|请先选择您需要删除的项目！"}));
    EXPECT_EQ(bench.controller.RowCount(), 4);
}

TEST_F(Workbench, RemovedSlotsAreReclaimedOnlyWhenTheTableRunsOut) {
    Bench bench(Out());
    const QString source = Touch(In("a.avi"));
    bench.ui.files = {source};
    for (int i = 0; i < TaskSlotTable::kSlotCount; ++i) {
        bench.controller.AddOneFile();
        bench.controller.SelectRow(0);
        bench.controller.RemoveSelected();
    }
    for (int i = 0; i < TaskSlotTable::kSlotCount; ++i) {
        ASSERT_EQ(SlotStateText(bench.controller.Slots().State(i)), "DELETED") << i;
    }
    // The queue is empty, so "清空" cannot help: the removed slots are taken back.
    bench.controller.AddOneFile();
    ASSERT_EQ(bench.controller.RowCount(), 1);
    EXPECT_EQ(SlotStateText(bench.controller.Slots().State(0)), "Full");
    EXPECT_EQ(SlotStateText(bench.controller.Slots().State(1)), "kong");
    EXPECT_TRUE(bench.ui.informs.isEmpty());

    // 501 queued rows: the next file is refused with a message, no task is left.
    for (int i = 1; i < TaskSlotTable::kSlotCount; ++i) bench.controller.AddOneFile();
    ASSERT_EQ(bench.controller.RowCount(), TaskSlotTable::kSlotCount);
    const int tasks = bench.converter.TaskCount();
    bench.AddSeveral({source});
    EXPECT_EQ(bench.controller.RowCount(), TaskSlotTable::kSlotCount);
    EXPECT_EQ(bench.converter.TaskCount(), tasks);
    ASSERT_EQ(bench.ui.informs.size(), 1);
    EXPECT_TRUE(bench.ui.informs[0].startsWith("提示|转换列表已满"));
    EXPECT_TRUE(bench.controller.Commands().clear);
}

TEST_F(Workbench, StopLeavesUnstartedRowsReadyAndStillRunsTheCompletionAction) {
    Bench bench(Out());
    ThreeQueued(bench);
    bench.controller.SetCompletionAction(caPowerOff);
    bench.controller.StartOrResume();
    EXPECT_EQ(bench.converter.startedWith, AutoFilesAtOnce(3));  // "自动" at start-up
    EXPECT_EQ(bench.converter.priority, tpNormal);
    bench.converter.Progress(0, 2500000, 10000000);

    bench.ui.confirmAnswer = false;
    bench.controller.StopBatch();
    EXPECT_EQ(bench.converter.stops, 0) << "cancelled";
    bench.ui.confirmAnswer = true;
    bench.controller.StopBatch();
    EXPECT_EQ(bench.ui.confirms, QStringList(2, "提示信息|您确实要终止目前的转换工作吗？"));
    EXPECT_TRUE(bench.converter.stoppedWaiting);
    EXPECT_EQ(bench.Statuses(), QStringList({"停止", "准备", "准备"}));
    EXPECT_EQ(bench.power.calls, 1);
    EXPECT_FALSE(bench.controller.Converting());
    EXPECT_TRUE(bench.controller.Commands().start);
    EXPECT_TRUE(bench.controller.Commands().remove);
    EXPECT_EQ(bench.converter.TaskCount(), 0) << "tasks cleared at the batch end";

    // A refused power-off is logged, never fatal.
    bench.power.result = false;
    bench.controller.StartOrResume();
    bench.converter.FinishAll();
    EXPECT_TRUE(bench.controller.ConversionLog().join('\n').contains("***无法关闭计算机: refused"));
}

TEST_F(Workbench, StopWhilePausedKeepsStartDisabledUntilTheBatchEnds) {
    Bench bench(Out());
    ThreeQueued(bench);
    bench.controller.StartOrResume();
    bench.converter.Progress(0, 1000000, 10000000);
    bench.controller.PauseBatch();
    EXPECT_EQ(bench.Statuses(), QStringList({"暂停", "准备", "准备"}));
    EXPECT_TRUE(bench.controller.Commands().start);
    EXPECT_FALSE(bench.controller.Commands().pause);

    // The stop's terminations arrive while StopTask is still running: they wait
    // until it returns, and meanwhile nothing can start a batch.
    bench.controller.StopBatch();
    EXPECT_EQ(bench.Statuses(), QStringList({"停止", "准备", "准备"}));
    EXPECT_EQ(bench.converter.starts, 1);

    // Stop pressed, batch end not yet here: "转换" stays disabled.
    Bench late(Out());
    ThreeQueued(late);
    late.controller.StartOrResume();
    late.controller.PauseBatch();
    auto terminate = late.converter.terminate;
    late.converter.terminate = [](const TTerminateInfo&) {};  // hold the events back
    late.controller.StopBatch();
    EXPECT_FALSE(late.controller.Paused());
    EXPECT_FALSE(late.controller.Commands().start);
    late.controller.StartOrResume();
    EXPECT_EQ(late.converter.starts, 1);
    terminate(TTerminateInfo{-1, true, false, {}, {}});
    EXPECT_TRUE(late.controller.Commands().start);
}

TEST_F(Workbench, PauseAndResume) {
    Bench bench(Out());
    ThreeQueued(bench);
    bench.controller.StartOrResume();
    const CommandStates converting = bench.controller.Commands();
    EXPECT_FALSE(converting.add || converting.remove || converting.clear || converting.start ||
                 converting.browse || converting.naming || converting.moveUp);
    EXPECT_TRUE(converting.pause && converting.stop);
    bench.converter.Progress(0, 1000000, 10000000);
    bench.controller.PauseBatch();
    EXPECT_TRUE(bench.controller.Paused());
    bench.controller.StartOrResume();  // resumes, builds nothing
    EXPECT_FALSE(bench.controller.Paused());
    EXPECT_EQ(bench.converter.resumes, 1);
    EXPECT_EQ(bench.converter.starts, 1);
    EXPECT_EQ(bench.controller.Commands(), converting);
}

TEST_F(Workbench, AFailedFileShowsFailedWithItsMessageAndTheBoxNamesIt) {
    Bench bench(Out());
    ThreeQueued(bench);
    bench.controller.SetCompletionAction(caOpenFolder);
    bench.controller.SelectRow(2);
    bench.controller.StartOrResume();
    bench.converter.Progress(0, 4000000, 8000000);
    bench.converter.End(0, false, "Error while opening encoder for output stream #0:0");
    bench.converter.End(1, false, "Permission denied");
    bench.converter.End(2, false, "Invalid data found when processing input");
    EXPECT_EQ(bench.ui.warns,
              QStringList({"Zorvex|文件转换失败：" + In("a.avi") +
                               "\nError while opening encoder for output stream #0:0",
                           "Zorvex|文件转换失败：" + In("b.avi") + "\nPermission denied",
                           "Zorvex|文件转换失败：" + In("c.avi") +
                               "\nInvalid data found when processing input"}));
    // The selected row failed too: it is not reported as done.
    EXPECT_EQ(bench.Statuses(), QStringList({"失败", "失败", "失败"}));
    EXPECT_EQ(bench.controller.Rows()[1].message, "Permission denied");
    EXPECT_EQ(bench.controller.Rows()[0].progress, 50);
    ASSERT_EQ(bench.shell.opened.size(), 1);
    EXPECT_EQ(bench.shell.opened[0], QUrl::fromLocalFile(Out()));

    // The next start clears the failure and the time of the earlier run.
    bench.controller.StartOrResume();
    EXPECT_EQ(bench.Statuses(), QStringList({"准备", "准备", "准备"}));
    EXPECT_EQ(bench.controller.Rows()[0].currentTime, "0");
    EXPECT_TRUE(bench.controller.Rows()[0].message.isEmpty());
}

// The output folder's reason is what the user sees, not the engine's complaint
// about a task without an output.
TEST_F(Workbench, AnUnusableOutputIsReportedWithItsOwnReason) {
    Bench bench(Out());
    ThreeQueued(bench);
    bench.controller.SelectRow(0);
    const QString plainFile = Touch(Out("not-a-folder"));
    bench.controller.SetOutputFolder(plainFile);
    bench.controller.StartOrResume();
    EXPECT_EQ(bench.converter.starts, 0);
    ASSERT_EQ(bench.ui.warns.size(), 1);
    EXPECT_EQ(bench.ui.warns[0], "提示|输出文件存放目录不能使用：" + plainFile +
                                     "\n同名的文件已经存在，它不是文件夹。");
    EXPECT_FALSE(bench.controller.Converting());

    // An output the component refuses at the start: the row says why.
    bench.controller.SetOutputFolder(Out());
    bench.converter.failOutputs = true;
    bench.controller.StartOrResume();
    bench.converter.failOutputs = false;
    bench.converter.End(0, false, "At least one output file must be specified");
    EXPECT_EQ(bench.controller.Rows()[0].status, "失败");
    EXPECT_EQ(bench.controller.Rows()[0].message, Out("a.mp4") + "：Unknown encoder 'nothing'");
    EXPECT_TRUE(
        bench.ui.warns.last().endsWith("\n" + Out("a.mp4") + "：Unknown encoder 'nothing'"));
}

// A progress report queued before the pause arrives after it.
TEST_F(Workbench, ALateProgressReportKeepsThePausedStatus) {
    Bench bench(Out());
    ThreeQueued(bench);
    bench.controller.StartOrResume();
    bench.converter.Progress(0, 1000000, 10000000);
    bench.controller.PauseBatch();
    bench.converter.Progress(0, 1500000, 10000000);
    EXPECT_EQ(bench.Statuses(), QStringList({"暂停", "准备", "准备"}));
    EXPECT_EQ(bench.controller.Rows()[0].currentTime, "1   (秒)");
    bench.controller.StartOrResume();
    bench.converter.Progress(0, 2000000, 10000000);
    EXPECT_EQ(bench.Statuses(), QStringList({"转换中...", "准备", "准备"}));
}

// The batch ends while the stop question is open; "确定" then has nothing to
// stop and must leave the commands of the ended batch alone.
TEST_F(Workbench, AStopConfirmedAfterTheBatchEndedChangesNothing) {
    Bench bench(Out());
    ThreeQueued(bench);
    bench.controller.StartOrResume();
    bench.ui.whileConfirming = [&] { bench.converter.FinishAll(); };
    bench.controller.StopBatch();
    EXPECT_FALSE(bench.controller.StopRequested());
    EXPECT_EQ(bench.converter.stops, 0);
    const CommandStates& c = bench.controller.Commands();
    EXPECT_TRUE(c.start && c.add && c.clear && c.remove);
    EXPECT_FALSE(c.pause || c.stop);
    EXPECT_EQ(bench.Statuses(), QStringList({"完成", "完成", "完成"}));
}

TEST_F(Workbench, BatchEndMarksTheSelectedRowDoneUnlessItsFailureArrivesLater) {
    Bench bench(Out());
    ThreeQueued(bench);
    bench.controller.SelectRow(2);
    bench.controller.StartOrResume();
    auto deliver = bench.converter.terminate;
    deliver(TTerminateInfo{0, true, false, {}, {}});
    deliver(TTerminateInfo{1, true, false, {}, {}});
    deliver(TTerminateInfo{-1, true, false, {}, {}});  // the batch end overtakes task 2
    EXPECT_EQ(bench.Statuses(), QStringList({"完成", "完成", "完成"}));
    deliver(TTerminateInfo{2, false, true, "Conversion failed", {}});
    EXPECT_EQ(bench.Statuses(), QStringList({"完成", "完成", "失败"}));
    EXPECT_EQ(bench.controller.Rows()[0].progress, 100);
}

TEST_F(Workbench, ProgressColumns) {
    Bench bench(Out());
    ThreeQueued(bench);
    bench.controller.StartOrResume();
    struct Case {
        std::int64_t current, total;
        int progress;
        const char* time;
    } cases[] = {
        {2999999, 10000000, 29, "2   (秒)"},
        {5000000, 0, 29, "5   (秒)"},  // unknown total: the bar stays
        {6000000, -1, 29, "6   (秒)"},
        {12000000, 10000000, 120, "12   (秒)"},  // not clamped
    };
    for (const Case& c : cases) {
        bench.converter.Progress(1, c.current, c.total);
        const QueueRow& row = bench.controller.Rows()[1];
        EXPECT_EQ(row.progress, c.progress) << c.current;
        EXPECT_EQ(row.currentTime, QString::fromUtf8(c.time));
        EXPECT_EQ(row.status, "转换中...");
    }
    EXPECT_EQ(bench.controller.Rows()[0].currentTime, "0");
    EXPECT_EQ(bench.controller.Rows()[0].progress, 0);
}

TEST_F(Workbench, AVanishedSourceIsSkippedAtBatchStart) {
    Bench bench(Out());
    ThreeQueued(bench);
    QFile::remove(In("a.avi"));
    // The user is asked whether to go on without it.
    bench.ui.confirmAnswer = false;
    bench.controller.StartOrResume();
    EXPECT_EQ(bench.converter.starts, 0);
    ASSERT_EQ(bench.ui.confirms.size(), 1);
    EXPECT_EQ(bench.ui.confirms[0], "提示|下列源文件无法打开，本次转换将跳过它们：\n" +
                                        In("a.avi") + "：" + In("a.avi") +
                                        ": No such file or directory\n\n是否转换其余的文件？");
    EXPECT_EQ(bench.Statuses(), QStringList({"失败", "准备", "准备"}));
    EXPECT_EQ(bench.converter.TaskCount(), 0);
    bench.ui.confirmAnswer = true;
    bench.controller.StartOrResume();
    ASSERT_EQ(bench.converter.TaskCount(), 2);
    EXPECT_EQ(bench.converter.startedWith, AutoFilesAtOnce(2));
    EXPECT_TRUE(bench.controller.ConversionLog().join('\n').contains(
        "***文件打开失败，本次转换跳过该文件: " + In("a.avi")));
    // Task 0 is b.avi, row 1.
    bench.converter.Progress(0, 1000000, 2000000);
    EXPECT_EQ(bench.Statuses(), QStringList({"失败", "转换中...", "准备"}));
    EXPECT_EQ(bench.controller.Rows()[0].message, In("a.avi") + ": No such file or directory");
    bench.controller.SelectRow(0);
    bench.converter.FinishAll();
    EXPECT_EQ(bench.Statuses(), QStringList({"失败", "完成", "完成"}));

    // Nothing left to convert: a message, no batch.
    QFile::remove(In("b.avi"));
    QFile::remove(In("c.avi"));
    bench.controller.StartOrResume();
    EXPECT_EQ(bench.converter.starts, 1);
    EXPECT_TRUE(bench.ui.informs.last().startsWith("提示|没有可以转换的文件"));
    EXPECT_TRUE(bench.ui.informs.last().contains(In("c.avi") + "："));
    EXPECT_TRUE(bench.controller.Commands().start);
}

TEST_F(Workbench, MovesExchangeRowsAndSlots) {
    Bench bench(Out());
    ThreeQueued(bench);
    bench.controller.SelectRow(0);
    bench.controller.MoveUp();
    EXPECT_EQ(bench.controller.Rows()[0].sourceFile, In("a.avi"));
    bench.controller.SelectRow(2);
    bench.controller.MoveDown();
    EXPECT_EQ(bench.controller.Rows()[2].sourceFile, In("c.avi"));

    bench.preview.shownFiles.clear();
    bench.controller.SelectRow(1);
    bench.controller.MoveDown();
    EXPECT_EQ(bench.controller.SelectedRow(), 2);
    EXPECT_EQ(bench.controller.Rows()[2].sourceFile, In("b.avi"));
    EXPECT_EQ(bench.controller.Slots().Slot(2).input.FileName, In("b.avi").toStdString());
    EXPECT_EQ(bench.controller.Slots().Slot(1).input.FileName, In("c.avi").toStdString());
    EXPECT_EQ(bench.controller.PreviewFile(), In("b.avi"));
    EXPECT_EQ(bench.preview.shownFiles, QStringList({In("b.avi")})) << "not replayed by the move";

    bench.controller.StartOrResume();
    EXPECT_EQ(bench.converter.tasks[1].input, In("c.avi").toStdString());
}

TEST_F(Workbench, ClearEmptiesQueueTasksAndSlots) {
    Bench bench(Out());
    ThreeQueued(bench);
    const int resets = bench.formats.resets;
    bench.controller.ClearQueue();
    EXPECT_EQ(bench.controller.RowCount(), 0);
    EXPECT_EQ(bench.converter.TaskCount(), 0);
    EXPECT_EQ(bench.formats.resets, resets + 1);
    EXPECT_EQ(SlotStateText(bench.controller.Slots().State(0)), "kong");
    const CommandStates& c = bench.controller.Commands();
    EXPECT_TRUE(c.add);
    EXPECT_FALSE(c.remove || c.clear || c.start || c.moveUp || c.moveDown);
}

TEST_F(Workbench, CloseDetachesAndStops) {
    Bench bench(Out());
    ThreeQueued(bench);
    bench.controller.SetCompletionAction(caPowerOff);
    bench.controller.StartOrResume();
    bench.controller.Close();
    EXPECT_EQ(bench.converter.stops, 1);
    EXPECT_TRUE(bench.converter.stoppedWaiting);
    EXPECT_TRUE(bench.ui.confirms.isEmpty()) << "closing asks nothing";
    EXPECT_EQ(bench.power.calls, 0) << "events after close are ignored";
    EXPECT_EQ(bench.Statuses(), QStringList({"准备", "准备", "准备"}));
}

TEST_F(Workbench, TerminationsFromOtherThreadsWaitForTheMainThread) {
    QueuedMainThreadDispatcher dispatcher;
    SetMainThreadDispatcher(&dispatcher);
    {
        Bench bench(Out());
        ThreeQueued(bench);
        bench.controller.StartOrResume();
        std::thread worker([&] {
            bench.converter.ended = true;  // the component counts the batch as ended first
            bench.converter.terminate(TTerminateInfo{0, true, false, {}, {}});
            bench.converter.terminate(TTerminateInfo{-1, true, false, {}, {}});
        });
        worker.join();
        EXPECT_EQ(bench.Statuses()[0], "准备");
        dispatcher.ProcessPending();
        EXPECT_EQ(bench.Statuses()[0], "完成");
        EXPECT_FALSE(bench.controller.Converting());

        bench.controller.StartOrResume();
        EXPECT_EQ(bench.converter.starts, 2);
    }
    SetMainThreadDispatcher(nullptr);
}

TEST_F(Workbench, HelpAndMediaInformation) {
    Bench bench(Out());
    bench.controller.ShowMediaInformation();  // empty queue: nothing
    ThreeQueued(bench);
    bench.controller.SelectRow(-1);
    bench.controller.ShowMediaInformation();
    bench.controller.SelectRow(1);
    bench.controller.ShowMediaInformation();
    QFile::remove(In("b.avi"));
    bench.controller.ShowMediaInformation();
    EXPECT_EQ(bench.ui.mediaInfo, QStringList({In("b.avi")}));

    bench.controller.OpenWebsite();
    bench.controller.OpenMail();
    ASSERT_EQ(bench.shell.opened.size(), 2);
    EXPECT_EQ(bench.shell.opened[0].scheme(), "https");
    EXPECT_EQ(bench.shell.opened[1].scheme(), "mailto");
}

TEST_F(Workbench, HelpOpensTheHelpDocumentOrSaysWhyNot) {
    // The repository's tree is laid out as the program's folder is.
    Bench shipped(Out(), QString(ZORVEX_SOURCE_DIR));
    shipped.controller.OpenHelp();
    const QString document = QString(ZORVEX_SOURCE_DIR) + "/help/index.html";
    EXPECT_EQ(shipped.shell.opened, QList<QUrl>{QUrl::fromLocalFile(document)});
    EXPECT_TRUE(shipped.ui.warns.isEmpty());

    shipped.shell.result = false;  // no program to show it
    shipped.controller.OpenHelp();
    EXPECT_EQ(shipped.ui.warns, QStringList{"提示|无法打开帮助文件 " + document});

    Bench bare(Out());  // a program folder without the document
    bare.controller.OpenHelp();
    EXPECT_TRUE(bare.shell.opened.isEmpty());
    EXPECT_EQ(bare.ui.warns, QStringList{"提示|找不到帮助文件 /opt/zorvex/help/index.html"});
}

// The queue is kept while it changes, with each row's records, the output
// name its batch gave it and its status; a run that ended without closing
// offers it back, and restoring removes what that run's killed conversions
// left, but never a temporary file another run still writes.
TEST_F(Workbench, TheQueueSurvivesACrashAndComesBackOnRequest) {
    Bench first(Out());
    ThreeQueued(first);
    ASSERT_TRUE(first.queueStore.saved);
    EXPECT_EQ(first.queueStore.saved->rows.size(), 3u);
    first.controller.StartOrResume();
    first.converter.Progress(0, 2500000, 10000000);
    first.converter.End(0, true);
    first.converter.Progress(1, 2500000, 10000000);
    const SavedQueue left = *first.queueStore.saved;  // what a crash now leaves
    ASSERT_EQ(left.rows.size(), 3u);
    EXPECT_EQ(left.rows[1].input.FileName, In("b.avi").toStdString());
    EXPECT_EQ(left.rows[1].output.FileName, Out("b.mp4").toStdString());
    EXPECT_EQ(left.rows[1].output.VideoCodec, first.converter.tasks[1].outputOptions.VideoCodec);
    QStringList statuses;
    for (const SavedRow& row : left.rows) statuses << row.status;
    EXPECT_EQ(statuses, QStringList({"完成", "转换中...", "准备"}));

    // b.mp4's killed run left a temporary file; another run is writing c's.
    UniqueFd gone, held;
    const std::string leftover = CreateLockedTemporary(Out("b.mp4").toStdString(), gone);
    const std::string live = CreateLockedTemporary(Out("c.mp4").toStdString(), held);
    gone.Reset();

    for (bool agree : {false, true}) {
        Bench next(Out());
        next.queueStore.saved = left;
        next.ui.confirmAnswer = agree;
        next.controller.OfferSavedQueue();
        EXPECT_EQ(next.ui.confirms, QStringList{"提示|上次的转换列表没有完成，是否恢复？"});
        if (!agree) {
            EXPECT_EQ(next.controller.RowCount(), 0);
            EXPECT_FALSE(next.queueStore.saved) << "declined: nothing is offered again";
            EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(leftover)));
            continue;
        }
        EXPECT_EQ(next.Statuses(), QStringList({"完成", "准备", "准备"}));
        ASSERT_EQ(next.converter.TaskCount(), 3);
        EXPECT_EQ(next.converter.tasks[1].output, Out("b.mp4").toStdString());
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(leftover)));
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(live)));
        EXPECT_TRUE(
            next.controller.ConversionLog().join('\n').contains(QString::fromStdString(leftover)));
        ASSERT_TRUE(next.queueStore.saved);
        EXPECT_EQ(next.queueStore.saved->rows.size(), 3u);
        // The restored queue converts like any other; a normal close removes it.
        next.controller.StartOrResume();
        next.converter.FinishAll();
        EXPECT_EQ(next.Statuses(), QStringList({"完成", "完成", "完成"}));
        next.controller.Close();
        EXPECT_FALSE(next.queueStore.saved);
    }

    // Without the media libraries the queue is neither offered nor dropped.
    Bench unloaded(Out());
    unloaded.converter.loaded = unloaded.converter.loadable = false;
    unloaded.queueStore.saved = left;
    unloaded.controller.OfferSavedQueue();
    EXPECT_TRUE(unloaded.ui.confirms.isEmpty());
    EXPECT_TRUE(unloaded.queueStore.saved);

    // A source that has gone since is named and left out.
    QFile::remove(In("a.avi"));
    Bench after(Out());
    after.queueStore.saved = left;
    after.controller.OfferSavedQueue();
    EXPECT_EQ(after.controller.RowCount(), 2);
    EXPECT_TRUE(after.controller.ConversionLog().join('\n').contains(
        "***文件打开失败，未恢复该文件: " + In("a.avi")));
}

// Rows of a saved queue that cannot come back (beyond the table's 501 slots,
// a source gone) are named in the log, and the file that held them is moved
// aside instead of being replaced by the restored queue; so is a file that
// could not be read at all.
TEST_F(Workbench, RowsThatCannotBeRestoredAreSaidAndKept) {
    SavedQueue left;
    SavedRow row;
    row.status = QStringLiteral("准备");
    row.input.FileName = In("gone.avi").toStdString();
    row.output.FileName = Out("gone.mp4").toStdString();
    left.rows.push_back(row);
    row.input.FileName = Touch(In("a.avi")).toStdString();
    row.output.FileName = Out("a.mp4").toStdString();
    left.rows.insert(left.rows.end(), TaskSlotTable::kSlotCount + 2, row);
    Bench bench(Out());
    bench.queueStore.saved = left;
    bench.controller.OfferSavedQueue();
    EXPECT_EQ(bench.controller.RowCount(), TaskSlotTable::kSlotCount);
    const QString log = bench.controller.ConversionLog().join('\n');
    EXPECT_TRUE(log.contains("***文件打开失败，未恢复该文件: " + In("gone.avi")));
    EXPECT_TRUE(
        log.contains("***转换列表已满（最多 501 个文件），上次的转换列表中有 2 个文件未恢复"))
        << log.toStdString();
    EXPECT_TRUE(log.contains("***上次的转换列表未能全部恢复，原列表已另存为: queue-aside.json"));
    ASSERT_TRUE(bench.queueStore.setAside);
    EXPECT_EQ(bench.queueStore.setAside->rows.size(), left.rows.size());
    ASSERT_TRUE(bench.queueStore.saved);
    EXPECT_EQ(bench.queueStore.saved->rows.size(), size_t{TaskSlotTable::kSlotCount});

    // A file that gave no rows: its problem is logged, no question is asked.
    Bench unreadable(Out());
    unreadable.queueStore.saved =
        SavedQueue{{}, {"上次的转换列表 /x/queue.json 不是普通文件，未读取"}};
    unreadable.controller.OfferSavedQueue();
    EXPECT_TRUE(unreadable.ui.confirms.isEmpty());
    EXPECT_TRUE(unreadable.controller.ConversionLog().join('\n').contains(
        "***上次的转换列表 /x/queue.json 不是普通文件，未读取"));
    EXPECT_TRUE(unreadable.queueStore.setAside);
}

// A stop from outside (a signal, the session's end) keeps an unfinished queue
// for the next start, and never replaces a queue that is being offered back
// with whatever arrived while the question was open.
TEST_F(Workbench, AStoppedProgramKeepsItsUnfinishedQueue) {
    using CloseKind = WorkbenchController::CloseKind;
    Bench first(Out());
    ThreeQueued(first);
    first.controller.StartOrResume();
    first.converter.End(0, true);
    first.converter.Progress(1, 2500000, 10000000);
    first.controller.Close(CloseKind::Stopped);
    ASSERT_TRUE(first.queueStore.saved);
    const SavedQueue left = *first.queueStore.saved;
    QStringList statuses;
    for (const SavedRow& row : left.rows) statuses << row.status;
    EXPECT_EQ(statuses, QStringList({"完成", "转换中...", "准备"}));

    Bench finished(Out());
    ThreeQueued(finished);
    finished.controller.StartOrResume();
    finished.converter.FinishAll();
    finished.controller.Close(CloseKind::Stopped);
    EXPECT_FALSE(finished.queueStore.saved) << "nothing was left to do";

    // Stopped while "上次的转换列表没有完成，是否恢复？" is open, after a file
    // was dropped meanwhile: the offered queue stays as it was.
    Bench asked(Out());
    asked.queueStore.saved = left;
    asked.ui.whileConfirming = [&] {
        asked.controller.AddDroppedFiles({Touch(In("d.avi"))});
        asked.controller.Close(CloseKind::Stopped);
    };
    asked.controller.OfferSavedQueue();
    ASSERT_TRUE(asked.queueStore.saved);
    ASSERT_EQ(asked.queueStore.saved->rows.size(), 3u);
    EXPECT_EQ(asked.queueStore.saved->rows[2].input.FileName, In("c.avi").toStdString());

    // Answered, the queue saved is the restored rows and the dropped one.
    Bench answered(Out());
    answered.queueStore.saved = left;
    answered.ui.whileConfirming = [&] { answered.controller.AddDroppedFiles({In("d.avi")}); };
    answered.controller.OfferSavedQueue();
    ASSERT_TRUE(answered.queueStore.saved);
    EXPECT_EQ(answered.queueStore.saved->rows.size(), 4u);
}

// Two rows whose outputs would share a name never write the same file; under
// "直接覆盖该文件" the later row gets a "(New_k)" name and the log says so. A
// stopped row whose destination held a file says where its partial output is.
TEST_F(Workbench, RowsOfOneBatchNeverShareAnOutput) {
    Bench bench(Out());
    QDir().mkpath(In("x"));
    QDir().mkpath(In("y"));
    bench.AddSeveral({Touch(In("x/clip.avi")), Touch(In("y/clip.avi"))});
    ASSERT_EQ(bench.controller.RowCount(), 2);
    Touch(Out("clip.mp4"));
    bench.controller.SetNamingPolicy(npOverwrite);
    bench.controller.StartOrResume();
    EXPECT_EQ(bench.converter.tasks[0].output, Out("clip.mp4").toStdString());
    EXPECT_EQ(bench.converter.tasks[1].output, Out("clip(New_1).mp4").toStdString());
    EXPECT_TRUE(bench.controller.ConversionLog().join('\n').contains(
        "***输出文件已被本次转换的另一个文件或源文件占用，改存为: " + Out("clip(New_1).mp4")));

    bench.converter.terminate(
        TTerminateInfo{0, false, false, {}, Out("clip(New_2).mp4").toStdString()});
    EXPECT_TRUE(bench.controller.ConversionLog().join('\n').contains(
        "***转换被终止，原有文件未改动，已转换的部分保存为: " + Out("clip(New_2).mp4")));
}

}  // namespace
}  // namespace zorvex::app::test
