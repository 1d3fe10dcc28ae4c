// The queue saved for a crash: its records survive the file exactly, a second
// instance never takes the first one's queue, and a damaged file is no queue.
#include "app/core/workbench/saved_queue.h"

#include <gtest/gtest.h>

#include <QFile>

#include "app/platform/queue_file_store.h"
#include "tests/support/fixtures.h"

namespace zorvex::app {
namespace {

SavedQueue SampleQueue() {
    SavedRow row;
    row.status = QStringLiteral("转换中...");
    row.input.FileName = "/媒体/第 1 集.rmvb";
    row.input.FileFormat = "mpeg";
    row.input.StartTime = 12345678901234;
    row.input.ExtOptions = "threads=2\n";
    row.output.FileName = "/out/第 1 集(New_3).mp4";
    row.output.VideoCodec = "libx264";
    row.output.VideoBitrate = 768000;
    row.output.MuxDelay = 0.7f;
    row.output.DisableSubtitle = true;
    row.output.Duration = NoPtsValue + 1;  // the extreme end of the 64-bit range
    row.output.StreamInfo.Title = "标题";
    row.output.StreamInfo.Timestamp = 45000.25;
    row.output.TargetType = 3;
    SavedRow plain;
    plain.status = QStringLiteral("准备");
    plain.input.FileName = "/a.avi";
    return SavedQueue{{row, plain}};
}

TEST(SavedQueue, RecordsComeBackExactly) {
    const SavedQueue queue = SampleQueue();
    const std::optional<SavedQueue> back = SavedQueueFromJson(SavedQueueToJson(queue));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->rows.size(), 2u);
    const SavedRow& r = back->rows[0];
    EXPECT_EQ(r.status, queue.rows[0].status);
    EXPECT_EQ(r.input.FileName, "/媒体/第 1 集.rmvb");
    EXPECT_EQ(r.input.FileFormat, "mpeg");
    EXPECT_EQ(r.input.StartTime, 12345678901234);
    EXPECT_EQ(r.input.ProgramID, -1);
    EXPECT_EQ(r.input.ExtOptions, "threads=2\n");
    EXPECT_EQ(r.output.FileName, "/out/第 1 集(New_3).mp4");
    EXPECT_EQ(r.output.VideoCodec, "libx264");
    EXPECT_EQ(r.output.VideoBitrate, 768000);
    EXPECT_FLOAT_EQ(r.output.MuxDelay, 0.7f);
    EXPECT_TRUE(r.output.DisableSubtitle);
    EXPECT_EQ(r.output.Duration, NoPtsValue + 1);
    EXPECT_EQ(r.output.StartTime, NoPtsValue);
    EXPECT_EQ(r.output.StreamInfo.Title, "标题");
    EXPECT_DOUBLE_EQ(r.output.StreamInfo.Timestamp, 45000.25);
    EXPECT_EQ(r.output.TargetType, 3);
    EXPECT_EQ(r.output.TargetDefaultNorm, 1);
    // Writing it again gives the same text: no field is lost on the way.
    EXPECT_EQ(SavedQueueToJson(*back), SavedQueueToJson(queue));
}

TEST(SavedQueue, DamagedTextIsNoQueue) {
    for (const char* text : {"", "{", "[]", "{\"Rows\": []}", "not json at all"}) {
        EXPECT_FALSE(SavedQueueFromJson(text)) << text;
    }
    // A row without a source is dropped; other rows stay.
    const auto q = SavedQueueFromJson(R"({"ZorvexQueue": 1, "Rows": [{"Input": {}},
        {"Status": "准备", "Input": {"FileName": "/a.avi", "Unknown": 5}}]})");
    ASSERT_TRUE(q);
    ASSERT_EQ(q->rows.size(), 1u);
    EXPECT_EQ(q->rows[0].input.FileName, "/a.avi");
}

TEST(SavedQueue, TheFileBelongsToOneInstance) {
    zorvex::test::TempDir dir;
    const QString folder = QString::fromStdString(dir.File("config"));
    auto first = std::make_unique<FileQueueStore>(folder);
    ASSERT_TRUE(first->Owner());
    EXPECT_FALSE(first->Leftover());
    ASSERT_TRUE(first->Save(SampleQueue()));
    EXPECT_TRUE(QFile::exists(first->Path()));

    // While the first instance runs, a second one neither offers nor writes
    // the queue.
    FileQueueStore second(folder);
    EXPECT_FALSE(second.Owner());
    EXPECT_FALSE(second.Leftover());
    EXPECT_FALSE(second.Save(SavedQueue{}));
    second.Remove();
    EXPECT_TRUE(QFile::exists(first->Path()));

    // The first ends without removing it (a crash): the next instance finds it.
    first.reset();
    FileQueueStore next(folder);
    ASSERT_TRUE(next.Owner());
    const auto leftover = next.Leftover();
    ASSERT_TRUE(leftover);
    EXPECT_EQ(leftover->rows.size(), 2u);
    next.Remove();
    EXPECT_FALSE(QFile::exists(next.Path()));
    EXPECT_FALSE(next.Leftover());

    // A damaged file is no queue.
    zorvex::test::WriteFile(next.Path().toStdString(), "{\"ZorvexQueue\": 1, \"Rows\": [");
    EXPECT_FALSE(next.Leftover());
}

}  // namespace
}  // namespace zorvex::app
