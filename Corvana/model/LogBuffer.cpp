#include "Corvana/model/LogBuffer.h"

#include "Corvana/model/ProjectFile.h"

LogBuffer::LogBuffer(QObject* parent)
    : QObject(parent) {}

void LogBuffer::append(const LogLine& line) {
    if (!retaining_) {
        emit appended(0, line);
        return;
    }
    const qsizetype position = text_.size();
    for (const LogSegment& segment : line) {
        if (segment.text.isEmpty()) {
            continue;
        }
        const qsizetype start = text_.size();
        text_ += segment.text;
        // Neighbours of one kind share a span: fewer spans to shift when trimming.
        if (!spans_.empty() && spans_.back().kind == segment.kind &&
            spans_.back().start + spans_.back().length == start) {
            spans_.back().length += segment.text.size();
        } else {
            spans_.push_back({segment.kind, start, segment.text.size()});
        }
    }
    text_ += u'\n';
    emit appended(position, line);
    trimIfNeeded();
}

void LogBuffer::trimIfNeeded() {
    if (text_.size() <= maxCharacters) {
        return;
    }
    // Cut at the start of a line so the log never begins with half a line.
    qsizetype cut = text_.size() - trimTarget;
    const qsizetype newline = text_.indexOf(u'\n', cut);
    if (newline >= 0) {
        cut = newline + 1;
    }
    text_.remove(0, cut);

    // A segment may hold a newline of its own (a datapoint name from a CSV cell), so the cut can
    // fall inside a span: keep its tail.
    while (!spans_.empty() && spans_.front().start + spans_.front().length <= cut) {
        spans_.pop_front();
    }
    if (!spans_.empty() && spans_.front().start < cut) {
        spans_.front().length -= cut - spans_.front().start;
        spans_.front().start = cut;
    }
    for (Span& span : spans_) {
        span.start -= cut;
    }
    emit trimmed(cut);
}

void LogBuffer::clear() {
    text_.clear();
    spans_.clear();
    emit cleared();
}

void LogBuffer::setRetaining(bool on) {
    if (retaining_ == on) {
        return;
    }
    retaining_ = on;
    if (!on) {
        clear();
        text_.squeeze();
    }
}

void LogBuffer::setAutoscroll(bool on) {
    if (autoscroll_ == on) {
        return;
    }
    autoscroll_ = on;
    emit autoscrollChanged(on);
}

QString LogBuffer::proposedLogFileName(const QDateTime& localNow) {
    return QStringLiteral("corvana-log-") + localNow.toString(u"yyyy-MM-dd'T'HHmmss") +
           QStringLiteral(".txt");
}

bool LogBuffer::writeTo(const QString& path, QString* errorDescription) const {
    return ProjectFile::writeAtomically(path, text_.toUtf8(), errorDescription);
}
