// The format chooser window ("选择转换格式"): four tabs of large-icon lists.
// Its state lives in FormatChooserController; the window shows it and forwards
// the user's clicks.
#pragma once

#include <QDialog>
#include <QListWidget>
#include <functional>

class QPushButton;
class QTabWidget;

namespace zorvex::app {

class FormatChooserController;
class SettingsStore;

// Shows an information message box; replaced in tests.
using MessagePresenter =
    std::function<void(QWidget* parent, const QString& caption, const QString& text)>;
void ShowInformation(QWidget* parent, const QString& caption, const QString& text);

// A large-icon list in which a click on empty space clears the selection, as
// the chooser needs to tell such clicks apart.
class FormatListWidget : public QListWidget {
    Q_OBJECT
public:
    explicit FormatListWidget(QWidget* parent = nullptr);

signals:
    void listClicked();
    void listDoubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool inDoubleClick_ = false;
};

class FormatChooserDialog : public QDialog {
    Q_OBJECT
public:
    // The result of exec() after "下一步".
    static constexpr int kNext = 2;

    FormatChooserDialog(FormatChooserController& controller, const SettingsStore& settings,
                        QWidget* parent = nullptr);

    void SetMessagePresenter(MessagePresenter presenter) { presenter_ = std::move(presenter); }

    QTabWidget* Tabs() const { return tabs_; }
    FormatListWidget* List(int page) const { return lists_[page]; }
    QPushButton* NextButton() const { return next_; }
    QPushButton* CancelButton() const { return cancel_; }

    // "取消", the title-bar close and Escape all count as cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Refresh();
    void OnNext();

    FormatChooserController& controller_;
    const SettingsStore& settings_;
    MessagePresenter presenter_ = ShowInformation;
    QTabWidget* tabs_;
    FormatListWidget* lists_[4];
    QPushButton* next_;
    QPushButton* cancel_;
    bool refreshing_ = false;
};

}  // namespace zorvex::app
