#include "ServerCore/MasterReportCSV.h"

#include <array>
#include <cstdio>
#include <initializer_list>

namespace {

class Writer {
public:
    explicit Writer(DatapointCSV::Dialect dialect)
        : dialect_(dialect) {}

    void row(std::initializer_list<std::string> cells) {
        bool first = true;
        for (const std::string& cell : cells) {
            if (!first) {
                text_ += dialect_.separator;
            }
            text_ += cell;
            first = false;
        }
        text_ += "\r\n";
    }
    void blank() { text_ += "\r\n"; }

    std::string number(double value) const {
        std::array<char, 32> buffer{};
        std::snprintf(buffer.data(), buffer.size(), "%.1f", value);
        std::string text = buffer.data();
        if (dialect_.decimalComma) {
            for (char& c : text) {
                if (c == '.') {
                    c = ',';
                }
            }
        }
        return text;
    }
    // Empty when nothing was measured.
    std::string figure(const MasterReport::Figures& figures, double value) const {
        return figures.count > 0 ? number(value) : std::string();
    }

    std::string take() { return std::move(text_); }

private:
    DatapointCSV::Dialect dialect_;
    std::string text_;
};

std::string count(std::uint64_t value) {
    return std::to_string(value);
}

std::string optional(const std::optional<int>& value) {
    return value ? std::to_string(*value) : std::string();
}

// "2:3 6:1": three times exception 02, once 06.
std::string counts(const std::map<int, std::uint64_t>& counts) {
    std::string text;
    for (const auto& [key, value] : counts) {
        if (!text.empty()) {
            text += ' ';
        }
        text += std::to_string(key) + ':' + std::to_string(value);
    }
    return text;
}

} // namespace

std::string MasterReportCSV::text(const MasterReport::Summary& summary,
                                  DatapointCSV::Dialect dialect) {
    Writer out(dialect);
    out.row({"unit", "function", "requests", "answers", "exceptions", "suppressed", "damaged",
             "delayed"});
    for (const auto& row : summary.functions) {
        out.row({count(row.unit), count(row.function), count(row.requests), count(row.answers),
                 counts(row.exceptions), count(row.suppressed), count(row.damaged),
                 count(row.delayed)});
    }
    out.blank();
    out.row({"unit", "turnaroundMin", "turnaroundMedian", "retries", "retryDelayMin",
             "retryDelayMedian", "retryDelayMax", "succeeded", "gaveUp", "untilSucceeded",
             "untilGaveUp"});
    for (const auto& row : summary.units) {
        out.row({count(row.unit), out.figure(row.turnaround, row.turnaround.min),
                 out.figure(row.turnaround, row.turnaround.median), count(row.retries),
                 out.figure(row.retryDelay, row.retryDelay.min),
                 out.figure(row.retryDelay, row.retryDelay.median),
                 out.figure(row.retryDelay, row.retryDelay.max), count(row.succeeded),
                 count(row.gaveUp), counts(row.retriesUntilSucceeded),
                 counts(row.retriesUntilGaveUp)});
    }
    out.blank();
    out.row({"unit", "function", "address", "quantity", "requests", "intervals", "intervalMin",
             "intervalMean", "intervalMedian", "intervalP95", "intervalMax"});
    for (const auto& row : summary.pollItems) {
        const auto& interval = row.interval;
        out.row({count(row.unit), count(row.function), optional(row.address),
                 optional(row.quantity), count(row.requests), count(interval.count),
                 out.figure(interval, interval.min), out.figure(interval, interval.mean),
                 out.figure(interval, interval.median), out.figure(interval, interval.p95),
                 out.figure(interval, interval.max)});
    }
    out.blank();
    const auto& line = summary.line;
    out.row({"line", "value"});
    out.row({"frameGap", out.number(summary.frameGap)});
    out.row({"characterGap", out.number(summary.characterGap)});
    out.row({"requests", count(line.requests)});
    out.row({"broadcasts", count(line.broadcasts)});
    out.row({"otherUnits", count(line.otherUnits)});
    out.row({"earlyRequests", count(line.earlyRequests)});
    out.row({"characterGaps", count(line.characterGaps)});
    out.row({"crcErrors", count(line.crcErrors)});
    out.row({"garbageBytes", count(line.garbageBytes)});
    out.row({"turnaroundMin", out.figure(line.turnaround, line.turnaround.min)});
    out.row({"turnaroundMedian", out.figure(line.turnaround, line.turnaround.median)});
    out.row({"pollItemsLeftOut", count(summary.pollItemsLeftOut)});
    return out.take();
}
