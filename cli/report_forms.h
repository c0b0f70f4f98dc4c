#pragma once

// The two forms of the report, for Report::create.

#include <memory>

#include "cli/report.h"

std::unique_ptr<Report> makeTextReport(Output &output, bool station, bool csv);
std::unique_ptr<Report> makeJsonReport(Output &output, bool station);
