#pragma once
// Which labels (tests) reached one element of an operation: the operation itself, a parameter or
// request body, one of its schema keywords, a response, or a keyword of a response body. Elements
// are named as the JSON report names them; the answer says for each label the sides it reached.
//
//   // with the map's lock held
//   LabelElement element{HttpMethod::Get, "/pets/{id}"};
//   element.location = ParameterLocation::Path;
//   element.name = "id";
//   auto reached = labels_reaching(map, element);   // or the message of a ValueError
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deririrore/value/result.hpp"
#include "http/method.hpp"
#include "vantorel/model/problems.hpp"
#include "vantorel/recorders/coverage_map.hpp"

namespace vantorel::reports {

struct LabelElement {
    http::HttpMethod method = http::HttpMethod::None;
    std::string path;  // the template as the report shows it, or as a person writes it
    std::optional<model::ParameterLocation> location;
    std::optional<std::string> name;
    std::optional<std::string> keyword;  // the entry's schema path ("/properties/id/type")
    std::optional<std::string> status;   // "200", "2XX", "default"
    std::optional<std::string> media_type;
};

// Bit 1 the valid side (reached with a passing check, or reached at all for operations and
// responses), bit 2 the invalid side.
enum class LabelSide : std::uint8_t { Valid = 1, Invalid = 2, Both = 3 };

// "valid", "invalid", "both".
std::string_view label_side_name(LabelSide side) noexcept;

// The report's location names: "path", "query", "header", "cookie", "body", "form_data",
// "querystring".
std::optional<model::ParameterLocation> parse_report_location(std::string_view text) noexcept;

// The labels that reached the element, by name bytewise ascending, with their sides; labels that
// reached nothing of it are left out. An element the map does not have is an error whose text
// says what was not found.
deririrore::Result<std::vector<std::pair<std::string, LabelSide>>, std::string> labels_reaching(
    const recorders::CoverageMap& map, const LabelElement& element);

}  // namespace vantorel::reports
