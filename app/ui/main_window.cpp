#include "app/ui/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/core/skins/skin_table.h"
#include "app/core/workbench/controller.h"
#include "app/core/workbench/format_dialogs.h"
#include "app/core/workbench/product_info.h"
#include "app/core/workbench/queue_model.h"
#include "app/core/workbench/startup.h"
#include "app/platform/camera_sound.h"
#include "app/platform/settings_store.h"
#include "app/ui/about_dialog.h"
#include "app/ui/conversion_log_window.h"
#include "app/ui/pending_format_dialogs.h"
#include "app/ui/preview_panel.h"
#include "app/ui/progress_delegate.h"
#include "app/ui/skin.h"
#include "app/ui/toolbar_icons.h"
#include "app/ui/video_view.h"

namespace zorvex::app {

// Forwards to the format windows in use; they can be replaced after the
// controller exists.
class MainWindow::FormatRelay : public FormatDialogs {
public:
    FormatDialogs* target = nullptr;
    void ResetPendingSettings() override { target->ResetPendingSettings(); }
    void SetSourceFile(const QString& path) override { target->SetSourceFile(path); }
    bool ChooseFormat(bool offerCutRange, const QString& outputFolder) override {
        return target->ChooseFormat(offerCutRange, outputFolder);
    }
    QString ProposedOutputFile() const override { return target->ProposedOutputFile(); }
    void ApplyInputSettings(TInputOptions& options, bool alone) const override {
        target->ApplyInputSettings(options, alone);
    }
    void ApplyOutputSettings(TOutputOptions& options, bool alone) const override {
        target->ApplyOutputSettings(options, alone);
    }
};

namespace {

QPushButton* MakeButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

}  // namespace

MainWindow::MainWindow(Services services, QWidget* parent)
    : QMainWindow(parent),
      s_(std::move(services)),
      pendingFormats_(std::make_unique<PendingFormatDialogs>(this)),
      formatRelay_(std::make_unique<FormatRelay>()) {
    formatRelay_->target = s_.formats != nullptr ? s_.formats : pendingFormats_.get();
    controller_ = std::make_unique<WorkbenchController>(WorkbenchController::Services{
        s_.converter, s_.settings, s_.shell, s_.power, *this, *formatRelay_, nullptr,
        s_.libraryFolder, s_.defaultOutputFolder, s_.programFolder, s_.notifier, s_.launcher,
        s_.queueStore, s_.background});

    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(kProductName);
    BuildToolBar();

    auto* central = new QWidget(this);
    auto* top = new QHBoxLayout;
    top->setSpacing(6);
    top->addWidget(BuildPreviewGroup());
    top->addWidget(BuildQueueGroup(), 1);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(4);
    layout->addLayout(top, 1);
    layout->addWidget(BuildOptionsGroup());
    setCentralWidget(central);
    statusBar()->setSizeGripEnabled(false);
    setFixedSize(851, 588);

    WorkbenchController& c = *controller_;
    connect(&c, &WorkbenchController::CommandsChanged, this, &MainWindow::ApplyCommands);
    connect(&c, &WorkbenchController::OutputFolderChanged, outputFolderField_, &QLineEdit::setText);
    connect(&c, &WorkbenchController::SelectionChanged, this,
            &MainWindow::SyncSelectionFromController);
    connect(model_, &QAbstractItemModel::modelReset, this,
            &MainWindow::SyncSelectionFromController);
    connect(&c, &WorkbenchController::StatusMessage, this, [this](const QString& text) {
        if (text.isEmpty()) {
            statusBar()->clearMessage();
        } else {
            statusBar()->showMessage(text);
        }
    });
    connect(&c, &WorkbenchController::FieldsChanged, this, [this] {
        namingChoice_->setCurrentIndex(controller_->NamingPolicy());
        completionChoice_->setCurrentIndex(controller_->CompletionAction());
        filesAtOnceChoice_->setCurrentIndex(controller_->FilesAtOnce() - kFilesAtOnceAuto);
        cpuPriorityChoice_->setCurrentIndex(controller_->CpuPriority());
    });

    // Start-up: skin, then the controller's fields from system.ini.
    ApplyStoredSkin(this, s_.settings);
    FitQueueColumns();
    c.Startup();
    c.AttachLogRouter();
    ApplyCommands();

    about_ = new AboutDialog(
        s_.settings, s_.shell, [this] { controller_->OpenHelp(); }, this);
}

MainWindow::~MainWindow() {
    // The playback ends while everything it may call back into still exists.
    if (preview_ != nullptr) preview_->ClosePlayer();
}

void MainWindow::BuildToolBar() {
    auto* bar = addToolBar(QStringLiteral("toolbar"));
    bar->setObjectName(QStringLiteral("toolbar"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(24, 24));
    bar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    const auto action = [&](const QString& text, const QString& name, ToolbarGlyph icon,
                            const QString& hint) {
        auto* a = new QAction(ToolbarIcon(icon), text, this);
        a->setObjectName(name);
        a->setStatusTip(hint);
        return a;
    };
    auto* addMenu = new QMenu(this);
    addMenu->setObjectName(QStringLiteral("addMenu"));
    addOneAction_ = addMenu->addAction(QStringLiteral("添加一个视频文件"));
    addOneAction_->setObjectName(QStringLiteral("addOneAction"));
    addSeveralAction_ = addMenu->addAction(QStringLiteral("添加多个视频文件"));
    addSeveralAction_->setObjectName(QStringLiteral("addSeveralAction"));
    connect(addOneAction_, &QAction::triggered, this, [this] { controller_->AddOneFile(); });
    connect(addSeveralAction_, &QAction::triggered, this,
            [this] { controller_->AddSeveralFiles(); });

    addAction_ = action(QStringLiteral("       添加      "), QStringLiteral("addAction"),
                        ToolbarGlyph::Add, QStringLiteral("添加要转换的视频音频文件"));
    addAction_->setMenu(addMenu);
    removeAction_ = action(QStringLiteral("移除"), QStringLiteral("removeAction"),
                           ToolbarGlyph::Remove, QStringLiteral("从列表中删除选中的文件"));
    clearAction_ = action(QStringLiteral("清空"), QStringLiteral("clearAction"),
                          ToolbarGlyph::Clear, QStringLiteral("清空转换列表"));
    startAction_ = action(QStringLiteral("转换"), QStringLiteral("startAction"),
                          ToolbarGlyph::Start, QStringLiteral("开始转换视频"));
    pauseAction_ = action(QStringLiteral("暂停"), QStringLiteral("pauseAction"),
                          ToolbarGlyph::Pause, QStringLiteral("暂停视频转换"));
    stopAction_ = action(QStringLiteral("停止"), QStringLiteral("stopAction"), ToolbarGlyph::Stop,
                         QStringLiteral("停止视频转换"));
    skinAction_ = action(QStringLiteral("皮肤"), QStringLiteral("skinAction"), ToolbarGlyph::Skin,
                         QStringLiteral("更换软件外观皮肤"));
    helpAction_ = action(QStringLiteral("帮助"), QStringLiteral("helpAction"), ToolbarGlyph::Help,
                         QStringLiteral("软件帮助"));

    connect(removeAction_, &QAction::triggered, this, [this] { controller_->RemoveSelected(); });
    connect(clearAction_, &QAction::triggered, this, [this] { controller_->ClearQueue(); });
    connect(startAction_, &QAction::triggered, this, [this] { controller_->StartOrResume(); });
    connect(pauseAction_, &QAction::triggered, this, [this] { controller_->PauseBatch(); });
    connect(stopAction_, &QAction::triggered, this, [this] { controller_->StopBatch(); });

    skinMenu_ = new QMenu(this);
    skinMenu_->setObjectName(QStringLiteral("skinMenu"));
    auto* skins = new QActionGroup(this);
    const QString current =
        s_.settings.ReadString(QStringLiteral("skin"), QStringLiteral("SetSkin"));
    for (const SkinEntry& skin : SkinTable()) {
        if (skin.menuCaption.isEmpty()) continue;
        QAction* item = skinMenu_->addAction(skin.menuCaption);
        item->setObjectName(skin.settingName);
        item->setCheckable(true);
        item->setChecked(skin.settingName == current);
        skins->addAction(item);
        const QString name = skin.settingName;
        connect(item, &QAction::triggered, this, [this, name] {
            ApplySkin(this, name, s_.programFolder, true);
            FitQueueColumns();
            s_.settings.WriteString(QStringLiteral("skin"), QStringLiteral("SetSkin"), name);
        });
    }
    skinAction_->setMenu(skinMenu_);

    auto* helpMenu = new QMenu(this);
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    QAction* help = helpMenu->addAction(QStringLiteral("帮助系统?"));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    help->setShortcutContext(Qt::ApplicationShortcut);
    addAction(help);  // F1 works without opening the menu
    connect(help, &QAction::triggered, this, [this] { controller_->OpenHelp(); });
    QAction* log = helpMenu->addAction(QStringLiteral("转换日志"));
    log->setObjectName(QStringLiteral("logAction"));
    connect(log, &QAction::triggered, this, &MainWindow::ShowConversionLog);
    connect(helpMenu->addAction(QStringLiteral("网上升级...")), &QAction::triggered, this,
            &MainWindow::ShowUpdateWindow);
    connect(helpMenu->addAction(QStringLiteral("软件网站")), &QAction::triggered, this,
            [this] { controller_->OpenWebsite(); });
    connect(helpMenu->addAction(QStringLiteral("作者联系信箱")), &QAction::triggered, this,
            [this] { controller_->OpenMail(); });
    QAction* about = helpMenu->addAction(QStringLiteral("关于软件"));
    about->setObjectName(QStringLiteral("aboutAction"));
    connect(about, &QAction::triggered, this, &MainWindow::ShowAbout);
    helpAction_->setMenu(helpMenu);

    bar->addAction(addAction_);
    bar->addAction(removeAction_);
    bar->addAction(clearAction_);
    bar->addSeparator();
    bar->addAction(startAction_);
    bar->addAction(pauseAction_);
    bar->addAction(stopAction_);
    bar->addSeparator();
    bar->addAction(skinAction_);
    bar->addAction(helpAction_);
    for (QAction* withMenu : {addAction_, skinAction_, helpAction_}) {
        if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(withMenu))) {
            button->setPopupMode(QToolButton::InstantPopup);
        }
    }
}

