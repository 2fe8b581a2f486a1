#include "Corvana/ui/table/DatapointTableModel.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/table/SimulationEditor.h"
#include "Corvana/ui/table/ValueCell.h"

#include "Localization/L10n.h"
#include "ModbusCore/ModbusCodes.h"

#include <QFont>
#include <QGuiApplication>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <unordered_set>

namespace {

// Bit for bit, so that NaN equals NaN and a change from 0 to -0 still shows.
bool sameValue(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// The scale as its numeric field writes it: the user's decimal separator, no grouping.
QString scaleText(double scale) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    const double magnitude = std::fabs(scale);
    const bool fixed = magnitude == 0 || (magnitude >= 1e-6 && magnitude < 1e15);
    return locale.toString(scale, fixed ? 'f' : 'g', QLocale::FloatingPointShortest);
}

int indexOf(auto enumeration) {
    return static_cast<int>(enumeration.value);
}

// The span of columns a change of the datapoint shows in, as [first, last]; empty when first >
// last. The value cell depends on the type, scale, format and simulation kind too.
std::pair<int, int> changedColumns(const Datapoint& before, const Datapoint& after,
                                   bool shownChanged) {
    using M = DatapointTableModel;
    int first = M::columnCount_;
    int last = -1;
    const auto mark = [&](int from, int to) {
        first = std::min(first, from);
        last = std::max(last, to);
    };
    if (before.name != after.name) {
        mark(M::nameColumn, M::nameColumn);
    }
    if (before.table != after.table) {
        mark(M::tableColumn, M::displayColumn);
    }
    if (before.address != after.address) {
        mark(M::addressColumn, M::addressColumn);
    }
    if (before.dataType != after.dataType) {
        mark(M::typeColumn, M::displayColumn);
    }
    if (before.wordOrder != after.wordOrder) {
        mark(M::orderColumn, M::orderColumn);
    }
    if (before.scale != after.scale) {
        mark(M::scaleColumn, M::valueColumn);
    }
    if (before.engineeringUnit != after.engineeringUnit) {
        mark(M::unitColumn, M::unitColumn);
    }
    if (before.format != after.format) {
        mark(M::valueColumn, M::displayColumn);
    }
    if (shownChanged) {
        mark(M::valueColumn, M::valueColumn);
    }
    if (before.notes != after.notes) {
        mark(M::descriptionColumn, M::descriptionColumn);
    }
    if (before.simulation.kind != after.simulation.kind) {
        mark(M::valueColumn, M::simulationColumn);
    } else if (before.simulation != after.simulation) {
        mark(M::simulationColumn, M::simulationColumn);
    }
    return {first, last};
}

QIcon drawnWarningTriangle(const QColor& colour) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath triangle;
    triangle.moveTo(16, 3);
    triangle.lineTo(30, 29);
    triangle.lineTo(2, 29);
    triangle.closeSubpath();
    painter.fillPath(triangle, colour);
    painter.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(16, 12), QPointF(16, 20));
    painter.drawPoint(QPointF(16, 25));
    return QIcon(pixmap);
}

} // namespace

DatapointTableModel::DatapointTableModel(ServerModel& model, QObject* parent)
    : QAbstractTableModel(parent)
    , model_(model) {
    for (const Datapoint* point : unitPoints()) {
        rows_.push_back(makeRow(*point));
    }
    connect(&model_, &ServerModel::selectedUnitIDChanged, this, &DatapointTableModel::reset);
    connect(&model_, &ServerModel::datapointsChanged, this,
            &DatapointTableModel::datapointsChanged);
    connect(&model_, &ServerModel::liveValuesChanged, this,
            &DatapointTableModel::liveValuesChanged);
    connect(&model_, &ServerModel::conflictsChanged, this, &DatapointTableModel::conflictsChanged);
}

int DatapointTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DatapointTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

const Datapoint* DatapointTableModel::datapoint(int row) const {
    if (row < 0 || row >= rowCount()) {
        return nullptr;
    }
    return &rows_[static_cast<std::size_t>(row)].point;
}

double DatapointTableModel::shownValue(int row) const {
    if (row < 0 || row >= rowCount()) {
        return 0;
    }
    return rows_[static_cast<std::size_t>(row)].shown;
}

