#include "vantorel/reports/html_schema_view.hpp"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "deririrore/referencing/pointer.hpp"
#include "deririrore/value/percent.hpp"
#include "deririrore/value/utf8.hpp"
#include "vantorel/reports/html_text.hpp"

namespace vantorel::reports {

using deririrore::value::Value;
using zavova::AnnotatedLine;
using zavova::EntryTag;

std::optional<ComponentRef> parse_component_ref(std::string_view text) {
    std::string_view remainder;
    if (text.starts_with("#/definitions/")) {
        remainder = text.substr(14);
    } else if (text.size() > 20 && text.starts_with("#/components/schemas/")) {
        remainder = text.substr(21);
    } else {
        return std::nullopt;
    }
    const std::string decoded = deririrore::value::percent_decode(remainder);
    if (!deririrore::value::is_valid_utf8(decoded)) return std::nullopt;
    const std::size_t slash = decoded.find('/');
    const std::string_view head = std::string_view(decoded).substr(0, slash);
    if (head.empty()) return std::nullopt;
    ComponentRef ref;
    ref.name = deririrore::referencing::unescape_pointer_segment(head);
    if (slash != std::string::npos) ref.rest = decoded.substr(slash);
    return ref;
}

namespace {

constexpr std::string_view kComponentsPrefix = "/components/schemas/";
constexpr std::string_view kDefinitionsPrefix = "/definitions/";

std::size_t leading_blanks(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && (text[n] == ' ' || text[n] == '\t')) ++n;
    return n;
}

bool line_complete(const zavova::KeywordEntry& e) {
    switch (e.kind.payload) {
        case 1:
            return e.passed > 0;
        case 2:
            return e.failed > 0;
        default:
            return e.passed > 0 && e.failed > 0;
    }
}

// A component map of the schema: which map and the component's pointer token.
struct ComponentKey {
    bool definitions = false;
    std::string token;
    friend bool operator==(const ComponentKey&, const ComponentKey&) = default;
};
struct ComponentKeyHash {
    std::size_t operator()(const ComponentKey& k) const noexcept {
        return std::hash<std::string>()(k.token) ^ (k.definitions ? 0x9e3779b97f4a7c15ull : 0);
    }
};

// Splits a location inside a component map into the component's key and what follows it
// (empty for the component's own lines).
std::optional<std::pair<ComponentKey, std::string_view>> component_of(std::string_view location) {
    bool definitions = false;
    if (location.starts_with(kComponentsPrefix)) {
        location.remove_prefix(kComponentsPrefix.size());
    } else if (location.starts_with(kDefinitionsPrefix)) {
        location.remove_prefix(kDefinitionsPrefix.size());
        definitions = true;
    } else {
        return std::nullopt;
    }
    const std::size_t slash = location.find('/');
    ComponentKey key{definitions, std::string(location.substr(0, slash))};
    return std::make_pair(std::move(key),
                          slash == std::string_view::npos ? std::string_view() : location.substr(slash));
}

bool in_component_maps(std::string_view location) {
    for (const std::string_view root : {std::string_view("/components"), std::string_view("/definitions")}) {
        if (location.starts_with(root) && (location.size() == root.size() || location[root.size()] == '/')) return true;
    }
    return false;
}

struct Builder {
    std::string name;
    std::optional<AnnotatedLine> key_line;
    std::size_t key_indent = 0;
    std::vector<AnnotatedLine> block;
    std::uint64_t covered = 0;
    std::uint64_t total = 0;
};

ComponentView finish(Builder& b) {
    ComponentView view;
    view.name = std::move(b.name);
    view.covered = b.covered;
    view.total = b.total;
    view.lines.reserve(b.block.size() + 2);
    view.lines.push_back(AnnotatedLine{"{", b.key_line->entry});
    for (auto& line : b.block) view.lines.push_back(std::move(line));
    view.lines.push_back(AnnotatedLine{"}", b.key_line->entry});
    return view;
}

}  // namespace

