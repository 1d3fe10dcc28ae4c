#include "app/ui/preview_panel.h"

#include <QActionGroup>
#include <QCursor>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/platform/data_folder.h"
#include "app/platform/settings_store.h"
#include "app/ui/preview_icons.h"
#include "app/ui/video_view.h"

namespace zorvex::app {

SeekSlider::SeekSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void SeekSlider::mousePressEvent(QMouseEvent* event) {
    emit pressed();
    if (event->button() == Qt::LeftButton) {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect handle =
            style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        if (!handle.contains(event->position().toPoint())) {
            const int span = width() - handle.width();
            const int x = static_cast<int>(event->position().x()) - handle.width() / 2;
            setValue(QStyle::sliderValueFromPosition(minimum(), maximum(), x, span));
        }
    }
    QSlider::mousePressEvent(event);
}

void SeekSlider::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    emit released();
}

PreviewPanelWidget::PreviewPanelWidget(SettingsStore& settings, Shell& shell, CameraSound& sound,
                                       QWidget* parent, QString programFolder,
                                       QString defaultSnapshotFolder)
    : QWidget(parent) {
    if (programFolder.isEmpty()) programFolder = ProgramDataFolder();
    if (defaultSnapshotFolder.isEmpty()) defaultSnapshotFolder = DefaultSnapshotFolder();
    controller_ = new PreviewController(player_, settings, shell, sound, programFolder,
                                        defaultSnapshotFolder, this);
    setObjectName("previewPanel");

    view_ = new VideoView(this);
    view_->setObjectName("videoPanel");
    view_->setFixedSize(kVideoWidth, kVideoHeight);
    controller_->SetSurface(view_);

    slider_ = new SeekSlider(this);
    slider_->setObjectName("positionSlider");
    slider_->setFixedWidth(kVideoWidth);
    slider_->setRange(0, 10);
    slider_->setTickInterval(5);
    slider_->setTickPosition(QSlider::TicksBelow);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(view_);
    layout->addWidget(slider_);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    layout->addLayout(buttons);

    QToolButton* play = AddButton("playButton", "播放", PreviewIcon(PreviewGlyph::Play));
    QToolButton* pause = AddButton("pauseButton", "暂停", PreviewIcon(PreviewGlyph::Pause));
    QToolButton* stop = AddButton("stopButton", "停止", PreviewIcon(PreviewGlyph::Stop));
    soundButton_ = AddButton("soundButton", "声音/静音", PreviewIcon(PreviewGlyph::Sound));
    QToolButton* snapshot =
        AddButton("snapshotButton", "捕捉快照", PreviewIcon(PreviewGlyph::Snapshot));
    QToolButton* settingsButton = AddButton("snapshotSettingsButton", "快照设置",
                                            PreviewIcon(PreviewGlyph::SnapshotSettings));
    for (QToolButton* b : {play, pause, stop, soundButton_}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(snapshot);
    buttons->addWidget(settingsButton);

    snapshotMenu_ = new QMenu(this);
    snapshotMenu_->setObjectName("snapshotMenu");
    QAction* openFolder = snapshotMenu_->addAction("打开快照目录");
    QAction* chooseFolder = snapshotMenu_->addAction("设置快照目录");
    snapshotMenu_->addSeparator();
    QMenu* types = snapshotMenu_->addMenu("快照保存类型");
    typeGroup_ = new QActionGroup(this);
    typeGroup_->setExclusive(true);
    const char* typeCaptions[] = {"BMP图片", "JPG图片", "GIF图片", "PNG图片"};
    const SnapshotType typeValues[] = {SnapshotType::Bmp, SnapshotType::Jpg, SnapshotType::Gif,
                                       SnapshotType::Png};
    for (int i = 0; i < 4; ++i) {
        typeActions_[i] = types->addAction(typeCaptions[i]);
        typeActions_[i]->setCheckable(true);
        typeGroup_->addAction(typeActions_[i]);
        const SnapshotType type = typeValues[i];
        connect(typeActions_[i], &QAction::triggered, this,
                [this, type] { controller_->SetSnapshotType(type); });
    }
    typeActions_[0]->setChecked(true);
    folderPicker_ = [this] {
        return QFileDialog::getExistingDirectory(this, "选择快照文件存放目录", QString(),
                                                 QFileDialog::ShowDirsOnly);
    };
    connect(openFolder, &QAction::triggered, controller_, &PreviewController::OpenSnapshotFolder);
    connect(chooseFolder, &QAction::triggered, this, [this] {
        const QString folder = folderPicker_();
        if (!folder.isEmpty()) controller_->ChooseSnapshotFolder(folder);
    });

    connect(play, &QToolButton::clicked, controller_, &PreviewController::Play);
    connect(pause, &QToolButton::clicked, controller_, &PreviewController::Pause);
    connect(stop, &QToolButton::clicked, controller_, &PreviewController::Stop);
    connect(soundButton_, &QToolButton::clicked, controller_, &PreviewController::ToggleMute);
    connect(snapshot, &QToolButton::clicked, controller_, &PreviewController::TakeSnapshot);
    connect(settingsButton, &QToolButton::clicked, this, &PreviewPanelWidget::ShowSnapshotMenu);
    connect(slider_, &SeekSlider::pressed, controller_, &PreviewController::SliderPressed);
    connect(slider_, &SeekSlider::released, this,
            [this] { controller_->SliderReleased(slider_->value(), slider_->maximum()); });

    connect(controller_, &PreviewController::sliderReset, this, [this] { slider_->setValue(0); });
    connect(controller_, &PreviewController::fileOpened, this, [this] {
        slider_->setTickInterval(5);
        slider_->setMaximum(slider_->width());
        slider_->setValue(0);
    });
    connect(controller_, &PreviewController::muteChanged, this, [this](bool muted) {
        soundButton_->setIcon(PreviewIcon(muted ? PreviewGlyph::Muted : PreviewGlyph::Sound));
    });
    connect(controller_, &PreviewController::snapshotTypeChanged, this,
            &PreviewPanelWidget::ShowSnapshotType);
    connect(controller_, &PreviewController::panelCleared, view_, &VideoView::Clear);
    connect(controller_, &PreviewController::statusTextChanged, this,
            &PreviewPanelWidget::statusTextChanged);
    connect(controller_, &PreviewController::logLine, this, &PreviewPanelWidget::logLine);
    connect(controller_, &PreviewController::queueFocusRequested, this,
            &PreviewPanelWidget::queueFocusRequested);

    controller_->CurrentSnapshotType();  // start-up: check the stored type's item
}

PreviewPanelWidget::~PreviewPanelWidget() {
    // The playback ends while the video panel it draws into still exists, and
    // the controller goes before the player it refers to.
    player_.Close(true);
    delete controller_;
}

QToolButton* PreviewPanelWidget::AddButton(const QString& name, const QString& hint,
                                           const QIcon& icon) {
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setToolTip(hint);
    button->setIcon(icon);
    button->setIconSize(QSize(24, 24));
    button->setAutoRaise(true);  // the highlighted picture while the pointer is over it
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void PreviewPanelWidget::ShowSnapshotMenu() {
    controller_->CurrentSnapshotType();
    snapshotMenu_->popup(QCursor::pos());
}

void PreviewPanelWidget::ShowSnapshotType(SnapshotType type) {
    typeActions_[static_cast<int>(type)]->setChecked(true);
}

void PreviewPanelWidget::ShowFile(const QString& file) {
    controller_->SelectFile(file);
}

void PreviewPanelWidget::ClosePlayer() {
    controller_->Deselect();
}

void PreviewPanelWidget::RepaintPanel() {
    view_->Clear();
}

}  // namespace zorvex::app