QWidget* MainWindow::BuildPreviewGroup() {
    previewGroup_ = new QGroupBox(QStringLiteral("视频预览"), this);
    previewGroup_->setObjectName(QStringLiteral("previewGroup"));
    CameraSound* sound = s_.cameraSound;
    if (sound == nullptr) {
        ownCameraSound_ = std::make_unique<SdlCameraSound>();
        sound = ownCameraSound_.get();
    }
    preview_ = new PreviewPanelWidget(s_.settings, s_.shell, *sound, previewGroup_,
                                      s_.programFolder, s_.defaultSnapshotFolder);
    preview_->Controller().SetLibraryFolder(s_.libraryFolder);
    // The video panel paints itself black whatever the skin says.
    previewPanel_ = preview_->View();
    auto* layout = new QVBoxLayout(previewGroup_);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(preview_);
    layout->addStretch();
    previewGroup_->setFixedWidth(313 + 16 + 2);

    controller_->SetPreviewPanel(preview_);
    connect(preview_, &PreviewPanelWidget::statusTextChanged, this,
            [this](const QString& text) { statusBar()->showMessage(text); });
    connect(preview_, &PreviewPanelWidget::logLine, controller_.get(),
            &WorkbenchController::AppendLog);
    connect(preview_, &PreviewPanelWidget::queueFocusRequested, this,
            [this] { queueView_->setFocus(); });
    return previewGroup_;
}

