#include "app/core/workbench/controller.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <functional>
#include <limits>

#include "app/core/workbench/converter_port.h"
#include "app/core/workbench/format_dialogs.h"
#include "app/core/workbench/output_naming.h"
#include "app/core/workbench/product_info.h"
#include "app/core/workbench/source_paths.h"
#include "app/core/workbench/startup.h"
#include "app/core/workbench/workbench_ui.h"
#include "app/platform/desktop_notifier.h"
#include "app/platform/launcher_entry.h"
#include "app/platform/power.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "media/main_thread.h"

namespace zorvex::app {

namespace {

const QString kPrompt = QStringLiteral("提示");
// The conversion log is not on screen; it is bounded so a chatty batch at a
// high log level cannot grow it without end.
constexpr int kMaxLogLines = 20000;

QString FromStd(const std::string& text) {
    return QString::fromStdString(text);
}

QString JoinPath(const QString& folder, const QString& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QString NameWithoutExtension(const QString& path) {
    const QString name = FileNamePart(path);
    const int dot = name.lastIndexOf('.');
    return dot < 0 ? name : name.left(dot);
}

bool IsSourceFile(const QString& path) {
    return QFileInfo(path).isFile();
}

// Set while an add command runs: its modal windows let other requests in,
// which are taken up when it ends.
class AddingGuard {
public:
    AddingGuard(bool& flag, std::function<void()> atEnd) : flag_(flag), atEnd_(std::move(atEnd)) {
        flag_ = true;
    }
    ~AddingGuard() {
        flag_ = false;
        atEnd_();
    }

private:
    bool& flag_;
    std::function<void()> atEnd_;
};

}  // namespace

WorkbenchController::WorkbenchController(Services services, QObject* parent)
    : QObject(parent), s_(std::move(services)) {
    auto link = link_;
    s_.converter.SetHandlers(
        [this, link](const TProgressInfo& info) {
            if (!link->attached) return;
            if (IsMainThread()) {
                HandleProgress(info);
                return;
            }
            const int generation = link->generation;
            PostToMainThread([this, link, info, generation] {
                if (link->attached && link->generation == generation) HandleProgress(info);
            });
        },
        [this, link](const TTerminateInfo& info) {
            // Delivered on the component's own threads: the rows are only ever
            // touched on the main thread.
            if (!link->attached) return;
            const int generation = link->generation;
            PostToMainThread([this, link, info, generation] {
                if (link->attached && link->generation == generation) HandleTerminate(info);
            });
        });
}

WorkbenchController::~WorkbenchController() {
    link_->attached = false;
}

void WorkbenchController::Startup() {
    slots_.Reset();
    SetOutputFolder(BootstrapOutputFolder(s_.settings, s_.defaultOutputFolder));
    completionAction_ = caOpenFolder;
    cpuPriority_ = 3;
    filesAtOnce_ = 0;
    namingPolicy_ = npNewName;
    snapshotType_ = ResolveSnapshotPictureType(s_.settings);
    paused_ = false;
    reordering_ = false;
    CommandStates startup;  // empty, with "上移"/"下移" shown active
    SetCommands(startup);
    emit FieldsChanged();
}

// ---- fields ----------------------------------------------------------------

void WorkbenchController::SetOutputFolder(const QString& folder) {
    outputFolder_ = folder;
    emit OutputFolderChanged(folder);
}

void WorkbenchController::SetNamingPolicy(int index) {
    if (index < 0 || index > 1) return;
    namingPolicy_ = index;
    emit FieldsChanged();
}

void WorkbenchController::SetCompletionAction(int index) {
    if (index < 0 || index > 2) return;
    completionAction_ = index;
    emit FieldsChanged();
}

void WorkbenchController::SetCpuPriority(int index) {
    if (index < 0 || index > 3) return;
    cpuPriority_ = index;
    emit FieldsChanged();
}

void WorkbenchController::SetFilesAtOnce(int index) {
    if (index < 0 || index > 9) return;
    filesAtOnce_ = index;
    emit FieldsChanged();
}

// ---- conversion log ----------------------------------------------------------

void WorkbenchController::AppendLog(const QString& line) {
    if (log_.size() >= kMaxLogLines) log_.removeFirst();
    log_.append(line);
    emit LogAppended(line);
}

void WorkbenchController::LogFramed(const QString& line) {
    AppendLog(QString());
    AppendLog(line);
    AppendLog(QString());
}

void WorkbenchController::ClearLog() {
    log_.clear();
}

void WorkbenchController::HandleLog(std::uint32_t threadId, TLogLevel level,
                                    const QString& message) {
    AppendLog('#' + QString::number(threadId) + '.' + QString::number(static_cast<int>(level)) +
              ": " + message);
}

void WorkbenchController::AttachLogRouter() {
    TFFLogger& logger = Logger();
    logger.SetTriggerEventInMainThread(true);
    auto link = link_;
    logger.SetOnLog([this, link](TFFLogger*, std::uint32_t threadId, TLogLevel level,
                                 const std::string& message) {
        if (link->attached) HandleLog(threadId, level, FromStd(message));
    });
}

// ---- views -------------------------------------------------------------------

void WorkbenchController::SetCommands(const CommandStates& states) {
    if (states == commands_) return;
    commands_ = states;
    emit CommandsChanged();
}

void WorkbenchController::ViewsEmpty() {
    CommandStates c;
    c.moveUp = c.moveDown = false;
    SetCommands(c);
}

void WorkbenchController::ViewsReady() {
    CommandStates c;
    c.remove = c.clear = c.start = true;
    SetCommands(c);
}

void WorkbenchController::ViewsConverting() {
    CommandStates c;
    c.add = c.browse = c.naming = c.moveUp = c.moveDown = false;
    c.pause = c.stop = true;
    SetCommands(c);
}

// ---- rows ----------------------------------------------------------------------

void WorkbenchController::SetRowStatus(int row, const QString& status) {
    if (row < 0 || row >= RowCount() || rows_[row].status == status) return;
    rows_[row].status = status;
    emit RowChanged(row);
}

void WorkbenchController::SetRowProgress(int row, int progress) {
    if (row < 0 || row >= RowCount()) return;
    rows_[row].progress = progress;
    emit RowChanged(row);
}

void WorkbenchController::SelectRow(int row) {
    if (row >= RowCount()) row = -1;
    selected_ = row;
    if (row < 0) {
        if (s_.preview) s_.preview->ClosePlayer();
        return;
    }
    if (!converting_) {
        CommandStates c = commands_;
        c.remove = true;
        SetCommands(c);
    }
    previewFile_ = rows_[row].sourceFile;
    if (!reordering_ && s_.preview) s_.preview->ShowFile(previewFile_);
}

void WorkbenchController::SelectRowInternal(int row) {
    SelectRow(row);
    emit SelectionChanged(selected_);
}

void WorkbenchController::SwapRows(int a, int b) {
    std::swap(rows_[a], rows_[b]);
    emit RowChanged(a);
    emit RowChanged(b);
}

bool WorkbenchController::HasFreeSlot() {
    // Removed slots wait at the end until a clear; once they are all that is
    // left, they are taken back (the queue may be empty, and "清空" with it).
    if (slots_.FirstEmpty() < 0) slots_.ReclaimDeleted();
    return slots_.FirstEmpty() >= 0;
}

bool WorkbenchController::AppendToQueue(const TInputOptions& input, const TOutputOptions& output) {
    if (!HasFreeSlot() || slots_.Fill(input, output) < 0) {
        s_.ui.Inform(QStringLiteral("转换列表已满（最多 %1 个文件），请先清空列表再添加文件。")
                         .arg(TaskSlotTable::kSlotCount),
                     kPrompt);
        return false;
    }
    QueueRow row;
    row.sourceFile = FromStd(input.FileName);
    row.sourceFormat = FormatColumnText(row.sourceFile);
    row.targetFormat = FormatColumnText(FromStd(output.FileName));
    row.currentTime = QStringLiteral("0");
    row.status = kStatusReady;
    rows_.push_back(row);
    emit RowAppended(RowCount() - 1);
    ViewsReady();
    return true;
}

void WorkbenchController::RemoveSelected() {
    if (!commands_.remove) return;
    if (selected_ < 0 || selected_ >= RowCount()) {
        s_.ui.Inform(QStringLiteral("请先选择您需要删除的项目！"), kPrompt);
        return;
    }
    const int row = selected_;
    reordering_ = true;
    if (s_.preview) s_.preview->ClosePlayer();
    if (rows_[row].status == kStatusReady && s_.converter.TaskCount() >= RowCount()) {
        CallConverter([&] { s_.converter.RemoveTask(row); });
    }
    rows_.erase(rows_.begin() + row);
    slots_.Remove(row);
    selected_ = -1;
    emit RowRemoved(row);
    emit SelectionChanged(-1);
    reordering_ = false;
    const bool any = !rows_.empty();
    CommandStates c = commands_;
    c.remove = false;
    c.moveUp = c.moveDown = c.clear = c.start = any;
    SetCommands(c);
    if (s_.preview) {
        s_.preview->ClosePlayer();
        s_.preview->RepaintPanel();
    }
}

void WorkbenchController::ClearQueue() {
    if (!commands_.clear) return;
    s_.formats.ResetPendingSettings();
    CallConverter([&] { s_.converter.ClearTasks(); });
    if (s_.preview) {
        s_.preview->ClosePlayer();
        s_.preview->RepaintPanel();
    }
    rows_.clear();
    selected_ = -1;
    emit RowsReset();
    emit SelectionChanged(-1);
    ViewsEmpty();
    slots_.Reset();
}

void WorkbenchController::MoveUp() {
    if (!commands_.moveUp || selected_ <= 0 || selected_ >= RowCount()) return;
    const int i = selected_;
    reordering_ = true;
    SwapRows(i, i - 1);
    SelectRowInternal(i - 1);
    slots_.Swap(i, i - 1);
    reordering_ = false;
}

void WorkbenchController::MoveDown() {
    if (!commands_.moveDown || selected_ < 0 || selected_ >= RowCount() - 1) return;
    const int i = selected_;
    reordering_ = true;
    SwapRows(i, i + 1);
    SelectRowInternal(i + 1);
    slots_.Swap(i, i + 1);
    reordering_ = false;
}

// ---- adding files -----------------------------------------------------------------

bool WorkbenchController::LibraryCheck() {
    if (s_.converter.LibrariesLoaded()) return true;
    if (s_.converter.LoadLibraries(s_.libraryFolder.toStdString())) return true;
    LogFramed(FromStd(s_.converter.LastError()));
    return false;
}

void WorkbenchController::AddOneFile() {
    if (!commands_.add || adding_) return;
    AddingGuard guard(adding_, [this] { ScheduleWaitingFiles(); });
    s_.formats.ResetPendingSettings();
    if (!LibraryCheck()) return;
    const QString path = s_.ui.ChooseSourceFile(OpenDialogNameFilters());
    if (path.isEmpty() || !IsSourceFile(path)) return;
    s_.formats.SetSourceFile(path);
    if (!s_.formats.ChooseFormat(true, outputFolder_)) return;
    bool stopWalk = false;
    if (PrepareAndQueue(path, true, &stopWalk)) SelectRowInternal(RowCount() - 1);
}

void WorkbenchController::AddSeveralFiles() {
    if (!commands_.add || adding_) return;
    AddFiles({}, true);
}

void WorkbenchController::AddDroppedFiles(const QStringList& files) {
    if (!commands_.add || adding_ || files.isEmpty()) return;
    AddFiles(files, false);
}

void WorkbenchController::OpenFiles(const QStringList& paths) {
    const SourceFiles sources = CollectSourceFiles(paths);
    if (!sources.missing.isEmpty()) {
        s_.ui.Inform(QStringLiteral("找不到下列文件或文件夹：\n") + sources.missing.join('\n'),
                     kPrompt);
    }
    if (sources.files.isEmpty()) return;
    const bool wasWaiting = !waitingFiles_.isEmpty();
    waitingFiles_ += sources.files;
    if (adding_) return;  // taken up when that add has ended
    if (!commands_.add) {
        if (!wasWaiting) {
            s_.ui.Inform(QStringLiteral("正在转换，这些文件将在本次转换结束后加入转换列表。"),
                         kPrompt);
        }
        return;
    }
    AddWaitingFiles();
}

void WorkbenchController::AddWaitingFiles() {
    if (waitingFiles_.isEmpty() || adding_ || !commands_.add) return;
    QStringList files;
    files.swap(waitingFiles_);
    // The add walks its list from the last file to the first: reversed, the
    // queue shows the files in the order they were given.
    std::reverse(files.begin(), files.end());
    AddFiles(files, false);
}

void WorkbenchController::ScheduleWaitingFiles() {
    if (waitingFiles_.isEmpty()) return;
    // Later, from the event loop: not inside the add or the batch end that
    // kept the files waiting.
    QMetaObject::invokeMethod(
        this, [this] { AddWaitingFiles(); }, Qt::QueuedConnection);
}

void WorkbenchController::AddFiles(const QStringList& given, bool fromDialog) {
    AddingGuard guard(adding_, [this] { ScheduleWaitingFiles(); });
    s_.formats.ResetPendingSettings();
    if (!LibraryCheck()) return;
    const QStringList files = fromDialog ? s_.ui.ChooseSourceFiles(OpenDialogNameFilters()) : given;
    if (files.isEmpty()) return;
    // The settings window shows (and measures) a source: the first one walked.
    s_.formats.SetSourceFile(files.last());
    if (!s_.formats.ChooseFormat(false, outputFolder_)) return;
    bool endedEarly = false;
    for (qsizetype i = files.size() - 1; i >= 0; --i) {
        if (!IsSourceFile(files[i])) {
            endedEarly = true;
            break;
        }
        bool stopWalk = false;
        PrepareAndQueue(files[i], false, &stopWalk);
        if (stopWalk) {
            endedEarly = true;
            break;
        }
    }
    if (!endedEarly && !rows_.empty()) SelectRowInternal(RowCount() - 1);
}

bool WorkbenchController::PrepareAndQueue(const QString& path, bool alone, bool* stopWalk) {
    if (!HasFreeSlot()) {
        AppendToQueue(TInputOptions(), TOutputOptions());  // says the table is full
        *stopWalk = true;
        return false;
    }
    if (!alone) s_.formats.SetSourceFile(path);
    TInputOptions input;
    InitInputOptions(input);
    input.FileName = path.toStdString();
    if (ExtensionPart(path).compare(QStringLiteral(".dat"), Qt::CaseInsensitive) == 0) {
        input.FileFormat = "mpeg";
    }
    if (!alone) s_.formats.ApplyInputSettings(input, false);

    std::string probeError;
    if (!s_.converter.ProbeFile(input.FileName, &probeError)) {
        LogFramed(QStringLiteral("***文件打开失败 ") + FromStd(probeError));
        s_.ui.Inform(QStringLiteral("无法识别的音频或视频文件！") + path, kPrompt);
        return false;
    }
    if (alone) s_.formats.ApplyInputSettings(input, true);

    int task = -1;
    CallConverter([&] { task = s_.converter.AddTask(input.FileName, input); });
    if (task < 0) {
        LogFramed(QStringLiteral("***打开文件失败: ") + FromStd(s_.converter.LastError()));
        *stopWalk = true;
        return false;
    }
    if (alone) previewFile_ = path;

    const QString proposed =
        alone ? s_.formats.ProposedOutputFile()
              : JoinPath(outputFolder_, NameWithoutExtension(path) +
                                            ExtensionPart(s_.formats.ProposedOutputFile()));
    const QString outputName = AddTimeOutputName(proposed, namingPolicy_);
    TOutputOptions output;
    InitOutputOptions(output);
    output.FileName = outputName.toStdString();
    s_.formats.ApplyOutputSettings(output, alone);

    bool outputSet = false;
    CallConverter([&] { outputSet = s_.converter.SetOutputFile(task, output.FileName, output); });
    if (!outputSet) {
        const QString error = FromStd(s_.converter.LastError());
        CallConverter([&] { s_.converter.RemoveTask(task); });
        LogFramed(QStringLiteral("***不能进行正常转换: ") + error);
        return false;
    }
    if (!AppendToQueue(input, output)) {
        CallConverter([&] { s_.converter.RemoveTask(task); });
        *stopWalk = true;
        return false;
    }
    LogFramed(QStringLiteral("装入成功."));
    return true;
}

// ---- the batch -----------------------------------------------------------------------

template <typename Fn>
void WorkbenchController::CallConverter(Fn&& fn) {
    ++converterCallDepth_;
    try {
        fn();
    } catch (const std::exception& e) {
        LogFramed(QStringLiteral("***") + QString::fromUtf8(e.what()));
    }
    if (--converterCallDepth_ > 0) return;
    while (!heldBack_.empty()) {
        std::vector<TTerminateInfo> pending;
        pending.swap(heldBack_);
        for (const TTerminateInfo& info : pending) HandleTerminate(info);
    }
}

int WorkbenchController::RowOfTask(int taskIndex) const {
    if (taskIndex < 0 || taskIndex >= static_cast<int>(taskRows_.size())) return -1;
    const int row = taskRows_[taskIndex];
    return row < RowCount() ? row : -1;
}

bool WorkbenchController::BuildTasks() {
    ++link_->generation;  // events of an earlier batch are stale from here on
    QDir().mkpath(outputFolder_);
    bool cleared = false;
    CallConverter([&] {
        s_.converter.ClearTasks();
        cleared = true;
    });
    if (!cleared) return false;

    taskRows_.clear();
    rowFailed_.assign(rows_.size(), false);
    doneByBatchEnd_.clear();
    QStringList skipped;
    int notStarted = 0;
    for (int slot = 0; slot < TaskSlotTable::kSlotCount; ++slot) {
        if (slots_.State(slot) != SlotState::Full) continue;
        ClearLog();
        const TaskSlot& record = slots_.Slot(slot);
        int task = -1;
        CallConverter([&] { task = s_.converter.AddTask(record.input.FileName, record.input); });
        if (task < 0) {
            // Most often the source was moved or deleted after it was queued:
            // the row is left out of this batch instead of being addressed as
            // a task that does not exist.
            skipped << QStringLiteral("***文件打开失败，本次转换跳过该文件: ") +
                           FromStd(record.input.FileName) + "  " +
                           FromStd(s_.converter.LastError());
            ++notStarted;
            continue;
        }
        TOutputOptions output = record.output;
        const QString name =
            BatchStartOutputName(outputFolder_, FromStd(record.output.FileName), namingPolicy_);
        output.FileName = name.toStdString();
        bool outputSet = false;
        CallConverter(
            [&] { outputSet = s_.converter.SetOutputFile(task, output.FileName, output); });
        if (!outputSet) {
            // The task stays (its indices must match), ends at once with the
            // engine's message and is reported like any failed file.
            skipped << QStringLiteral("***不能进行正常转换: ") + FromStd(s_.converter.LastError());
        }
        if (static_cast<int>(taskRows_.size()) <= task) taskRows_.resize(task + 1, -1);
        taskRows_[task] = slot;
    }
    for (const QString& line : skipped) LogFramed(line);
    taskProgress_.assign(taskRows_.size(), 0.0);
    taskReported_.assign(taskRows_.size(), false);
    filesDone_ = filesStopped_ = 0;
    filesFailed_ = notStarted;
    launcherPercent_ = launcherRemaining_ = -1;
    batchNoticePending_ = false;
    if (taskRows_.empty()) {
        s_.ui.Inform(QStringLiteral("没有可以转换的文件：队列中的源文件都无法打开。"), kPrompt);
        return false;
    }
    return true;
}

void WorkbenchController::StartOrResume() {
    if (!commands_.start) return;
    if (paused_) {
        paused_ = false;
        CommandStates c = commands_;
        c.pause = true;
        c.start = false;
        SetCommands(c);
        CallConverter([&] { s_.converter.ResumeTask(); });
        return;
    }
    stopRequested_ = false;
    if (!BuildTasks()) return;
    for (int row = 0; row < RowCount(); ++row) {
        rows_[row].progress = 0;
        rows_[row].status = kStatusReady;
        emit RowChanged(row);
    }
    s_.converter.SetThreadPriority(static_cast<TThreadPriority>(cpuPriority_));
    converting_ = true;
    batchEnded_ = false;
    ViewsConverting();
    ShowBatchProgress();
    const int threads = std::min(static_cast<int>(taskRows_.size()), std::max(1, filesAtOnce_ + 1));
    CallConverter([&] { s_.converter.StartTask(threads); });
}

void WorkbenchController::PauseBatch() {
    if (!commands_.pause) return;
    paused_ = true;
    CommandStates c = commands_;
    c.pause = false;
    c.start = true;
    SetCommands(c);
    CallConverter([&] { s_.converter.PauseTask(); });
    for (int row = 0; row < RowCount(); ++row) {
        if (rows_[row].status == kStatusConverting) SetRowStatus(row, kStatusPaused);
    }
}

void WorkbenchController::StopBatch() {
    if (!commands_.stop) return;
    if (!s_.ui.Confirm(QStringLiteral("您确实要终止目前的转换工作吗？"),
                       QStringLiteral("提示信息"))) {
        return;
    }
    paused_ = false;
    stopRequested_ = true;
    // Nothing may start or pause a batch that is ending: "转换" and "暂停" stay
    // disabled until the batch end arrives.
    CommandStates c = commands_;
    c.stop = false;
    c.start = false;
    c.pause = false;
    SetCommands(c);
    CallConverter([&] { s_.converter.StopTask(true); });
}

void WorkbenchController::HandleProgress(const TProgressInfo& info) {
    const int row = RowOfTask(info.TaskIndex);
    if (row < 0) return;
    QueueRow& r = rows_[row];
    if (info.TotalDuration > 0) {
        const std::int64_t percent = info.CurrentDuration * 100 / info.TotalDuration;
        r.progress = static_cast<int>(std::clamp<std::int64_t>(
            percent, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    }
    r.currentTime = QString::number(info.CurrentDuration / 1000000) + QStringLiteral("   (秒)");
    r.status = kStatusConverting;
    emit RowChanged(row);
    if (info.TotalDuration > 0) {
        taskProgress_[info.TaskIndex] = std::clamp(
            static_cast<double>(info.CurrentDuration) / static_cast<double>(info.TotalDuration),
            0.0, 1.0);
        ShowBatchProgress();
    }
}

void WorkbenchController::HandleTerminate(const TTerminateInfo& info) {
    if (converterCallDepth_ > 0) {
        heldBack_.push_back(info);
        return;
    }
    if (info.TaskIndex < 0) {
        HandleBatchEnd();
    } else {
        HandleTaskEnd(info);
    }
    if (info.Exception) s_.ui.Warn(FromStd(info.ExceptionMsg), kProductName);
}

void WorkbenchController::HandleTaskEnd(const TTerminateInfo& info) {
    const int row = RowOfTask(info.TaskIndex);
    if (row < 0) return;
    if (!taskReported_[info.TaskIndex]) {
        taskReported_[info.TaskIndex] = true;
        taskProgress_[info.TaskIndex] = 1.0;
        if (info.Finished && !info.Exception) {
            ++filesDone_;
        } else if (!info.Exception && stopRequested_) {
            ++filesStopped_;
        } else {
            ++filesFailed_;
        }
        ShowBatchProgress();
        NotifyBatchEndWhenComplete();
    }
    if (info.Finished && !info.Exception) {
        rows_[row].progress = 100;
        rows_[row].status = kStatusDone;
        emit RowChanged(row);
    }
    if (info.Exception) {
        if (row < static_cast<int>(rowFailed_.size())) rowFailed_[row] = true;
        // The batch end may have been handled first and marked this row done.
        for (auto it = doneByBatchEnd_.begin(); it != doneByBatchEnd_.end(); ++it) {
            if (it->first == row) {
                SetRowStatus(row, it->second);
                doneByBatchEnd_.erase(it);
                break;
            }
        }
    }
}

void WorkbenchController::HandleBatchEnd() {
    if (batchEnded_) return;
    batchEnded_ = true;
    converting_ = false;
    paused_ = false;
    ViewsReady();
    if (stopRequested_) {
        for (int row = 0; row < RowCount(); ++row) {
            const QString& status = rows_[row].status;
            if (status == kStatusConverting || status == kStatusPaused) {
                SetRowStatus(row, kStatusStopped);
            }
        }
    } else if (selected_ >= 0 && selected_ < RowCount()) {
        // The selected row counts as done, unless its file failed or was left
        // out of the batch: a failure is never shown as success.
        const bool inBatch =
            std::find(taskRows_.begin(), taskRows_.end(), selected_) != taskRows_.end();
        const bool failed =
            selected_ < static_cast<int>(rowFailed_.size()) && rowFailed_[selected_];
        if (inBatch && !failed && rows_[selected_].status != kStatusDone) {
            doneByBatchEnd_.emplace_back(selected_, rows_[selected_].status);
            SetRowStatus(selected_, kStatusDone);
        }
    }
    CallConverter([&] { s_.converter.ClearTasks(); });
    if (s_.launcher) s_.launcher->HideProgress();
    batchNoticePending_ = true;
    NotifyBatchEndWhenComplete();
    RunCompletionAction();
    emit BatchEnded();
    ScheduleWaitingFiles();
}

void WorkbenchController::ShowBatchProgress() {
    if (!s_.launcher || batchEnded_ || taskProgress_.empty()) return;
    double sum = 0;
    for (double p : taskProgress_) sum += p;
    const double fraction = sum / static_cast<double>(taskProgress_.size());
    const int remaining =
        static_cast<int>(std::count(taskReported_.begin(), taskReported_.end(), false));
    // Docks redraw on every signal: only whole percents and new counts are sent.
    const int percent = static_cast<int>(fraction * 100);
    if (percent == launcherPercent_ && remaining == launcherRemaining_) return;
    launcherPercent_ = percent;
    launcherRemaining_ = remaining;
    s_.launcher->ShowProgress(fraction, remaining);
}

void WorkbenchController::NotifyBatchEndWhenComplete() {
    if (!batchNoticePending_) return;
    if (std::count(taskReported_.begin(), taskReported_.end(), false) > 0) return;
    batchNoticePending_ = false;
    if (!s_.notifier || s_.ui.IsActive()) return;
    QString body =
        QStringLiteral("%1 个文件转换成功，%2 个文件失败").arg(filesDone_).arg(filesFailed_);
    if (filesStopped_ > 0) body += QStringLiteral("，%1 个文件被停止").arg(filesStopped_);
    s_.notifier->Notify(stopRequested_ ? QStringLiteral("转换已停止") : QStringLiteral("转换完毕"),
                        body);
}

void WorkbenchController::RunCompletionAction() {
    if (completionAction_ == caPowerOff) {
        QString error;
        if (!s_.power.PowerOff(&error)) LogFramed(QStringLiteral("***无法关闭计算机: ") + error);
    } else if (completionAction_ == caOpenFolder) {
        OpenOutputFolder();
    }
}

// ---- folders, information, help ------------------------------------------------------

void WorkbenchController::ChooseOutputFolder() {
    if (!commands_.browse) return;
    const QString folder = s_.ui.ChooseFolder(QStringLiteral("选择输出文件存放目录"));
    if (folder.isEmpty()) return;
    SetOutputFolder(folder);
    if (QFileInfo(folder).isDir()) {
        s_.settings.WriteString(QStringLiteral("OutPath"), QStringLiteral("OutPath"), folder);
    }
}

void WorkbenchController::OpenOutputFolder() {
    s_.shell.OpenUrl(QUrl::fromLocalFile(outputFolder_));
}

void WorkbenchController::ShowMediaInformation() {
    if (rows_.empty() || selected_ < 0 || selected_ >= RowCount()) return;
    const QString& file = rows_[selected_].sourceFile;
    if (IsSourceFile(file)) s_.ui.ShowMediaInformation(file);
}

void WorkbenchController::OpenHelp() {
    const QString file = JoinPath(s_.programFolder, kHelpDocument);
    if (!QFileInfo(file).isFile()) {
        s_.ui.Warn(QStringLiteral("找不到帮助文件 %1").arg(file), QStringLiteral("提示"));
        return;
    }
    if (!s_.shell.OpenUrl(QUrl::fromLocalFile(file))) {
        s_.ui.Warn(QStringLiteral("无法打开帮助文件 %1").arg(file), QStringLiteral("提示"));
    }
}

void WorkbenchController::OpenWebsite() {
    s_.shell.OpenUrl(QUrl(kWebsiteUrl));
}

void WorkbenchController::OpenMail() {
    s_.shell.OpenUrl(QUrl(kMailUrl));
}

// ---- closing ----------------------------------------------------------------------------

void WorkbenchController::Close() {
    link_->attached = false;
    if (ExistingLogger() != nullptr) Logger().SetOnLog(nullptr);
    if (s_.preview) s_.preview->ClosePlayer();
    s_.preview = nullptr;
    if (converting_ && s_.launcher) s_.launcher->HideProgress();
    try {
        s_.converter.StopTask(true);
    } catch (const std::exception&) {
        // Closing goes on whatever the component says.
    }
}

}  // namespace zorvex::app
