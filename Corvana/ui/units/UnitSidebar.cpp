#include "Corvana/ui/units/UnitSidebar.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/units/UnitListModel.h"
#include "Corvana/ui/units/UnitRowDelegate.h"
#include "Localization/L10n.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace {

QToolButton* symbolButton(std::string_view symbolName, const QString& fallback, const QString& help,
                          QWidget* parent) {
    auto* button = new QToolButton(parent);
    const QIcon icon = Ui::symbol(symbolName);
    button->setIcon(icon);
    button->setText(fallback);
    button->setToolButtonStyle(icon.isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
    button->setToolTip(help);
    button->setAutoRaise(true);
    return button;
}

bool askRemoval(QWidget* parent, int unitID) {
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(Ui::text(L10n::Units::removeUnitQuestion(unitID)));
    box.setText(Ui::text(L10n::Units::removeUnitQuestion(unitID)));
    box.setInformativeText(Ui::text(L10n::Units::removeUnitMessage()));
    QPushButton* remove =
        box.addButton(Ui::text(L10n::Units::removeUnit()), QMessageBox::DestructiveRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Cancel);
    box.exec();
    return box.clickedButton() == remove;
}

} // namespace

UnitSidebar::UnitSidebar(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , list_(new QListView(this)) {
    // The view moves its selection by itself while rows go and come; those moves are not the
    // user's choice. The list model updates its rows between these slots, on either signal.
    for (const auto changed : {&ServerModel::unitsChanged, &ServerModel::datapointsChanged}) {
        connect(&model_, changed, this, [this] { showingSelection_ = true; });
    }
    listModel_ = new UnitListModel(model_, this);
    for (const auto changed : {&ServerModel::unitsChanged, &ServerModel::datapointsChanged}) {
        connect(&model_, changed, this, &UnitSidebar::showSelection);
    }
    confirmRemoval = [this](int unitID) { return askRemoval(this, unitID); };

    auto* title = new QLabel(Ui::text(L10n::Units::units()), this);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    title->setFont(titleFont);

    list_->setObjectName(QStringLiteral("unitList"));
    list_->setModel(listModel_);
    list_->setItemDelegate(new UnitRowDelegate(list_));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setUniformItemSizes(true);

    auto* addButton =
        symbolButton("plus", QStringLiteral("+"), Ui::text(L10n::Units::addUnitHint()), this);
    addButton->setObjectName(QStringLiteral("addUnitButton"));
    addButton->setAccessibleName(Ui::text(L10n::Units::addUnit()));
    removeButton_ =
        symbolButton("minus", QStringLiteral("−"), Ui::text(L10n::Units::removeUnitHint()), this);
    removeButton_->setObjectName(QStringLiteral("removeUnitButton"));
    removeButton_->setAccessibleName(Ui::text(L10n::Units::removeUnit()));

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    buttons->addWidget(addButton);
    buttons->addWidget(removeButton_);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(title);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);

    connect(addButton, &QToolButton::clicked, &model_, &ServerModel::addUnit);
    connect(removeButton_, &QToolButton::clicked, this, &UnitSidebar::removeSelected);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &UnitSidebar::listSelectionChanged);
    connect(&model_, &ServerModel::selectedUnitIDChanged, this, &UnitSidebar::showSelection);
    showSelection();
}

void UnitSidebar::showSelection() {
    const auto selected = model_.selectedUnitID();
    const QModelIndex index = selected ? listModel_->indexOfUnit(*selected) : QModelIndex{};
    showingSelection_ = true;
    if (index.isValid()) {
        // Only a changed row scrolls: edits of datapoints come here too.
        const bool moved = list_->selectionModel()->currentIndex() != index;
        list_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        if (moved) {
            list_->scrollTo(index);
        }
    } else {
        list_->selectionModel()->clear();
    }
    showingSelection_ = false;
    removeButton_->setEnabled(index.isValid());
}

void UnitSidebar::listSelectionChanged() {
    if (showingSelection_) {
        return;
    }
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        // The list follows the model's selection; it never clears it.
        showSelection();
        return;
    }
    model_.setSelectedUnitID(
        static_cast<std::uint8_t>(rows.first().data(UnitListModel::UnitIDRole).toInt()));
}

void UnitSidebar::removeSelected() {
    const auto selected = model_.selectedUnitID();
    if (!selected || !listModel_->indexOfUnit(*selected).isValid()) {
        return;
    }
    if (confirmRemoval && confirmRemoval(*selected)) {
        model_.deleteUnit(*selected);
    }
}
