// Scripted stand-ins for the converter, the screen and the format windows, so
// the workbench controller runs in tests without a display or an engine.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/core/workbench/background_work.h"
#include "app/core/workbench/controller.h"
#include "app/core/workbench/converter_port.h"
#include "app/core/workbench/format_dialogs.h"
#include "app/core/workbench/saved_queue.h"
#include "app/core/workbench/workbench_ui.h"
#include "app/platform/desktop_notifier.h"
#include "app/platform/launcher_entry.h"
#include "app/platform/power.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"

namespace zorvex::app::test {

// Behaves like the component as far as the controller can tell: a task list
// that refuses changes while working, a batch that ends after every task has
// reported, a stop that reports every unfinished task.
class FakeConverter : public ConverterPort {
public:
    struct Task {
        std::string input;
        TInputOptions inputOptions;
        std::string output;
        TOutputOptions outputOptions;
        bool hasOutput = false;
        bool ended = false;
        PreparedSourcePtr source;  // the prepared source it was listed from
    };
    struct Source : PreparedSource {
        Task task;
        bool ran = false;
    };

    bool LibrariesLoaded() const override { return loaded; }
    bool LoadLibraries(const std::string& folder) override {
        loadedFrom = folder;
        if (!loadable) {
            lastError = "Load library libavcodec.so.59 error: not found";
            return false;
        }
        loaded = true;
        return true;
    }
    // Opens like the component: an unprobeable file is not recognised, an
    // unopenable one is refused when it becomes a task.
    PreparedSourcePtr PrepareTask(const std::string& fileName, const TInputOptions& options,
                                  TaskFailure* failure, std::string* error) override {
        std::lock_guard lock(prepareMutex);
        ++probes;
        if (unprobeable.count(fileName) || !QFileInfo(QString::fromStdString(fileName)).isFile()) {
            *failure = TaskFailure::Unreadable;
            *error = fileName + ": Invalid data found when processing input";
            return nullptr;
        }
        if (unopenable.count(fileName)) {
            *failure = TaskFailure::NotAdded;
            *error = fileName + ": No such file or directory";
            return nullptr;
        }
        auto source = std::make_shared<Source>();
        source->task = {fileName, options, {}, {}, false, false, {}};
        return source;
    }
    int AddPreparedTask(const PreparedSourcePtr& prepared) override {
        Refuse("AddTask");
        auto* source = dynamic_cast<Source*>(prepared.get());
        if (source == nullptr || source->ran) {
            lastError = "The task has already run or is in the list.";
            return -1;
        }
        tasks.push_back(source->task);
        tasks.back().source = prepared;
        sources.push_back(prepared);
        ++listedPrepared;
        return static_cast<int>(tasks.size()) - 1;
    }
    bool RenameOutputFile(int taskIndex, const std::string& fileName) override {
        Refuse("RenameOutputFile");
        if (failOutputs) {
            lastError = "Unknown encoder 'nothing'";
            return false;
        }
        tasks.at(taskIndex).output = fileName;
        tasks.at(taskIndex).outputOptions.FileName = fileName;
        ++renames;
        return true;
    }
    int AddTask(const std::string& fileName, const TInputOptions& options) override {
        Refuse("AddTask");
        if (unopenable.count(fileName) || !QFileInfo(QString::fromStdString(fileName)).isFile()) {
            lastError = fileName + ": No such file or directory";
            return -1;
        }
        tasks.push_back({fileName, options, {}, {}, false, false, {}});
        ++reopened;
        return static_cast<int>(tasks.size()) - 1;
    }
    bool SetOutputFile(int taskIndex, const std::string& fileName,
                       const TOutputOptions& options) override {
        Refuse("SetOutputFile");
        if (failOutputs) {
            lastError = "Unknown encoder 'nothing'";
            return false;
        }
        Task& task = tasks.at(taskIndex);
        task.output = options.FileName.empty() ? fileName : options.FileName;
        task.outputOptions = options;
        task.hasOutput = true;
        // The prepared source carries its output into a later listing.
        if (auto* source = dynamic_cast<Source*>(task.source.get())) {
            source->task = task;
            source->task.source.reset();
        }
        return true;
    }
    void RemoveTask(int taskIndex) override {
        Refuse("RemoveTask");
        removed.push_back(taskIndex);
        tasks.erase(tasks.begin() + taskIndex);
    }
    void ClearTasks() override {
        if (working && !ended) throw std::runtime_error("Cannot ClearTasks while working.");
        tasks.clear();
        sources.clear();
        working = ended = false;
        lastError.clear();
        ++clears;
    }
    int TaskCount() const override { return static_cast<int>(tasks.size()); }
    std::string LastError() const override { return lastError; }
    void SetThreadPriority(TThreadPriority p) override { priority = p; }
    void StartTask(int threadCount) override {
        Refuse("StartTask");
        working = true;
        ended = false;
        startedWith = threadCount;
        for (const PreparedSourcePtr& listed : sources) dynamic_cast<Source&>(*listed).ran = true;
        ++starts;
    }
    void PauseTask() override { ++pauses; }
    void ResumeTask() override { ++resumes; }
    void StopTask(bool wait) override {
        ++stops;
        stoppedWaiting = wait;
        if (!working || ended) return;
        for (int i = 0; i < TaskCount(); ++i) {
            if (!tasks[i].ended) End(i, false);
        }
    }
    void SetHandlers(ProgressHandler p, TerminateHandler t) override {
        progress = std::move(p);
        terminate = std::move(t);
    }

