#include "Corvana/ui/log/EmptyLogView.h"

#include "Corvana/model/ServerModel.h"
#include "Corvana/ui/common/NoticeBanner.h"
#include "Corvana/ui/common/UiSupport.h"
#include "Corvana/ui/network/NetworkListeners.h"

#include "Localization/L10n.h"
#include "Localization/NetworkViewTexts.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int maximumCardWidth = 480;
constexpr int iconSize = 30;
constexpr int outerMargin = 12;
constexpr int fullSpacing = 10;
constexpr int compactSpacing = 4;
constexpr qreal titleScale = 1.25;

} // namespace

EmptyLogView::EmptyLogView(ServerModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , card_(new QWidget(this))
    , cardLayout_(new QVBoxLayout(card_))
    , icon_(new QLabel(card_))
    , title_(new QLabel(card_))
    , message_(new QLabel(card_))
    , startButton_(new QPushButton(Ui::text(L10n::Notice::startServer()), card_)) {
    setObjectName(QStringLiteral("emptyLogView"));
    // A low log pane clips the placeholder rather than growing for it.
    setMinimumSize(1, 1);

    icon_->setAlignment(Qt::AlignCenter);
    icon_->setFixedHeight(iconSize);

    title_->setObjectName(QStringLiteral("emptyLogTitle"));
    title_->setAlignment(Qt::AlignCenter);
    title_->setTextFormat(Qt::PlainText);
    title_->setWordWrap(true);
    QFont titleFont = title_->font();
    titleFont.setBold(true);
    titleFont = Ui::scaledFont(titleFont, titleScale);
    title_->setFont(titleFont);

    message_->setObjectName(QStringLiteral("emptyLogMessage"));
    message_->setAlignment(Qt::AlignCenter);
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);

    startButton_->setObjectName(QStringLiteral("startServerButton"));
    startButton_->setDefault(true);
    startButton_->setMinimumHeight(startButton_->sizeHint().height() + 6);
    connect(startButton_, &QPushButton::clicked, &model_, &ServerModel::start);

    cardLayout_->setContentsMargins(0, 0, 0, 0);
    cardLayout_->addWidget(icon_);
    cardLayout_->addWidget(title_);
    cardLayout_->addWidget(message_);
    cardLayout_->addWidget(startButton_, 0, Qt::AlignHCenter);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(outerMargin, outerMargin, outerMargin, outerMargin);
    outer->addStretch(1);
    // Centred by stretches rather than an alignment, so the wrapped labels get their height
    // for the card's width and not for the whole view's.
    auto* centred = new QHBoxLayout;
    centred->addStretch(1);
    centred->addWidget(card_);
    centred->addStretch(1);
    outer->addLayout(centred);
    outer->addStretch(1);

    connect(&model_, &ServerModel::portListChanged, this, &EmptyLogView::updateTexts);
    connect(&model_, &ServerModel::selectedPathChanged, this, [this] {
        updateTexts();
        updateStartButton();
    });
    connect(&model_, &ServerModel::unitsChanged, this, &EmptyLogView::updateStartButton);
    connect(&model_, &ServerModel::networkChanged, this, [this] {
        updateTexts();
        updateStartButton();
    });
    updateTexts();
    updateStartButton();
    applyColours();
    chooseVariant();
}

void EmptyLogView::updateTexts() {
    // With a listener on, masters reach the units over the network whatever the ports; where
    // they connect is the useful hint then.
    const QStringList addresses = NetworkListeners::enabledAddresses(model_.network());
    if (!addresses.isEmpty()) {
        title_->setText(Ui::text(L10n::State::ready()));
        message_->setText(Ui::text(
            L10n::NetworkView::emptyLog(addresses.join(QStringLiteral(", ")).toStdString())));
        chooseVariant();
        return;
    }
    const auto& ports = model_.ports();
    // A built-in port or a virtual one serves as well as an adapter; only no port at all is
    // worth the hint about plugging one in, unless the virtual port is chosen instead.
    const bool anyPort = !ports.empty() || model_.isVirtualSelected();
    title_->setText(Ui::text(anyPort ? L10n::State::ready() : L10n::Notice::noAdapterTitle()));
    message_->setText(
        Ui::text(anyPort ? L10n::Notice::emptyLog() : L10n::Notice::noAdapterMessage()));
    chooseVariant();
}

void EmptyLogView::updateStartButton() {
    startButton_->setVisible(model_.canStart());
    chooseVariant();
}

void EmptyLogView::applyColours() {
    const QPalette& colours = palette();
    QPalette message = message_->palette();
    message.setColor(QPalette::WindowText, Ui::Colour::secondaryText(colours));
    message_->setPalette(message);

    QPalette button = startButton_->palette();
    button.setColor(QPalette::Button, Ui::Colour::accent(colours));
    button.setColor(QPalette::ButtonText, Ui::isDark(colours) ? Qt::black : Qt::white);
    startButton_->setPalette(button);
    startButton_->setIcon(Ui::symbol("play.fill", button.color(QPalette::ButtonText)));

    icon_->setPixmap(NoticeBanner::symbolPixmap("cpu", iconSize, Ui::Colour::secondaryText(colours),
                                                devicePixelRatioF()));
}

int EmptyLogView::cardWidth() const {
    return std::clamp(width() - 2 * outerMargin, 1, maximumCardWidth);
}

int EmptyLogView::fullHeight() const {
    const int width = cardWidth();
    int height = 2 * outerMargin + iconSize + title_->heightForWidth(width) +
                 message_->heightForWidth(width) + 2 * fullSpacing;
    if (!startButton_->isHidden()) {
        height += fullSpacing + startButton_->sizeHint().height();
    }
    return height;
}

void EmptyLogView::chooseVariant() {
    compact_ = fullHeight() > height();
    icon_->setHidden(compact_);
    cardLayout_->setSpacing(compact_ ? compactSpacing : fullSpacing);
}

void EmptyLogView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    card_->setFixedWidth(cardWidth());
    chooseVariant();
}

void EmptyLogView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColours();
    } else if (event->type() == QEvent::FontChange) {
        chooseVariant();
    }
}
