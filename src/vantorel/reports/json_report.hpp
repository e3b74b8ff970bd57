#pragma once
// The machine-readable report: the report model as one compact UTF-8 JSON object with a fixed
// key order at every level, members left out where their presence rule says so.
//
//   // with the map's lock held
//   std::string text = write_json_report(map);
#include <string>
#include <string_view>

#include "vantorel/recorders/coverage_map.hpp"
#include "vantorel/reports/report_model.hpp"

namespace vantorel::reports {

// Builds the model and writes it; no trailing line break.
std::string write_json_report(const recorders::CoverageMap& map);
std::string write_json_report(const ReportModel& model);

// The writer's pieces, for other reports that embed JSON.
// A quoted string: \" \\ \b \t \n \f \r, other controls as \u00XX (lower-case hex), everything
// else (non-ASCII, "/") unchanged.
void append_json_string(std::string& out, std::string_view text);
// The shortest text that reads back as the same double; plain notation for decimal exponents
// -5..15 (an integral value ends in ".0"), else d.ddde±X; null when not finite.
void append_json_double(std::string& out, double value);
// The same for a single-precision value, plain for exponents -6..12.
void append_json_float(std::string& out, float value);

}  // namespace vantorel::reports
