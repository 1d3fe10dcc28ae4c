#include "app/core/workbench/controller.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <set>

#include "app/core/file_names.h"
#include "app/core/workbench/background_work.h"
#include "app/core/workbench/converter_port.h"
#include "app/core/workbench/format_dialogs.h"
#include "app/core/workbench/output_naming.h"
#include "app/core/workbench/product_info.h"
#include "app/core/workbench/saved_queue.h"
#include "app/core/workbench/source_paths.h"
#include "app/core/workbench/startup.h"
#include "app/core/workbench/task_builder.h"
#include "app/core/workbench/workbench_ui.h"
#include "app/platform/desktop_notifier.h"
#include "app/platform/launcher_entry.h"
#include "app/platform/power.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "media/cpu_cores.h"
#include "media/main_thread.h"
#include "media/output_paths.h"

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

// The extension without its dot, upper-cased: the queue's format columns.
QString FormatColumnText(const QString& path) {
    return ExtensionPart(path).mid(1).toUpper();
}

bool IsSourceFile(const QString& path) {
    return QFileInfo(path).isFile();
}

// Holds the queue's saving back over a run of row changes, which are then
// saved once.
class SaveHold {
public:
    SaveHold(int& depth, std::function<void()> atEnd) : depth_(depth), atEnd_(std::move(atEnd)) {
        ++depth_;
    }
    ~SaveHold() {
        if (--depth_ == 0) atEnd_();
    }

private:
    int& depth_;
    std::function<void()> atEnd_;
};

}  // namespace

// An add: the files it opens, in the order they were chosen or given, and
// how far they have been queued.
struct WorkbenchController::AddRun {
    bool alone = false;
    QStringList files;  // up to the first that is not a file
    bool endedEarly = false;
    std::vector<TInputOptions> inputs;
    // Filled by the opens as they finish, in any order.
    std::vector<std::optional<OpenedSource>> opened;
    std::vector<FileStamp> stamps;
    int next = 0;             // the next file to queue
    int shown = -1;           // the count the status bar shows
    bool queueing = false;    // QueueOpened runs (its message boxes let events in)
    bool continuing = false;  // a QueueOpened call is scheduled
    // Read by the opens still waiting to run: the add has ended.
    std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
};

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
    if (addRun_) *addRun_->cancelled = true;
}

void WorkbenchController::Startup() {
    slots_.Reset();
    SetOutputFolder(BootstrapOutputFolder(s_.settings, s_.defaultOutputFolder));
    completionAction_ = caOpenFolder;
    cpuPriority_ = ReadCpuPriority(s_.settings);
    filesAtOnce_ = ReadFilesAtOnce(s_.settings);
    namingPolicy_ = npNewName;
    snapshotType_ = ResolveSnapshotPictureType(s_.settings);
    paused_ = false;
    reordering_ = false;
    CommandStates startup;  // empty, with "上移"/"下移" shown active
    SetCommands(startup);
    emit FieldsChanged();
    // A window that opens files in the background loads the FFmpeg libraries
    // now, before it shows, so that the first add does not load them on the
    // window's thread while the user waits (the add still checks them and
    // reports a failure). On this thread: a library's per-thread data made
    // while it loads must live as long as the process.
    if (s_.background != nullptr && !s_.converter.LibrariesLoaded()) {
        s_.converter.LoadLibraries(s_.libraryFolder.toStdString());
    }
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
    if (index < 0 || index > 3 || index == cpuPriority_) return;
    cpuPriority_ = index;
    WriteCpuPriority(s_.settings, index);
    emit FieldsChanged();
}

void WorkbenchController::SetFilesAtOnce(int index) {
    if (index < kFilesAtOnceAuto || index > 9 || index == filesAtOnce_) return;
    filesAtOnce_ = index;
    WriteFilesAtOnce(s_.settings, index);
    emit FieldsChanged();
}