SchemaView build_schema_view(zavova::LocatedListing listing, const Value& schema) {
    SchemaView view;
    const Value* c1 = nullptr;
    const Value* c2 = nullptr;
    if (schema.is_object()) {
        if (const Value* components = schema.find("components"); components && components->is_object()) {
            if (const Value* schemas = components->find("schemas"); schemas && schemas->is_object()) c1 = schemas;
        }
        if (const Value* definitions = schema.find("definitions"); definitions && definitions->is_object()) {
            c2 = definitions;
        }
    }
    // Names in listing order; a name in both maps is shown once, from the first.
    std::vector<Builder> builders;
    std::unordered_map<ComponentKey, std::size_t, ComponentKeyHash> by_key;
    std::unordered_map<std::string, std::size_t> by_name;
    for (const Value* map : {c1, c2}) {
        if (map == nullptr) continue;
        for (const auto& member : map->as_object()) {
            if (by_name.contains(member.key)) continue;
            std::string token;
            deririrore::referencing::push_pointer_segment(token, member.key);
            by_key.emplace(ComponentKey{map == c2, std::move(token)}, builders.size());
            by_name.emplace(member.key, builders.size());
            builders.push_back(Builder{member.key, std::nullopt, 0, {}, 0, 0});
        }
    }
    if (builders.empty()) {
        view.lines = std::move(listing.lines);
        return view;
    }

    std::vector<std::size_t> kept;  // positions of the lines outside the component maps
    for (std::size_t i = 0; i < listing.lines.size(); ++i) {
        const AnnotatedLine& line = listing.lines[i];
        const std::string& location = listing.locations[i];
        if (!in_component_maps(location)) {
            kept.push_back(i);
            continue;
        }
        const auto component = component_of(location);
        if (!component) continue;
        const auto found = by_key.find(component->first);
        if (found == by_key.end()) continue;
        Builder& b = builders[found->second];
        if (component->second.empty()) {
            if (!b.key_line) {
                b.key_indent = leading_blanks(line.text);
                b.key_line = line;
            }
            continue;
        }
        if (!b.key_line) continue;
        const std::size_t own = leading_blanks(line.text);
        const std::size_t width = std::max<std::size_t>(own > b.key_indent ? own - b.key_indent : 0, 2);
        std::string text(width, ' ');
        text.append(line.text, own, std::string::npos);
        if (line.entry && line.entry->kind.tag == EntryTag::Keyword) {
            ++b.total;
            if (line_complete(*line.entry)) ++b.covered;
        }
        b.block.push_back(AnnotatedLine{std::move(text), line.entry});
    }

    std::optional<std::size_t> root;
    if (schema.is_object()) {
        if (const Value* ref = schema.find("$ref"); ref && ref->is_string()) {
            if (auto parsed = parse_component_ref(ref->as_string())) {
                const bool known = (c1 && c1->contains(parsed->name)) || (c2 && c2->contains(parsed->name));
                if (known) root = by_name.at(parsed->name);
            }
        }
    }

    if (root) {
        if (!builders[*root].key_line) {
            view.lines = std::move(listing.lines);
            return view;
        }
        view.form = builders.size() == 1 ? SchemaView::Form::SingleReference : SchemaView::Form::MultiReference;
        view.components.push_back(finish(builders[*root]));
        for (std::size_t i = 0; i < builders.size(); ++i) {
            if (i != *root && builders[i].key_line) view.components.push_back(finish(builders[i]));
        }
        return view;
    }
    view.form = SchemaView::Form::WithComponents;
    view.lines.reserve(kept.size());
    for (const std::size_t i : kept) view.lines.push_back(std::move(listing.lines[i]));
    for (auto& b : builders) {
        if (b.key_line) view.components.push_back(finish(b));
    }
    return view;
}

