// is_valid answers at once where the instance's kind alone fails a walk (a type check behind
// references and branch lists); the answer and the limits must stay those of the full walk.
#include <gtest/gtest.h>

#include "support.hpp"

namespace deririrore::core {
namespace {

using testing::build;
using testing::json;

// For a string, branch 0 fails on kind alone after 6 nodes nesting 4 deep below the root: its own
// node, the target `obj`, and for each of `a` and `b` a branch node and its target. Branch 1 then
// passes: 8 nodes in all, 5 deep.
const char* kBranches = R"({
    "anyOf": [{"$ref": "#/$defs/obj"}, {"type": "string"}],
    "$defs": {
        "obj": {"oneOf": [{"$ref": "#/$defs/a"}, {"$ref": "#/$defs/b"}]},
        "a": {"type": "object", "required": ["x"]},
        "b": {"type": ["object", "array"], "required": ["y"]}
    }
})";

TEST(KindRejection, LimitsCutWhereTheFullWalkWouldCut) {
    struct Case {
        std::uint32_t max_depth;
        std::uint64_t max_steps;
        bool valid;
    };
    const Case cases[] = {
        {5, 8, true},   // exactly enough of both
        {4, 8, false},  // the rejected branch needs depth 5
        {5, 7, false},  // the rejected branch fits, the passing one is the eighth node
        {5, 6, false},  // the rejected branch alone does not fit
        {1024, 1000, true},
    };
    const Value instance = json(R"("s")");
    for (const Case& c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.max_depth) + ", steps " + std::to_string(c.max_steps));
        Validator v =
            build(json(kBranches), ValidationOptions().with_max_depth(c.max_depth).with_max_steps(c.max_steps));
        EXPECT_EQ(v.is_valid(instance), c.valid);
        EXPECT_EQ(!v.validate(instance).has_value(), c.valid);
    }
}

TEST(KindRejection, AnswersMatchTheSchemaForEveryKind) {
    struct Case {
        const char* instance;
        bool valid;
    };
    // `not` turns a kind rejection into a pass; `allOf` fails with its first branch; a false
    // schema rejects every kind.
    const char* schema = R"({
        "allOf": [{"$ref": "#/$defs/scalar"}, {"not": {"$ref": "#/$defs/a"}}],
        "anyOf": [{"$ref": "#/$defs/a"}, {"type": "number", "minimum": 0}, {"$ref": "#/$defs/str"}, false],
        "$defs": {
            "scalar": {"oneOf": [{"type": ["string", "number"]}, {"type": "object", "maxProperties": 0}]},
            "a": {"type": "object"},
            "str": {"allOf": [{"type": "string"}, {"minLength": 2}]}
        }
    })";
    const Case cases[] = {
        {R"("ab")", true}, {R"("a")", false}, {"3", true},     {"-3", false},
        {"{}", false},     {"[]", false},     {"null", false}, {"true", false},
    };
    Validator v = build(json(schema));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.instance);
        const Value instance = json(c.instance);
        EXPECT_EQ(v.is_valid(instance), c.valid);
        EXPECT_EQ(!v.validate(instance).has_value(), c.valid);
        EXPECT_EQ(v.iter_errors(instance).empty(), c.valid);
    }
}

}  // namespace
}  // namespace deririrore::core
