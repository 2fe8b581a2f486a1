#pragma once

#include "ServerCore/FaultRule.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <optional>
#include <vector>

class ServerModel;

// The selected unit's fault rules as table rows: the on/off switch, the name, the one-line
// summary and, while the server runs, how often the rule fired. Switching a rule goes to the
// model as one step of undo.
class FaultRuleListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { onColumn, nameColumn, ruleColumn, firedColumn, columnCount_ };

    explicit FaultRuleListModel(ServerModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The unit whose rules the rows show.
    std::optional<std::uint8_t> unit() const { return unit_; }
    const std::vector<FaultRule>& rules() const { return rules_; }

private:
    void update();
    void updateCounts();

    ServerModel& model_;
    std::optional<std::uint8_t> unit_;
    std::vector<FaultRule> rules_;
    std::vector<FaultRule::Counts> counts_;
};
