#pragma once
// The schema viewer of the HTML report: a measured schema's annotated listing as numbered rows
// with a valid and an invalid cell each, `$ref`s to component schemas as links, and the
// component schemas the measured schema carries listed under it, each with its keyword count.
// Components are found by the schema's structure (the pointer of each line), never by matching
// printed text, so a nested property that shares a component's name stays where it is.
//
//   SchemaView view = build_schema_view(zavova::write_located_schema(schema, state), schema);
//   write_schema_view(page, view, first_in_panel, counter++);
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/value/value.hpp"
#include "zavova/annotated_listing.hpp"

namespace vantorel::reports {

struct ComponentView {
    std::string name;
    std::vector<zavova::AnnotatedLine> lines;  // "{", the component's members re-indented, "}"
    std::uint64_t covered = 0;                 // complete keyword lines
    std::uint64_t total = 0;                   // keyword lines
};

struct SchemaView {
    enum class Form : std::uint8_t { Plain, SingleReference, MultiReference, WithComponents };
    Form form = Form::Plain;
    // Plain: the listing; WithComponents: the listing without the component maps; the reference
    // forms leave it empty.
    std::vector<zavova::AnnotatedLine> lines;
    // The reference forms: the referenced component first; WithComponents: all, in name order.
    std::vector<ComponentView> components;
};

SchemaView build_schema_view(zavova::LocatedListing listing, const deririrore::value::Value& schema);

// `show_header` asks for the column header row above the view's own listing; `counter` makes the
// component ids of this view unique on the page.
void write_schema_view(std::string& out, const SchemaView& view, bool show_header, std::uint64_t counter);

struct ComponentRef {
    std::string name;
    std::string rest;  // from the first "/" after the name on; empty when there is none
};

// The component a `$ref` names: "#/definitions/N..." or "#/components/schemas/N...", the rest
// percent-decoded (it must then be UTF-8) and the name's pointer escapes undone.
std::optional<ComponentRef> parse_component_ref(std::string_view text);

}  // namespace vantorel::reports
