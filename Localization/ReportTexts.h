#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The texts of the master report: the Master view beside the log, its tables and export, and
// the `serve --report` option with its messages. Figures arrive already formatted.
namespace L10n::Report {

std::string master();
std::string masterHint();
std::string exportCSV();
std::string exportHint();
std::string functionsTab();
std::string pollItemsTab();
std::string retriesTab();

// Column headers.
std::string unit();
std::string function();
std::string requests();
std::string answers();
std::string exceptions();
std::string suppressed();
std::string damaged();
std::string delayed();
std::string address();
std::string quantity();
std::string minimum();
std::string mean();
std::string median();
std::string percentile95();
std::string maximum();
std::string turnaroundMinimum();
std::string turnaroundMedian();
std::string retries();
std::string retryDelay();
std::string succeeded();
std::string gaveUp();
std::string untilSucceeded();
std::string untilGaveUp();

std::string lineSummary(std::uint64_t requests, std::uint64_t broadcasts, std::uint64_t early,
                        std::uint64_t gaps, std::uint64_t crcErrors, std::uint64_t garbageBytes);
std::string turnaroundSummary(std::string_view min, std::string_view median);
std::string pollItemsLeftOut(std::uint64_t count, std::size_t max);

std::string serveOption();
std::string writeFailed(std::string_view path, std::string_view reason);
std::string folderNotWritable(std::string_view path);

} // namespace L10n::Report