namespace {

enum class Cell : std::uint8_t { Hit, Miss, Na, Empty };

void write_cell(std::string& out, char side, Cell cell, std::uint64_t count) {
    out += "<span class=\"cell ";
    out += side;
    switch (cell) {
        case Cell::Hit:
            out += " hit\">";
            append_decimal(out, count);
            break;
        case Cell::Miss:
            out += " miss\">0";
            break;
        case Cell::Na:
            out += " na\">n/a";
            break;
        case Cell::Empty:
            out += " empty\">";
            break;
    }
    out += "</span>";
}

// The line's text, a `$ref` value to a component written as a link to it.
void write_code(std::string& out, std::string_view text, std::uint64_t counter) {
    const std::size_t ref = text.find("\"$ref\":");
    if (ref != std::string_view::npos) {
        const std::size_t open = text.find('"', ref + 7);
        const std::size_t close = open == std::string_view::npos ? open : text.find('"', open + 1);
        if (close != std::string_view::npos) {
            const std::string_view value = text.substr(open + 1, close - open - 1);
            if (auto parsed = parse_component_ref(value)) {
                std::string label(value);
                const std::string_view name = parsed->name;
                const std::string_view last =
                    name.substr(name.rfind('/') == std::string_view::npos ? 0 : name.rfind('/') + 1);
                const std::size_t dot = last.rfind('.');
                if (dot != std::string_view::npos && dot != 0) {
                    std::string ext(last.substr(dot + 1));
                    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
                    if (ext == "yml" || ext == "yaml" || ext == "json") {
                        label = parsed->rest.empty() ? parsed->name : parsed->name + "#" + parsed->rest;
                    }
                }
                escape_html_text(out, text.substr(0, open + 1));
                out += "<a class=\"ref-link\" href=\"#acc";
                append_decimal(out, counter);
                out += "-ref-";
                escape_html_attribute(out, percent_encode_fragment(parsed->name));
                out += "\">";
                escape_html_text(out, label);
                out += "</a>";
                escape_html_text(out, text.substr(close));
                return;
            }
        }
    }
    escape_html_text(out, text);
}

void write_listing(std::string& out, const std::vector<AnnotatedLine>& lines, bool show_header, std::uint64_t counter) {
    out += "\n    <div class=\"sv\"><div class=\"sc\">";
    if (show_header) {
        out +=
            "\n      <div class=\"sv-head\"><span class=\"h-ln\">#</span><span class=\"h-v\">valid</span><span "
            "class=\"h-i\">invalid</span><span class=\"h-code\">schema</span></div>";
    }
    std::uint64_t number = 0;
    for (const AnnotatedLine& line : lines) {
        ++number;
        const std::uint8_t tag = line.entry ? static_cast<std::uint8_t>(line.entry->kind.tag) : 255;
        const std::uint8_t polarity = line.entry ? line.entry->kind.payload : 0;
        const std::uint64_t p = line.entry ? line.entry->passed : 0;
        const std::uint64_t f = line.entry ? line.entry->failed : 0;
        Cell valid = Cell::Empty;
        Cell invalid = Cell::Empty;
        std::string_view row;
        if (tag == 2 || (tag <= 3 && (polarity == 0 || polarity > 2))) {
            valid = p > 0 ? Cell::Hit : Cell::Miss;
            invalid = f > 0 ? Cell::Hit : Cell::Miss;
            row = (p > 0 && f > 0) ? "l-f" : (p > 0 || f > 0) ? "l-p" : "l-n";
        } else if (tag <= 3 && polarity == 1) {
            valid = p > 0 ? Cell::Hit : Cell::Miss;
            invalid = Cell::Na;
            row = p > 0 ? "l-f" : "l-n";
        } else if (tag <= 3 && polarity == 2) {
            valid = Cell::Na;
            invalid = f > 0 ? Cell::Hit : Cell::Miss;
            row = f > 0 ? "l-f" : "l-n";
        } else if (tag == 4) {
            valid = Cell::Na;
            invalid = Cell::Na;
            row = "l-na";
        }
        if (row.empty()) {
            out += "<div class=\"sv-row\"><span class=\"ln\">";
        } else {
            out += "<div class=\"sv-row ";
            out += row;
            out += "\"><span class=\"ln\">";
        }
        append_decimal(out, number);
        out += "</span>";
        write_cell(out, 'v', valid, p);
        write_cell(out, 'i', invalid, f);
        out += "<span class=\"cl\">";
        write_code(out, line.text, counter);
        out += "</span></div>";
    }
    out += "</div></div>";
}

void write_heading(std::string& out, std::string_view name, std::uint64_t counter) {
    out += "<div class=\"ic\" id=\"acc";
    append_decimal(out, counter);
    out += "-ref-";
    escape_html_attribute(out, name);
    out +=
        "\"><div class=\"ic-h\"><svg class=\"ic-i\" width=\"14\" height=\"14\"><use href=\"#icon-ref\"/></svg><span "
        "class=\"ic-n\">";
    escape_html_text(out, name);
    out += "</span></div>";
}

void write_magnitude(std::string& out, std::uint64_t covered, std::uint64_t total) {
    if (total == 0) {
        out += "\"";
        return;
    }
    out += covered == total ? " magnitude\"" : " magnitude partial\"";
    out += " style=\"--pct: ";
    append_shortest(out, static_cast<double>(covered) * 100.0 / static_cast<double>(total));
    out += "\"";
}

void write_component_list(std::string& out, const ComponentView* begin, const ComponentView* end,
                          std::uint64_t counter) {
    if (begin == end) return;
    std::uint64_t covered = 0;
    std::uint64_t total = 0;
    for (const ComponentView* v = begin; v != end; ++v) {
        covered += v->covered;
        total += v->total;
    }
    out += "<details class=\"ref-components-section\"><summary class=\"ref-components-toggle";
    write_magnitude(out, covered, total);
    out += "><span>Referenced Components (";
    append_decimal(out, static_cast<std::uint64_t>(end - begin));
    out += ")</span><span class=\"ref-components-summary\">";
    append_decimal(out, covered);
    out += " of ";
    append_decimal(out, total);
    out +=
        " keywords</span><span class=\"ref-component-bar\"><span class=\"fill\"></span></span><svg "
        "class=\"toggle-icon\" width=\"12\" height=\"12\"><use href=\"#icon-arrow\"/></svg></summary><div "
        "class=\"ref-components-list\">";
    for (const ComponentView* v = begin; v != end; ++v) {
        out += "<details class=\"ref-component\" id=\"acc";
        append_decimal(out, counter);
        out += "-ref-";
        escape_html_attribute(out, v->name);
        out += "\"><summary class=\"ref-component-header";
        write_magnitude(out, v->covered, v->total);
        out += "><span class=\"ref-component-name\">";
        escape_html_text(out, v->name);
        out += "</span><span class=\"ref-component-stats\">";
        append_decimal(out, v->covered);
        out += " of ";
        append_decimal(out, v->total);
        out +=
            " keywords</span><span class=\"ref-component-bar\"><span class=\"fill\"></span></span><svg "
            "class=\"toggle-icon\" width=\"10\" height=\"10\"><use href=\"#icon-arrow\"/></svg></summary><div "
            "class=\"ref-component-content\">";
        write_listing(out, v->lines, false, counter);
        out += "</div></details>";
    }
    out += "</div></details>";
}

}  // namespace

void write_schema_view(std::string& out, const SchemaView& view, bool show_header, std::uint64_t counter) {
    const ComponentView* components = view.components.data();
    const ComponentView* end = components + view.components.size();
    switch (view.form) {
        case SchemaView::Form::Plain:
            write_listing(out, view.lines, show_header, counter);
            return;
        case SchemaView::Form::SingleReference:
            write_heading(out, components->name, counter);
            write_listing(out, components->lines, show_header, counter);
            out += "</div>";
            return;
        case SchemaView::Form::MultiReference:
            out += "<div class=\"multi-ref-schema\">";
            write_heading(out, components->name, counter);
            write_listing(out, components->lines, show_header, counter);
            out += "</div>";
            write_component_list(out, components + 1, end, counter);
            out += "</div>";
            return;
        case SchemaView::Form::WithComponents:
            out += "<div class=\"with-components-schema\">";
            write_listing(out, view.lines, show_header, counter);
            write_component_list(out, components, end, counter);
            out += "</div>";
            return;
    }
}

}  // namespace vantorel::reports