QWidget* MainWindow::BuildQueueGroup() {
    auto* group = new QGroupBox(QStringLiteral("转换列表"), this);
    group->setObjectName(QStringLiteral("queueGroup"));

    model_ = new QueueTableModel(*controller_, this);
    queueView_ = new QTableView(group);
    queueView_->setObjectName(QStringLiteral("queueView"));
    queueView_->setModel(model_);
    queueView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    queueView_->setSelectionMode(QAbstractItemView::SingleSelection);
    queueView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    queueView_->setShowGrid(true);
    queueView_->setWordWrap(false);
    queueView_->setTextElideMode(Qt::ElideRight);
    queueView_->verticalHeader()->setVisible(false);
    queueView_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    queueView_->verticalHeader()->setDefaultSectionSize(20);
    queueView_->horizontalHeader()->setHighlightSections(false);
    // Every column fits the view, the status column included: the file column
    // takes what the others leave.
    QHeaderView* header = queueView_->horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setSectionResizeMode(QueueTableModel::kFileColumn, QHeaderView::Stretch);
    queueView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FitQueueColumns();
    progressStyle_ = new QProgressBar(queueView_);
    progressStyle_->setObjectName(QStringLiteral("progressStyle"));
    progressStyle_->hide();
    queueView_->setItemDelegateForColumn(QueueTableModel::kProgressColumn,
                                         new ProgressDelegate(progressStyle_, queueView_));
    queueView_->setAcceptDrops(true);
    queueView_->viewport()->setAcceptDrops(true);
    queueView_->viewport()->installEventFilter(this);
    queueView_->setDragDropMode(QAbstractItemView::DropOnly);

    connect(queueView_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (syncingSelection_) return;
        const QModelIndexList rows = queueView_->selectionModel()->selectedRows();
        controller_->SelectRow(rows.isEmpty() ? -1 : rows.first().row());
    });
    connect(queueView_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) controller_->ShowMediaInformation();
    });

    moveUpButton_ = MakeButton(QStringLiteral("上移"), QStringLiteral("moveUpButton"), group);
    moveDownButton_ = MakeButton(QStringLiteral("下移"), QStringLiteral("moveDownButton"), group);
    queueRemoveButton_ =
        MakeButton(QStringLiteral("移除"), QStringLiteral("queueRemoveButton"), group);
    queueClearButton_ =
        MakeButton(QStringLiteral("清空"), QStringLiteral("queueClearButton"), group);
    infoButton_ = MakeButton(QStringLiteral("信息"), QStringLiteral("infoButton"), group);
    connect(moveUpButton_, &QPushButton::clicked, this, [this] { controller_->MoveUp(); });
    connect(moveDownButton_, &QPushButton::clicked, this, [this] { controller_->MoveDown(); });
    connect(queueRemoveButton_, &QPushButton::clicked, this,
            [this] { controller_->RemoveSelected(); });
    connect(queueClearButton_, &QPushButton::clicked, this, [this] { controller_->ClearQueue(); });
    connect(infoButton_, &QPushButton::clicked, this,
            [this] { controller_->ShowMediaInformation(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(moveUpButton_);
    buttons->addWidget(moveDownButton_);
    buttons->addStretch();
    buttons->addWidget(queueRemoveButton_);
    buttons->addWidget(queueClearButton_);
    buttons->addWidget(infoButton_);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(6, 8, 6, 6);
    layout->addWidget(queueView_, 1);
    layout->addLayout(buttons);
    return group;
}

QWidget* MainWindow::BuildOptionsGroup() {
    auto* group = new QGroupBox(QStringLiteral("输出选项"), this);
    group->setObjectName(QStringLiteral("optionsGroup"));
    outputFolderField_ = new QLineEdit(group);
    outputFolderField_->setObjectName(QStringLiteral("outputFolderField"));
    outputFolderField_->setReadOnly(true);
    browseButton_ = MakeButton(QStringLiteral("浏览..."), QStringLiteral("browseButton"), group);
    openButton_ = MakeButton(QStringLiteral("打开"), QStringLiteral("openButton"), group);
    connect(browseButton_, &QPushButton::clicked, this,
            [this] { controller_->ChooseOutputFolder(); });
    connect(openButton_, &QPushButton::clicked, this, [this] { controller_->OpenOutputFolder(); });

    namingChoice_ = new QComboBox(group);
    namingChoice_->setObjectName(QStringLiteral("namingChoice"));
    namingChoice_->addItems(
        {QStringLiteral("自动生成相应的新文件名"), QStringLiteral("直接覆盖该文件")});
    completionChoice_ = new QComboBox(group);
    completionChoice_->setObjectName(QStringLiteral("completionChoice"));
    completionChoice_->addItems({QStringLiteral("无任何操作"), QStringLiteral("直接关闭计算机"),
                                 QStringLiteral("打开文件夹查看转换的文件")});
    connect(namingChoice_, &QComboBox::currentIndexChanged, this,
            [this](int index) { controller_->SetNamingPolicy(index); });
    connect(completionChoice_, &QComboBox::currentIndexChanged, this,
            [this](int index) { controller_->SetCompletionAction(index); });

    filesAtOnceChoice_ = new QComboBox(group);
    filesAtOnceChoice_->setObjectName(QStringLiteral("filesAtOnceChoice"));
    filesAtOnceChoice_->addItem(QStringLiteral("自动"));
    for (int files = 1; files <= 10; ++files) {
        filesAtOnceChoice_->addItem(QString::number(files) + QStringLiteral("个文件"));
    }
    cpuPriorityChoice_ = new QComboBox(group);
    cpuPriorityChoice_->setObjectName(QStringLiteral("cpuPriorityChoice"));
    cpuPriorityChoice_->addItems({QStringLiteral("闲置时进行"), QStringLiteral("CPU占用最低"),
                                  QStringLiteral("CPU占用一般"), QStringLiteral("正常转换")});
    connect(filesAtOnceChoice_, &QComboBox::currentIndexChanged, this,
            [this](int index) { controller_->SetFilesAtOnce(index + kFilesAtOnceAuto); });
    connect(cpuPriorityChoice_, &QComboBox::currentIndexChanged, this,
            [this](int index) { controller_->SetCpuPriority(index); });

    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(8, 8, 8, 6);
    grid->setHorizontalSpacing(6);
    grid->addWidget(new QLabel(QStringLiteral("输出文件存放目录："), group), 0, 0);
    grid->addWidget(outputFolderField_, 0, 1, 1, 3);
    grid->addWidget(browseButton_, 0, 4);
    grid->addWidget(openButton_, 0, 5);
    grid->addWidget(new QLabel(QStringLiteral("如果输出文件存在："), group), 1, 0);
    grid->addWidget(namingChoice_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("全部文件转换完毕后："), group), 1, 2);
    grid->addWidget(completionChoice_, 1, 3, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("同时进行转换的文件个数："), group), 2, 0);
    grid->addWidget(filesAtOnceChoice_, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("CPU占用率修改项目："), group), 2, 2);
    grid->addWidget(cpuPriorityChoice_, 2, 3, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return group;
}

