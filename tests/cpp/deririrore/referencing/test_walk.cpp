#include <gtest/gtest.h>

#include "deririrore/referencing/walk.hpp"
#include "helpers.hpp"

namespace deririrore::referencing {
namespace {

using testing::json;

std::string listing(const Value& root, Draft draft) {
    std::string out;
    for (const auto& a : walk_subresources_with_paths(root, draft)) {
        if (!out.empty()) out += " ";
        out += std::string(a.name) + "@" + a.pointer;
    }
    return out;
}

TEST(WalkSubresourcesWithPaths, Table) {
    struct Case {
        std::string_view name;
        Draft draft;
        std::string_view document;
        std::string_view expected;
    };
    const Case cases[] = {
        {"not an object", Draft::Draft202012, "[1]", ""},
        {"root anchor", Draft::Draft202012, R"({"$anchor": "r"})", "r@"},
        {"escaped names", Draft::Draft202012, R"({"properties": {"a/b": {"$anchor": "s"}, "m~": {"$anchor": "t"}}})",
         "t@/properties/m~0 s@/properties/a~1b"},
        {"array index", Draft::Draft202012, R"({"allOf": [true, {"$anchor": "t"}]})", "t@/allOf/1"},
        {"siblings in reverse", Draft::Draft202012, R"({"$defs": {"a": {"$anchor": "x"}, "b": {"$anchor": "y"}}})",
         "y@/$defs/b x@/$defs/a"},
        {"both anchors", Draft::Draft202012, R"({"$anchor": "p", "$dynamicAnchor": "q"})", "p@ q@"},
        {"embedded resources are skipped", Draft::Draft202012,
         R"({"$id": "root.json", "$defs": {"inner": {"$id": "other.json", "$anchor": "u", "$defs": {"d": {"$anchor": "v"}}}}})",
         ""},
        {"draft 7 plain-name identifier", Draft::Draft7, R"({"definitions": {"d": {"$id": "#v"}}})", "v@/definitions/d"},
        {"draft 7 plain-name identifier beside $ref", Draft::Draft7,
         R"({"definitions": {"d": {"$id": "#v", "$ref": "#/x"}}})", "v@/definitions/d"},
        {"2019-09 dependencies", Draft::Draft201909, R"({"dependencies": {"p": {"$anchor": "w"}}})", "w@/dependencies/p"},
        {"draft 4 rules below a $schema", Draft::Draft202012,
         R"({"$defs": {"old": {"$schema": "http://json-schema.org/draft-04/schema#", "$anchor": "no",
                               "definitions": {"x": {"id": "#four"}}}}})",
         "four@/$defs/old/definitions/x"},
    };
    for (const auto& c : cases) EXPECT_EQ(listing(json(c.document), c.draft), c.expected) << c.name;
}

TEST(WalkSubresourcesWithPaths, DeepDocumentUsesNoRecursion) {
    Value current = Value::object({});
    for (int i = 0; i < 100000; ++i) {
        value::ObjectBuilder b;
        b.add("not", std::move(current));
        if (i == 0) b.add("$anchor", Value::string("deep"));
        current = std::move(b).build();
    }
    auto anchors = walk_subresources_with_paths(current, Draft::Draft202012);
    ASSERT_EQ(anchors.size(), 1u);
    EXPECT_EQ(anchors[0].pointer.size(), 4u * 99999);
}

}  // namespace
}  // namespace deririrore::referencing
