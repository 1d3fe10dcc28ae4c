// Draws the queue's progress column as progress bars in the window's skin.
#pragma once

#include <QStyledItemDelegate>

class QProgressBar;

namespace zorvex::app {

class ProgressDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // styleSource: a hidden progress bar inside the skinned window whose
    // style-sheet rules the cells are drawn with.
    ProgressDelegate(QProgressBar* styleSource, QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    QProgressBar* styleSource_;
};

}  // namespace zorvex::app