void MainWindow::ApplyCommands() {
    const CommandStates& c = controller_->Commands();
    addAction_->setEnabled(c.add);
    addOneAction_->setEnabled(c.add);
    addSeveralAction_->setEnabled(c.add);
    removeAction_->setEnabled(c.remove);
    clearAction_->setEnabled(c.clear);
    startAction_->setEnabled(c.start);
    pauseAction_->setEnabled(c.pause);
    stopAction_->setEnabled(c.stop);
    queueRemoveButton_->setEnabled(c.remove);
    queueClearButton_->setEnabled(c.clear);
    moveUpButton_->setEnabled(c.moveUp);
    moveDownButton_->setEnabled(c.moveDown);
    browseButton_->setEnabled(c.browse);
    namingChoice_->setEnabled(c.naming);
    // Both take effect when a batch starts, so they are locked while one runs.
    filesAtOnceChoice_->setEnabled(c.naming);
    cpuPriorityChoice_->setEnabled(c.naming);
}

void MainWindow::FitQueueColumns() {
    // A skin may change the fonts: measured with its style applied.
    queueView_->ensurePolished();
    queueView_->horizontalHeader()->ensurePolished();
    const QFontMetrics headerFont = queueView_->horizontalHeader()->fontMetrics();
    const QFontMetrics cellFont = queueView_->fontMetrics();
    // The cells' text margins on both sides, as the style draws them, and air.
    const int margins =
        2 * (queueView_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, queueView_) +
             1) +
        6;
    for (int column = 0; column < QueueTableModel::kColumnCount; ++column) {
        if (column == QueueTableModel::kFileColumn) continue;
        const QString caption =
            model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        const int width = std::max(headerFont.horizontalAdvance(caption) + 8,
                                   cellFont.horizontalAdvance(QueueTableModel::WidestText(column)));
        queueView_->setColumnWidth(column, width + margins);
    }
}

