// The main window controller: the conversion queue with its task slot table,
// the batch run on the converter (start, pause, resume, stop), progress and
// status per row, the completion action, the add commands and the conversion
// log. Widgets only show its state and forward clicks.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/core/workbench/task_slots.h"
#include "media/converter_options.h"
#include "media/log.h"

namespace zorvex::app {

class BackgroundWork;
class ConverterPort;
class DesktopNotifier;
class FormatDialogs;
class LauncherEntry;
class PowerControl;
class PreviewPanel;
class QueueStore;
class SettingsStore;
struct OpenedSource;
struct SavedQueue;
class Shell;
class WorkbenchUi;

// Column 6 texts.
inline const QString kStatusReady = QStringLiteral("准备");
inline const QString kStatusConverting = QStringLiteral("转换中...");
inline const QString kStatusPaused = QStringLiteral("暂停");
inline const QString kStatusStopped = QStringLiteral("停止");
inline const QString kStatusDone = QStringLiteral("完成");
// A file that could not be converted; the row's message says why.
inline const QString kStatusFailed = QStringLiteral("失败");

struct QueueRow {
    QString sourceFile;    // column 1
    QString sourceFormat;  // column 2
    QString targetFormat;  // column 3
    QString currentTime;   // column 4
    int progress = -1;     // column 5; -1: empty cell
    QString status;        // column 6
    QString message;       // why the file failed (the status cell's tooltip)
};

// Enabled commands. The queue group's "上移", "下移", "移除", "清空" show the
// same flags as active or inactive; the completion choice and "打开" are
// always enabled.
struct CommandStates {
    bool add = true;
    bool remove = false;
    bool clear = false;
    bool start = false;
    bool pause = false;
    bool stop = false;
    bool browse = true;
    bool naming = true;
    bool moveUp = true;  // shown active at start-up although nothing can move
    bool moveDown = true;
    bool operator==(const CommandStates&) const = default;
};

enum CompletionAction { caNothing = 0, caPowerOff = 1, caOpenFolder = 2 };

class WorkbenchController : public QObject {
    Q_OBJECT
public:
    struct Services {
        ConverterPort& converter;
        SettingsStore& settings;
        Shell& shell;
        PowerControl& power;
        WorkbenchUi& ui;
        FormatDialogs& formats;
        PreviewPanel* preview = nullptr;  // none until the panel exists
        QString libraryFolder;            // "LibAV" in the program's folder
        QString defaultOutputFolder;      // ~/Video_Directory
        QString programFolder;            // its read-only files: skins, help
        // The desktop: a notification when a batch ends unseen, the batch's
        // progress on the launcher entry. None: not shown.
        DesktopNotifier* notifier = nullptr;
        LauncherEntry* launcher = nullptr;
        // Where the queue is kept so that it survives a crash. None: not kept.
        QueueStore* queueStore = nullptr;
        // Opens the files being added. None: they open on the calling thread.
        BackgroundWork* background = nullptr;
    };

    explicit WorkbenchController(Services services, QObject* parent = nullptr);
    ~WorkbenchController() override;

    // Start-up after the window exists (the skin is applied by the window):
    // empty slot table, output folder, defaults, snapshot picture type, flags.
    void Startup();
    // A queue that a run which did not end normally left in the queue store
    // is offered back ("上次的转换列表没有完成，是否恢复？") and restored when the
    // user agrees; either way the store then holds this run's queue.
    void OfferSavedQueue();
    // Appends the saved rows as tasks (rows that were converting or paused
    // return to "准备"; what their killed run left in the output folders is
    // removed). Rows whose source cannot be opened any more are left out and
    // named in the log. Returns the number of rows restored.
    int RestoreQueue(const SavedQueue& queue);
    // The preview panel the queue drives; nullptr for none.
    void SetPreviewPanel(PreviewPanel* panel) { s_.preview = panel; }

    // Queue.
    const std::vector<QueueRow>& Rows() const { return rows_; }
    int RowCount() const { return static_cast<int>(rows_.size()); }
    int SelectedRow() const { return selected_; }
    const TaskSlotTable& Slots() const { return slots_; }
    const CommandStates& Commands() const { return commands_; }

