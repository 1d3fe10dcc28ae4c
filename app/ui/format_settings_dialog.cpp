#include "app/ui/format_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/core/formats/settings_controller.h"
#include "app/ui/skin.h"

namespace zorvex::app {

namespace {
QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

TimeBoxEdit::TimeBoxEdit(FormatSettingsController& controller, QWidget* parent)
    : QLineEdit(parent), controller_(controller) {
    setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    setMaximumWidth(48);
    setAlignment(Qt::AlignCenter);
}

void TimeBoxEdit::keyPressEvent(QKeyEvent* event) {
    // Shortcuts and keys that type nothing (arrows, Delete, Tab) keep their
    // usual meaning; every typed character goes through the digits-only rule.
    const bool shortcut =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    char32_t key = 0;
    if (event->key() == Qt::Key_Backspace) {
        key = 8;
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        key = 13;
    } else if (!shortcut && !event->text().isEmpty() && event->text().at(0).isPrint()) {
        key = event->text().toUcs4().value(0);
    }
    if (key != 0 && !controller_.TimeBoxKey(key)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

FormatSettingsDialog::FormatSettingsDialog(FormatSettingsController& controller,
                                           const SettingsStore& settings, QWidget* parent)
    : QDialog(parent), controller_(controller), settings_(settings) {
    setWindowTitle(QStringLiteral("选项设置"));
    setModal(true);

    auto makeCombo = [this](ChoiceKind kind) {
        auto* combo = new QComboBox(this);
        combo->setEditable(false);
        combo->setMaxVisibleItems(30);
        combo->setMinimumWidth(270);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combos_[Index(kind)] = combo;
        connect(combo, &QComboBox::activated, this,
                [this, kind](int index) { controller_.Select(kind, index); });
        return combo;
    };
    auto label = [this](ChoiceKind kind) { return new QLabel(ToQString(ChoiceLabel(kind)), this); };
    auto addRow = [&](QGridLayout* grid, int row, ChoiceKind kind) {
        grid->addWidget(label(kind), row, 0, Qt::AlignRight);
        grid->addWidget(makeCombo(kind), row, 1);
    };

    // Source.
    source_ = new QLineEdit(this);
    source_->setReadOnly(true);
    auto* sourceRow = new QHBoxLayout;
    sourceRow->addWidget(new QLabel(QStringLiteral("视频源："), this));
    sourceRow->addWidget(source_);

    // Video column: encoder, then its details.
    auto* videoTop = new QGridLayout;
    addRow(videoTop, 0, ChoiceKind::VideoEncoder);
    auto* videoGroup = new QGroupBox(QStringLiteral("视频编码详细设置"), this);
    auto* videoGrid = new QGridLayout(videoGroup);
    addRow(videoGrid, 0, ChoiceKind::VideoBitRate);
    addRow(videoGrid, 1, ChoiceKind::FrameSize);
    addRow(videoGrid, 2, ChoiceKind::FrameRate);
    auto* videoBottom = new QGridLayout;
    addRow(videoBottom, 0, ChoiceKind::Scaling);

    // Audio column.
    auto* audioTop = new QGridLayout;
    addRow(audioTop, 0, ChoiceKind::AudioEncoder);
    auto* audioGroup = new QGroupBox(QStringLiteral("音频编码详细设置"), this);
    auto* audioGrid = new QGridLayout(audioGroup);
    addRow(audioGrid, 0, ChoiceKind::AudioBitRate);
    addRow(audioGrid, 1, ChoiceKind::SampleRate);
    addRow(audioGrid, 2, ChoiceKind::Channels);
    auto* audioBottom = new QGridLayout;
    addRow(audioBottom, 0, ChoiceKind::Volume);

    auto* columns = new QGridLayout;
    columns->addLayout(videoTop, 0, 0);
    columns->addWidget(videoGroup, 1, 0);
    columns->addLayout(videoBottom, 2, 0);
    columns->addLayout(audioTop, 0, 1);
    columns->addWidget(audioGroup, 1, 1);
    columns->addLayout(audioBottom, 2, 1);

    // Picture filters.
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(QStringLiteral("视频滤镜："), this));
    for (int i = 0; i < kFilterCount; ++i) {
        const auto filter = static_cast<PictureFilter>(i);
        filters_[i] = new QCheckBox(ToQString(FilterCaption(filter)), this);
        connect(filters_[i], &QCheckBox::clicked, this,
                [this, filter](bool checked) { controller_.SetFilterChecked(filter, checked); });
        filterRow->addWidget(filters_[i]);
    }
    filterRow->addStretch();

    // Cut range.
    auto* cutGroup = new QGroupBox(QStringLiteral("分割截取视频"), this);
    auto* cutGrid = new QGridLayout(cutGroup);
    const QString units[3] = {QStringLiteral("时"), QStringLiteral("分"), QStringLiteral("秒")};
    for (int line = 0; line < 2; ++line) {
        cutGrid->addWidget(new QLabel(line == 0 ? QStringLiteral("转换起始时间：")
                                                : QStringLiteral("转换停止时间："),
                                      cutGroup),
                           line, 0, Qt::AlignRight);
        for (int part = 0; part < 3; ++part) {
            const auto box = static_cast<TimeBox>(line * 3 + part);
            auto* edit = new TimeBoxEdit(controller_, cutGroup);
            timeBoxes_[box] = edit;
            connect(edit, &QLineEdit::textEdited, this, [this, box](const QString& text) {
                controller_.SetTimeBoxText(box, text.toStdString());
            });
            cutGrid->addWidget(edit, line, 1 + part * 2);
            cutGrid->addWidget(new QLabel(units[part], cutGroup), line, 2 + part * 2);
        }
    }
    cut_ = new QCheckBox(QStringLiteral("允许截取视频"), cutGroup);
    connect(cut_, &QCheckBox::clicked, this,
            [this](bool checked) { controller_.SetCutChecked(checked); });
    preview_ = new QPushButton(QStringLiteral("预览视频"), cutGroup);
    preview_->setAutoDefault(false);
    connect(preview_, &QPushButton::clicked, this, [this] { controller_.PreviewSource(); });
    cutGrid->addWidget(cut_, 0, 8);
    cutGrid->addWidget(preview_, 1, 8);
    cutGrid->setColumnStretch(7, 1);

    // Buttons.
    ok_ = new QPushButton(QStringLiteral("确定"), this);
    cancel_ = new QPushButton(QStringLiteral("取消"), this);
    ok_->setDefault(true);
    cancel_->setAutoDefault(false);
    connect(ok_, &QPushButton::clicked, this, &FormatSettingsDialog::OnOk);
    connect(cancel_, &QPushButton::clicked, this, &FormatSettingsDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sourceRow);
    layout->addLayout(columns);
    layout->addLayout(filterRow);
    layout->addWidget(cutGroup);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    controller_.OnMessage = [this](const std::string& caption, const std::string& text) {
        presenter_(this, QString::fromStdString(caption), QString::fromStdString(text));
    };
    controller_.OnChanged = [this] { Refresh(); };
    Refresh();
}

void FormatSettingsDialog::Prepare(int formatId, TFormatSettings& formatSettings,
                                   const std::string& outputFolder) {
    controller_.Show(formatId, formatSettings, outputFolder);
}

void FormatSettingsDialog::Refresh() {
    source_->setText(QString::fromStdString(controller_.SourceText()));
    for (int i = 0; i < kChoiceCount; ++i) {
        const auto kind = static_cast<ChoiceKind>(i);
        QComboBox* combo = combos_[i];
        const auto& items = controller_.Items(kind);
        bool same = combo->count() == static_cast<int>(items.size());
        for (int row = 0; same && row < combo->count(); ++row) {
            same = combo->itemText(row) == ToQString(items[row]);
        }
        if (!same) {
            QSignalBlocker block(combo);
            combo->clear();
            for (std::string_view item : items) combo->addItem(ToQString(item));
        }
        if (combo->currentIndex() != controller_.Selected(kind)) {
            QSignalBlocker block(combo);
            combo->setCurrentIndex(controller_.Selected(kind));
        }
        combo->setEnabled(controller_.Enabled(kind));
    }
    for (int i = 0; i < kFilterCount; ++i) {
        filters_[i]->setChecked(controller_.FilterChecked(static_cast<PictureFilter>(i)));
        filters_[i]->setEnabled(controller_.FiltersEnabled());
    }
    cut_->setChecked(controller_.CutChecked());
    cut_->setEnabled(controller_.CutEnabled());
    for (int box = 0; box < kTimeBoxCount; ++box) {
        TimeBoxEdit* edit = timeBoxes_[box];
        const QString text =
            QString::fromStdString(controller_.TimeBoxText(static_cast<TimeBox>(box)));
        if (edit->text() != text) edit->setText(text);
        edit->setEnabled(controller_.TimeBoxesEnabled());
    }
}

void FormatSettingsDialog::OnOk() {
    if (controller_.Confirm() == ConfirmResult::Confirmed) accept();
}

void FormatSettingsDialog::showEvent(QShowEvent* event) {
    ApplyStoredSkin(this, settings_);
    QDialog::showEvent(event);
}

}  // namespace zorvex::app
