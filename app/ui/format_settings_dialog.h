// The settings window ("选项设置"): the chosen format's ten choice lists, the
// picture filters and the cut range. Its state lives in FormatSettingsController.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <array>

#include "app/core/formats/format_catalogue.h"
#include "app/core/formats/format_settings.h"
#include "app/ui/format_chooser_dialog.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace zorvex::app {

class FormatSettingsController;
class SettingsStore;

// A cut-range time box: typed characters go through the controller's
// digits-only rule; a validator keeps pasted text to digits as well.
class TimeBoxEdit : public QLineEdit {
    Q_OBJECT
public:
    TimeBoxEdit(FormatSettingsController& controller, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    FormatSettingsController& controller_;
};

class FormatSettingsDialog : public QDialog {
    Q_OBJECT
public:
    FormatSettingsDialog(FormatSettingsController& controller, const SettingsStore& settings,
                         QWidget* parent = nullptr);

    void SetMessagePresenter(MessagePresenter presenter) { presenter_ = std::move(presenter); }

    // Fills the window for the format (the controller's Show) before it is
    // shown modally.
    void Prepare(int formatId, TFormatSettings& formatSettings, const std::string& outputFolder);

    QComboBox* Combo(ChoiceKind kind) const { return combos_[Index(kind)]; }
    QCheckBox* FilterBox(int filter) const { return filters_[filter]; }
    QCheckBox* CutBox() const { return cut_; }
    TimeBoxEdit* TimeBoxWidget(TimeBox box) const { return timeBoxes_[box]; }
    QLineEdit* SourceBox() const { return source_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }
    QPushButton* PreviewButton() const { return preview_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Refresh();
    void OnOk();

    FormatSettingsController& controller_;
    const SettingsStore& settings_;
    MessagePresenter presenter_ = ShowInformation;
    QLineEdit* source_;
    std::array<QComboBox*, kChoiceCount> combos_{};
    std::array<QCheckBox*, 3> filters_{};
    QCheckBox* cut_;
    std::array<TimeBoxEdit*, kTimeBoxCount> timeBoxes_{};
    QPushButton* preview_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

}  // namespace zorvex::app