    // Fields.
    const QString& OutputFolder() const { return outputFolder_; }
    void SetOutputFolder(const QString& folder);
    int NamingPolicy() const { return namingPolicy_; }
    void SetNamingPolicy(int index);
    int CompletionAction() const { return completionAction_; }
    void SetCompletionAction(int index);
    // 0 "闲置时进行" to 3 "正常转换"; stored in system.ini.
    int CpuPriority() const { return cpuPriority_; }
    void SetCpuPriority(int index);
    // kFilesAtOnceAuto ("自动") or 0 to 9 for "1个文件" to "10个文件"; stored
    // in system.ini.
    int FilesAtOnce() const { return filesAtOnce_; }
    void SetFilesAtOnce(int index);
    // The files the next batch of `rows` rows converts at once.
    int FilesAtOnceFor(int rows) const;
    bool Paused() const { return paused_; }
    bool StopRequested() const { return stopRequested_; }
    bool Converting() const { return converting_; }
    // An add command runs (its windows, or the opens of its files).
    bool Adding() const { return adding_; }
    bool Reordering() const { return reordering_; }
    const QString& PreviewFile() const { return previewFile_; }
    int& FormatId() { return formatId_; }  // written by the format chooser
    const QString& SnapshotPictureType() const { return snapshotType_; }
    const QStringList& ConversionLog() const { return log_; }

    // Add commands.
    void AddOneFile();
    void AddSeveralFiles();
    // As "添加多个视频文件" with this list in place of the dialog's.
    void AddDroppedFiles(const QStringList& files);
    // Files and folders from the command line, another start or a drop: each
    // folder stands for the media files inside it, and the list is added as
    // "添加多个视频文件" would add it, in the given order. Paths that do not
    // exist are named in a message. While an add or a batch runs, the files
    // wait and are added when it has ended.
    void OpenFiles(const QStringList& paths);
    // Appends a prepared file whose converter task exists; false (with a
    // message) when the slot table has no free slot left. outputBase: the name
    // the output was made from before the naming rule (empty: its own name).
    bool AppendToQueue(const TInputOptions& input, const TOutputOptions& output,
                       const std::string& outputBase = {});

    // Queue commands.
    void RemoveSelected();
    void ClearQueue();
    void MoveUp();
    void MoveDown();
    void StartOrResume();
    void PauseBatch();
    void StopBatch();
    void ChooseOutputFolder();
    void OpenOutputFolder();
    void ShowMediaInformation();
    // A row became selected in the view (-1: a click left none selected).
    void SelectRow(int row);

    // Help menu.
    void OpenHelp();
    void OpenWebsite();
    void OpenMail();

    // Converter and log router events, on the main thread.
    void HandleProgress(const TProgressInfo& info);
    void HandleTerminate(const TTerminateInfo& info);
    void HandleLog(std::uint32_t threadId, TLogLevel level, const QString& message);

    // Routes the log router's messages (delivered on the main thread) into the
    // conversion log.
    void AttachLogRouter();
    // Appends one line to the conversion log (the preview's open failures).
    void AppendLog(const QString& line);

    // The window is closing: detach from the converter, the preview and the
    // log router, then stop whatever still runs and wait for it. A normal end
    // (the user closed the window) removes the saved queue. A stop from outside
    // (a signal, the end of the session) keeps it for the next start when it
    // holds a row that is not done, or when the question whether to restore
    // the queue left before has not been answered.
    enum class CloseKind { Normal, Stopped };
    void Close(CloseKind kind = CloseKind::Normal);

signals:
    void RowsReset();
    void RowAppended(int row);
    void RowRemoved(int row);
    void RowChanged(int row);
    void CommandsChanged();
    // The controller moved the selection (an add, a move, a remove).
    void SelectionChanged(int row);
    void OutputFolderChanged(const QString& folder);
    void FieldsChanged();
    // A line for the status bar (the progress of a long add); empty: none.
    void StatusMessage(const QString& text);
    void LogAppended(const QString& line);
    void LogCleared();
    // The batch-end event has been handled (rows marked, tasks cleared).
    void BatchEnded();

private:
    void AddFiles(const QStringList& files, bool fromDialog);
    void AddWaitingFiles();
    void ScheduleWaitingFiles();
    bool LibraryCheck();
    bool HasFreeSlot();
    struct AddRun;
    void BeginAdd();
    void EndAdd();
    // Opens the files (in the background when there is a BackgroundWork)
    // and queues them in their order as their opens finish.
    void OpenAndQueue(const QStringList& files, bool alone);
    void ScheduleQueueing(const std::shared_ptr<AddRun>& run);
    void QueueOpened(const std::shared_ptr<AddRun>& run);
    void QueueOpenedFile(const AddRun& run, int i, const OpenedSource& opened, bool* stopWalk);
    void ShowAddProgress();
    void LogFramed(const QString& line);
    void ClearLog();

