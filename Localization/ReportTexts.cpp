#include "Localization/ReportTexts.h"

#include "Localization/TextLookup.h"

namespace L10n::Report {

using Catalogue::fill;
using Catalogue::text;

#define REPORT_TEXT(name)                                                                          \
    std::string name() {                                                                           \
        return text("Report." #name);                                                              \
    }

REPORT_TEXT(master)
REPORT_TEXT(masterHint)
REPORT_TEXT(exportCSV)
REPORT_TEXT(exportHint)
REPORT_TEXT(functionsTab)
REPORT_TEXT(pollItemsTab)
REPORT_TEXT(retriesTab)
REPORT_TEXT(unit)
REPORT_TEXT(function)
REPORT_TEXT(requests)
REPORT_TEXT(answers)
REPORT_TEXT(exceptions)
REPORT_TEXT(suppressed)
REPORT_TEXT(damaged)
REPORT_TEXT(delayed)
REPORT_TEXT(address)
REPORT_TEXT(quantity)
REPORT_TEXT(minimum)
REPORT_TEXT(mean)
REPORT_TEXT(median)
REPORT_TEXT(percentile95)
REPORT_TEXT(maximum)
REPORT_TEXT(turnaroundMinimum)
REPORT_TEXT(turnaroundMedian)
REPORT_TEXT(retries)
REPORT_TEXT(retryDelay)
REPORT_TEXT(succeeded)
REPORT_TEXT(gaveUp)
REPORT_TEXT(untilSucceeded)
REPORT_TEXT(untilGaveUp)
REPORT_TEXT(serveOption)

#undef REPORT_TEXT

std::string lineSummary(std::uint64_t requests, std::uint64_t broadcasts, std::uint64_t early,
                        std::uint64_t gaps, std::uint64_t crcErrors, std::uint64_t garbageBytes) {
    return fill("Report.lineSummary", {{"requests", std::to_string(requests)},
                                       {"broadcasts", std::to_string(broadcasts)},
                                       {"early", std::to_string(early)},
                                       {"gaps", std::to_string(gaps)},
                                       {"crc", std::to_string(crcErrors)},
                                       {"garbage", std::to_string(garbageBytes)}});
}

std::string turnaroundSummary(std::string_view min, std::string_view median) {
    return fill("Report.turnaroundSummary", {{"min", min}, {"median", median}});
}

std::string pollItemsLeftOut(std::uint64_t count, std::size_t max) {
    return fill(count == 1 ? "Report.pollItemsLeftOut.one" : "Report.pollItemsLeftOut.other",
                {{"count", std::to_string(count)}, {"max", std::to_string(max)}});
}

std::string writeFailed(std::string_view path, std::string_view reason) {
    return fill("Report.writeFailed", {{"path", path}, {"reason", reason}});
}

std::string folderNotWritable(std::string_view path) {
    return fill("Report.folderNotWritable", {{"path", path}});
}

} // namespace L10n::Report
