#pragma once

#include "Corvana/model/LogSegment.h"

#include <QColor>
#include <QPlainTextEdit>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTimer>

#include <array>
#include <chrono>

class LogBuffer;

// The log text: a read-only, selectable mirror of the log buffer. It follows the buffer edit for
// edit (one insert at the end per line, one cut at the start per trim), so a long log costs no
// more per line than a short one; the whole text is rebuilt only at construction, after a
// light/dark switch and if the two ever disagree.
class LogTextView : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr int inset = 6;
    // How soon after a line the view has scrolled to the end (when autoscroll is on).
    static constexpr std::chrono::milliseconds followInterval{16};

    explicit LogTextView(LogBuffer& buffer, QWidget* parent = nullptr);

    // How often the whole text was rebuilt from the buffer.
    int rebuildCount() const { return rebuilds_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    static constexpr std::size_t kindCount = static_cast<std::size_t>(LogSegment::Kind::fault) + 1;

    void append(qsizetype position, const LogLine& line);
    void trim(qsizetype removedFromStart);
    void rebuild();
    // The document holds the buffer's text without its final newline: a line goes in as a
    // newline and its text, the way Qt's own appending is fast (it lays out and repaints only
    // the new line).
    qsizetype length() const;
    bool inStep() const;
    // Recomputes the formats from the palette; true when a colour changed.
    bool updateFormats();
    const QTextCharFormat& format(LogSegment::Kind kind) const;
    void insert(const QString& text, const QTextCharFormat& format);
    void scrollToEnd();

    LogBuffer& buffer_;
    QTextCursor end_;
    QTimer followTimer_;
    std::array<QColor, kindCount> colours_;
    std::array<QTextCharFormat, kindCount> formats_;
    int rebuilds_ = 0;
};
