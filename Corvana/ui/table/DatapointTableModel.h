#pragma once

#include "ModbusCore/Datapoint.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <optional>
#include <vector>

class ServerModel;

// The datapoints of the selected unit as table rows, in the model's list order. It keeps a copy
// of every row it has announced, so each change of the model reaches views as the smallest
// signal: a tick touches only the value cells whose shown value moved, an overlap change only
// the address cells that gained or lost the mark, an edit only the cells of that row; adding,
// duplicating and deleting insert and remove rows. Only a new unit or a reordered list resets.
class DatapointTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column : int {
        nameColumn,
        tableColumn,
        addressColumn,
        typeColumn,
        orderColumn,
        scaleColumn,
        valueColumn,
        unitColumn,
        displayColumn,
        descriptionColumn,
        simulationColumn,
        columnCount_
    };

    // One entry of a picker cell: its text and the enumeration's index as the cell's EditRole.
    struct Choice {
        QString text;
        int value;
    };

    explicit DatapointTableModel(ServerModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Every edit goes through the application model; the row follows when it announces it.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The row's datapoint as last announced; nullptr outside the table.
    const Datapoint* datapoint(int row) const;
    // The live value of the row, else the datapoint's own.
    double shownValue(int row) const;
    std::optional<int> rowOf(const UUID& id) const;
    // The entries of the table, type, order and display pickers; empty for other columns.
    std::vector<Choice> choices(const QModelIndex& index) const;
    void setSimulation(int row, const Simulation& simulation);

    // A bit shows its value as a switch rather than a number.
    static bool isBitValue(const Datapoint& datapoint);
    // The orange triangle of overlapping addresses.
    static QIcon warningIcon();
    static QIcon simulationIcon(Simulation::Kind kind);

private:
    struct Row {
        Datapoint point;
        double shown;
        bool conflict;
    };

    // An index of this table inside its rows and columns.
    bool isRow(const QModelIndex& index) const;
    Row makeRow(const Datapoint& point) const;
    std::vector<const Datapoint*> unitPoints() const;
    void reset();
    void datapointsChanged();
    // Same ids in the same order: signal the cells of the rows whose datapoint changed.
    void updateRows(const std::vector<const Datapoint*>& points);
    // Removes and inserts rows when the rows both lists share keep their order; false otherwise.
    bool insertAndRemove(const std::vector<const Datapoint*>& points);
    void liveValuesChanged();
    void conflictsChanged();
    QVariant displayData(const Row& row, int column) const;
    QVariant editData(const Row& row, int column) const;
    QVariant toolTipData(const Row& row, int column) const;

    ServerModel& model_;
    std::vector<Row> rows_;
};