    // Scripted events.
    void Progress(int task, std::int64_t current, std::int64_t total) {
        TProgressInfo info;
        info.TaskIndex = task;
        info.CurrentDuration = current;
        info.TotalDuration = total;
        progress(info);
    }
    void End(int task, bool finished, const std::string& error = {}) {
        tasks.at(task).ended = true;
        terminate(TTerminateInfo{task, finished, !error.empty(), error, {}});
        bool all = true;
        for (const Task& t : tasks) all = all && t.ended;
        if (all && !ended) {
            ended = true;
            terminate(TTerminateInfo{-1, true, false, {}, {}});
        }
    }
    void FinishAll() {
        for (int i = 0; i < TaskCount(); ++i) {
            if (!tasks[i].ended) End(i, true);
        }
    }

    bool loaded = true, loadable = true, working = false, ended = false, failOutputs = false;
    std::string loadedFrom, lastError;
    std::set<std::string> unprobeable, unopenable;
    std::vector<Task> tasks;
    std::vector<int> removed;
    std::vector<PreparedSourcePtr> sources;  // listed since the last clear
    // Prepared sources listed, sources opened again at a batch start, outputs renamed.
    int listedPrepared = 0, reopened = 0, renames = 0;
    std::mutex prepareMutex;  // PrepareTask runs on worker threads
    int probes = 0, clears = 0, starts = 0, pauses = 0, resumes = 0, stops = 0, startedWith = 0;
    bool stoppedWaiting = false;
    TThreadPriority priority = tpIdle;
    ProgressHandler progress;
    TerminateHandler terminate;

private:
    void Refuse(const char* what) {
        if (working) throw std::runtime_error(std::string("Cannot ") + what + " while working.");
    }
};

class FakeUi : public WorkbenchUi {
public:
    void Inform(const QString& text, const QString& caption) override {
        informs << caption + "|" + text;
    }
    void Warn(const QString& text, const QString& caption) override {
        warns << caption + "|" + text;
    }
    bool Confirm(const QString& text, const QString& caption) override {
        confirms << caption + "|" + text;
        if (whileConfirming) whileConfirming();  // what happens while the box is open
        return confirmAnswer;
    }
    QString ChooseFolder(const QString& title) override {
        folderTitles << title;
        return folderAnswer;
    }
    QString ChooseSourceFile(const QStringList& filters) override {
        lastFilters = filters;
        return files.isEmpty() ? QString() : files.first();
    }
    QStringList ChooseSourceFiles(const QStringList& filters) override {
        lastFilters = filters;
        return files;
    }
    void ShowMediaInformation(const QString& file) override { mediaInfo << file; }
    bool IsActive() const override { return active; }

