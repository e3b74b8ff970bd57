#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "deririrore/value/json.hpp"
#include "vantorel/reports/html_schema_view.hpp"
#include "vantorel/reports/html_text.hpp"

namespace {

using deririrore::value::Value;
using namespace vantorel::reports;
using zavova::CoverageState;
using zavova::EntryKind;
using zavova::Polarity;

template <class F>
std::string render(F&& write) {
    std::string out;
    write(out);
    return out;
}

TEST(HtmlText, Escapes) {
    struct Case {
        std::string_view input, text, attribute;
    } cases[] = {
        {"a&b<c>d", "a&amp;b&lt;c&gt;d", "a&amp;b&lt;c&gt;d"},
        {"\"q\" 'q'", "\"q\" 'q'", "&quot;q&quot; 'q'"},
        {"no\xC2\xA0"
         "break",
         "no&nbsp;break",
         "no\xC2\xA0"
         "break"},
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;", "&lt;script&gt;alert(1)&lt;/script&gt;"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(render([&](std::string& o) { escape_html_text(o, c.input); }), c.text) << c.input;
        EXPECT_EQ(render([&](std::string& o) { escape_html_attribute(o, c.input); }), c.attribute) << c.input;
    }
}

TEST(HtmlText, InlineCodeAndPaths) {
    struct Case {
        std::string_view input, expected;
    } code[] = {
        {"Set `$schema` to `<x>`.", "Set <code>$schema</code> to <code>&lt;x&gt;</code>."},
        {"one ` unpaired & rest", "one ` unpaired &amp; rest"},
        {"``", "<code></code>"},
    };
    for (const auto& c : code) {
        EXPECT_EQ(render([&](std::string& o) { write_inline_code(o, c.input); }), c.expected) << c.input;
    }
    Case paths[] = {
        {"/users/{id}", "/users/<span class=\"var\">{id}</span>"},
        {"/a/{x}/{y<}/z", "/a/<span class=\"var\">{x}</span>/<span class=\"var\">{y&lt;}</span>/z"},
        {"/open/{id", "/open/{id"},
    };
    for (const auto& c : paths) {
        EXPECT_EQ(render([&](std::string& o) { write_path_html(o, c.input); }), c.expected) << c.input;
    }
}

TEST(HtmlText, Ids) {
    EXPECT_EQ(operation_anchor_id(http::HttpMethod::Get, "/users/{id}"), "op-get--users--id-");
    EXPECT_EQ(operation_anchor_id(http::HttpMethod::Delete, "/Ünïcode/Straße_2"), "op-delete--ünïcode-straße-2");
    // Full lower-case mapping may lengthen a character.
    EXPECT_EQ(operation_anchor_id(http::HttpMethod::Post, "/\xC4\xB0"), "op-post--i\xCC\x87");

    struct Case {
        std::string_view name, slug;
    } slugs[] = {
        {"pets", "pets"},   {"Store Orders!", "store-orders"}, {"  a--b  ", "a-b"}, {"", "group"}, {"!!!", "group"},
        {"Ünï 2", "ünï-2"},
    };
    for (const auto& c : slugs) EXPECT_EQ(group_slug(c.name), c.slug) << c.name;

    IdSet taken;
    EXPECT_EQ(unique_id("store-orders", taken), "store-orders");
    EXPECT_EQ(unique_id("store-orders", taken), "store-orders-2");
    EXPECT_EQ(unique_id("store-orders", taken), "store-orders-3");
    EXPECT_EQ(unique_id("store-orders-2", taken), "store-orders-2-2");

    EXPECT_EQ(percent_encode_fragment("My Pet#\"%{}`<>\x7F\xC3\xA9/ok"),
              "My%20Pet%23%22%25%7B%7D%60%3C%3E%7F%C3%A9/ok");
    std::string shortest;
    append_shortest(shortest, 200.0 / 3.0);
    shortest += ' ';
    append_shortest(shortest, 100.0);
    shortest += ' ';
    append_shortest(shortest, 100.0f / 3.0f);
    EXPECT_EQ(shortest, "66.66666666666667 100 33.333332");
}

TEST(HtmlSchemaView, ParseComponentRef) {
    struct Case {
        std::string_view text;
        bool found;
        std::string_view name, rest;
    } cases[] = {
        {"#/components/schemas/Pet", true, "Pet", ""},
        {"#/components/schemas/Pet/properties/id", true, "Pet", "/properties/id"},
        {"#/definitions/a~1b~0c", true, "a/b~c", ""},
        {"#/components/schemas/My%20Pet", true, "My Pet", ""},
        {"#/components/schemas/common.yaml/properties/Pet", true, "common.yaml", "/properties/Pet"},
        {"#/components/schemas/", false, "", ""},
        {"#/definitions//x", false, "", ""},
        {"#/components/schemas/%FF", false, "", ""},
        {"#/properties/a", false, "", ""},
        {"other.json#/x", false, "", ""},
    };
    for (const auto& c : cases) {
        const auto ref = parse_component_ref(c.text);
        ASSERT_EQ(ref.has_value(), c.found) << c.text;
        if (!ref) continue;
        EXPECT_EQ(ref->name, c.name) << c.text;
        EXPECT_EQ(ref->rest, c.rest) << c.text;
    }
}

Value parse(std::string_view text) {
    auto parsed = deririrore::value::parse_json(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return std::move(parsed).value();
}

struct Viewed {
    SchemaView view;
    std::string html;
};

Viewed view_of(std::string_view schema_text, const CoverageState& state, bool header = true,
               std::uint64_t counter = 7) {
    const Value schema = parse(schema_text);
    Viewed v{build_schema_view(zavova::write_located_schema(schema, state), schema), {}};
    write_schema_view(v.html, v.view, header, counter);
    return v;
}

std::size_t count(std::string_view haystack, std::string_view needle) {
    std::size_t n = 0;
    for (std::size_t at = haystack.find(needle); at != std::string_view::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

std::vector<std::string> texts(const std::vector<zavova::AnnotatedLine>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.text);
    return out;
}

TEST(HtmlSchemaView, Forms) {
    const CoverageState none;
    {
        const Viewed v = view_of(R"({"type": "string"})", none, false);
        EXPECT_EQ(v.view.form, SchemaView::Form::Plain);
        EXPECT_EQ(v.html.find("sv-head"), std::string::npos);
        EXPECT_NE(v.html.find("<span class=\"ln\">3</span>"), std::string::npos);
    }
    {
        const Viewed v = view_of(
            R"({"$ref": "#/components/schemas/Pet", "components": {"schemas": {"Pet": {"type": "object"}}}})", none);
        ASSERT_EQ(v.view.form, SchemaView::Form::SingleReference);
        EXPECT_EQ(texts(v.view.components[0].lines), (std::vector<std::string>{"{", "  \"type\": \"object\"", "}"}));
        EXPECT_EQ(count(v.html, "sv-head"), 1u);
        EXPECT_NE(v.html.find("<div class=\"ic\" id=\"acc7-ref-Pet\">"), std::string::npos);
        EXPECT_EQ(v.html.find("$ref"), std::string::npos);  // none of the root's own lines
    }
    {
        const Viewed v = view_of(
            R"({"$ref": "#/components/schemas/B", "components": {"schemas": {"A": {}, "B": {"type": "integer"}, "C": true}}})",
            none);
        ASSERT_EQ(v.view.form, SchemaView::Form::MultiReference);
        ASSERT_EQ(v.view.components.size(), 3u);
        EXPECT_EQ(v.view.components[0].name, "B");
        EXPECT_EQ(v.view.components[1].name, "A");
        EXPECT_EQ(v.view.components[2].name, "C");
        EXPECT_NE(v.html.find("Referenced Components (2)"), std::string::npos);
        EXPECT_TRUE(v.html.starts_with("<div class=\"multi-ref-schema\">"));
    }
    {
        const Viewed v =
            view_of(R"({"$ref": "#/components/schemas/Gone", "components": {"schemas": {"A": {}}}})", none);
        EXPECT_EQ(v.view.form, SchemaView::Form::WithComponents) << "a root reference to no carried component";
    }
    {
        const Viewed v = view_of(
            R"({"properties": {"p": {"$ref": "#/definitions/P"}}, "definitions": {"P": {"type": "string"}}, "type": "object"})",
            none);
        ASSERT_EQ(v.view.form, SchemaView::Form::WithComponents);
        EXPECT_EQ(texts(v.view.lines), (std::vector<std::string>{"{", "  \"properties\": {", "    \"p\": {",
                                                                 "      \"$ref\": \"#/definitions/P\"", "    }", "  },",
                                                                 "  \"type\": \"object\"", "}"}));
        EXPECT_NE(v.html.find("<a class=\"ref-link\" href=\"#acc7-ref-P\">#/definitions/P</a>"), std::string::npos);
        EXPECT_NE(v.html.find("<details class=\"ref-component\" id=\"acc7-ref-P\">"), std::string::npos);
    }
}

TEST(HtmlSchemaView, StructureNotPrintedText) {
    // A nested property named like the component is printed first but is not the component, and
    // a member named "components" below the root is a property, kept in the main listing.
    const CoverageState none;
    const Viewed v = view_of(R"({
        "components": {"schemas": {"Pet": {"type": "object"}}},
        "properties": {
            "Pet": {"type": "string"},
            "components": {"properties": {"definitions": {"type": "integer"}}}
        },
        "type": "object"
    })",
                             none);
    ASSERT_EQ(v.view.form, SchemaView::Form::WithComponents);
    ASSERT_EQ(v.view.components.size(), 1u);
    EXPECT_EQ(texts(v.view.components[0].lines), (std::vector<std::string>{"{", "  \"type\": \"object\"", "}"}));
    const auto main = texts(v.view.lines);
    EXPECT_NE(std::find(main.begin(), main.end(), "    \"Pet\": {"), main.end());
    EXPECT_NE(std::find(main.begin(), main.end(), "    \"components\": {"), main.end());
    EXPECT_NE(std::find(main.begin(), main.end(), "          \"type\": \"integer\""), main.end());
    EXPECT_EQ(main.front(), "{");
    EXPECT_EQ(main[1], "  \"properties\": {") << "the root components block is cut";
}

TEST(HtmlSchemaView, LinksLabelsAndIds) {
    const CoverageState none;
    const Viewed v = view_of(R"({
        "components": {"schemas": {"My Pet": {"type": "object"}, "Pet": {"type": "object"}, "common.yaml": {}}},
        "properties": {
            "a": {"$ref": "#/components/schemas/Pet/properties/id"},
            "b": {"$ref": "#/components/schemas/common.yaml/properties/Pet"},
            "c": {"$ref": "#/components/schemas/My%20Pet"},
            "d": {"$ref": "#/components/schemas/Missing"},
            "e": {"$ref": "#/properties/a"},
            "f": {"$ref": "#/components/schemas/<x>"}
        }
    })",
                             none);
    const std::string& h = v.html;
    EXPECT_NE(h.find("<a class=\"ref-link\" href=\"#acc7-ref-Pet\">#/components/schemas/Pet/properties/id</a>"),
              std::string::npos);
    EXPECT_NE(h.find("href=\"#acc7-ref-common.yaml\">common.yaml#/properties/Pet</a>"), std::string::npos);
    EXPECT_NE(h.find("href=\"#acc7-ref-My%20Pet\">"), std::string::npos);
    EXPECT_NE(h.find("id=\"acc7-ref-My Pet\""), std::string::npos);
    EXPECT_NE(h.find("href=\"#acc7-ref-Missing\""), std::string::npos) << "a link even to a component not carried";
    EXPECT_NE(h.find("<span class=\"cl\">      \"$ref\": \"#/properties/a\"</span>"), std::string::npos)
        << "plain text for a reference that names no component";
    EXPECT_NE(h.find("href=\"#acc7-ref-%3Cx%3E\">#/components/schemas/&lt;x&gt;</a>"), std::string::npos);
    EXPECT_EQ(h.find("<x>"), std::string::npos);
}

TEST(HtmlSchemaView, CellsRowsAndMagnitudes) {
    CoverageState state;
    auto add = [&](std::string loc, EntryKind kind, std::uint64_t p, std::uint64_t f) {
        state.entries.ensure(loc, kind);
        state.entries.find(loc)->passed = p;
        state.entries.find(loc)->failed = f;
    };
    add("/components/schemas/Full/minimum", EntryKind::keyword(Polarity::Both), 2, 1);
    add("/components/schemas/Half/minimum", EntryKind::keyword(Polarity::Both), 1, 0);
    add("/components/schemas/Half/maximum", EntryKind::keyword(Polarity::Both), 1, 1);
    add("/properties/a/minLength", EntryKind::keyword(Polarity::ValidOnly), 1, 0);
    add("/properties/a/maxLength", EntryKind::keyword(Polarity::Both), 1, 0);
    add("/properties/a/pattern", EntryKind::unmeasured(zavova::UnmeasuredReason::InvalidPattern), 0, 0);
    add("/properties/a/type", EntryKind::keyword(Polarity::InvalidOnly), 0, 0);
    const Viewed v = view_of(R"({
        "components": {"schemas": {"Empty": {"title": "t"}, "Full": {"minimum": 1}, "Half": {"maximum": 9, "minimum": 1}}},
        "properties": {"a": {"maxLength": 3, "minLength": 1, "pattern": "(", "type": "string"}}
    })",
                             state, true, 3);
    const std::string& h = v.html;
    EXPECT_NE(h.find("<div class=\"sv-row l-p\"><span class=\"ln\">4</span><span class=\"cell v hit\">1</span><span "
                     "class=\"cell i miss\">0</span><span class=\"cl\">      \"maxLength\": 3,</span></div>"),
              std::string::npos);
    EXPECT_NE(h.find("<div class=\"sv-row l-f\"><span class=\"ln\">5</span><span class=\"cell v hit\">1</span><span "
                     "class=\"cell i na\">n/a</span><span class=\"cl\">      \"minLength\": 1,</span>"),
              std::string::npos);
    EXPECT_NE(h.find("<div class=\"sv-row l-na\"><span class=\"ln\">6</span><span class=\"cell v na\">n/a</span><span "
                     "class=\"cell i na\">n/a</span>"),
              std::string::npos);
    EXPECT_NE(h.find("<span class=\"cell v na\">n/a</span><span class=\"cell i miss\">0</span><span class=\"cl\">      "
                     "\"type\": \"string\"</span>"),
              std::string::npos);
    EXPECT_NE(h.find("<div class=\"sv-row\"><span class=\"ln\">1</span><span class=\"cell v empty\"></span><span "
                     "class=\"cell i empty\"></span><span class=\"cl\">{</span>"),
              std::string::npos);
    // Component list: totals over the views, then each view's class and style.
    EXPECT_NE(
        h.find("<summary class=\"ref-components-toggle magnitude partial\" style=\"--pct: 66.66666666666667\">"
               "<span>Referenced Components (3)</span><span class=\"ref-components-summary\">2 of 3 keywords</span>"),
        std::string::npos);
    EXPECT_NE(h.find("<summary class=\"ref-component-header\"><span class=\"ref-component-name\">Empty</span><span "
                     "class=\"ref-component-stats\">0 of 0 keywords</span>"),
              std::string::npos);
    EXPECT_NE(h.find("<summary class=\"ref-component-header magnitude\" style=\"--pct: 100\"><span "
                     "class=\"ref-component-name\">Full</span>"),
              std::string::npos);
    EXPECT_NE(
        h.find("<summary class=\"ref-component-header magnitude partial\" style=\"--pct: 50\"><span "
               "class=\"ref-component-name\">Half</span><span class=\"ref-component-stats\">1 of 2 keywords</span>"),
        std::string::npos);
    EXPECT_EQ(count(h, "sv-head"), 1u) << "component listings never get the header";
}

}  // namespace
