#include "app/ui/format_chooser_dialog.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <utility>

#include "app/core/formats/chooser_controller.h"
#include "app/core/formats/format_catalogue.h"
#include "app/ui/format_icons.h"
#include "app/ui/skin.h"

namespace zorvex::app {

namespace {
QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

void ShowInformation(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox::information(parent, caption, text);
}

FormatListWidget::FormatListWidget(QWidget* parent) : QListWidget(parent) {
    setViewMode(QListView::IconMode);
    setIconSize(QSize(kFormatIconSize, kFormatIconSize));
    setGridSize(QSize(132, 112));
    setWordWrap(true);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTextElideMode(Qt::ElideNone);
}

void FormatListWidget::mousePressEvent(QMouseEvent* event) {
    if (!indexAt(event->position().toPoint()).isValid()) {
        clearSelection();
        setCurrentIndex(QModelIndex());
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
}

void FormatListWidget::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    // The release that ends a double click is not another click.
    const bool endsDoubleClick = std::exchange(inDoubleClick_, false);
    if (event->button() == Qt::LeftButton && !endsDoubleClick) emit listClicked();
}

void FormatListWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!indexAt(event->position().toPoint()).isValid()) {
        clearSelection();
        setCurrentIndex(QModelIndex());
    } else {
        QListWidget::mouseDoubleClickEvent(event);
    }
    inDoubleClick_ = true;
    if (event->button() == Qt::LeftButton) emit listDoubleClicked();
}

FormatChooserDialog::FormatChooserDialog(FormatChooserController& controller,
                                         const SettingsStore& settings, QWidget* parent)
    : QDialog(parent), controller_(controller), settings_(settings) {
    setWindowTitle(QStringLiteral("选择转换格式"));
    setModal(true);
    resize(720, 480);

    tabs_ = new QTabWidget(this);
    for (const CatalogueTab& tab : CatalogueTabs()) {
        auto* list = new FormatListWidget(tabs_);
        list->setObjectName(QStringLiteral("formatList%1").arg(tab.page));
        for (const FormatEntry* format : tab.entries) {
            auto* item = new QListWidgetItem(FormatIconFor(*format), ToQString(format->caption));
            item->setData(Qt::UserRole, format->id);
            item->setToolTip(ToQString(format->caption));
            item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
            list->addItem(item);
        }
        lists_[tab.page] = list;
        tabs_->addTab(list, ToQString(tab.caption));

        const int page = tab.page;
        connect(list, &QListWidget::itemSelectionChanged, this, [this, page] {
            if (refreshing_) return;
            const QList<QListWidgetItem*> selected = lists_[page]->selectedItems();
            controller_.SelectItem(page, selected.isEmpty() ? -1 : lists_[page]->row(selected[0]));
        });
        connect(list, &FormatListWidget::listClicked, this,
                [this, page] { controller_.ClickList(page); });
        connect(list, &FormatListWidget::listDoubleClicked, this, [this, page] {
            if (controller_.DoubleClickList(page)) done(kNext);
        });
    }
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int page) {
        if (!refreshing_) controller_.SwitchPage(page);
    });

    next_ = new QPushButton(QStringLiteral("下一步"), this);
    cancel_ = new QPushButton(QStringLiteral("取消"), this);
    next_->setDefault(true);
    connect(next_, &QPushButton::clicked, this, &FormatChooserDialog::OnNext);
    connect(cancel_, &QPushButton::clicked, this, &FormatChooserDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(next_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);

    controller_.OnMessage = [this](const std::string& caption, const std::string& text) {
        presenter_(this, QString::fromStdString(caption), QString::fromStdString(text));
    };
    controller_.OnChanged = [this] { Refresh(); };
    Refresh();
}

void FormatChooserDialog::Refresh() {
    refreshing_ = true;
    tabs_->setCurrentIndex(controller_.ActivePage());
    for (int page = 0; page < FormatChooserController::kPageCount; ++page) {
        FormatListWidget* list = lists_[page];
        const int index = controller_.SelectedIndex(page);
        if (index < 0) {
            list->clearSelection();
        } else if (list->currentRow() != index || !list->item(index)->isSelected()) {
            list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        }
    }
    refreshing_ = false;
}

void FormatChooserDialog::OnNext() {
    if (controller_.Next()) done(kNext);
}

void FormatChooserDialog::reject() {
    controller_.Cancel();
    QDialog::reject();
}

void FormatChooserDialog::showEvent(QShowEvent* event) {
    ApplyStoredSkin(this, settings_);
    QDialog::showEvent(event);
    lists_[controller_.ActivePage()]->setFocus();
}

}  // namespace zorvex::app
