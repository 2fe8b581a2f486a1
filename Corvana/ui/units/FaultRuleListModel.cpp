#include "Corvana/ui/units/FaultRuleListModel.h"

#include "Corvana/model/FaultRuleSummary.h"
#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Localization/FaultTexts.h"

#include <algorithm>

FaultRuleListModel::FaultRuleListModel(ServerModel& model, QObject* parent)
    : QAbstractTableModel(parent)
    , model_(model) {
    connect(&model_, &ServerModel::unitsChanged, this, &FaultRuleListModel::update);
    connect(&model_, &ServerModel::selectedUnitIDChanged, this, &FaultRuleListModel::update);
    connect(&model_, &ServerModel::statisticsChanged, this, &FaultRuleListModel::updateCounts);
    connect(&model_, &ServerModel::stateChanged, this, &FaultRuleListModel::updateCounts);
    update();
}

int FaultRuleListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rules_.size());
}

int FaultRuleListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant FaultRuleListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const auto row = static_cast<std::size_t>(index.row());
    const FaultRule& rule = rules_[row];
    switch (index.column()) {
    case onColumn:
        if (role == Qt::CheckStateRole) {
            return rule.enabled ? Qt::Checked : Qt::Unchecked;
        }
        if (role == Qt::AccessibleTextRole || role == Qt::ToolTipRole) {
            return Ui::text(L10n::Faults::columnOn());
        }
        break;
    case nameColumn:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
            return Ui::text(rule.name);
        }
        break;
    case ruleColumn:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
            return Ui::text(FaultRuleSummary::text(rule, ServerModel::localeDecimalSeparator()));
        }
        break;
    case firedColumn:
        if (row < counts_.size()) {
            if (role == Qt::DisplayRole) {
                return QString::number(counts_[row].fired);
            }
            if (role == Qt::ToolTipRole) {
                return QStringLiteral("%1 / %2").arg(counts_[row].fired).arg(counts_[row].matched);
            }
        }
        if (role == Qt::TextAlignmentRole) {
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        }
        break;
    default:
        break;
    }
    if (role == Qt::ForegroundRole && !rule.enabled && index.column() != onColumn) {
        return Ui::Colour::secondaryText(QPalette());
    }
    return {};
}

bool FaultRuleListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || index.column() != onColumn ||
        role != Qt::CheckStateRole || !unit_) {
        return false;
    }
    const bool on = value.value<Qt::CheckState>() == Qt::Checked;
    model_.setFaultRuleEnabled(*unit_, static_cast<std::size_t>(index.row()), on);
    return true;
}

Qt::ItemFlags FaultRuleListModel::flags(const QModelIndex& index) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == onColumn) {
        result |= Qt::ItemIsUserCheckable;
    }
    return result;
}

QVariant FaultRuleListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        switch (section) {
        case onColumn:
            return Ui::text(L10n::Faults::columnOn());
        case nameColumn:
            return Ui::text(L10n::Faults::columnName());
        case ruleColumn:
            return Ui::text(L10n::Faults::columnRule());
        case firedColumn:
            return Ui::text(L10n::Faults::columnFired());
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole && section == firedColumn) {
        return Ui::text(L10n::Faults::firedHint());
    }
    return {};
}

void FaultRuleListModel::update() {
    const auto selected = model_.selectedUnitID();
    const auto& units = model_.units();
    const auto found =
        selected ? std::find_if(units.begin(), units.end(),
                                [&](const ServerUnit& u) { return u.unitID == *selected; })
                 : units.end();
    const std::optional<std::uint8_t> unit =
        found != units.end() ? std::optional<std::uint8_t>(found->unitID) : std::nullopt;
    std::vector<FaultRule> rules =
        found != units.end() ? found->faultRules : std::vector<FaultRule>();
    if (unit == unit_ && rules == rules_) {
        return;
    }
    // Same unit, same number of rules (a switch, an edit, a move): the rows stay, so the view
    // keeps its selection.
    if (unit == unit_ && rules.size() == rules_.size()) {
        rules_ = std::move(rules);
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount_ - 1));
        updateCounts();
        return;
    }
    beginResetModel();
    unit_ = unit;
    rules_ = std::move(rules);
    counts_.clear();
    endResetModel();
    updateCounts();
}

void FaultRuleListModel::updateCounts() {
    auto counts = unit_ ? model_.faultCounts(*unit_) : std::vector<FaultRule::Counts>();
    if (counts.size() != rules_.size()) {
        counts.clear(); // the store has not taken the new list yet
    }
    if (counts == counts_) {
        return;
    }
    counts_ = std::move(counts);
    if (!rules_.empty()) {
        emit dataChanged(index(0, firedColumn), index(rowCount() - 1, firedColumn));
    }
}
