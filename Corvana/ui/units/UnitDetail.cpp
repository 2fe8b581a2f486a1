#include "Corvana/ui/units/UnitDetail.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/table/DatapointPane.h"
#include "Corvana/ui/units/FaultRulesSection.h"
#include "Corvana/ui/units/UnitSettingsBar.h"
#include "Localization/L10n.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QWidget* makePlaceholder(ServerModel& model, QWidget* parent) {
    auto* page = new QWidget(parent);
    page->setObjectName(QStringLiteral("noUnitPlaceholder"));

    auto* symbol = new QLabel(page);
    const QIcon icon = Ui::symbol("cpu");
    if (!icon.isNull()) {
        symbol->setPixmap(icon.pixmap(48, 48));
    }
    symbol->setAlignment(Qt::AlignCenter);

    auto* text = new QLabel(Ui::text(L10n::Units::noUnitSelected()), page);
    text->setAlignment(Qt::AlignCenter);
    QPalette textPalette = text->palette();
    textPalette.setColor(QPalette::WindowText, Ui::Colour::secondaryText(textPalette));
    text->setPalette(textPalette);

    auto* add = new QPushButton(Ui::text(L10n::Units::addUnit()), page);
    add->setObjectName(QStringLiteral("placeholderAddUnitButton"));
    add->setToolTip(Ui::text(L10n::Units::addUnitHint()));
    QObject::connect(add, &QPushButton::clicked, &model, &ServerModel::addUnit);

    auto* layout = new QVBoxLayout(page);
    layout->addStretch();
    layout->addWidget(symbol);
    layout->addWidget(text);
    layout->addWidget(add, 0, Qt::AlignHCenter);
    layout->addStretch();
    return page;
}

} // namespace

UnitDetail::UnitDetail(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , pages_(new QStackedWidget(this))
    , placeholder_(makePlaceholder(model, pages_))
    , unitPage_(new QWidget(pages_)) {
    auto* separator = new QFrame(unitPage_);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);

    auto* unitLayout = new QVBoxLayout(unitPage_);
    unitLayout->setContentsMargins(0, 0, 0, 0);
    unitLayout->setSpacing(0);
    unitLayout->addWidget(new UnitSettingsBar(model_, unitPage_));
    unitLayout->addWidget(new FaultRulesSection(model_, unitPage_));
    unitLayout->addWidget(separator);
    unitLayout->addWidget(new DatapointPane(model_, unitPage_), 1);

    pages_->addWidget(placeholder_);
    pages_->addWidget(unitPage_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pages_);

    connect(&model_, &ServerModel::unitsChanged, this, &UnitDetail::scheduleUpdate);
    connect(&model_, &ServerModel::selectedUnitIDChanged, this, &UnitDetail::scheduleUpdate);
    updatePage();
}

bool UnitDetail::showsPlaceholder() const {
    return pages_->currentWidget() == placeholder_;
}

// Renumbering a unit publishes the new unit list before the new selection; deciding once the
// model has settled keeps the settings (and the field being typed in) on screen meanwhile.
void UnitDetail::scheduleUpdate() {
    if (!updatePending_) {
        updatePending_ = true;
        QTimer::singleShot(0, this, &UnitDetail::updatePage);
    }
}

void UnitDetail::updatePage() {
    updatePending_ = false;
    const auto selected = model_.selectedUnitID();
    const auto& units = model_.units();
    const bool exists =
        selected && std::any_of(units.begin(), units.end(),
                                [&](const ServerUnit& u) { return u.unitID == *selected; });
    pages_->setCurrentWidget(exists ? unitPage_ : placeholder_);
}