std::optional<int> DatapointTableModel::rowOf(const UUID& id) const {
    const auto found = std::find_if(rows_.begin(), rows_.end(),
                                    [&](const Row& row) { return row.point.id == id; });
    if (found == rows_.end()) {
        return std::nullopt;
    }
    return static_cast<int>(found - rows_.begin());
}

bool DatapointTableModel::isBitValue(const Datapoint& datapoint) {
    return datapoint.table.isBit() || datapoint.dataType == DataType::bool_;
}

QIcon DatapointTableModel::warningIcon() {
    static const QIcon icon = [] {
        const QColor orange = Ui::Colour::orange(QGuiApplication::palette());
        const QIcon themed = Ui::symbol("exclamationmark.triangle.fill");
        if (themed.isNull()) {
            return drawnWarningTriangle(orange);
        }
        if (!themed.name().endsWith(QStringLiteral("-symbolic"))) {
            return themed;
        }
        // Symbolic icons come in the text colour; the mark is orange.
        QPixmap pixmap = themed.pixmap(32, 32);
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), orange);
        painter.end();
        return QIcon(pixmap);
    }();
    return icon;
}

QIcon DatapointTableModel::simulationIcon(Simulation::Kind kind) {
    // Looking icons up in the theme is too slow to repeat for every painted cell.
    static const auto icons = [] {
        std::array<QIcon, 6> all;
        for (const Simulation::Kind k : Simulation::Kind::allCases()) {
            all[static_cast<std::size_t>(k.value)] = Ui::symbol(SimulationEditor::symbolName(k));
        }
        return all;
    }();
    return icons[static_cast<std::size_t>(kind.value)];
}

bool DatapointTableModel::isRow(const QModelIndex& index) const {
    return index.isValid() && index.model() == this && !index.parent().isValid() &&
           index.row() < rowCount() && index.column() < columnCount_;
}

DatapointTableModel::Row DatapointTableModel::makeRow(const Datapoint& point) const {
    return Row{point, model_.displayValue(point), model_.isConflict(point.id)};
}

std::vector<const Datapoint*> DatapointTableModel::unitPoints() const {
    std::vector<const Datapoint*> points;
    const auto unit = model_.selectedUnitID();
    if (!unit) {
        return points;
    }
    for (const Datapoint& point : model_.datapoints()) {
        if (point.unitID == *unit) {
            points.push_back(&point);
        }
    }
    return points;
}

void DatapointTableModel::reset() {
    beginResetModel();
    rows_.clear();
    for (const Datapoint* point : unitPoints()) {
        rows_.push_back(makeRow(*point));
    }
    endResetModel();
}

void DatapointTableModel::datapointsChanged() {
    const std::vector<const Datapoint*> points = unitPoints();
    const bool sameIDs =
        points.size() == rows_.size() && std::equal(points.begin(), points.end(), rows_.begin(),
                                                    [](const Datapoint* point, const Row& row) {
                                                        return point->id == row.point.id;
                                                    });
    if (sameIDs) {
        updateRows(points);
    } else if (!insertAndRemove(points)) {
        reset();
    }
}

void DatapointTableModel::updateRows(const std::vector<const Datapoint*>& points) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        Row& row = rows_[i];
        const Datapoint& point = *points[i];
        if (row.point == point) {
            continue;
        }
        const double shown = model_.displayValue(point);
        const auto [first, last] = changedColumns(row.point, point, !sameValue(shown, row.shown));
        row.point = point;
        row.shown = shown;
        if (first <= last) {
            const int r = static_cast<int>(i);
            emit dataChanged(index(r, first), index(r, last));
        }
    }
}

