#include "Corvana/ui/log/LogTextView.h"

#include "Corvana/model/LogBuffer.h"
#include "Corvana/ui/common/UiSupport.h"

#include "Localization/L10n.h"

#include <QEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

LogTextView::LogTextView(LogBuffer& buffer, QWidget* parent)
    : QPlainTextEdit(parent)
    , buffer_(buffer)
    , end_(document()) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFont(Ui::logFont(12));
    document()->setDocumentMargin(inset);
    setAccessibleName(Ui::text(L10n::Log::serverLog()));

    updateFormats();
    // The logo behind the view shows through; Base is not among the colours the formats use, so
    // this palette change costs no rebuild.
    QPalette transparent = palette();
    transparent.setColor(QPalette::Base, Qt::transparent);
    setPalette(transparent);
    viewport()->setAutoFillBackground(false);

    // Lines come in bursts of a few milliseconds; following the end once a frame keeps the
    // repaints to the screen's pace instead of one per burst.
    followTimer_.setSingleShot(true);
    followTimer_.setInterval(followInterval);
    connect(&followTimer_, &QTimer::timeout, this, [this] {
        if (buffer_.autoscroll()) {
            scrollToEnd();
        }
    });

    rebuild();
    connect(&buffer_, &LogBuffer::appended, this, &LogTextView::append);
    connect(&buffer_, &LogBuffer::trimmed, this, &LogTextView::trim);
    connect(&buffer_, &LogBuffer::cleared, this, [this] { clear(); });
    connect(&buffer_, &LogBuffer::autoscrollChanged, this, [this](bool on) {
        if (on) {
            scrollToEnd();
        }
    });
}

void LogTextView::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    // A light/dark switch: the segment colours are baked into the text, so colour it anew.
    if (event->type() == QEvent::PaletteChange && updateFormats()) {
        rebuild();
    }
}

bool LogTextView::updateFormats() {
    const QPalette& colours = palette();
    bool changed = false;
    for (std::size_t i = 0; i < kindCount; ++i) {
        const auto kind = static_cast<LogSegment::Kind>(i);
        const QColor colour = Ui::Colour::logSegment(kind, colours);
        if (colour == colours_[i]) {
            continue;
        }
        changed = true;
        colours_[i] = colour;
        QTextCharFormat format;
        if (kind == LogSegment::Kind::system) {
            QFont font = Ui::logFont(11);
            font.setWeight(QFont::Medium);
            format.setFont(font);
        }
        format.setForeground(colour);
        formats_[i] = format;
    }
    return changed;
}

const QTextCharFormat& LogTextView::format(LogSegment::Kind kind) const {
    return formats_[static_cast<std::size_t>(kind)];
}

qsizetype LogTextView::length() const {
    return document()->characterCount() - 1;
}

bool LogTextView::inStep() const {
    return length() == std::max<qsizetype>(0, buffer_.length() - 1);
}

void LogTextView::insert(const QString& text, const QTextCharFormat& format) {
    // QTextCursor makes one paragraph break of "\r\n" where the buffer counts two code units
    // (a datapoint name from a CSV cell may hold one); an invisible zero-width space in place of
    // the "\r" keeps every position equal and shows one line break.
    if (text.contains(u"\r\n")) {
        QString shown = text;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\u200B\n"));
        end_.insertText(shown, format);
    } else {
        end_.insertText(text, format);
    }
}

void LogTextView::append(qsizetype position, const LogLine& line) {
    const bool first = position == 0;
    if (position != (first ? 0 : length() + 1)) {
        rebuild();
        return;
    }
    end_.beginEditBlock();
    if (!first) {
        end_.insertText(QStringLiteral("\n"), format(LogSegment::Kind::text));
    }
    for (const LogSegment& segment : line) {
        if (!segment.text.isEmpty()) {
            insert(segment.text, format(segment.kind));
        }
    }
    end_.endEditBlock();
    if (!inStep()) {
        rebuild();
        return;
    }
    if (buffer_.autoscroll() && !followTimer_.isActive()) {
        followTimer_.start();
    }
}

void LogTextView::trim(qsizetype removedFromStart) {
    if (removedFromStart > length()) {
        rebuild();
        return;
    }
    // The scroller counts visual lines; the reader keeps looking at the same line when the
    // lines cut away are subtracted.
    QScrollBar* scroller = verticalScrollBar();
    const int top = scroller->value();
    const int removedLines =
        document()->findBlock(static_cast<int>(removedFromStart)).firstLineNumber();

    QTextCursor cut(document());
    cut.setPosition(static_cast<int>(removedFromStart), QTextCursor::KeepAnchor);
    cut.removeSelectedText();
    if (!inStep()) {
        rebuild();
        return;
    }
    if (buffer_.autoscroll()) {
        scrollToEnd();
    } else {
        scroller->setValue(std::max(0, top - removedLines));
    }
}

void LogTextView::rebuild() {
    ++rebuilds_;
    QScrollBar* scroller = verticalScrollBar();
    const int top = scroller->value();
    clear();

    const QString text = buffer_.plainText();
    const qsizetype end = std::max<qsizetype>(0, text.size() - 1); // without the last newline
    const QTextCharFormat& plain = format(LogSegment::Kind::text);
    qsizetype at = 0;
    end_.beginEditBlock();
    for (const LogBuffer::Span& span : buffer_.spans()) {
        const qsizetype spanEnd = std::min(end, span.start + span.length);
        if (span.start > at) {
            insert(text.mid(at, span.start - at), plain);
        }
        if (spanEnd > span.start) {
            insert(text.mid(span.start, spanEnd - span.start), format(span.kind));
        }
        at = spanEnd;
    }
    if (at < end) {
        insert(text.mid(at, end - at), plain);
    }
    end_.endEditBlock();

    if (buffer_.autoscroll()) {
        scrollToEnd();
    } else {
        scroller->setValue(top);
    }
}

void LogTextView::scrollToEnd() {
    QScrollBar* scroller = verticalScrollBar();
    scroller->setValue(scroller->maximum());
}
