#pragma once

#include "Corvana/model/LogSegment.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <deque>

// The log as plain text plus the kind of every segment. Lengths and positions count UTF-16 code
// units (QString's own), so a view built on QString can mirror the buffer edit for edit: insert
// what `appended` reports at its position, drop what `trimmed` reports from the start, empty
// itself on `cleared`.
class LogBuffer : public QObject {
    Q_OBJECT

public:
    // A run of characters of one kind. Characters outside every span (the newlines) are `text`.
    struct Span {
        LogSegment::Kind kind;
        qsizetype start;
        qsizetype length;

        bool operator==(const Span&) const = default;
    };

    // Above maxCharacters whole lines are dropped from the start until about trimTarget remain,
    // so a server left running for days keeps a bounded log and trims only now and then.
    static constexpr qsizetype maxCharacters = 2'000'000;
    static constexpr qsizetype trimTarget = 1'500'000;

    explicit LogBuffer(QObject* parent = nullptr);

    // Appends the line's segments and a newline; emits `appended`, then `trimmed` when the log
    // grew past maxCharacters.
    void append(const LogLine& line);
    // Empties the log and emits `cleared` (even when it was empty already).
    void clear();

    // Off, lines are only announced through `appended` (always at position 0) and nothing is
    // kept: for the headless server, which prints every line and never shows the log. Turning
    // it off empties the log.
    void setRetaining(bool on);
    bool isRetaining() const { return retaining_; }

    QString plainText() const { return text_; }
    qsizetype length() const { return text_.size(); }
    bool isEmpty() const { return text_.isEmpty(); }
    // Ordered by start; empty segments have no span.
    const std::deque<Span>& spans() const { return spans_; }

    // Whether a view keeps the end of the log visible; the buffer only holds the flag.
    bool autoscroll() const { return autoscroll_; }
    void setAutoscroll(bool on);

    // "corvana-log-2025-03-14T093005.txt" for that local date and time.
    static QString proposedLogFileName(const QDateTime& localNow);
    // Writes the plain text as UTF-8, atomically: the file either keeps its old content or gets
    // the whole log. On failure returns false and, when errorDescription is given, stores the
    // system's description of the error (without any "Saving failed" prefix).
    bool writeTo(const QString& path, QString* errorDescription) const;

signals:
    // position is where the line starts, counted before any trim this line causes; the newline
    // that follows it is not part of lineWithoutNewline.
    void appended(qsizetype position, const LogLine& lineWithoutNewline);
    // The first removedFromStart characters are gone; every later position moved down by it.
    void trimmed(qsizetype removedFromStart);
    void cleared();
    void autoscrollChanged(bool on);

private:
    void trimIfNeeded();

    QString text_;
    std::deque<Span> spans_;
    bool autoscroll_ = true;
    bool retaining_ = true;
};
