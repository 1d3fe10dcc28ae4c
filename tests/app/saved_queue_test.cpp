// The queue saved for a crash: its records survive the file exactly, a second
// instance never takes the first one's queue, and a damaged file is no queue.
#include "app/core/workbench/saved_queue.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <functional>
#include <utility>

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
    row.output.FileName = "/out/第 1 集(New_3).mp4";
    row.outputBase = "/out/第 1 集.mp4";
    row.output.VideoCodec = "libx264";
    row.output.VideoPreset = "libx264-default";
    row.output.VideoBitrate = 768000;
    row.output.FrameRate = "30000/1001";
    row.output.FrameAspectRatio = "16:9";
    row.output.VideoFilters = "hflip,negate";
    row.output.DisableVideo = true;
    row.output.Duration = NoPtsValue + 1;  // the extreme end of the 64-bit range
    row.output.TargetType = 3;
    SavedRow plain;
    plain.status = QStringLiteral("准备");
    plain.input.FileName = "/a.avi";
    return SavedQueue{{row, plain}, {}};
}

TEST(SavedQueue, RecordsComeBackExactly) {
    const SavedQueue queue = SampleQueue();
    const std::optional<SavedQueue> back = SavedQueueFromJson(SavedQueueToJson(queue));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->rows.size(), 2u);
    EXPECT_TRUE(back->problems.isEmpty()) << back->problems.join('\n').toStdString();
    const SavedRow& r = back->rows[0];
    EXPECT_EQ(r.status, queue.rows[0].status);
    EXPECT_EQ(r.input.FileName, "/媒体/第 1 集.rmvb");
    EXPECT_EQ(r.input.FileFormat, "mpeg");
    EXPECT_EQ(r.input.StartTime, 12345678901234);
    EXPECT_EQ(r.output.FileName, "/out/第 1 集(New_3).mp4");
    EXPECT_EQ(r.outputBase, "/out/第 1 集.mp4");
    EXPECT_EQ(r.output.VideoCodec, "libx264");
    EXPECT_EQ(r.output.VideoPreset, "libx264-default");
    EXPECT_EQ(r.output.VideoBitrate, 768000);
    EXPECT_EQ(r.output.FrameRate, "30000/1001");
    EXPECT_EQ(r.output.FrameAspectRatio, "16:9");
    EXPECT_EQ(r.output.VideoFilters, "hflip,negate");
    EXPECT_TRUE(r.output.DisableVideo);
    EXPECT_EQ(r.output.Duration, NoPtsValue + 1);
    EXPECT_EQ(r.output.StartTime, NoPtsValue);
    EXPECT_EQ(r.output.TargetType, 3);
    // Writing it again gives the same text: no field is lost on the way.
    EXPECT_EQ(SavedQueueToJson(*back), SavedQueueToJson(queue));
}

TEST(SavedQueue, DamagedTextIsNoQueue) {
    for (const char* text : {"", "{", "[]", "{\"Rows\": []}", "not json at all"}) {
        EXPECT_FALSE(SavedQueueFromJson(text)) << text;
    }
    // A row without a source is left out and said; other rows stay.
    const auto q = SavedQueueFromJson(R"({"ZorvexQueue": 1, "Rows": [{"Input": {}},
        {"Status": "准备", "Input": {"FileName": "/a.avi"}}]})");
    ASSERT_TRUE(q);
    ASSERT_EQ(q->rows.size(), 1u);
    EXPECT_EQ(q->rows[0].input.FileName, "/a.avi");
    EXPECT_EQ(q->problems, QStringList{"上次的转换列表中有 1 行没有源文件，已跳过"});
}