int WorkbenchController::FilesAtOnceFor(int rows) const {
    // Automatic: each file then runs its codecs on its share of the cores
    // (the converter's automatic thread count).
    if (filesAtOnce_ == kFilesAtOnceAuto) return AutoFilesAtOnce(rows);
    return std::max(1, std::min(rows, filesAtOnce_ + 1));
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
    emit LogCleared();
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
    SaveQueue();
}

void WorkbenchController::SetRowProgress(int row, int progress) {
    if (row < 0 || row >= RowCount()) return;
    rows_[row].progress = progress;
    emit RowChanged(row);
}

void WorkbenchController::SetRowFailed(int row, const QString& message) {
    if (row < 0 || row >= RowCount()) return;
    if (row < static_cast<int>(rowFailed_.size())) rowFailed_[row] = true;
    rows_[row].status = kStatusFailed;
    rows_[row].message = message;
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

bool WorkbenchController::AppendToQueue(const TInputOptions& input, const TOutputOptions& output,
                                        const std::string& outputBase) {
    if (!HasFreeSlot() || slots_.Fill(input, output, outputBase) < 0) {
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
    if (adding_) {
        rowsAppendedInAdd_ = true;  // the commands come back when the add ends
    } else {
        ViewsReady();
    }
    SaveQueue();
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
    SaveQueue();
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
    SaveQueue();
}

void WorkbenchController::MoveUp() {
    if (!commands_.moveUp || selected_ <= 0 || selected_ >= RowCount()) return;
    const int i = selected_;
    reordering_ = true;
    SwapRows(i, i - 1);
    SelectRowInternal(i - 1);
    slots_.Swap(i, i - 1);
    reordering_ = false;
    SaveQueue();
}

void WorkbenchController::MoveDown() {
    if (!commands_.moveDown || selected_ < 0 || selected_ >= RowCount() - 1) return;
    const int i = selected_;
    reordering_ = true;
    SwapRows(i, i + 1);
    SelectRowInternal(i + 1);
    slots_.Swap(i, i + 1);
    reordering_ = false;
    SaveQueue();
}

// ---- adding files -----------------------------------------------------------------

bool WorkbenchController::LibraryCheck() {
    if (s_.converter.LibrariesLoaded()) return true;
    if (s_.converter.LoadLibraries(s_.libraryFolder.toStdString())) return true;
    const QString error = FromStd(s_.converter.LastError());
    LogFramed(error);
    // Without the libraries nothing can be added: say so rather than end silently.
    s_.ui.Warn(QStringLiteral("无法装入 FFmpeg 库，不能添加文件：\n") + error, kPrompt);
    return false;
}

void WorkbenchController::AddOneFile() {
    if (!commands_.add || adding_) return;
    BeginAdd();
    s_.formats.ResetPendingSettings();
    if (!LibraryCheck() || !UsableOutputFolder()) return EndAdd();
    const QString path = s_.ui.ChooseSourceFile(OpenDialogNameFilters());
    if (path.isEmpty() || !IsSourceFile(path)) return EndAdd();
    s_.formats.SetSourceFile(path);
    if (!s_.formats.ChooseFormat(true, outputFolder_)) return EndAdd();
    OpenAndQueue({path}, true);
}

void WorkbenchController::AddSeveralFiles() {
    if (!commands_.add || adding_) return;
    AddFiles({}, true);
}

void WorkbenchController::AddDroppedFiles(const QStringList& files) {
    if (files.isEmpty()) return;
    if (adding_) {
        // Taken up when the add that runs has ended.
        waitingFiles_ += files;
        return;
    }
    if (!commands_.add) return;
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
    BeginAdd();
    s_.formats.ResetPendingSettings();
    // Nothing is queued that could not be written: an output folder that
    // cannot be used is refused before any file is chosen or opened.
    if (!LibraryCheck() || !UsableOutputFolder()) return EndAdd();
    const QStringList files = fromDialog ? s_.ui.ChooseSourceFiles(OpenDialogNameFilters()) : given;
    if (files.isEmpty()) return EndAdd();
    // The settings window shows (and measures) a source: the first one walked.
    s_.formats.SetSourceFile(files.first());
    if (!s_.formats.ChooseFormat(false, outputFolder_)) return EndAdd();
    OpenAndQueue(files, false);
}

void WorkbenchController::BeginAdd() {
    adding_ = true;
    commandsBeforeAdd_ = commands_;
    rowsAppendedInAdd_ = false;
}

void WorkbenchController::EndAdd() {
    if (addRun_) {
        *addRun_->cancelled = true;
        addRun_.reset();
    }
    if (!adding_) return;
    adding_ = false;
    if (addProgressShown_) {
        addProgressShown_ = false;
        emit StatusMessage({});
    }
    if (!closed_) {
        // The commands held during the add come back, with what the new rows allow.
        if (rowsAppendedInAdd_) {
            ViewsReady();
        } else {
            SetCommands(commandsBeforeAdd_);
        }
    }
    if (queueSaveWanted_) SaveQueue();
    ScheduleWaitingFiles();
}

void WorkbenchController::OpenAndQueue(const QStringList& files, bool alone) {
    auto run = std::make_shared<AddRun>();
    run->alone = alone;
    for (const QString& file : files) {
        if (!IsSourceFile(file)) {
            run->endedEarly = true;
            break;
        }
        run->files << file;
    }
    if (run->files.isEmpty()) return EndAdd();
    const int count = static_cast<int>(run->files.size());
    run->opened.resize(count);
    run->stamps.resize(count);
    run->inputs.reserve(count);
    for (const QString& file : run->files) {
        // The recipe's input half reads the settings window: taken here, on
        // this thread, for every file before any open starts.
        s_.formats.SetSourceFile(file);
        TaskRecipe recipe;
        recipe.alone = alone;
        recipe.applyInput = [&](TInputOptions& input) {
            s_.formats.ApplyInputSettings(input, alone);
        };
        run->inputs.push_back(TaskInput(file.toStdString(), recipe));
    }
    addRun_ = run;
    if (s_.background == nullptr) {
        // Without background work (tests), each file opens here.
        for (int i = 0; i < count; ++i) {
            run->stamps[i] = StampOf(run->files[i]);
            run->opened[i] = OpenSource(s_.converter, run->files[i].toStdString(), run->inputs[i]);
        }
        QueueOpened(run);
        return;
    }
    // Nothing but the queue's own progress until the add has ended.
    CommandStates held;
    held.add = held.remove = held.clear = held.start = held.pause = held.stop = false;
    held.browse = held.naming = held.moveUp = held.moveDown = false;
    SetCommands(held);
    ShowAddProgress();
    ConverterPort& converter = s_.converter;
    for (int i = 0; i < count; ++i) {
        auto result = std::make_shared<std::pair<OpenedSource, FileStamp>>();
        const std::string file = run->files[i].toStdString();
        const TInputOptions input = run->inputs[i];
        const QString path = run->files[i];
        auto cancelled = run->cancelled;
        s_.background->Run(
            [&converter, result, file, input, path, cancelled] {
                if (*cancelled) return;
                result->second = StampOf(path);
                result->first = OpenSource(converter, file, input);
            },
            this,
            [this, run, i, result] {
                if (addRun_ != run) return;  // that add has ended
                run->stamps[i] = result->second;
                run->opened[i] = std::move(result->first);
                ScheduleQueueing(run);
            });
    }
}

void WorkbenchController::ShowAddProgress() {
    if (!addRun_ || addRun_->files.size() <= kQuietAddFiles || addRun_->shown == addRun_->next) {
        return;
    }
    addRun_->shown = addRun_->next;
    addProgressShown_ = true;
    emit StatusMessage(
        QStringLiteral("正在添加文件 %1/%2").arg(addRun_->next).arg(addRun_->files.size()));
}

void WorkbenchController::ScheduleQueueing(const std::shared_ptr<AddRun>& run) {
    // The results of a few hundred opens arrive as posted calls, which the
    // event loop delivers in one go: they only store their result, and the
    // queueing runs later in slices, one per turn of the loop, so input,
    // painting and timers get in between.
    if (run->continuing) return;
    run->continuing = true;
    QMetaObject::invokeMethod(
        this,
        [this, run] {
            run->continuing = false;
            if (addRun_ == run) QueueOpened(run);
        },
        Qt::QueuedConnection);
}

void WorkbenchController::QueueOpened(const std::shared_ptr<AddRun>& run) {
    // A message box of an earlier file lets later results in: the loop that
    // showed it takes them up when it goes on.
    if (run->queueing) return;
    run->queueing = true;
    QElapsedTimer slice;
    slice.start();
    const int count = static_cast<int>(run->files.size());
    bool stopWalk = false;
    while (addRun_ == run && run->next < count && run->opened[run->next].has_value()) {
        const int i = run->next++;
        OpenedSource opened = std::move(*run->opened[i]);
        run->opened[i].reset();
        QueueOpenedFile(*run, i, opened, &stopWalk);
        if (stopWalk) {
            run->endedEarly = true;
            break;
        }
        // The window stays responsive however many results are waiting: the
        // rest follow from the event loop.
        if (s_.background != nullptr && slice.elapsed() >= kAddSliceMs) {
            if (run->next < count) ScheduleQueueing(run);
            break;
        }
    }
    run->queueing = false;
    if (addRun_ != run) return;
    if (stopWalk || run->next >= count) {
        if (!run->alone && !run->endedEarly && !rows_.empty()) SelectRowInternal(RowCount() - 1);
        EndAdd();
        return;
    }
    ShowAddProgress();
}

void WorkbenchController::QueueOpenedFile(const AddRun& run, int i, const OpenedSource& opened,
                                          bool* stopWalk) {
    const QString& path = run.files[i];
    if (!HasFreeSlot()) {
        AppendToQueue(TInputOptions(), TOutputOptions());  // says the table is full
        *stopWalk = true;
        return;
    }
    s_.formats.SetSourceFile(path);
    TaskRecipe recipe;
    recipe.alone = run.alone;
    recipe.confirmedOutput = s_.formats.ProposedOutputFile().toStdString();
    recipe.outputFolder = outputFolder_.toStdString();
    const bool alone = run.alone;
    recipe.applyOutput = [&](TOutputOptions& output) {
        s_.formats.ApplyOutputSettings(output, alone);
    };
    recipe.outputName = [&](const std::string& proposed) {
        return namingPolicy_ == npNewName ? UniqueOutputName(proposed) : proposed;
    };
    BuiltTask built;
    built.failure = TaskFailure::NotAdded;  // unless the builder returns (CallConverter logs why)
    CallConverter([&] {
        built = ListOpenedSource(s_.converter, path.toStdString(), run.inputs[i], opened, recipe);
    });
    switch (built.failure) {
        case TaskFailure::None:
            break;
        case TaskFailure::Unreadable:
            LogFramed(QStringLiteral("***文件打开失败 ") + FromStd(built.error));
            // Name the file and say why, so a user adding many files knows
            // which one and what to fix.
            {
                // The engine's reason starts with the file's name, which the box
                // already gives on its own line.
                QString reason = FromStd(built.error);
                if (reason.startsWith(path + QStringLiteral(": ")))
                    reason.remove(0, path.size() + 2);
                s_.ui.Inform(QStringLiteral("无法识别的音频或视频文件！\n%1\n%2")
                                 .arg(QDir::toNativeSeparators(path), reason),
                             kPrompt);
                return;
            }
        case TaskFailure::NotAdded:
            LogFramed(QStringLiteral("***打开文件失败: ") + FromStd(built.error));
            *stopWalk = true;
            return;
        case TaskFailure::NoOutput:
            LogFramed(QStringLiteral("***不能进行正常转换: ") + FromStd(built.error));
            return;
    }
    if (alone) previewFile_ = path;
    if (!AppendToQueue(built.input, built.output, built.outputBase)) {
        CallConverter([&] { s_.converter.RemoveTask(built.index); });
        *stopWalk = true;
        return;
    }
    // The opened task serves the first batch, unless the file changes before.
    slots_.SetPrepared(RowCount() - 1, opened.prepared, run.stamps[i]);
    LogFramed(QStringLiteral("装入成功."));
    if (alone) SelectRowInternal(RowCount() - 1);
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

bool WorkbenchController::UsableOutputFolder() {
    // A folder that does not exist yet is made, as the first start makes the
    // default one.
    const QByteArray path = QFile::encodeName(outputFolder_);
    std::error_code made;
    if (!outputFolder_.isEmpty()) std::filesystem::create_directories(path.constData(), made);
    struct stat st {};
    QString reason;
    if (outputFolder_.isEmpty()) {
        reason = QStringLiteral("没有设置输出文件存放目录。");
    } else if (::stat(path.constData(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        reason = QStringLiteral("同名的文件已经存在，它不是文件夹。");
    } else if (made || !S_ISDIR(st.st_mode)) {
        const int error = made ? made.value() : errno;
        reason =
            QStringLiteral("无法创建该文件夹：") + QString::fromLocal8Bit(std::strerror(error));
    } else if (::access(path.constData(), W_OK | X_OK) != 0) {
        reason = errno == EROFS ? QStringLiteral("该文件夹在只读的文件系统上。")
                                : QStringLiteral("没有在该文件夹中写入文件的权限。");
    } else {
        return true;
    }
    s_.ui.Warn(QStringLiteral("输出文件存放目录不能使用：%1\n%2").arg(outputFolder_, reason),
               kPrompt);
    return false;
}

bool WorkbenchController::BuildTasks() {
    ++link_->generation;  // events of an earlier batch are stale from here on
    bool cleared = false;
    CallConverter([&] {
        s_.converter.ClearTasks();
        cleared = true;
    });
    if (!cleared) return false;

    taskRows_.clear();
    taskStartErrors_.clear();
    rowFailed_.assign(rows_.size(), false);
    QStringList skipped;     // log lines
    QStringList unreadable;  // for the user: each file with its reason
    int notStarted = 0;
    // No two rows of a batch write the same file, and none writes over a
    // source of the batch.
    OutputReservation outputs;
    for (int slot = 0; slot < TaskSlotTable::kSlotCount; ++slot) {
        if (slots_.State(slot) == SlotState::Full)
            outputs.AddSource(slots_.Slot(slot).input.FileName);
    }
    for (int slot = 0; slot < TaskSlotTable::kSlotCount; ++slot) {
        if (slots_.State(slot) != SlotState::Full) continue;
        ClearLog();
        const TaskSlot& record = slots_.Slot(slot);
        int task = -1;
        // The task opened when the file was added serves, unless the file
        // has changed since; a file is opened again for every later batch.
        const PreparedSourcePtr prepared =
            slots_.TakePrepared(slot, StampOf(FromStd(record.input.FileName)));
        if (prepared) CallConverter([&] { task = s_.converter.AddPreparedTask(prepared); });
        bool reused = task >= 0;
        if (!reused) {
            CallConverter(
                [&] { task = s_.converter.AddTask(record.input.FileName, record.input); });
        }
        if (task < 0) {
            // Most often the source was moved or deleted after it was queued:
            // the row is left out of this batch instead of being addressed as
            // a task that does not exist.
            const QString file = FromStd(record.input.FileName);
            const QString error = FromStd(s_.converter.LastError());
            skipped << QStringLiteral("***文件打开失败，本次转换跳过该文件: ") + file + "  " +
                           error;
            unreadable << file + QStringLiteral("：") + error;
            SetRowFailed(slot, error);
            ++notStarted;
            continue;
        }
        TOutputOptions output = record.output;
        const std::string proposed =
            MovedIntoFolder(outputFolder_.toStdString(), slots_.Slot(slot).outputBase);
        output.FileName = outputs.Reserve(proposed, namingPolicy_ == npOverwrite);
        if (namingPolicy_ == npOverwrite && output.FileName != proposed) {
            skipped << QStringLiteral("***输出文件已被本次转换的另一个文件或源文件占用，改存为: ") +
                           FromStd(output.FileName);
        }
        slots_.SetOutputFile(slot, output.FileName);
        bool outputSet = false;
        if (reused) {
            CallConverter(
                [&] { outputSet = s_.converter.RenameOutputFile(task, output.FileName); });
            if (!outputSet) {
                // This output cannot be moved once set up: the file is opened afresh.
                CallConverter([&] {
                    s_.converter.RemoveTask(task);
                    task = s_.converter.AddTask(record.input.FileName, record.input);
                });
                reused = false;
            }
        }
        if (!reused && task >= 0) {
            CallConverter(
                [&] { outputSet = s_.converter.SetOutputFile(task, output.FileName, output); });
        }
        if (static_cast<int>(taskRows_.size()) <= task) {
            taskRows_.resize(task + 1, -1);
            taskStartErrors_.resize(task + 1);
        }
        taskRows_[task] = slot;
        if (!outputSet) {
            // The task stays (its indices must match) and ends at once; its row
            // shows this reason, not the engine's later complaint about a task
            // without an output.
            const QString error = FromStd(s_.converter.LastError());
            skipped << QStringLiteral("***不能进行正常转换: ") + error;
            taskStartErrors_[task] = FromStd(output.FileName) + QStringLiteral("：") + error;
        }
    }
    for (const QString& line : skipped) LogFramed(line);
    taskProgress_.assign(taskRows_.size(), 0.0);
    taskReported_.assign(taskRows_.size(), false);
    filesDone_ = filesStopped_ = 0;
    filesFailed_ = notStarted;
    launcherPercent_ = launcherRemaining_ = -1;
    batchNoticePending_ = false;
    const QString unreadableList = unreadable.join('\n');
    if (taskRows_.empty()) {
        s_.ui.Inform(
            QStringLiteral("没有可以转换的文件：队列中的源文件都无法打开。\n") + unreadableList,
            kPrompt);
        return false;
    }
    // Leaving files out is the user's call, so that no completion action runs
    // on a batch that silently missed some of them.
    if (!unreadable.isEmpty() &&
        !s_.ui.Confirm(QStringLiteral("下列源文件无法打开，本次转换将跳过它们：\n") +
                           unreadableList + QStringLiteral("\n\n是否转换其余的文件？"),
                       kPrompt)) {
        CallConverter([&] { s_.converter.ClearTasks(); });
        taskRows_.clear();
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
    if (!UsableOutputFolder()) return;
    SaveHold hold(queueSaveHold_, [this] {
        if (queueSaveWanted_) SaveQueue();
    });
    // Every row starts afresh; BuildTasks marks the files it cannot start.
    for (int row = 0; row < RowCount(); ++row) {
        rows_[row].progress = 0;
        rows_[row].currentTime = QStringLiteral("0");
        rows_[row].status = kStatusReady;
        rows_[row].message.clear();
        emit RowChanged(row);
    }
    if (!BuildTasks()) return;
    s_.converter.SetThreadPriority(static_cast<TThreadPriority>(cpuPriority_));
    converting_ = true;
    batchEnded_ = false;
    ViewsConverting();
    ShowBatchProgress();
    const int atOnce = FilesAtOnceFor(static_cast<int>(taskRows_.size()));
    CallConverter([&] { s_.converter.StartTask(atOnce); });
}

void WorkbenchController::PauseBatch() {
    if (!commands_.pause) return;
    paused_ = true;
    CommandStates c = commands_;
    c.pause = false;
    c.start = true;
    SetCommands(c);
    CallConverter([&] { s_.converter.PauseTask(); });
    SaveHold hold(queueSaveHold_, [this] {
        if (queueSaveWanted_) SaveQueue();
    });
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
    // The batch may have ended while the question was open: nothing to stop,
    // and its end has already set the commands.
    if (!converting_ || batchEnded_) return;
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
    // A report queued before a pause must not undo the pause's status.
    const QString& status = paused_ ? kStatusPaused : kStatusConverting;
    const bool started = r.status != status && r.status != kStatusFailed;
    if (r.status != kStatusFailed) r.status = status;
    emit RowChanged(row);
    if (started) SaveQueue();
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
        if (info.Exception) s_.ui.Warn(FromStd(info.ExceptionMsg), kProductName);
        return;
    }
    HandleTaskEnd(info);
    if (!info.Exception) return;
    const int row = RowOfTask(info.TaskIndex);
    if (row < 0) {
        s_.ui.Warn(FromStd(info.ExceptionMsg), kProductName);
        return;
    }
    s_.ui.Warn(
        QStringLiteral("文件转换失败：%1\n%2").arg(rows_[row].sourceFile, rows_[row].message),
        kProductName);
}

void WorkbenchController::HandleTaskEnd(const TTerminateInfo& info) {
    const int row = RowOfTask(info.TaskIndex);
    if (row < 0) return;
    if (!info.KeptPartialFile.empty()) {
        // The destination held a file before this run: it is left as it was
        // and what the stopped run wrote is kept beside it.
        LogFramed(QStringLiteral("***转换被终止，原有文件未改动，已转换的部分保存为: ") +
                  FromStd(info.KeptPartialFile));
    }
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
        SaveQueue();
    }
    if (info.Exception) {
        // Also when the batch end was handled first and marked this row done.
        const QString& startError = taskStartErrors_[info.TaskIndex];
        SetRowFailed(row, startError.isEmpty() ? FromStd(info.ExceptionMsg) : startError);
    }
}

void WorkbenchController::HandleBatchEnd() {
    if (batchEnded_) return;
    batchEnded_ = true;
    SaveHold hold(queueSaveHold_, [this] {
        if (queueSaveWanted_) SaveQueue();
    });
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

// ---- the queue kept for a crash ---------------------------------------------------

void WorkbenchController::SaveQueue() {
    if (!s_.queueStore || closed_) return;
    if (adding_ || queueSaveHold_ > 0) {
        queueSaveWanted_ = true;
        return;
    }
    WriteSavedQueue();
}

void WorkbenchController::WriteSavedQueue() {
    if (!s_.queueStore) return;
    queueSaveWanted_ = false;
    SavedQueue queue;
    queue.rows.reserve(rows_.size());
    for (int row = 0; row < RowCount(); ++row) {
        const TaskSlot& slot = slots_.Slot(row);
        queue.rows.push_back(SavedRow{slot.input, slot.output, rows_[row].status, slot.outputBase});
    }
    if (queue.rows.empty()) {
        s_.queueStore->Remove();
    } else if (!s_.queueStore->Save(queue) && !queueSaveFailed_) {
        queueSaveFailed_ = true;  // said once: it would fail again at every change
        LogFramed(QStringLiteral("***无法保存转换列表，程序意外结束时将无法恢复"));
    }
}

void WorkbenchController::OfferSavedQueue() {
    if (!s_.queueStore || closed_) return;
    const std::optional<SavedQueue> saved = s_.queueStore->Leftover();
    // Without the media libraries nothing could be restored: the queue is
    // kept for a start that has them.
    if (!saved || !LibraryCheck()) return;
    for (const QString& problem : saved->problems) LogFramed(QStringLiteral("***") + problem);
    // What cannot be restored is never lost: the file is moved aside before
    // this run saves its own queue.
    const bool setAside = !saved->problems.isEmpty();
    if (saved->rows.empty()) {
        SetSavedQueueAside();
        return;
    }
    {
        // Files that arrive while the question is open are queued but not
        // saved yet: the saved queue is the one offered until it is answered
        // and, when rows of it could not be restored, has been moved aside.
        SaveHold hold(queueSaveHold_, [] {});
        offeringSavedQueue_ = true;
        const bool agreed =
            s_.ui.Confirm(QStringLiteral("上次的转换列表没有完成，是否恢复？"), kPrompt);
        offeringSavedQueue_ = false;
        if (closed_) return;  // stopped while asked: the offered queue stays for the next start
        if (agreed) {
            const int restored = RestoreQueue(*saved);
            if (restored < static_cast<int>(saved->rows.size()) || setAside) SetSavedQueueAside();
        }
    }
    SaveQueue();  // this run's queue replaces the one left behind
}

void WorkbenchController::SetSavedQueueAside() {
    const QString name = s_.queueStore->SetAside();
    if (!name.isEmpty()) {
        LogFramed(QStringLiteral("***上次的转换列表未能全部恢复，原列表已另存为: ") + name);
    }
}

int WorkbenchController::RestoreQueue(const SavedQueue& queue) {
    if (converting_ || adding_ || !LibraryCheck()) return 0;
    SaveHold hold(queueSaveHold_, [this] {
        if (queueSaveWanted_) SaveQueue();
    });
    // A run that was killed left its locked temporary files beside the
    // outputs it was writing; the lock went with it.
    std::set<std::string> folders;
    for (const SavedRow& row : queue.rows) {
        const std::string& output = row.output.FileName;
        const size_t slash = output.rfind('/');
        if (slash != std::string::npos) folders.insert(slash == 0 ? "/" : output.substr(0, slash));
    }
    for (const std::string& folder : folders) {
        for (const std::string& removed : RemoveLeftoverTemporaries(folder)) {
            AppendLog(QStringLiteral("已删除上次转换留下的临时文件: ") + FromStd(removed));
        }
    }
    int restored = 0;
    for (size_t i = 0; i < queue.rows.size(); ++i) {
        const SavedRow& row = queue.rows[i];
        if (!HasFreeSlot()) {
            LogFramed(QStringLiteral("***转换列表已满（最多 %1 个文件），上次的转换列表中有 %2 "
                                     "个文件未恢复")
                          .arg(TaskSlotTable::kSlotCount)
                          .arg(queue.rows.size() - i));
            break;
        }
        int task = -1;
        CallConverter([&] { task = s_.converter.AddTask(row.input.FileName, row.input); });
        if (task < 0) {
            LogFramed(QStringLiteral("***文件打开失败，未恢复该文件: ") +
                      FromStd(row.input.FileName) + "  " + FromStd(s_.converter.LastError()));
            continue;
        }
        bool outputSet = false;
        CallConverter(
            [&] { outputSet = s_.converter.SetOutputFile(task, row.output.FileName, row.output); });
        if (!outputSet) {
            LogFramed(QStringLiteral("***不能进行正常转换: ") + FromStd(s_.converter.LastError()));
            CallConverter([&] { s_.converter.RemoveTask(task); });
            continue;
        }
        if (!AppendToQueue(row.input, row.output, row.outputBase)) {
            CallConverter([&] { s_.converter.RemoveTask(task); });
            break;
        }
        ++restored;
        // A row that was being converted starts again; finished and stopped
        // rows say what they said.
        if (row.status == kStatusDone || row.status == kStatusStopped) {
            SetRowStatus(RowCount() - 1, row.status);
            if (row.status == kStatusDone) SetRowProgress(RowCount() - 1, 100);
        }
    }
    if (restored > 0) SelectRowInternal(RowCount() - 1);
    return restored;
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

void WorkbenchController::Close(CloseKind kind) {
    if (closed_) return;
    // A stopped program keeps what was left to do; the rows' statuses were
    // saved as they changed (a converting row starts again when restored).
    bool keepQueue = kind == CloseKind::Stopped && offeringSavedQueue_;
    for (int row = 0; row < RowCount() && kind == CloseKind::Stopped && !keepQueue; ++row) {
        keepQueue = rows_[row].status != kStatusDone;
    }
    // A save held back by an add or a batch step is written now: nothing is
    // saved once closed.
    if (keepQueue && !offeringSavedQueue_ && (queueSaveWanted_ || adding_)) WriteSavedQueue();
    closed_ = true;
    if (addRun_) {
        *addRun_->cancelled = true;  // opens that have not started are skipped
        addRun_.reset();
    }
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
    if (s_.queueStore && !keepQueue) s_.queueStore->Remove();
}

}  // namespace zorvex::app