void MainWindow::SyncSelectionFromController() {
    syncingSelection_ = true;
    const int row = controller_->SelectedRow();
    if (row < 0) {
        queueView_->clearSelection();
    } else {
        queueView_->selectRow(row);
        queueView_->setCurrentIndex(model_->index(row, 0));
        queueView_->scrollTo(model_->index(row, 0));
        queueView_->setFocus();
    }
    syncingSelection_ = false;
}

void MainWindow::SetPreviewPanel(PreviewPanel* panel) {
    controller_->SetPreviewPanel(panel);
}

void MainWindow::SetFormatDialogs(FormatDialogs* formats) {
    formatRelay_->target = formats != nullptr ? formats : pendingFormats_.get();
}

void MainWindow::SetUpdateWindowHandler(std::function<void()> show) {
    showUpdateWindow_ = std::move(show);
}

void MainWindow::SetMediaInformationHandler(std::function<void(const QString&)> show) {
    showMediaInformation_ = std::move(show);
}

void MainWindow::SetFirstShowHandler(std::function<void()> handler) {
    firstShow_ = std::move(handler);
}

void MainWindow::ShowConversionLog() {
    if (logWindow_ == nullptr) {
        logWindow_ = new ConversionLogWindow(*controller_, s_.settings, this);
    }
    logWindow_->show();
    logWindow_->raise();
    logWindow_->activateWindow();
}

