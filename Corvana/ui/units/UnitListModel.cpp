#include "Corvana/ui/units/UnitListModel.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Localization/L10n.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <array>
#include <cstddef>

namespace {

std::vector<std::uint8_t> addresses(const auto& rows) {
    std::vector<std::uint8_t> result;
    result.reserve(rows.size());
    for (const auto& row : rows) {
        result.push_back(row.unit.unitID);
    }
    return result;
}

// The position at which `longer` holds one address more than `shorter`, when that is the only
// difference; -1 otherwise.
int singleExtra(const std::vector<std::uint8_t>& longer, const std::vector<std::uint8_t>& shorter) {
    if (longer.size() != shorter.size() + 1) {
        return -1;
    }
    const auto mismatch = std::mismatch(shorter.begin(), shorter.end(), longer.begin());
    const auto at = mismatch.first - shorter.begin();
    return std::equal(mismatch.first, shorter.end(), longer.begin() + at + 1) ? static_cast<int>(at)
                                                                              : -1;
}

} // namespace

UnitListModel::UnitListModel(ServerModel& model, QObject* parent)
    : QAbstractListModel(parent)
    , model_(model)
    , rows_(currentRows()) {
    connect(&model_, &ServerModel::unitsChanged, this, &UnitListModel::update);
    connect(&model_, &ServerModel::datapointsChanged, this, &UnitListModel::update);
    // Listen-only mode comes and goes with requests, which the statistics count.
    connect(&model_, &ServerModel::statisticsChanged, this, &UnitListModel::update);
    connect(&model_, &ServerModel::stateChanged, this, &UnitListModel::update);
}

int UnitListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant UnitListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return Ui::text(L10n::Log::unit(row.unit.unitID));
    case SubtitleRole: {
        const QString count = Ui::text(L10n::Units::datapointCount(row.datapointCount));
        const QString subtitle =
            row.unit.name.empty() ? count : Ui::text(row.unit.name) + QStringLiteral(" · ") + count;
        return row.listenOnly
                   ? Ui::text(L10n::Units::listenOnly()) + QStringLiteral(" · ") + subtitle
                   : subtitle;
    }
    case Qt::DecorationRole:
        return stateSymbol(row.unit);
    case UnitIDRole:
        return int{row.unit.unitID};
    case DisabledRole:
        return !row.unit.enabled;
    default:
        return {};
    }
}

QModelIndex UnitListModel::indexOfUnit(std::uint8_t unitID) const {
    const auto found = std::find_if(rows_.begin(), rows_.end(),
                                    [&](const Row& row) { return row.unit.unitID == unitID; });
    return found == rows_.end() ? QModelIndex{} : index(static_cast<int>(found - rows_.begin()));
}

std::vector<UnitListModel::Row> UnitListModel::currentRows() const {
    // One pass over the datapoints: this runs on every edit of any datapoint.
    std::array<int, 256> counts{};
    for (const Datapoint& point : model_.datapoints()) {
        ++counts[point.unitID];
    }
    std::vector<Row> rows;
    rows.reserve(model_.units().size());
    for (const ServerUnit& unit : model_.units()) {
        rows.push_back({unit, counts[unit.unitID], model_.isListeningOnly(unit.unitID)});
    }
    return rows;
}

void UnitListModel::update() {
    std::vector<Row> fresh = currentRows();
    if (fresh == rows_) {
        return;
    }
    const auto before = addresses(rows_);
    const auto after = addresses(fresh);
    if (before != after) {
        // Adding and removing a unit touch one row; renumbering and new projects reorder.
        if (const int added = singleExtra(after, before); added >= 0) {
            beginInsertRows({}, added, added);
            rows_.insert(rows_.begin() + added, fresh[static_cast<std::size_t>(added)]);
            endInsertRows();
        } else if (const int removed = singleExtra(before, after); removed >= 0) {
            beginRemoveRows({}, removed, removed);
            rows_.erase(rows_.begin() + removed);
            endRemoveRows();
        } else {
            beginResetModel();
            rows_ = std::move(fresh);
            endResetModel();
            return;
        }
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (!(rows_[i] == fresh[i])) {
            rows_[i] = fresh[i];
            const QModelIndex changed = index(static_cast<int>(i));
            emit dataChanged(changed, changed);
        }
    }
}

QIcon UnitListModel::stateSymbol(const ServerUnit& unit) const {
    const QPalette palette = QGuiApplication::palette();
    if (!unit.enabled) {
        return tinted("pause.circle", Ui::Colour::orange(palette));
    }
    switch (unit.fault) {
    case ServerUnit::Fault::noResponse:
        return tinted("speaker.slash", Ui::Colour::orange(palette));
    case ServerUnit::Fault::exception:
        return tinted("exclamationmark.triangle", Ui::Colour::orange(palette));
    case ServerUnit::Fault::badCRC:
        return tinted("waveform.path.badge.minus", Ui::Colour::orange(palette));
    case ServerUnit::Fault::none:
        break;
    }
    return tinted("cpu", Ui::Colour::accent(palette));
}

// Theme icons come in their own colours; the state is told by the tint, so every pixel of the
// symbol takes the colour and keeps its alpha. Without a theme icon a dot in the colour remains.
QIcon UnitListModel::tinted(std::string_view symbolName, const QColor& colour) const {
    const auto key = std::pair{symbolName, colour.rgba()};
    if (const auto cached = symbols_.find(key); cached != symbols_.end()) {
        return cached->second;
    }
    const QIcon source = Ui::symbol(symbolName);
    QIcon icon;
    for (const int size : std::array{16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        if (source.isNull()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            painter.drawEllipse(QRectF(0, 0, size, size)
                                    .adjusted(size / 4.0, size / 4.0, -size / 4.0, -size / 4.0));
        } else {
            source.paint(&painter, QRect(0, 0, size, size));
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(pixmap.rect(), colour);
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    symbols_.emplace(key, icon);
    return icon;
}
