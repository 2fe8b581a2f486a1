#include "Corvana/ui/log/FindBar.h"

#include "Corvana/ui/common/UiSupport.h"

#include "Localization/L10n.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QToolButton>

namespace {

QToolButton* iconButton(const char* symbolName, const std::string& label, QWidget* parent) {
    auto* button = new QToolButton(parent);
    const QIcon icon = Ui::symbol(symbolName);
    if (icon.isNull()) {
        button->setText(Ui::text(label));
    } else {
        button->setIcon(icon);
    }
    button->setToolTip(Ui::text(label));
    button->setAccessibleName(Ui::text(label));
    button->setAutoRaise(true);
    return button;
}

} // namespace

FindBar::FindBar(QPlainTextEdit& text, QWidget* parent)
    : QWidget(parent)
    , text_(text)
    , field_(new QLineEdit(this))
    , previous_(iconButton("chevron.up", L10n::Find::previous(), this))
    , next_(iconButton("chevron.down", L10n::Find::next(), this))
    , notFound_(new QLabel(Ui::text(L10n::Find::noMatches()), this))
    , close_(new QToolButton(this)) {
    field_->setObjectName(QStringLiteral("findField"));
    field_->setPlaceholderText(Ui::text(L10n::Find::placeholder()));
    field_->setAccessibleName(Ui::text(L10n::Find::placeholder()));
    field_->setClearButtonEnabled(true);
    field_->setMinimumWidth(180);
    field_->installEventFilter(this);
    previous_->setObjectName(QStringLiteral("findPrevious"));
    next_->setObjectName(QStringLiteral("findNext"));
    notFound_->setObjectName(QStringLiteral("findNotFound"));
    notFound_->setVisible(false);
    QPalette secondary = notFound_->palette();
    secondary.setColor(QPalette::WindowText, Ui::Colour::secondaryText(secondary));
    notFound_->setPalette(secondary);
    close_->setObjectName(QStringLiteral("findClose"));
    close_->setText(Ui::text(L10n::Find::close()));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(4);
    layout->addWidget(field_, 1);
    layout->addWidget(previous_);
    layout->addWidget(next_);
    layout->addWidget(notFound_);
    layout->addStretch(0);
    layout->addWidget(close_);

    connect(field_, &QLineEdit::textChanged, this, [this] { find({}, true); });
    connect(next_, &QToolButton::clicked, this, &FindBar::findNext);
    connect(previous_, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(close_, &QToolButton::clicked, this, &FindBar::dismiss);
}

void FindBar::open() {
    show();
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
}

void FindBar::dismiss() {
    hide();
    notFound_->setVisible(false);
    text_.setFocus(Qt::OtherFocusReason);
}

bool FindBar::findNext() {
    return find({}, false);
}

bool FindBar::findPrevious() {
    return find(QTextDocument::FindBackward, false);
}

bool FindBar::showsNotFound() const {
    return !notFound_->isHidden();
}

bool FindBar::find(QTextDocument::FindFlags flags, bool fromMatchStart) {
    const QString term = field_->text();
    QTextCursor cursor = text_.textCursor();
    if (term.isEmpty()) {
        notFound_->setVisible(false);
        cursor.clearSelection();
        text_.setTextCursor(cursor);
        return false;
    }
    QTextDocument* document = text_.document();
    if (fromMatchStart) {
        cursor.setPosition(cursor.selectionStart());
    }
    QTextCursor match = document->find(term, cursor, flags);
    if (match.isNull()) {
        QTextCursor wrapped(document);
        if (flags.testFlag(QTextDocument::FindBackward)) {
            wrapped.movePosition(QTextCursor::End);
        }
        match = document->find(term, wrapped, flags);
    }
    notFound_->setVisible(match.isNull());
    if (match.isNull()) {
        return false;
    }
    text_.setTextCursor(match);
    return true;
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (key->modifiers().testFlag(Qt::ShiftModifier)) {
                findPrevious();
            } else {
                findNext();
            }
            return true;
        case Qt::Key_Escape:
            dismiss();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