bool DatapointTableModel::insertAndRemove(const std::vector<const Datapoint*>& points) {
    std::unordered_set<UUID> newIDs;
    newIDs.reserve(points.size());
    for (const Datapoint* point : points) {
        newIDs.insert(point->id);
    }
    std::unordered_set<UUID> oldIDs;
    oldIDs.reserve(rows_.size());
    for (const Row& row : rows_) {
        oldIDs.insert(row.point.id);
    }
    // The rows both lists share must keep their order, else this is a reorder.
    auto kept = points.begin();
    for (const Row& row : rows_) {
        if (!newIDs.contains(row.point.id)) {
            continue;
        }
        kept = std::find_if(kept, points.end(),
                            [&](const Datapoint* point) { return oldIDs.contains(point->id); });
        if (kept == points.end() || (*kept)->id != row.point.id) {
            return false;
        }
        ++kept;
    }

    // Removals back to front, one signal per run of neighbouring rows.
    for (int last = rowCount() - 1; last >= 0;) {
        if (newIDs.contains(rows_[static_cast<std::size_t>(last)].point.id)) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && !newIDs.contains(rows_[static_cast<std::size_t>(first - 1)].point.id)) {
            --first;
        }
        beginRemoveRows({}, first, last);
        rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
        endRemoveRows();
        last = first - 1;
    }

    // Insertions front to back: the rows before position i already match the new list.
    for (std::size_t i = 0; i < points.size();) {
        if (oldIDs.contains(points[i]->id)) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < points.size() && !oldIDs.contains(points[end]->id)) {
            ++end;
        }
        beginInsertRows({}, static_cast<int>(i), static_cast<int>(end) - 1);
        std::vector<Row> inserted;
        inserted.reserve(end - i);
        for (std::size_t k = i; k < end; ++k) {
            inserted.push_back(makeRow(*points[k]));
        }
        rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(i),
                     std::make_move_iterator(inserted.begin()),
                     std::make_move_iterator(inserted.end()));
        endInsertRows();
        i = end;
    }
    updateRows(points);
    return true;
}

void DatapointTableModel::liveValuesChanged() {
    static const QList<int> roles = {Qt::DisplayRole, Qt::EditRole, Qt::CheckStateRole};
    const int count = rowCount();
    int runStart = -1;
    for (int r = 0; r <= count; ++r) {
        bool changed = false;
        if (r < count) {
            Row& row = rows_[static_cast<std::size_t>(r)];
            const double shown = model_.displayValue(row.point);
            changed = !sameValue(shown, row.shown);
            row.shown = shown;
        }
        if (changed && runStart < 0) {
            runStart = r;
        } else if (!changed && runStart >= 0) {
            emit dataChanged(index(runStart, valueColumn), index(r - 1, valueColumn), roles);
            runStart = -1;
        }
    }
}

void DatapointTableModel::conflictsChanged() {
    static const QList<int> roles = {Qt::DecorationRole, Qt::ToolTipRole};
    const int count = rowCount();
    int runStart = -1;
    for (int r = 0; r <= count; ++r) {
        bool changed = false;
        if (r < count) {
            Row& row = rows_[static_cast<std::size_t>(r)];
            const bool conflict = model_.isConflict(row.point.id);
            changed = conflict != row.conflict;
            row.conflict = conflict;
        }
        if (changed && runStart < 0) {
            runStart = r;
        } else if (!changed && runStart >= 0) {
            emit dataChanged(index(runStart, addressColumn), index(r - 1, addressColumn), roles);
            runStart = -1;
        }
    }
}

QVariant DatapointTableModel::data(const QModelIndex& index, int role) const {
    if (!isRow(index)) {
        return {};
    }
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return displayData(row, column);
    case Qt::EditRole:
        return editData(row, column);
    case Qt::ToolTipRole:
        return toolTipData(row, column);
    case Qt::DecorationRole:
        if (column == addressColumn && row.conflict) {
            return warningIcon();
        }
        if (column == simulationColumn) {
            return simulationIcon(row.point.simulation.kind);
        }
        return {};
    case Qt::ForegroundRole:
        if (column == valueColumn) {
            return ValueCell::textColour(row.point, false, QGuiApplication::palette());
        }
        return {};
    case Qt::FontRole:
        if (column == valueColumn) {
            return ValueCell::font();
        }
        return {};
    case Qt::CheckStateRole:
        if (column == valueColumn && isBitValue(row.point)) {
            return row.shown != 0 ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    default:
        return {};
    }
}

