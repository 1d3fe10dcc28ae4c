#include "app/core/workbench/queue_model.h"

#include "app/core/file_names.h"
#include "app/core/workbench/controller.h"

namespace zorvex::app {

namespace {
constexpr const char* kCaptions[QueueTableModel::kColumnCount] = {
    "序号", "视频源文件", "源格式", "目标格式", "当前时间", "转换进度", "状态",
};
}  // namespace

QueueTableModel::QueueTableModel(WorkbenchController& controller, QObject* parent)
    : QAbstractTableModel(parent), controller_(controller) {
    // Structural changes reach the model after the controller made them, so
    // the view is reset; the window restores the controller's selection.
    const auto reset = [this] {
        beginResetModel();
        endResetModel();
    };
    connect(&controller, &WorkbenchController::RowsReset, this, reset);
    connect(&controller, &WorkbenchController::RowAppended, this, reset);
    connect(&controller, &WorkbenchController::RowRemoved, this, reset);
    connect(&controller, &WorkbenchController::RowChanged, this,
            [this](int row) { emit dataChanged(index(row, 0), index(row, kColumnCount - 1)); });
}

int QueueTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : controller_.RowCount();
}

int QueueTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant QueueTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= controller_.RowCount()) return {};
    const QueueRow& row = controller_.Rows()[index.row()];
    if (role == kProgressRole) return row.progress;
    if (role == Qt::ToolTipRole) {
        if (index.column() == 1) return row.sourceFile;
        if (index.column() == 6 && !row.message.isEmpty()) return row.message;
        return {};
    }
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case 0:
            return index.row() + 1;
        case 1:  // the name says which file; the full path is the tooltip
            return FileNamePart(row.sourceFile);
        case 2:
            return row.sourceFormat;
        case 3:
            return row.targetFormat;
        case 4:
            return row.currentTime;
        case 5:
            return row.progress < 0 ? QString() : QString::number(row.progress) + '%';
        case 6:
            return row.status;
        default:
            return {};
    }
}

QVariant QueueTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumnCount) {
        return {};
    }
    return QString::fromUtf8(kCaptions[section]);
}

QString QueueTableModel::WidestText(int column) {
    switch (column) {
        case 0:
            return QStringLiteral("500");
        case 2:
        case 3:
            return QStringLiteral("RMVB");
        case 4:
            return QStringLiteral("999   (秒)");
        case 5:
            return QStringLiteral("100% 100%");  // room for a readable bar
        case 6:
            return QStringLiteral("转换中...");
        default:
            return {};
    }
}

}  // namespace zorvex::app
