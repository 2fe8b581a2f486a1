#pragma once

#include "ServerCore/ServerUnit.h"

#include <QAbstractListModel>
#include <QColor>
#include <QIcon>

#include <cstdint>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

class ServerModel;

// The model's units as list rows: "Unit n", the name with the datapoint count, and a symbol for
// the unit's state. Keeps a copy of the rows it has announced so that views see every change as
// the proper insert, remove or dataChanged.
class UnitListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        SubtitleRole = Qt::UserRole + 1, // "Listen only" · name · count, or the count alone
        UnitIDRole,                      // the unit's address as int
        DisabledRole,                    // true for a unit that is switched off
    };

    explicit UnitListModel(ServerModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The row showing that address; an invalid index when there is none.
    QModelIndex indexOfUnit(std::uint8_t unitID) const;

private:
    struct Row {
        ServerUnit unit;
        int datapointCount = 0;
        bool listenOnly = false; // while the server runs

        bool operator==(const Row&) const = default;
    };

    std::vector<Row> currentRows() const;
    void update();
    QIcon stateSymbol(const ServerUnit& unit) const;
    QIcon tinted(std::string_view symbolName, const QColor& colour) const;

    ServerModel& model_;
    std::vector<Row> rows_;
    mutable std::map<std::pair<std::string_view, QRgb>, QIcon> symbols_;
};
