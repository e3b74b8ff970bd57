#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "zavova/annotated_listing.hpp"

namespace {

using deririrore::value::Value;
using namespace zavova;

Value parse(std::string_view text) {
    auto parsed = deririrore::value::parse_json(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return std::move(parsed).value();
}

std::string listing_text(const std::vector<AnnotatedLine>& lines) {
    std::string out;
    for (const auto& line : lines) out += line.text + "\n";
    return out;
}

struct Registered {
    std::string location;
    EntryKind kind;
    std::uint64_t passed = 0;
};

CoverageState state_with(std::initializer_list<Registered> entries) {
    CoverageState state;
    for (const auto& e : entries) {
        state.entries.ensure(e.location, e.kind);
        state.entries.find(e.location)->passed = e.passed;
    }
    return state;
}

const EntryKind kBoth = EntryKind::keyword(Polarity::Both);

TEST(AnnotatedListing, LayoutAndLeftOutLines) {
    struct Case {
        const char* name;
        const char* schema;
        std::initializer_list<Registered> entries;
        const char* expected;
    };
    const Case cases[] = {
        {"boolean root", "true", {}, "true\n"},
        {"empty object", "{}", {}, "{}\n"},
        {"description left out", R"({"type": "string", "description": "d"})", {}, "{\n  \"type\": \"string\"\n}\n"},
        {"a left-out last member leaves the comma of the member before",
         R"({"type": "string", "x-doc": "d"})",
         {},
         "{\n  \"type\": \"string\",\n}\n"},
        {"members in byte order",
         R"({"type": "object", "properties": {}, "$ref": "#/x"})",
         {},
         "{\n  \"$ref\": \"#/x\",\n  \"properties\": {},\n  \"type\": \"object\"\n}\n"},
        {"vendor extension and all under it left out; x-nullable and a property named x-id kept",
         R"({"properties": {"x-id": {"type": "integer"}}, "x-extra": {"a": [1, 2]}, "x-nullable": true})",
         {},
         "{\n  \"properties\": {\n    \"x-id\": {\n      \"type\": \"integer\"\n    }\n  },\n"
         "  \"x-nullable\": true\n}\n"},
        {"discriminator value left out, a property of that name kept",
         R"({"discriminator": {"propertyName": "k"}, "properties": {"discriminator": true}})",
         {},
         "{\n  \"properties\": {\n    \"discriminator\": true\n  }\n}\n"},
        {"examples and its items left out without entries",
         R"({"examples": [1, {"a": 2}], "type": "integer"})",
         {},
         "{\n  \"type\": \"integer\"\n}\n"},
        {"nested arrays indent two more per level",
         R"({"enum": [[1, 2], 3]})",
         {},
         "{\n  \"enum\": [\n    [\n      1,\n      2\n    ],\n    3\n  ]\n}\n"},
        {"example values and default listed when no entry counts examples",
         R"({"default": 1, "example": {"a": 1}})",
         {},
         "{\n  \"default\": 1,\n  \"example\": {\n    \"a\": 1\n  }\n}\n"},
        {"an example entry hides its member and whole value",
         R"({"example": {"a": [1]}, "type": "object"})",
         {{"/example", EntryKind::example()}},
         "{\n  \"type\": \"object\"\n}\n"},
        {"an example entry under properties hides only that value",
         R"({"properties": {"a": {"default": 3, "type": "integer"}}})",
         {{"/properties/a/default", EntryKind::example()}},
         "{\n  \"properties\": {\n    \"a\": {\n      \"type\": \"integer\"\n    }\n  }\n}\n"},
        {"an example entry at the root hides everything", R"({"type": "integer"})", {{"", EntryKind::example()}}, ""},
        {"properties and components named like documentation or extensions are listed",
         R"({"components": {"schemas": {"x-Id": {"type": "integer"}}}, "properties": {"description": {"type": "string"}, "title": true}})",
         {},
         "{\n  \"components\": {\n    \"schemas\": {\n      \"x-Id\": {\n        \"type\": \"integer\"\n      }\n    "
         "}\n  },\n"
         "  \"properties\": {\n    \"description\": {\n      \"type\": \"string\"\n    },\n    \"title\": true\n  "
         "}\n}\n"},
        {"a title with an entry is kept", R"({"title": "t"})", {{"/title", kBoth}}, "{\n  \"title\": \"t\"\n}\n"},
        {"string escapes", "[\"a\\tb\\\"c\\u0001/\\u00e9\"]", {}, "[\n  \"a\\tb\\\"c\\u0001/\xc3\xa9\"\n]\n"},
    };
    for (const auto& c : cases) {
        const Value schema = parse(c.schema);
        const CoverageState state = state_with(c.entries);
        EXPECT_EQ(listing_text(write_annotated_schema(schema, state)), c.expected) << c.name;
    }
}

TEST(AnnotatedListing, LinesCarryTheEntryOfTheirLocation) {
    const Value schema = parse(R"({"items": [{"type": "string"}], "properties": {"a/b": {"minimum": 1}}})");
    const CoverageState state = state_with({
        {"", EntryKind::subschema(Polarity::Both), 1},
        {"/items/0", kBoth, 2},
        {"/items/0/type", kBoth, 3},
        {"/properties/a~1b/minimum", EntryKind::keyword(Polarity::ValidOnly), 4},
    });
    const auto lines = write_annotated_schema(schema, state);
    struct Expect {
        const char* text;
        int passed;  // -1: no entry
    };
    const Expect expected[] = {
        {"{", 1},
        {"  \"items\": [", -1},
        {"    {", 2},
        {"      \"type\": \"string\"", 3},
        {"    }", 2},
        {"  ],", -1},
        {"  \"properties\": {", -1},
        {"    \"a/b\": {", -1},
        {"      \"minimum\": 1", 4},
        {"    }", -1},
        {"  }", -1},
        {"}", 1},
    };
    ASSERT_EQ(lines.size(), std::size(expected)) << listing_text(lines);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].text, expected[i].text) << i;
        if (expected[i].passed < 0) {
            EXPECT_FALSE(lines[i].entry) << i;
        } else {
            ASSERT_TRUE(lines[i].entry) << i;
            EXPECT_EQ(lines[i].entry->passed, std::uint64_t(expected[i].passed)) << i;
        }
    }
    EXPECT_EQ(lines[8].entry->kind, EntryKind::keyword(Polarity::ValidOnly));

    const LocatedListing located = write_located_schema(schema, state);
    const std::vector<std::string> locations = {"",
                                                "/items",
                                                "/items/0",
                                                "/items/0/type",
                                                "/items/0",
                                                "/items",
                                                "/properties",
                                                "/properties/a~1b",
                                                "/properties/a~1b/minimum",
                                                "/properties/a~1b",
                                                "/properties",
                                                ""};
    EXPECT_EQ(located.locations, locations);
    EXPECT_EQ(located.lines.size(), lines.size());
}

TEST(AnnotatedListing, DeepNestingIsListedWhole) {
    // Every line repeats its indentation, so the text grows with the square of the depth.
    constexpr int kDepth = 3000;
    Value v = Value::number("1");
    for (int i = 0; i < kDepth; ++i) {
        Value wrap = Value::object();
        wrap.insert_or_assign("not", std::move(v));
        v = std::move(wrap);
    }
    const auto lines = write_annotated_schema(v, CoverageState{});
    ASSERT_EQ(lines.size(), std::size_t(2 * kDepth + 1));
    EXPECT_EQ(lines[kDepth].text, std::string(2 * kDepth, ' ') + "\"not\": 1");
}

}  // namespace
