#include "app/ui/media_info_window.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/dialog_support.h"
#include "app/ui/skin.h"
#include "media/exception.h"

namespace zorvex::app {

namespace {

struct Field {
    const char* caption;
    QString MediaInfoTexts::*text;
    int row, column, columnSpan;
    bool wrap;  // stream descriptions may take two lines
};

struct Group {
    const char* title;
    std::initializer_list<Field> fields;
};

const Group kGroups[] = {
    {"文件格式信息",
     {{"文件名：", &MediaInfoTexts::fileName, 0, 0, 3, false},
      {"文件格式：", &MediaInfoTexts::formatName, 1, 0, 1, false},
      {"播放时长：", &MediaInfoTexts::duration, 1, 2, 1, false},
      {"文件大小：", &MediaInfoTexts::fileSize, 2, 0, 1, false},
      {"比特率：", &MediaInfoTexts::bitRate, 2, 2, 1, false},
      {"文件格式全名：", &MediaInfoTexts::formatLongName, 3, 0, 1, false},
      {"文件扩展名：", &MediaInfoTexts::extension, 3, 2, 1, false}}},
    {"视频格式信息",
     {{"视频分辨率：", &MediaInfoTexts::resolution, 0, 0, 1, false},
      {"视频帧率：", &MediaInfoTexts::frameRate, 0, 2, 1, false},
      {"视频比特率：", &MediaInfoTexts::videoBitRate, 1, 0, 1, false},
      {"视频流信息：", &MediaInfoTexts::videoStream, 2, 0, 3, true}}},
    {"音频格式信息",
     {{"音频采样率：", &MediaInfoTexts::sampleRate, 0, 0, 1, false},
      {"音频声道：", &MediaInfoTexts::channels, 0, 2, 1, false},
      {"音频比特率：", &MediaInfoTexts::audioBitRate, 1, 0, 1, false},
      {"音频流信息：", &MediaInfoTexts::audioStream, 2, 0, 3, true}}},
};

}  // namespace

MediaInfoWindow::MediaInfoWindow(const SettingsStore& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setObjectName("MediaInfoWindow");
    setWindowTitle(QStringLiteral("视频信息提示"));
    setFixedSize(650, 455);

    auto* layout = new QVBoxLayout(this);
    for (const Group& group : kGroups) {
        auto* box = new QGroupBox(QString::fromUtf8(group.title), this);
        auto* grid = new QGridLayout(box);
        grid->setHorizontalSpacing(8);
        grid->setColumnStretch(1, 1);
        grid->setColumnStretch(3, 1);
        for (const Field& field : group.fields) {
            const QString caption = QString::fromUtf8(field.caption);
            auto* name = new QLabel(caption, box);
            name->setAlignment(Qt::AlignRight | Qt::AlignTop);
            auto* value = new QLabel(box);
            value->setTextFormat(Qt::PlainText);
            value->setTextInteractionFlags(Qt::TextSelectableByMouse);
            value->setWordWrap(field.wrap);
            value->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            value->setMinimumWidth(0);
            value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            if (field.wrap) value->setMinimumHeight(2 * value->fontMetrics().lineSpacing());
            grid->addWidget(name, field.row, field.column);
            grid->addWidget(value, field.row, field.column + 1, 1, field.columnSpan);
            values_.insert(caption, value);
        }
        layout->addWidget(box);
    }
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName("okButton");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addStretch();
    layout->addLayout(buttons);
}

QString MediaInfoWindow::ShownText(const QString& caption) const {
    const QLabel* label = values_.value(caption);
    return label != nullptr ? label->text() : QString();
}

void MediaInfoWindow::showEvent(QShowEvent* event) {
    ApplyStoredSkin(this, settings_);
    FillLabels();
    CenterOnScreen(this);
    QDialog::showEvent(event);
}

void MediaInfoWindow::FillLabels() {
    for (const Group& group : kGroups) {
        for (const Field& field : group.fields) {
            QLabel* label = values_.value(QString::fromUtf8(field.caption));
            const QString text = OneLine(texts_.*field.text);
            label->setText(text);
            // Long names are cut by the fixed width; the whole text stays at hand.
            label->setToolTip(text);
        }
    }
}

bool ShowMediaInformation(QWidget* parent, TCustomAVProbe& probe, const QString& file,
                          const SettingsStore& settings) {
    if (file.isEmpty() || !QFileInfo(file).isFile()) return false;
    MediaInfoSource source;
    try {
        source = ProbeMediaInfo(probe, file.toStdString());
    } catch (const Exception&) {
        return false;  // the probe's libraries are not loaded
    }
    MediaInfoWindow window(settings, parent);
    window.SetTexts(MakeMediaInfoTexts(source));
    window.exec();
    return true;
}

}  // namespace zorvex::app
