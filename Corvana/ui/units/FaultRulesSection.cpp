#include "Corvana/ui/units/FaultRulesSection.h"

#include "Corvana/model/FaultRulePresets.h"
#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/units/FaultRuleDialog.h"
#include "Corvana/ui/units/FaultRuleListModel.h"
#include "Localization/FaultTexts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

namespace Faults = L10n::Faults;

constexpr int nameColumnWidth = 220;
// Rows the list shows before it scrolls, so the datapoints keep most of the height.
constexpr int visibleRows = 5;

std::optional<FaultRule> runDialog(const FaultRule& rule, std::uint8_t unit, QWidget* parent) {
    FaultRuleDialog dialog(rule, unit, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.editedRule();
}

QPushButton* button(const std::string& text, const char* name, QWidget* parent) {
    auto* result = new QPushButton(Ui::text(text), parent);
    result->setObjectName(QString::fromLatin1(name));
    return result;
}

} // namespace

FaultRulesSection::FaultRulesSection(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , list_(new FaultRuleListModel(model, this))
    , toggle_(new QToolButton(this))
    , count_(new QLabel(this))
    , add_(button(Faults::add(), "addFaultRuleButton", this))
    , addMenu_(new QMenu(this))
    , body_(new QWidget(this))
    , view_(new QTableView(body_))
    , edit_(button(Faults::edit(), "editFaultRuleButton", body_))
    , duplicate_(button(Faults::duplicate(), "duplicateFaultRuleButton", body_))
    , remove_(button(Faults::remove(), "removeFaultRuleButton", body_))
    , up_(button(Faults::moveUp(), "moveFaultRuleUpButton", body_))
    , down_(button(Faults::moveDown(), "moveFaultRuleDownButton", body_))
    , editor_(runDialog) {
    setObjectName(QStringLiteral("faultRulesSection"));

    toggle_->setObjectName(QStringLiteral("faultRulesToggle"));
    toggle_->setText(Ui::text(Faults::title()));
    toggle_->setCheckable(true);
    toggle_->setAutoRaise(true);
    toggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toggle_->setArrowType(Qt::RightArrow);
    QFont bold = toggle_->font();
    bold.setBold(true);
    toggle_->setFont(bold);
    count_->setObjectName(QStringLiteral("faultRuleCount"));
    QPalette countPalette = count_->palette();
    countPalette.setColor(QPalette::WindowText, Ui::Colour::secondaryText(countPalette));
    count_->setPalette(countPalette);

    add_->setToolTip(Ui::text(Faults::addHint()));
    addMenu_->setObjectName(QStringLiteral("addFaultRuleMenu"));
    addMenu_->setToolTipsVisible(true);
    QAction* empty = addMenu_->addAction(Ui::text(Faults::emptyRule()));
    empty->setObjectName(QStringLiteral("addEmptyFaultRule"));
    connect(empty, &QAction::triggered, this, &FaultRulesSection::addEmptyRule);
    addMenu_->addSection(Ui::text(Faults::presets()));
    for (const auto preset : FaultRulePresets::all) {
        const int index = static_cast<int>(preset);
        QAction* action = addMenu_->addAction(Ui::text(Faults::presetName(index)));
        action->setObjectName(QStringLiteral("addFaultPreset%1").arg(index));
        action->setToolTip(Ui::text(Faults::presetHint(index)));
        connect(action, &QAction::triggered, this, [this, index] { addPreset(index); });
    }
    add_->setMenu(addMenu_);

    view_->setObjectName(QStringLiteral("faultRuleList"));
    view_->setAccessibleName(Ui::text(Faults::title()));
    view_->setModel(list_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setTabKeyNavigation(false);
    view_->setWordWrap(false);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 8);
    QHeaderView* header = view_->horizontalHeader();
    header->setSectionResizeMode(FaultRuleListModel::onColumn, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(FaultRuleListModel::nameColumn, QHeaderView::Interactive);
    header->setSectionResizeMode(FaultRuleListModel::ruleColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(FaultRuleListModel::firedColumn, QHeaderView::ResizeToContents);
    view_->setColumnWidth(FaultRuleListModel::nameColumn, nameColumnWidth);
    view_->setMaximumHeight(header->sizeHint().height() +
                            visibleRows * view_->verticalHeader()->defaultSectionSize() + 4);
    view_->installEventFilter(this);

    edit_->setToolTip(Ui::text(Faults::editHint()));
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {edit_, duplicate_, remove_, up_, down_}) {
        buttons->addWidget(b);
    }
    buttons->addStretch();
    auto* bodyLayout = new QHBoxLayout(body_);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->addWidget(view_, 1);
    bodyLayout->addLayout(buttons);
    body_->hide();

    auto* headerRow = new QHBoxLayout;
    headerRow->addWidget(toggle_);
    headerRow->addWidget(count_, 1);
    headerRow->addWidget(add_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 4, 12, 8);
    layout->addLayout(headerRow);
    layout->addWidget(body_);

    connect(toggle_, &QToolButton::toggled, this, &FaultRulesSection::setExpanded);
    connect(edit_, &QPushButton::clicked, this, &FaultRulesSection::editRule);
    connect(duplicate_, &QPushButton::clicked, this, &FaultRulesSection::duplicateRule);
    connect(remove_, &QPushButton::clicked, this, &FaultRulesSection::removeRule);
    connect(up_, &QPushButton::clicked, this, [this] { moveRule(-1); });
    connect(down_, &QPushButton::clicked, this, [this] { moveRule(1); });
    connect(view_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.column() != FaultRuleListModel::onColumn) {
            editRule();
        }
    });
    connect(list_, &QAbstractItemModel::modelReset, this, &FaultRulesSection::updateHeader);
    connect(list_, &QAbstractItemModel::dataChanged, this, &FaultRulesSection::updateHeader);
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FaultRulesSection::updateButtons);
    connect(list_, &QAbstractItemModel::modelReset, this, &FaultRulesSection::updateButtons);
    updateHeader();
    updateButtons();
}

