#include "Corvana/ui/table/EmptyTableView.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/NoticeBanner.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Localization/L10n.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int iconSize = 40;
constexpr int sideMargin = 40;
constexpr qreal titleScale = 1.25;

} // namespace

EmptyTableView::EmptyTableView(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , icon_(new QLabel(this))
    , message_(new QLabel(Ui::text(L10n::Log::unitEmpty()), this)) {
    setObjectName(QStringLiteral("emptyTableView"));

    icon_->setAlignment(Qt::AlignCenter);
    icon_->setFixedHeight(iconSize);

    auto* title = new QLabel(Ui::text(L10n::Table::noDatapoints()), this);
    title->setObjectName(QStringLiteral("emptyTableTitle"));
    title->setAlignment(Qt::AlignCenter);
    title->setTextFormat(Qt::PlainText);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont = Ui::scaledFont(titleFont, titleScale);
    title->setFont(titleFont);

    message_->setObjectName(QStringLiteral("emptyTableMessage"));
    message_->setAlignment(Qt::AlignCenter);
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);

    auto* addButton = new QPushButton(Ui::symbol("plus"), Ui::text(L10n::Table::datapoint()), this);
    addButton->setObjectName(QStringLiteral("emptyAddButton"));
    addButton->setToolTip(Ui::text(L10n::Table::addHint()));
    connect(addButton, &QPushButton::clicked, this, [this] { model_.addDatapoint(); });
    auto* importButton = new QPushButton(Ui::text(L10n::Menu::importDatapoints()), this);
    importButton->setObjectName(QStringLiteral("emptyImportButton"));
    connect(importButton, &QPushButton::clicked, &model_, &ServerModel::importDatapoints);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(addButton);
    buttons->addWidget(importButton);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(sideMargin, 12, sideMargin, 12);
    layout->setSpacing(10);
    layout->addStretch(1);
    layout->addWidget(icon_);
    layout->addWidget(title);
    layout->addWidget(message_);
    layout->addLayout(buttons);
    layout->addStretch(1);
    applyColours();
}

void EmptyTableView::applyColours() {
    const QColor secondary = Ui::Colour::secondaryText(palette());
    QPalette message = message_->palette();
    message.setColor(QPalette::WindowText, secondary);
    message_->setPalette(message);
    icon_->setPixmap(
        NoticeBanner::symbolPixmap("tablecells", iconSize, secondary, devicePixelRatioF()));
}

void EmptyTableView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColours();
    }
}