    QStringList informs, warns, confirms, folderTitles, mediaInfo, files, lastFilters;
    bool confirmAnswer = true;
    bool active = true;
    std::function<void()> whileConfirming;
    QString folderAnswer;
};

// The settings window proposes outputFolder/<source name><extension>.
class FakeFormats : public FormatDialogs {
public:
    void ResetPendingSettings() override { ++resets; }
    void SetSourceFile(const QString& path) override { source = path; }
    bool ChooseFormat(bool offerCutRange, const QString& outputFolder) override {
        ++shown;
        cutOffered = offerCutRange;
        folder = outputFolder;
        if (whileShown) whileShown();  // what arrives while the modal windows are open
        return !cancel;
    }
    QString ProposedOutputFile() const override {
        return folder + "/" + QFileInfo(source).completeBaseName() + extension;
    }
    void ApplyInputSettings(TInputOptions& options, bool alone) const override {
        if (alone) options.StartTime = cutStart;
    }
    void ApplyOutputSettings(TOutputOptions& options, bool alone) const override {
        options.VideoCodec = "mpeg4";
        if (alone) options.StartTime = 0;
    }

    int resets = 0, shown = 0;
    bool cancel = false, cutOffered = false;
    QString source, folder, extension = ".mp4";
    std::int64_t cutStart = 10000000;
    std::function<void()> whileShown;
};

class FakePreview : public PreviewPanel {
public:
    void ShowFile(const QString& file) override { shownFiles << file; }
    void ClosePlayer() override { ++closes; }
    void RepaintPanel() override { ++repaints; }
    QStringList shownFiles;
    int closes = 0, repaints = 0;
};

// Background work that runs when a test says, in the order it says.
class ManualWork : public BackgroundWork {
public:
    struct Job {
        std::function<void()> work;
        QPointer<QObject> receiver;
        std::function<void()> done;
        bool finished = false;
    };
    void Run(std::function<void()> work, QObject* receiver, std::function<void()> done) override {
        jobs.push_back({std::move(work), receiver, std::move(done)});
    }
    // Runs job i, then its done as the event loop would.
    void Finish(std::size_t i) {
        Job& job = jobs.at(i);
        ASSERT_FALSE(job.finished) << i;
        job.finished = true;
        job.work();
        if (job.receiver) job.done();
        QCoreApplication::processEvents();
    }
    std::vector<Job> jobs;
};

// A controller wired to the fakes, started up on an in-memory system.ini.
// With openInBackground, added files open only when a test finishes their
// jobs in work.
struct Bench {
    explicit Bench(const QString& outputFolder, const QString& folder = "/opt/zorvex",
                   bool openInBackground = false)
        : programFolder(folder), inBackground(openInBackground) {
        settings.WriteString("OutPath", "OutPath", outputFolder);
        controller.Startup();
    }
    QString programFolder;  // the help document lives there
    FakeConverter converter;
    MemorySettingsStore settings;
    RecordingShell shell;
    RecordingPowerControl power;
    FakeUi ui;
    FakeFormats formats;
    FakePreview preview;
    RecordingDesktopNotifier notifier;
    RecordingLauncherEntry launcher;
    MemoryQueueStore queueStore;
    ManualWork work;
    bool inBackground;
    WorkbenchController controller{WorkbenchController::Services{
        converter, settings, shell, power, ui, formats, &preview, "/opt/zorvex/LibAV",
        "/nonexistent/Video_Directory", programFolder, &notifier, &launcher, &queueStore,
        inBackground ? &work : nullptr}};

    // Adds the files through "添加多个视频文件" with the given dialog answer.
    void AddSeveral(const QStringList& files) {
        ui.files = files;
        controller.AddSeveralFiles();
    }
    QStringList Statuses() const {
        QStringList out;
        for (const QueueRow& row : controller.Rows()) out << row.status;
        return out;
    }
};

}  // namespace zorvex::app::test
