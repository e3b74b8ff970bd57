#pragma once
// A measured schema as the HTML report shows it: pretty-printed JSON, one line per element, each
// line carrying a copy of the coverage entry registered at the line's JSON pointer. Lines that
// only document (titles, descriptions, vendor extensions, example values) are left out, so the
// listing shows what is measured.
//
//   std::vector<AnnotatedLine> lines = write_annotated_schema(*target.schema, *holder.state);
//   for (const AnnotatedLine& line : lines) render(line.text, line.entry);
#include <optional>
#include <string>
#include <vector>

#include "deririrore/value/value.hpp"
#include "zavova/coverage_state.hpp"

namespace zavova {

struct AnnotatedLine {
    std::string text;  // indentation included, no line break
    std::optional<KeywordEntry> entry;
};

// Never fails; the walk keeps its own stack, so any nesting depth is listed.
std::vector<AnnotatedLine> write_annotated_schema(const deririrore::value::Value& schema, const CoverageState& state);

// The same lines, each beside the JSON pointer of the value it belongs to, for readers that
// must tell the schema's structure apart from its printed text.
struct LocatedListing {
    std::vector<AnnotatedLine> lines;
    std::vector<std::string> locations;  // one per line
};
LocatedListing write_located_schema(const deririrore::value::Value& schema, const CoverageState& state);

}  // namespace zavova