bool FaultRulesSection::isExpanded() const {
    return toggle_->isChecked();
}

void FaultRulesSection::setExpanded(bool expanded) {
    if (toggle_->isChecked() != expanded) {
        toggle_->setChecked(expanded); // comes back here through toggled
        return;
    }
    toggle_->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
    body_->setVisible(expanded);
}

std::optional<std::size_t> FaultRulesSection::currentRow() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(rows.front().row());
}

void FaultRulesSection::selectRow(std::optional<std::size_t> row) {
    if (!row || static_cast<int>(*row) >= list_->rowCount()) {
        view_->clearSelection();
        updateButtons();
        return;
    }
    const QModelIndex index = list_->index(static_cast<int>(*row), FaultRuleListModel::nameColumn);
    view_->setCurrentIndex(index);
    view_->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect |
                                               QItemSelectionModel::Rows);
    view_->scrollTo(index);
    updateButtons();
}

void FaultRulesSection::addEmptyRule() {
    const auto unit = list_->unit();
    if (!unit) {
        return;
    }
    if (auto rule = editor_(FaultRulePresets::emptyRule(), *unit, this)) {
        setExpanded(true);
        selectRow(model_.insertFaultRule(*unit, std::move(*rule), currentRow()));
    }
}

void FaultRulesSection::addPreset(int preset) {
    const auto unit = list_->unit();
    if (!unit || preset < 0 || static_cast<std::size_t>(preset) >= FaultRulePresets::all.size()) {
        return;
    }
    setExpanded(true);
    FaultRule rule =
        FaultRulePresets::rule(FaultRulePresets::all[static_cast<std::size_t>(preset)], *unit);
    selectRow(model_.insertFaultRule(*unit, std::move(rule), currentRow()));
}

void FaultRulesSection::editRule() {
    const auto unit = list_->unit();
    const auto row = currentRow();
    if (!unit || !row || *row >= list_->rules().size()) {
        return;
    }
    if (auto rule = editor_(list_->rules()[*row], *unit, this)) {
        model_.replaceFaultRule(*unit, *row, *rule);
        selectRow(row);
    }
}

void FaultRulesSection::duplicateRule() {
    const auto unit = list_->unit();
    const auto row = currentRow();
    if (unit && row) {
        selectRow(model_.duplicateFaultRule(*unit, *row));
    }
}

void FaultRulesSection::removeRule() {
    const auto unit = list_->unit();
    const auto row = currentRow();
    if (!unit || !row) {
        return;
    }
    model_.removeFaultRule(*unit, *row);
    // The rule that took its place, or the new last one.
    const auto count = static_cast<std::size_t>(list_->rowCount());
    selectRow(count == 0 ? std::nullopt : std::optional<std::size_t>(std::min(*row, count - 1)));
}

void FaultRulesSection::moveRule(int offset) {
    const auto unit = list_->unit();
    const auto row = currentRow();
    if (unit && row) {
        if (const auto moved = model_.moveFaultRule(*unit, *row, offset)) {
            selectRow(moved);
        }
    }
}

bool FaultRulesSection::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto row = currentRow();
        const auto unit = list_->unit();
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            editRule();
            return true;
        case Qt::Key_Space:
            if (row && unit && *row < list_->rules().size()) {
                model_.setFaultRuleEnabled(*unit, *row, !list_->rules()[*row].enabled);
            }
            return true;
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            removeRule();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FaultRulesSection::updateHeader() {
    const auto& rules = list_->rules();
    const auto on = std::count_if(rules.begin(), rules.end(),
                                  [](const FaultRule& rule) { return rule.enabled; });
    const QString text =
        rules.empty()
            ? Ui::text(Faults::noRules())
            : Ui::text(Faults::ruleCount(static_cast<int>(rules.size()), static_cast<int>(on)));
    count_->setText(text);
    toggle_->setAccessibleDescription(text);
}

void FaultRulesSection::updateButtons() {
    const auto row = currentRow();
    const auto count = static_cast<std::size_t>(list_->rowCount());
    edit_->setEnabled(row.has_value());
    duplicate_->setEnabled(row.has_value());
    remove_->setEnabled(row.has_value());
    up_->setEnabled(row && *row > 0);
    down_->setEnabled(row && *row + 1 < count);
    add_->setEnabled(list_->unit().has_value());
}