// A queue file is data anyone could have written: only the fields the program
// fills in, with values of their kind, are taken, so no option from the file
// can write a file (vstats_file, passlogfile), load a library (vhook) or slip
// in another option. What was left out is named. The "not set" values older
// versions wrote for every field are taken silently.
TEST(SavedQueue, AQueueFileGivesOnlyWhatTheProgramWrites) {
    const auto q = SavedQueueFromJson(R"({"ZorvexQueue": 1, "Rows": [{
        "Status": "准备",
        "OutputBase": "/out/a.avi",
        "Input": {"FileName": "/a.avi", "ExtOptions": "vstats_file=/home/u/thesis.odt",
                  "ProgramID": -1},
        "Output": {"FileName": "/out/a.avi", "ExtOptions": "passlogfile=/home/u/x\nvhook=/tmp/l.so",
                   "VideoHook": true, "Join": true, "PacketSize": -1, "MuxDelay": -1,
                   "TargetDefaultNorm": 1, "CopyTimestamp": false, "VideoLanguage": "",
                   "StreamInfo": {"Title": "", "Year": -1},
                   "VideoCodec": "mpeg4\nvstats_file=/etc/x", "AudioCodec": "mp2",
                   "VideoPreset": "../../../etc/passwd", "VideoFilters": "hflip,movie=/etc/passwd",
                   "FrameSize": "640x480", "VideoBitrate": "800000", "AudioBitrate": 128000}}]})");
    ASSERT_TRUE(q);
    ASSERT_EQ(q->rows.size(), 1u);
    const SavedRow& r = q->rows[0];
    const TOutputOptions unset;
    EXPECT_EQ(r.input.ExtOptions, "");
    EXPECT_EQ(r.output.ExtOptions, "");
    EXPECT_FALSE(r.output.VideoHook);
    EXPECT_FALSE(r.output.Join);
    EXPECT_EQ(r.output.VideoCodec, unset.VideoCodec);
    EXPECT_EQ(r.output.VideoPreset, unset.VideoPreset);
    EXPECT_EQ(r.output.VideoFilters, unset.VideoFilters);
    EXPECT_EQ(r.output.VideoBitrate, unset.VideoBitrate) << "a number given as text";
    EXPECT_EQ(r.output.AudioCodec, "mp2");
    EXPECT_EQ(r.output.FrameSize, "640x480");
    EXPECT_EQ(r.output.AudioBitrate, 128000);
    EXPECT_EQ(q->problems,
              QStringList{"上次的转换列表中有本程序不会写入的选项或取值，已忽略: Input.ExtOptions, "
                          "Output.ExtOptions, Output.Join, Output.VideoBitrate, Output.VideoCodec, "
                          "Output.VideoFilters, Output.VideoHook, Output.VideoPreset"});
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
}

// Only a plain file of a sensible size is read, and never by waiting: a pipe,
// a device behind a link, a link, a huge or a damaged file gives a queue
// without rows whose problem names the file, and is moved aside whole.
TEST(SavedQueue, OnlyAPlainFileIsRead) {
    zorvex::test::TempDir dir;
    const QString folder = QString::fromStdString(dir.File("config"));
    FileQueueStore store(folder);
    ASSERT_TRUE(store.Owner());
    const std::string path = store.Path().toStdString();
    const std::string good = dir.File("good.json");
    zorvex::test::WriteFile(good, SavedQueueToJson(SampleQueue()).toStdString());
    const std::pair<const char*, std::function<void()>> kinds[] = {
        {"不是普通文件", [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }},
        {"符号链接", [&] { ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0); }},
        {"符号链接", [&] { ASSERT_EQ(::symlink(good.c_str(), path.c_str()), 0); }},
        {"过大",
         [&] {
             zorvex::test::WriteFile(path, "{");
             ASSERT_EQ(::truncate(path.c_str(), FileQueueStore::kMaxQueueFileBytes + 1), 0);
         }},
        {"已损坏", [&] { zorvex::test::WriteFile(path, "{\"ZorvexQueue\": 1, \"Rows\": ["); }},
    };
    for (const auto& [reason, make] : kinds) {
        make();
        const std::optional<SavedQueue> queue = store.Leftover();
        ASSERT_TRUE(queue) << reason;
        EXPECT_TRUE(queue->rows.empty());
        ASSERT_EQ(queue->problems.size(), 1);
        EXPECT_TRUE(queue->problems[0].contains(store.Path())) << reason;
        EXPECT_TRUE(queue->problems[0].contains(QString::fromUtf8(reason)))
            << queue->problems[0].toStdString();

        const QString aside = store.SetAside();
        ASSERT_FALSE(aside.isEmpty()) << reason;
        EXPECT_EQ(QFileInfo(aside).absolutePath(), QFileInfo(store.Path()).absolutePath());
        EXPECT_FALSE(QFileInfo(store.Path()).exists() || QFileInfo(store.Path()).isSymLink());
        struct stat st {};
        EXPECT_EQ(::lstat(QFile::encodeName(aside).constData(), &st), 0);
        ASSERT_TRUE(QFile::remove(aside));
    }
    EXPECT_TRUE(QFileInfo(QString::fromStdString(good)).isFile()) << "a link's target stays";
}

}  // namespace
}  // namespace zorvex::app
