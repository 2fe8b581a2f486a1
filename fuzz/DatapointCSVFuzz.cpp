// Arbitrary text through the CSV importer: it must never crash, stay within its limits (cells
// per record, records; scripts/fuzz adds memory and time limits for inputs up to 64 MiB), and
// what it reads must survive an export in either dialect and a second import unchanged (ids
// aside) and without issues.
#include "ModbusCore/DatapointCSV.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

bool sameApartFromIds(const std::vector<Datapoint>& a, const std::vector<Datapoint>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        Datapoint copy = b[i];
        copy.id = a[i].id;
        if (!(a[i] == copy)) {
            return false;
        }
    }
    return true;
}

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant failed: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto [points, issues, tooLarge] = DatapointCSV::parse(text);
    for (const auto& record : DatapointCSV::records(text.substr(0, 1 << 16), ',')) {
        check(record.size() <= DatapointCSV::maxCellsPerRecord, "cells per record are bounded");
    }
    for (const auto& issue : issues) {
        check(issue.line >= 1, "issue line is one-based");
    }
    check(!tooLarge || (points.empty() && issues.empty()), "a refused file gives nothing");
    check(points.size() + issues.size() <= maxDatapoints, "records are bounded");
    check(issues.size() != 1 ||
              issues[0].problem.kind != DatapointCSV::Problem::Kind::missingColumns ||
              points.empty(),
          "missing columns gives no datapoints");
    // The round trip costs far more than the reading; large inputs are there for the limits.
    constexpr std::size_t maxRoundTrip = 10'000;
    if (points.size() > maxRoundTrip) {
        return 0;
    }
    for (const auto dialect :
         {DatapointCSV::Dialect{';', true}, DatapointCSV::Dialect{',', false}}) {
        const std::string exported = DatapointCSV::exportText(points, dialect);
        const auto [again, againIssues, againTooLarge] = DatapointCSV::parse(exported);
        check(againIssues.empty() && !againTooLarge, "re-import of an export has no issues");
        check(sameApartFromIds(again, points), "re-import gives the same datapoints");
    }
    return 0;
}