QVariant DatapointTableModel::displayData(const Row& row, int column) const {
    const Datapoint& p = row.point;
    switch (column) {
    case nameColumn:
        return Ui::text(p.name);
    case tableColumn:
        return Ui::text(L10n::Table::tableName(indexOf(p.table)));
    case addressColumn:
        return QString::number(p.address);
    case typeColumn:
        return Ui::text(L10n::Table::dataTypeName(indexOf(p.dataType)));
    case orderColumn:
        return Ui::text(p.wordOrder.displayName());
    case scaleColumn:
        return scaleText(p.scale);
    case valueColumn:
        return ValueCell::displayText(p, row.shown);
    case unitColumn:
        return Ui::text(p.engineeringUnit);
    case displayColumn:
        return Ui::text(L10n::Table::formatName(indexOf(p.format)));
    case descriptionColumn:
        return Ui::text(p.notes);
    case simulationColumn:
        // Painted as a symbol; the name is for screen readers.
        return Ui::text(L10n::Simulation::kindName(indexOf(p.simulation.kind)));
    default:
        return {};
    }
}

QVariant DatapointTableModel::editData(const Row& row, int column) const {
    const Datapoint& p = row.point;
    switch (column) {
    case tableColumn:
        return indexOf(p.table);
    case addressColumn:
        return static_cast<int>(p.address);
    case typeColumn:
        return indexOf(p.dataType);
    case orderColumn:
        return indexOf(p.wordOrder);
    case scaleColumn:
        return p.scale;
    case valueColumn:
        return row.shown;
    case displayColumn:
        return indexOf(p.format);
    case simulationColumn:
        return indexOf(p.simulation.kind);
    default:
        return displayData(row, column);
    }
}

QVariant DatapointTableModel::toolTipData(const Row& row, int column) const {
    const Datapoint& p = row.point;
    switch (column) {
    case addressColumn: {
        QString tip = Ui::text(L10n::Table::addressHint(p.modiconAddress()));
        if (row.conflict) {
            tip += QLatin1Char('\n') + Ui::text(L10n::Table::overlapHint());
        }
        return tip;
    }
    case orderColumn:
        return Ui::text(L10n::Table::orderHint());
    case scaleColumn:
        return Ui::text(L10n::Table::scaleHint());
    case valueColumn:
        // A switch needs no typing hint; that it is simulated still matters.
        if (isBitValue(p) && p.simulation.kind == Simulation::Kind::none) {
            return {};
        }
        return ValueCell::toolTip(p, false);
    case simulationColumn:
        return Ui::text(L10n::Simulation::hint());
    default:
        return {};
    }
}

QVariant DatapointTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
    case nameColumn:
        return Ui::text(L10n::Table::name());
    case tableColumn:
        return Ui::text(L10n::Table::table());
    case addressColumn:
        return Ui::text(L10n::Table::address());
    case typeColumn:
        return Ui::text(L10n::Table::type());
    case orderColumn:
        return Ui::text(L10n::Table::order());
    case scaleColumn:
        return Ui::text(L10n::Table::scale());
    case valueColumn:
        return Ui::text(L10n::Table::value());
    case unitColumn:
        return Ui::text(L10n::Table::engineeringUnit());
    case displayColumn:
        return Ui::text(L10n::Table::display());
    case descriptionColumn:
        return Ui::text(L10n::Table::description());
    case simulationColumn:
        return Ui::text(L10n::Table::simulation());
    default:
        return {};
    }
}

Qt::ItemFlags DatapointTableModel::flags(const QModelIndex& index) const {
    if (!isRow(index)) {
        return Qt::NoItemFlags;
    }
    const Datapoint& p = rows_[static_cast<std::size_t>(index.row())].point;
    const Qt::ItemFlags base = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    bool editable = true;
    switch (index.column()) {
    case orderColumn:
        // Only multi-register values have an order; a bit table holds only bits.
        editable = p.dataType.isMultiRegister();
        break;
    case scaleColumn:
        editable = !p.table.isBit();
        break;
    case displayColumn:
        editable = !p.table.isBit() && !p.dataType.isFloat();
        break;
    case valueColumn:
        if (isBitValue(p)) {
            return base | Qt::ItemIsUserCheckable; // a switch, not a text field
        }
        break;
    case simulationColumn:
        editable = false; // edited in its popup
        break;
    default:
        break;
    }
    return editable ? base | Qt::ItemIsEditable : base;
}

