#pragma once

#include <QList>
#include <QString>

// One coloured part of a log line. The kinds keep this order; a view maps each to its colour and
// font (system lines get the medium-weight 11 pt font, all others the buffer font). A fired fault
// rule has a kind of its own, so that injected faults stand apart from real trouble.
struct LogSegment {
    enum class Kind { text, timestamp, meta, request, response, warning, error, system, fault };

    Kind kind = Kind::text;
    QString text;

    bool operator==(const LogSegment&) const = default;
};

// One log line as segments, without its newline.
using LogLine = QList<LogSegment>;