    bool BuildTasks();
    // Writes the queue to the queue store, or notes that it must be written
    // once the add or the run of changes under way has ended.
    void SaveQueue();
    void WriteSavedQueue();  // SaveQueue's write, whatever holds it back
    void SetSavedQueueAside();
    void SetRowStatus(int row, const QString& status);
    void SetRowProgress(int row, int progress);
    void SetRowFailed(int row, const QString& message);
    bool UsableOutputFolder();
    void SelectRowInternal(int row);
    void SwapRows(int a, int b);

    void ViewsEmpty();
    void ViewsReady();
    void ViewsConverting();
    void SetCommands(const CommandStates& states);

    void HandleTaskEnd(const TTerminateInfo& info);
    void HandleBatchEnd();
    void ShowBatchProgress();
    void NotifyBatchEndWhenComplete();
    void RunCompletionAction();
    int RowOfTask(int taskIndex) const;
    // Calls into the converter that may deliver terminations on this thread:
    // those are held back until the call has returned.
    template <typename Fn>
    void CallConverter(Fn&& fn);

    Services s_;
    TaskSlotTable slots_;
    std::vector<QueueRow> rows_;
    int selected_ = -1;
    CommandStates commands_;

    QString outputFolder_;
    int namingPolicy_ = 0;
    int completionAction_ = caOpenFolder;
    int cpuPriority_ = 3;
    int filesAtOnce_ = -1;  // kFilesAtOnceAuto
    bool paused_ = false;
    bool stopRequested_ = false;
    bool converting_ = false;
    bool reordering_ = false;
    QString previewFile_;
    int formatId_ = 500;
    QString snapshotType_ = QStringLiteral("BMP");
    QStringList log_;
    // An add command runs: its modal windows, then the opens of its files on
    // background threads (other requests are taken up when it ends).
    bool adding_ = false;
    std::shared_ptr<AddRun> addRun_;
    CommandStates commandsBeforeAdd_;
    bool rowsAppendedInAdd_ = false;
    bool addProgressShown_ = false;
    // Adds of more files than this show their progress in the status bar.
    static constexpr qsizetype kQuietAddFiles = 3;
    // The longest the queue takes over the window's thread at a time.
    static constexpr qint64 kAddSliceMs = 15;
    QStringList waitingFiles_;  // opened while an add or a batch ran

    // Batch bookkeeping: the row of each task of the running batch, the rows
    // whose task failed, and per task the reason its output was refused at
    // the start (the engine's later message about it would mislead).
    std::vector<int> taskRows_;
    std::vector<bool> rowFailed_;
    std::vector<QString> taskStartErrors_;
    bool batchEnded_ = true;
    // The batch's outcome for the desktop: per task its progress (0 to 1) and
    // whether it has reported its end; files that could not be started count
    // as failed. The notification waits until the batch end and every report
    // have arrived.
    std::vector<double> taskProgress_;
    std::vector<bool> taskReported_;
    int filesDone_ = 0;
    int filesFailed_ = 0;
    int filesStopped_ = 0;
    int launcherPercent_ = -1;
    int launcherRemaining_ = -1;
    bool batchNoticePending_ = false;

    // Saving the queue waits while this is above zero (a run of row changes).
    int queueSaveHold_ = 0;
    bool queueSaveWanted_ = false;
    bool queueSaveFailed_ = false;
    bool closed_ = false;
    bool offeringSavedQueue_ = false;  // the restore question is open

    int converterCallDepth_ = 0;
    std::vector<TTerminateInfo> heldBack_;

    // Shared with the converter's handlers, which may outlive a batch and run
    // on other threads: attached is cleared by Close and the destructor; the
    // generation tells a late event of an earlier batch from a current one.
    struct Link {
        std::atomic<bool> attached{true};
        std::atomic<int> generation{0};
    };
    std::shared_ptr<Link> link_ = std::make_shared<Link>();
};

}  // namespace zorvex::app
