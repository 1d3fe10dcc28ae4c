#include "app/ui/progress_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QProgressBar>
#include <QStyleOptionProgressBar>

#include "app/core/workbench/queue_model.h"

namespace zorvex::app {

ProgressDelegate::ProgressDelegate(QProgressBar* styleSource, QObject* parent)
    : QStyledItemDelegate(parent), styleSource_(styleSource) {}

void ProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const int value = index.data(QueueTableModel::kProgressRole).toInt();
    QStyleOptionViewItem cell = option;
    cell.text.clear();
    QStyledItemDelegate::paint(painter, cell, index);  // background and selection
    if (value < 0) return;

    QStyleOptionProgressBar bar;
    bar.initFrom(styleSource_);
    bar.rect = option.rect.adjusted(2, 2, -2, -2);
    bar.minimum = 0;
    bar.maximum = 100;
    // An engine estimate can pass 100: the bar is full, the text tells the truth.
    bar.progress = std::clamp(value, 0, 100);
    bar.text = QString::number(value) + '%';
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    bar.state |= QStyle::State_Horizontal;
    styleSource_->style()->drawControl(QStyle::CE_ProgressBar, &bar, painter, styleSource_);
}

}  // namespace zorvex::app
