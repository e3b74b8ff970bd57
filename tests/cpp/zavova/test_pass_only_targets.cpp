// Pass-only entries: plain binary and file schemas, and the string-typed checks of propertyNames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "zavova/pass_only_targets.hpp"

namespace {

using namespace zavova;
using deririrore::value::parse_json;

Value json(std::string_view text) {
    auto parsed = parse_json(text);
    EXPECT_TRUE(parsed) << text;
    return parsed ? std::move(*parsed) : Value();
}

// "location=K" (keyword) or "location=S" (whole schema), in registration order.
std::vector<std::string> listed(const EntryMap& entries) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const EntryKind kind = entries.entry(i).kind;
        EXPECT_EQ(kind.polarity(), Polarity::ValidOnly) << entries.location(i);
        out.push_back(std::string(entries.location(i)) + (kind.tag == EntryTag::Subschema ? "=S" : "=K"));
    }
    return out;
}

TEST(PassOnlyTargets, BinaryAndFileSchemas) {
    const struct {
        std::string_view schema;
        bool binary;
        bool file;
    } cases[] = {
        {R"({"type": "string", "format": "binary", "description": "d", "x-a": 1})", true, false},
        {R"({"type": "string", "format": "binary", "maxLength": 3})", false, false},
        {R"({"type": ["string"], "format": "binary"})", false, false},
        {R"({"type": "string"})", false, false},
        {R"({"type": "file", "maxLength": 3})", false, true},
        {R"({"type": ["file"]})", false, false},
        {R"(true)", false, false},
    };
    for (const auto& c : cases) {
        const Value schema = json(c.schema);
        const std::vector<std::string> none;
        const std::vector<std::string> binary_entries{"=S", "/type=K", "/format=K"};
        const std::vector<std::string> file_entries{"=S", "/type=K"};
        EntryMap binary;
        EXPECT_EQ(add_binary_schema_targets(schema, binary), c.binary) << c.schema;
        EXPECT_EQ(listed(binary), c.binary ? binary_entries : none) << c.schema;
        EntryMap file;
        EXPECT_EQ(add_file_schema_targets(schema, file), c.file) << c.schema;
        EXPECT_EQ(listed(file), c.file ? file_entries : none) << c.schema;
    }
}

TEST(PassOnlyTargets, PropertyNamesWherePropertiesLead) {
    const struct {
        std::string_view schema;
        std::vector<std::string> entries;
    } cases[] = {
        {R"({"properties": {"a/b~": {"propertyNames": {"type": "string"}}}})",
         {"/properties/a~1b~0/propertyNames/type=K", "/properties/a~1b~0/propertyNames=S"}},
        {R"({"propertyNames": {"type": "string", "minLength": 1}, "additionalProperties": {"propertyNames": {"type": "string"}}})",
         {"/propertyNames/type=K", "/additionalProperties/propertyNames/type=K",
          "/additionalProperties/propertyNames=S"}},
        {R"({"anyOf": [{"propertyNames": {"type": "string"}}], "items": {"propertyNames": {"type": "string"}}})",
         {"/items/propertyNames/type=K", "/items/propertyNames=S", "/anyOf/0/propertyNames/type=K",
          "/anyOf/0/propertyNames=S"}},
        // A reference is walked at its target's own location, and stops the walk of its holder.
        {R"({"properties": {"p": {"$ref": "#/$defs/D", "propertyNames": {"type": "string"}}},
             "$defs": {"D": {"propertyNames": {"type": "string"}}}})",
         {"/$defs/D/propertyNames/type=K", "/$defs/D/propertyNames=S"}},
        // Not visited: below "not", "if", "then", "else", "dependentSchemas" or array items.
        {R"({"not": {"propertyNames": {"type": "string"}}, "if": {"propertyNames": {"type": "string"}},
             "dependentSchemas": {"a": {"propertyNames": {"type": "string"}}}, "items": [{"propertyNames": {"type": "string"}}]})",
         {}},
    };
    for (const auto& c : cases) {
        EntryMap entries;
        collect_string_type_targets(json(c.schema), entries);
        EXPECT_EQ(listed(entries), c.entries) << c.schema;
    }
}

TEST(PassOnlyTargets, CyclesAndDepth) {
    EntryMap cyclic;
    collect_string_type_targets(json(R"({"$ref": "#/$defs/A", "$defs": {"A": {"items": {"$ref": "#/$defs/A"},
                                         "propertyNames": {"type": "string"}}}})"),
                                cyclic);
    EXPECT_EQ(listed(cyclic), (std::vector<std::string>{"/$defs/A/propertyNames/type=K", "/$defs/A/propertyNames=S"}));

    Value schema = json(R"({"propertyNames": {"type": "string"}})");
    for (int i = 0; i < 100000; ++i) {
        Value::Object members;
        members.push_back(deririrore::value::Member{"items", std::move(schema)});
        schema = Value::object(std::move(members));
    }
    EntryMap deep;
    collect_string_type_targets(schema, deep);
    ASSERT_EQ(deep.size(), 2u);
    EXPECT_EQ(deep.location(0).size(),
              std::string("/items").size() * 100000 + std::string("/propertyNames/type").size());
}

}  // namespace
