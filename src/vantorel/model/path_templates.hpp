#pragma once
// Path templates in parsed form, for the templates the route table does not hold: their
// segments, the query constraints of templates that carry a "?" part, the stripping of "#"
// parts from path keys, and the matching of a request path against parsed segments.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace vantorel::model {

namespace segment_parts {
struct Literal {
    std::string text;
    friend bool operator==(const Literal&, const Literal&) = default;
};
struct Parameter {
    std::string name;
    friend bool operator==(const Parameter&, const Parameter&) = default;
};
// Two or more parameters with no text between them: nothing tells where one value ends.
struct AdjacentParameters {
    friend bool operator==(const AdjacentParameters&, const AdjacentParameters&) = default;
};
}  // namespace segment_parts

using SegmentPart = std::variant<segment_parts::Literal, segment_parts::Parameter, segment_parts::AdjacentParameters>;

namespace path_segments {
struct Literal {
    std::string text;  // holds no "{"
    friend bool operator==(const Literal&, const Literal&) = default;
};
// A parameter that makes up the whole segment.
struct Parameter {
    std::string name;
    friend bool operator==(const Parameter&, const Parameter&) = default;
};
struct Composite {
    std::vector<SegmentPart> parts;
    friend bool operator==(const Composite&, const Composite&) = default;
};
}  // namespace path_segments

using PathSegment = std::variant<path_segments::Literal, path_segments::Parameter, path_segments::Composite>;

struct SegmentTemplate {
    std::vector<PathSegment> segments;
    // Values fixed by expanding enumerated parameters; empty for a template as written.
    std::vector<std::pair<std::string, std::string>> fixed_parameters;
    std::string template_text;  // the route text whose operations a match leads to
};

namespace query_constraints {
// name={param}: the query value of `query_name` is the path parameter `parameter`.
struct Capture {
    std::string query_name;
    std::string parameter;
    friend bool operator==(const Capture&, const Capture&) = default;
};
// name=value: the raw value must be equal.
struct Fixed {
    std::string query_name;
    std::string value;
    friend bool operator==(const Fixed&, const Fixed&) = default;
};
// A piece without "=": a pair with that key must be present.
struct Present {
    std::string name;
    friend bool operator==(const Present&, const Present&) = default;
};
}  // namespace query_constraints

using QueryConstraint = std::variant<query_constraints::Capture, query_constraints::Fixed, query_constraints::Present>;

struct QueryTemplate {
    std::vector<PathSegment> segments;  // of the part before the first "?"
    std::vector<QueryConstraint> constraints;
    std::string template_text;  // the whole route text
};

// "/"-separated segments, or nothing when a "{" is not closed within its segment. A "{" inside a
// parameter name is part of the name, and the name may be empty.
std::optional<std::vector<PathSegment>> parse_path_template(std::string_view text);

// Nothing when the text holds no "#". Otherwise the text without its first "#" part: up to the
// next "/" (kept), or to the end; one "/" just before the "#" goes when a "/" follows the part.
// "/a#b/c" and "/a/#b/c" give "/a/c", "/a/#b" gives "/a/", "#b/c" gives "/c".
std::optional<std::string> strip_path_fragment(std::string_view text);

// The constraint of one "&"-separated piece of a query part.
QueryConstraint query_constraint_of(std::string_view piece);
// Every piece of a query part, empty pieces included (an empty query part is one empty piece).
std::vector<QueryConstraint> parse_query_constraints(std::string_view query);

using SegmentCaptures = std::vector<std::pair<std::string_view, std::string_view>>;  // name, value

// Whether `path` matches the segments piece by piece: a literal needs an equal piece, a
// parameter a non-empty piece, a composite segment goes through match_mixed_segment. Captures
// are appended (views into the segments and the path); a pattern with no segments never matches.
bool match_pattern_segments(const std::vector<PathSegment>& segments, std::string_view path, SegmentCaptures& captures);

// Literal parts match exactly; a parameter before a literal takes the shortest non-empty value
// after which the rest matches; a last parameter takes the non-empty rest; adjacent parameters
// never match. Failed (part, position) states are remembered, so the search is polynomial in
// the piece whatever the parts.
bool match_mixed_segment(const std::vector<SegmentPart>& parts, std::string_view piece, SegmentCaptures& captures);

}  // namespace vantorel::model
