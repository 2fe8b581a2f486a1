#include "Corvana/ui/table/DatapointPane.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/table/DatapointTableModel.h"
#include "Corvana/ui/table/DatapointTableView.h"
#include "Corvana/ui/table/EmptyTableView.h"
#include "Localization/L10n.h"

#include <QAccessible>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int noticeIconSize = 16;
constexpr float noticeTint = 0.14f;

} // namespace

DatapointPane::DatapointPane(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , table_(new DatapointTableView(model, this))
    , empty_(new EmptyTableView(model, this))
    , stack_(new QStackedWidget(this))
    , notice_(makeNotice())
    , entryMessage_(new QLabel(this))
    , addButton_(new QToolButton(this))
    , csvButton_(new QToolButton(this)) {
    addButton_->setObjectName(QStringLiteral("addDatapointButton"));
    addButton_->setIcon(Ui::symbol("plus"));
    addButton_->setText(Ui::text(L10n::Table::datapoint()));
    addButton_->setToolTip(Ui::text(L10n::Table::addHint()));
    addButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    addButton_->setAutoRaise(true);
    connect(addButton_, &QToolButton::clicked, this, &DatapointPane::addDatapoint);

    csvButton_->setObjectName(QStringLiteral("csvButton"));
    csvButton_->setText(Ui::text(L10n::Table::csv()));
    csvButton_->setToolTip(Ui::text(L10n::Table::csvHint()));
    csvButton_->setPopupMode(QToolButton::InstantPopup);
    csvButton_->setAutoRaise(true);
    auto* csvMenu = new QMenu(csvButton_);
    csvMenu->addAction(Ui::text(L10n::Menu::importDatapoints()), &model_,
                       &ServerModel::importDatapoints);
    csvMenu->addAction(Ui::text(L10n::Menu::exportDatapoints()), &model_,
                       &ServerModel::exportDatapoints);
    csvButton_->setMenu(csvMenu);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(6, 4, 6, 4);
    bar->addWidget(addButton_);
    bar->addWidget(csvButton_);
    bar->addStretch(1);

    stack_->addWidget(table_);
    stack_->addWidget(empty_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(bar);
    layout->addWidget(notice_);
    layout->addWidget(stack_, 1);
    entryMessage_->setObjectName(QStringLiteral("entryMessage"));
    entryMessage_->setTextFormat(Qt::PlainText); // it quotes what was typed
    entryMessage_->setWordWrap(true);
    entryMessage_->setContentsMargins(8, 4, 8, 4);
    entryMessage_->hide();
    layout->addWidget(entryMessage_);
    connect(table_, &DatapointTableView::entryMessage, this, &DatapointPane::showEntryMessage);
    connect(&model_, &ServerModel::selectedUnitIDChanged, this,
            [this] { showEntryMessage({}, false); });

    const DatapointTableModel& rows = table_->tableModel();
    connect(&rows, &QAbstractItemModel::rowsInserted, this, &DatapointPane::updatePage);
    connect(&rows, &QAbstractItemModel::rowsRemoved, this, &DatapointPane::updatePage);
    connect(&rows, &QAbstractItemModel::modelReset, this, &DatapointPane::updatePage);
    connect(&model_, &ServerModel::conflictsChanged, this, &DatapointPane::updateNotice);
    connect(&model_, &ServerModel::selectedUnitIDChanged, this, &DatapointPane::updatePage);
    updateNotice();
    updatePage();
}

void DatapointPane::addDatapoint() {
    if (const auto id = model_.addDatapoint()) {
        table_->selectDatapoint(*id);
    }
}

QFrame* DatapointPane::makeNotice() {
    auto* notice = new QFrame(this);
    notice->setObjectName(QStringLiteral("overlapNotice"));
    notice->setAutoFillBackground(true);

    auto* icon = new QLabel(notice);
    icon->setPixmap(DatapointTableModel::warningIcon().pixmap(noticeIconSize, noticeIconSize));
    auto* title = new QLabel(Ui::text(L10n::Table::overlapTitle()), notice);
    title->setTextFormat(Qt::PlainText);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto* message = new QLabel(Ui::text(L10n::Table::overlapMessage()), notice);
    message->setTextFormat(Qt::PlainText);
    message->setWordWrap(true);

    auto* layout = new QHBoxLayout(notice);
    layout->setContentsMargins(10, 6, 10, 6);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(title, 0, Qt::AlignTop);
    layout->addWidget(message, 1);
    return notice;
}

void DatapointPane::applyNoticeColours() {
    // The window colour washed with a little orange.
    const QColor window = palette().color(QPalette::Window);
    const QColor orange = Ui::Colour::orange(palette());
    const auto mix = [](float a, float b) { return a + (b - a) * noticeTint; };
    QPalette colours = notice_->palette();
    colours.setColor(QPalette::Window, QColor::fromRgbF(mix(window.redF(), orange.redF()),
                                                        mix(window.greenF(), orange.greenF()),
                                                        mix(window.blueF(), orange.blueF())));
    notice_->setPalette(colours);
}

void DatapointPane::updateNotice() {
    applyNoticeColours();
    notice_->setHidden(model_.conflicts().empty());
}

void DatapointPane::updatePage() {
    const bool hasRows = table_->tableModel().rowCount() > 0;
    stack_->setCurrentWidget(hasRows ? static_cast<QWidget*>(table_) : empty_);
    const bool unitSelected = model_.selectedUnitID().has_value();
    addButton_->setEnabled(unitSelected);
    empty_->setEnabled(unitSelected);
}

void DatapointPane::showEntryMessage(const QString& text, bool problem) {
    entryMessage_->setText(text);
    QPalette colours = entryMessage_->palette();
    colours.setColor(QPalette::WindowText,
                     problem ? Ui::Colour::red(palette()) : Ui::Colour::secondaryText(palette()));
    entryMessage_->setPalette(colours);
    entryMessage_->setVisible(!text.isEmpty());
    if (!text.isEmpty()) {
        // Screen readers announce it, since the focus stays in the table.
        entryMessage_->setAccessibleName(text);
        QAccessibleEvent alert(entryMessage_, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }
}

void DatapointPane::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyNoticeColours();
    }
}