std::vector<DatapointTableModel::Choice>
DatapointTableModel::choices(const QModelIndex& index) const {
    std::vector<Choice> entries;
    const Datapoint* p = datapoint(index.row());
    if (!p) {
        return entries;
    }
    switch (index.column()) {
    case tableColumn:
        for (const RegisterTable table : RegisterTable::allCases()) {
            entries.push_back({Ui::text(L10n::Table::tableName(indexOf(table))), indexOf(table)});
        }
        break;
    case typeColumn:
        for (const DataType type : DataType::choices(p->table)) {
            entries.push_back({Ui::text(L10n::Table::dataTypeName(indexOf(type))), indexOf(type)});
        }
        break;
    case orderColumn:
        for (const WordOrder order : WordOrder::allCases()) {
            entries.push_back({Ui::text(order.displayName()), indexOf(order)});
        }
        break;
    case displayColumn:
        for (const DisplayFormat format : DisplayFormat::allCases()) {
            entries.push_back(
                {Ui::text(L10n::Table::formatName(indexOf(format))), indexOf(format)});
        }
        break;
    default:
        break;
    }
    return entries;
}

bool DatapointTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!isRow(index)) {
        return false;
    }
    const int column = index.column();
    const Qt::ItemFlags itemFlags = flags(index);
    // Copied: the model's answer rewrites the rows before this returns.
    Datapoint point = rows_[static_cast<std::size_t>(index.row())].point;

    if (column == valueColumn && role == Qt::CheckStateRole &&
        (itemFlags & Qt::ItemIsUserCheckable)) {
        const bool on = value.toInt() == Qt::Checked;
        model_.setValue(point.id, on ? 1.0 : 0.0);
        return true;
    }
    if (role != Qt::EditRole || !(itemFlags & Qt::ItemIsEditable)) {
        return false;
    }
    bool ok = false;
    const int number = value.toInt(&ok);
    const auto inChoices = [&] {
        const auto entries = choices(index);
        return ok && std::any_of(entries.begin(), entries.end(),
                                 [&](const Choice& c) { return c.value == number; });
    };
    switch (column) {
    case nameColumn:
        point.name = value.toString().toStdString();
        break;
    case tableColumn:
        if (!inChoices()) {
            return false;
        }
        if (number == indexOf(point.table)) {
            return true; // changeTable would still turn a bool register into uint16
        }
        // changeTable may change the type as well.
        model_.setTable(point.id, RegisterTable::allCases()[static_cast<std::size_t>(number)]);
        return true;
    case addressColumn:
        if (!ok || number < 0 || number > Modbus::maxAddress) {
            return false;
        }
        point.address = static_cast<std::uint16_t>(number);
        break;
    case typeColumn:
        if (!inChoices()) {
            return false;
        }
        point.dataType = DataType::allCases()[static_cast<std::size_t>(number)];
        break;
    case orderColumn:
        if (!inChoices()) {
            return false;
        }
        point.wordOrder = WordOrder::allCases()[static_cast<std::size_t>(number)];
        break;
    case scaleColumn: {
        const double scale = value.toDouble(&ok);
        if (!ok || !std::isfinite(scale)) {
            return false;
        }
        point.scale = scale;
        break;
    }
    case valueColumn: {
        const double v = value.toDouble(&ok);
        if (!ok) {
            return false;
        }
        model_.setValue(point.id, v);
        return true;
    }
    case unitColumn:
        point.engineeringUnit = value.toString().toStdString();
        break;
    case displayColumn:
        if (!inChoices()) {
            return false;
        }
        point.format = DisplayFormat::allCases()[static_cast<std::size_t>(number)];
        break;
    case descriptionColumn:
        point.notes = value.toString().toStdString();
        break;
    default:
        return false;
    }
    model_.updateDatapoint(point);
    return true;
}

void DatapointTableModel::setSimulation(int row, const Simulation& simulation) {
    const Datapoint* current = datapoint(row);
    if (!current) {
        return;
    }
    Datapoint point = *current;
    point.simulation = simulation;
    model_.updateDatapoint(point);
}
