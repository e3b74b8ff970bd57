#include <gtest/gtest.h>

#include <string>

#include "deririrore/value/json.hpp"
#include "xml/hints.hpp"

namespace {

using xml::Value;
using xml::XmlHint;
using xml::XmlHints;

Value json(std::string_view text) { return std::move(deririrore::value::parse_json(text)).value(); }

XmlHints hints(std::string_view schema) { return xml::xml_hints_from_schema(json(schema)); }

XmlHint hint(std::optional<std::string> name, std::uint8_t types, bool attribute = false, bool wrapped = false) {
    XmlHint h;
    h.name = std::move(name);
    h.types = types;
    h.attribute = attribute;
    h.wrapped = wrapped;
    return h;
}

TEST(XmlHints, RootNameAndTypes) {
    const XmlHints got = hints(R"({"type":"object","xml":{"name":"Pet"}})");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got.at(""), hint("Pet", 64));
    EXPECT_TRUE(hints(R"({"xml":{"prefix":"p","namespace":"urn:x"},"description":"d"})").empty());
    EXPECT_EQ(hints(R"({"type":["integer","null","bogus",3]})").at(""), hint(std::nullopt, 5));
    EXPECT_EQ(hints(R"({"xml":{"name":""}})").at(""), hint("", 0));
}

TEST(XmlHints, AttributesAndElementNames) {
    XmlHints got = hints(R"({"properties":{"id":{"type":"integer","xml":{"attribute":true}}}})");
    EXPECT_EQ(got.at("id"), hint(std::nullopt, 4, true));
    EXPECT_EQ(got.count(""), 0u);

    got = hints(R"({"properties":{"id":{"xml":{"attribute":true,"name":"ID"}},"plain":{"type":"string"}}})");
    EXPECT_EQ(got.at("").attribute_names.at("ID"), "id");
    EXPECT_TRUE(got.at("").element_names.empty());
    EXPECT_EQ(got.count("plain"), 1u);

    // An unwrapped array is named by its items' element; a wrapped one by its own name.
    got = hints(R"({"properties":{"tags":{"type":"array","xml":{"name":"ignored"},"items":{"xml":{"name":"tag"}}}}})");
    EXPECT_EQ(got.at("").element_names, (decltype(XmlHint::element_names){{"tag", "tags"}}));
    EXPECT_EQ(got.at("tags/[]"), hint("tag", 0));
    got = hints(
        R"({"properties":{"tags":{"type":"array","xml":{"name":"Tags","wrapped":true},"items":{"xml":{"name":"tag"}}}}})");
    EXPECT_EQ(got.at("").element_names, (decltype(XmlHint::element_names){{"Tags", "tags"}}));

    // The same XML name twice: the property sorting last keeps it.
    got = hints(R"({"properties":{"b":{"xml":{"name":"n"}},"a":{"xml":{"name":"n"}}}})");
    EXPECT_EQ(got.at("").element_names.at("n"), "b");
    // Property names are used as written in locations.
    got = hints(R"({"properties":{"a/b":{"properties":{"c~d":{"type":"string"}}}}})");
    EXPECT_EQ(got.at("a/b/c~d"), hint(std::nullopt, 16));
}

TEST(XmlHints, References) {
    XmlHints got = hints(R"({"$ref":"#/components/schemas/Pet","xml":{"name":"ignored"},
                              "components":{"schemas":{"Pet":{"type":"object","xml":{"name":"Pet"},
                                 "properties":{"id":{"type":"integer"}}}}}})");
    EXPECT_EQ(got.at(""), hint("Pet", 64));
    EXPECT_EQ(got.at("id"), hint(std::nullopt, 4));

    // A self-reference is cut where it recurs.
    got = hints(R"({"$ref":"#/$defs/Node","$defs":{"Node":{"type":"object",
                     "properties":{"next":{"$ref":"#/$defs/Node"}}}}})");
    EXPECT_EQ(got.at(""), hint(std::nullopt, 64));
    EXPECT_EQ(got.count("next"), 0u);

    EXPECT_TRUE(hints(R"({"$ref":"other.yaml#/Pet","type":"string"})").empty());
    EXPECT_TRUE(hints(R"({"$ref":"","type":"string"})").empty());
    EXPECT_TRUE(hints(R"({"$ref":"#/missing","type":"string"})").empty());
    EXPECT_EQ(hints(R"({"$ref":5,"type":"string"})").at(""), hint(std::nullopt, 16));
    EXPECT_EQ(hints(R"({"$ref":"#/$defs/a~1b","$defs":{"a/b":{"type":"null"}}})").at(""), hint(std::nullopt, 1));
}

TEST(XmlHints, CompositionTypes) {
    XmlHints got = hints(R"({"allOf":[{"type":"integer"}],"anyOf":[{"type":"string"}]})");
    EXPECT_EQ(got.at("").types, 4);
    EXPECT_EQ(got.at("allOf/0").types, 4);
    EXPECT_EQ(got.at("anyOf/0").types, 16);
    EXPECT_EQ(hints(R"({"type":"string","allOf":[{"type":"integer"}]})").at("").types, 16);
    EXPECT_EQ(hints(R"({"oneOf":[{"type":"integer"},{"type":"null"},{}]})").at("").types, 5);
    got = hints(R"({"properties":{"p":{"anyOf":[{"xml":{"name":"q"}}]}}})");
    EXPECT_EQ(got.count(""), 0u);  // names inside a branch stay there
    EXPECT_EQ(got.at("p/anyOf/0").name, "q");
}

TEST(XmlHints, VisitBudget) {
    // 2^14 visits through references that fan out: the budget runs out and nothing is kept.
    std::string defs;
    for (int i = 0; i < 14; ++i)
        defs += "\"d" + std::to_string(i) + "\":{\"type\":\"object\",\"properties\":{\"a\":{\"$ref\":\"#/$defs/d" +
                std::to_string(i + 1) + "\"},\"b\":{\"$ref\":\"#/$defs/d" + std::to_string(i + 1) + "\"}}},";
    defs += "\"d14\":{\"type\":\"string\"}";
    EXPECT_TRUE(hints("{\"$ref\":\"#/$defs/d0\",\"$defs\":{" + defs + "}}").empty());
    // Just under the budget everything is kept.
    std::string wide = "{\"type\":\"object\",\"properties\":{";
    for (int i = 0; i < 9998; ++i) wide += (i ? ",\"p" : "\"p") + std::to_string(i) + "\":{\"type\":\"string\"}";
    wide += "}}";
    EXPECT_EQ(hints(wide).size(), 9999u);
    // A schema whose depth would overflow the walk is treated as exhausted, not crashed on.
    std::string deep;
    for (int i = 0; i < 3000; ++i) deep += "{\"items\":";
    deep += "{}";
    for (int i = 0; i < 3000; ++i) deep += "}";
    auto parsed = deririrore::value::parse_json(deep, 4000);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_TRUE(xml::xml_hints_from_schema(*parsed).empty());
}

}  // namespace
