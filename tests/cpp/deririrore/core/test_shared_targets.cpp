// Builds that share reference targets through SharedTargets: a validator that borrows an earlier
// build's target behaves exactly as one built alone (trace events, errors and their locations),
// a target is borrowed only when everything it reaches has the same content, and the borrowed
// nodes outlive the build that made them.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "support.hpp"

namespace deririrore::core {
namespace {

using testing::build;
using testing::json;
using testing::RecordingTracer;

struct Observed {
    std::vector<testing::Event> events;
    bool valid;
    std::vector<std::string> errors;
};

Observed observe(const Validator& validator, const Value& instance) {
    RecordingTracer tracer;
    auto traced = validator.trace(instance, tracer);
    Observed out{std::move(tracer.events), traced && *traced, {}};
    for (const auto& error : validator.iter_errors(instance)) {
        out.errors.push_back(error.message() + " @" + error.instance_path().str() + " " + error.schema_path().str());
    }
    return out;
}

Validator build_shared(const Value& schema, SharedTargets& shared) {
    auto built = build_validator(schema, ValidationOptions(), shared);
    if (!built) throw std::runtime_error("schema did not compile: " + built.error().message());
    return std::move(*built);
}

constexpr const char* kPet = R"("pet": {"type": "object", "required": ["name"],
    "properties": {"name": {"type": "string", "maxLength": 3}, "tag": {"$ref": "#/components/schemas/tag"}}})";
constexpr const char* kTag = R"("tag": {"type": "string", "enum": ["a", "b"]})";

std::string document(const std::string& root, const std::string& components) {
    return "{" + root + R"(, "components": {"schemas": {)" + components + "}}}";
}

struct Case {
    const char* name;
    std::string first;
    std::string second;
    bool reused;
};

TEST(SharedTargets, BorrowedTargetsBehaveAsCompiledAlone) {
    const std::string both = std::string(kPet) + ", " + kTag;
    const Case cases[] = {
        {"same component under another root", document(R"("$ref": "#/components/schemas/pet")", both),
         document(R"("type": "array", "items": {"$ref": "#/components/schemas/pet"})", both), true},
        {"a target it reaches differs", document(R"("$ref": "#/components/schemas/pet")", both),
         document(R"("type": "array", "items": {"$ref": "#/components/schemas/pet"})",
                  std::string(kPet) + R"(, "tag": {"type": "string", "enum": ["a", "c"]})"),
         false},
        {"a number written otherwise", document(R"("$ref": "#/components/schemas/n")", R"("n": {"maximum": 1.0})"),
         document(R"("items": {"$ref": "#/components/schemas/n"})", R"("n": {"maximum": 1.00})"), false},
        {"a cycle",
         document(R"("$ref": "#/components/schemas/node")",
                  R"("node": {"type": "object", "properties": {"next": {"$ref": "#/components/schemas/node"}}})"),
         document(R"("items": {"$ref": "#/components/schemas/node"})",
                  R"("node": {"type": "object", "properties": {"next": {"$ref": "#/components/schemas/node"}}})"),
         false},
        {"an anchor", R"({"$ref": "#t", "$defs": {"t": {"$anchor": "t", "type": "string"}}})",
         R"({"items": {"$ref": "#t"}, "$defs": {"t": {"$anchor": "t", "type": "string"}}})", false},
    };
    const Value instances[] = {
        json(R"({"name": "rex", "tag": "a"})"),
        json(R"({"name": "toolong", "tag": "c"})"),
        json(R"([{"name": "x"}, {"tag": "b"}, 2])"),
        json(R"({"next": {"next": 5}})"),
        json("2"),
        json(R"(["s", 1])"),
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SharedTargets shared;
        std::optional<Validator> first = build_shared(json(c.first), shared);
        const Value second_schema = json(c.second);
        const Validator second = build_shared(second_schema, shared);
        EXPECT_EQ(shared.reused() > 0, c.reused);
        // The build that compiled the borrowed nodes goes first: the borrower keeps them alive.
        first.reset();
        const Validator alone = build(second_schema);
        for (const Value& instance : instances) {
            const Observed expected = observe(alone, instance);
            const Observed got = observe(second, instance);
            EXPECT_EQ(got.events, expected.events);
            EXPECT_EQ(got.valid, expected.valid);
            EXPECT_EQ(got.errors, expected.errors);
            EXPECT_EQ(second.is_valid(instance), alone.is_valid(instance));
        }
    }
}

TEST(SharedTargets, FailedBuildsOfferNothing) {
    SharedTargets shared;
    const Value broken =
        json(document(R"("allOf": [{"$ref": "#/components/schemas/tag"}, {"$ref": "#/nowhere"}])", kTag));
    EXPECT_FALSE(build_validator(broken, ValidationOptions(), shared));
    const Validator later = build_shared(json(document(R"("$ref": "#/components/schemas/tag")", kTag)), shared);
    EXPECT_EQ(shared.reused(), 0u);
    EXPECT_FALSE(later.is_valid(json(R"("z")")));
    EXPECT_TRUE(later.is_valid(json(R"("a")")));
}

}  // namespace
}  // namespace deririrore::core