void MainWindow::ShowAbout() {
    about_->exec();
}

void MainWindow::ShowUpdateWindow() {
    if (showUpdateWindow_) {
        showUpdateWindow_();
        return;
    }
    Inform(QStringLiteral("此版本尚未包含网上升级窗口。"), QStringLiteral("提示"));
}

// ---- WorkbenchUi -------------------------------------------------------------------

void MainWindow::Inform(const QString& text, const QString& caption) {
    QMessageBox::information(this, caption, text);
}

void MainWindow::Warn(const QString& text, const QString& caption) {
    QMessageBox::warning(this, caption, text);
}

bool MainWindow::Confirm(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::NoButton, this);
    QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.exec();
    return box.clickedButton() == ok;
}

QString MainWindow::ChooseFolder(const QString& title) {
    return QFileDialog::getExistingDirectory(this, title, QString(), QFileDialog::ShowDirsOnly);
}

namespace {
QStringList RunOpenDialog(QWidget* parent, const QStringList& filters, bool multiple) {
    QFileDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("openDialog"));
    dialog.setWindowTitle(QStringLiteral("打开"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters(filters);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}
}  // namespace

QString MainWindow::ChooseSourceFile(const QStringList& nameFilters) {
    const QStringList files = RunOpenDialog(this, nameFilters, false);
    return files.isEmpty() ? QString() : files.first();
}

QStringList MainWindow::ChooseSourceFiles(const QStringList& nameFilters) {
    return RunOpenDialog(this, nameFilters, true);
}

void MainWindow::ShowMediaInformation(const QString& file) {
    if (showMediaInformation_) showMediaInformation_(file);
}

bool MainWindow::IsActive() const {
    return QApplication::activeWindow() != nullptr;
}

// ---- events ---------------------------------------------------------------------------

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    if (firstShow_) firstShow_();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // A skin set by any route brings its fonts: the columns are measured again
    // once its style has reached the queue view.
    if (event->type() == QEvent::StyleChange) {
        QMetaObject::invokeMethod(this, &MainWindow::FitQueueColumns, Qt::QueuedConnection);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    controller_->Close();
    event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == queueView_->viewport()) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDropEvent*>(event);
            if (drag->mimeData()->hasUrls()) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            QStringList paths;  // files and folders
            for (const QUrl& url : drop->mimeData()->urls()) {
                if (url.isLocalFile()) paths << url.toLocalFile();
            }
            drop->acceptProposedAction();
            // Out of the drop handler: the add shows modal windows.
            QMetaObject::invokeMethod(
                this, [this, paths] { controller_->OpenFiles(paths); }, Qt::QueuedConnection);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace zorvex::app
