#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <thread>

#include "app/core/workbench/controller.h"
#include "app/core/workbench/output_naming.h"
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
        bench.AddSeveral({Touch(In("c.avi")), Touch(In("b.avi")), Touch(In("a.avi"))});
        return bench;
    }
};

TEST_F(Workbench, RestartConvertsEveryRowAgainWithTheNewNameRule) {
    Bench bench(Out());
    Touch(Out("a.mp4"));  // a.avi's output exists at add time
    bench.AddSeveral({Touch(In("b.avi")), Touch(In("a.avi"))});
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
    for (const char* name : {"e", "d", "c", "b", "a"}) files << Touch(In(QString(name) + ".avi"));
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
    EXPECT_EQ(bench.converter.startedWith, 1);
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

TEST_F(Workbench, AFailedFileShowsItsMessageAndKeepsItsStatus) {
    Bench bench(Out());
    ThreeQueued(bench);
    bench.controller.SetCompletionAction(caOpenFolder);
    bench.controller.SelectRow(2);
    bench.controller.StartOrResume();
    bench.converter.Progress(0, 4000000, 8000000);
    bench.converter.End(0, false, "Error while opening encoder for output stream #0:0");
    bench.converter.End(1, false, "At least one output file must be specified");
    bench.converter.End(2, false, "Invalid data found when processing input");
    EXPECT_EQ(bench.ui.warns,
              QStringList({"Zorvex|Error while opening encoder for output stream #0:0",
                           "Zorvex|At least one output file must be specified",
                           "Zorvex|Invalid data found when processing input"}));
    // The selected row failed too: it is not reported as done.
    EXPECT_EQ(bench.Statuses(), QStringList({"转换中...", "准备", "准备"}));
    EXPECT_EQ(bench.controller.Rows()[0].progress, 50);
    ASSERT_EQ(bench.shell.opened.size(), 1);
    EXPECT_EQ(bench.shell.opened[0], QUrl::fromLocalFile(Out()));
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
    EXPECT_EQ(bench.Statuses(), QStringList({"完成", "完成", "准备"}));
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
    bench.controller.StartOrResume();
    ASSERT_EQ(bench.converter.TaskCount(), 2);
    EXPECT_EQ(bench.converter.startedWith, 1);
    EXPECT_TRUE(bench.controller.ConversionLog().join('\n').contains(
        "***文件打开失败，本次转换跳过该文件: " + In("a.avi")));
    // Task 0 is b.avi, row 1.
    bench.converter.Progress(0, 1000000, 2000000);
    EXPECT_EQ(bench.Statuses(), QStringList({"准备", "转换中...", "准备"}));
    bench.controller.SelectRow(0);
    bench.converter.FinishAll();
    EXPECT_EQ(bench.Statuses(), QStringList({"准备", "完成", "完成"}));

    // Nothing left to convert: a message, no batch.
    QFile::remove(In("b.avi"));
    QFile::remove(In("c.avi"));
    bench.controller.StartOrResume();
    EXPECT_EQ(bench.converter.starts, 1);
    EXPECT_TRUE(bench.ui.informs.last().startsWith("提示|没有可以转换的文件"));
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
