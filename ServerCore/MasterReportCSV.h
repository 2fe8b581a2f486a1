#pragma once

#include "ModbusCore/DatapointCSV.h"
#include "ServerCore/MasterReport.h"

#include <string>

// The master report as a CSV file for spreadsheets: one table after another (functions, units,
// poll items, line), each under its own header row of the report's JSON keys and separated by an
// empty line, in the dialect of the user's locale (as the datapoint lists).
namespace MasterReportCSV {

std::string text(const MasterReport::Summary& summary, DatapointCSV::Dialect dialect);

} // namespace MasterReportCSV
