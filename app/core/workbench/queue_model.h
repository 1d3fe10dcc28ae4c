// The queue rows of the controller as a table model for the queue view.
#pragma once

#include <QAbstractTableModel>

namespace zorvex::app {

class WorkbenchController;

class QueueTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 7;
    static constexpr int kProgressColumn = 5;
    // Column 5's integer percentage; -1 for an empty cell.
    static constexpr int kProgressRole = Qt::UserRole + 1;

    explicit QueueTableModel(WorkbenchController& controller, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static constexpr int kFileColumn = 1;
    static constexpr int kStatusColumn = 6;
    // The widest text a column shows, besides its caption (none for the file
    // column, which takes the room the others leave).
    static QString WidestText(int column);

private:
    WorkbenchController& controller_;
};

}  // namespace zorvex::app
