// One prepared schema value per distinct measured schema of a build: the compile cache hands it
// out to every caller, and coverage states are shared between the targets given that value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "vantorel/model/measured_schema.hpp"
#include "vantorel/model/operation_services.hpp"
#include "vantorel/model/operations.hpp"
#include "vantorel/model/reference_context.hpp"

namespace {

using namespace vantorel::model;
using deririrore::value::parse_json;
using deririrore::value::to_json;

Value json(std::string_view text) {
    auto parsed = parse_json(text);
    EXPECT_TRUE(parsed) << text;
    return parsed ? std::move(*parsed) : Value();
}

TEST(SharedMeasuredSchema, IdenticalPreparedSchemasAreOneValue) {
    // The pattern is refused under draft 4 and 7, so every compilation of it takes two attempts.
    const std::string_view pet =
        R"({"properties": {"name": {"type": "string", "pattern": "("}, "id": {"type": "integer", "readOnly": true}}})";
    const std::string_view pet_reordered =
        R"({"properties": {"id": {"readOnly": true, "type": "integer"}, "name": {"pattern": "(", "type": "string"}}})";
    struct Case {
        std::string_view text;
        Draft draft;
        std::string_view marker;
        bool is_body;
        std::size_t compilations;  // in the cache after the call
        bool first_value;          // the same value as the first call's
    };
    const std::vector<Case> cases = {
        {pet, Draft::Draft4, kReadOnlyMarker, true, 2, true},
        {pet, Draft::Draft4, kReadOnlyMarker, true, 2, true},  // answered from the cache
        {pet_reordered, Draft::Draft4, kReadOnlyMarker, true, 2, true},
        {pet, Draft::Draft7, kReadOnlyMarker, true, 4, true},    // compiled again, value kept once
        {pet, Draft::Draft4, kReadOnlyMarker, false, 6, true},   // the other nullable reading
        {pet, Draft::Draft4, kWriteOnlyMarker, true, 8, false},  // "id" stays: another value
    };
    MeasuredSchemaCache cache;
    const Value* first = nullptr;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(i);
        auto shared = compile_shared_measured_schema(json(c.text), c.draft, c.marker, c.is_body, cache);
        ASSERT_TRUE(shared);
        // What the caller would have kept of an in-place compilation without a cache.
        Value in_place = json(c.text);
        auto alone = compile_measured_schema(in_place, c.draft, c.marker, c.is_body);
        ASSERT_TRUE(alone);
        ASSERT_NE(shared->schema, nullptr);
        EXPECT_EQ(to_json(*shared->schema), to_json(in_place));
        ASSERT_EQ(shared->removed_patterns.size(), 1u);
        EXPECT_EQ(shared->removed_patterns[0].location, "/properties/name/pattern");
        EXPECT_EQ(cache.compilations(), c.compilations);
        if (first == nullptr) first = shared->schema.get();
        EXPECT_EQ(shared->schema.get() == first, c.first_value);
        EXPECT_FALSE(shared->validator.is_valid(json(R"({"name": 5})")));
    }
}

TEST(SharedMeasuredSchema, FailuresAreKeptForTheSchemaAsItCame) {
    // The removed pattern does not mend the misspelt type: the compilation gives up with the
    // pattern out, and the same schema again must still find that failure.
    const std::string_view broken = R"({"properties": {"a": {"pattern": "("}, "b": {"type": "strnig"}}})";
    MeasuredSchemaCache cache;
    auto first = compile_shared_measured_schema(json(broken), Draft::Draft7, kReadOnlyMarker, true, cache);
    ASSERT_FALSE(first);
    EXPECT_TRUE(first.error().is<problems::InvalidSchema>());
    const std::size_t compilations = cache.compilations();
    auto second = compile_shared_measured_schema(json(broken), Draft::Draft7, kReadOnlyMarker, true, cache);
    ASSERT_FALSE(second);
    EXPECT_EQ(cache.compilations(), compilations);
    EXPECT_EQ(cache.size(), 1u);
    // The schema without its broken pattern is another schema, and the in-place form agrees.
    Value in_place = json(broken);
    ASSERT_FALSE(compile_measured_schema(in_place, Draft::Draft7, kReadOnlyMarker, true, &cache));
    EXPECT_EQ(cache.compilations(), compilations);
    EXPECT_EQ(to_json(in_place), R"({"properties":{"a":{},"b":{"type":"strnig"}}})");
}

TEST(SharedMeasuredSchema, TargetsOfOneBuildShareTheValueAndTheState) {
    // Two response schemas that differ only in `xml`, which the compile drops, and a request body
    // equal to them: three hydrations, one prepared value.
    const Value doc = json(R"({"openapi": "3.1.0", "paths": {
        "/a": {"post": {"requestBody": {"content": {"application/json": {"schema": {"properties": {"n": {"type": "integer"}}}}}},
                        "responses": {"200": {"content": {"application/json": {"schema": {"properties": {"n": {"type": "integer"}}}}}}}}},
        "/b": {"get": {"responses": {"200": {"content": {"application/json": {"schema": {"xml": {"name": "b"}, "properties": {"n": {"type": "integer"}}}}}}}}}}})");
    ReferenceContext context = new_reference_context(doc, SpecVersion::OpenApi31, std::nullopt);
    auto cache = std::make_shared<MeasuredSchemaCache>();
    const OperationServices services = default_operation_services(cache);
    MethodMap a;
    MethodMap b;
    extract_path_item(a, "/a", *doc.find("paths")->find("/a"), context, services);
    extract_path_item(b, "/b", *doc.find("paths")->find("/b"), context, services);
    ASSERT_TRUE(context.problems.empty());
    const ParameterTarget& request = a.get(HttpMethod::Post)->parameters.at(0);
    const ResponseBody& response_a = a.get(HttpMethod::Post)->responses.at(0).bodies.at(0);
    const ResponseBody& response_b = b.get(HttpMethod::Get)->responses.at(0).bodies.at(0);
    ASSERT_NE(response_a.schema, nullptr);
    EXPECT_EQ(to_json(*response_a.schema), R"({"properties":{"n":{"type":"integer"}}})");
    EXPECT_EQ(response_a.schema, response_b.schema);
    EXPECT_EQ(request.schema, response_a.schema);
    // Nothing is marked, so the request's "readOnly" and the responses' "writeOnly" prepare alike.
    EXPECT_EQ(cache->compilations(), 1u);
    // One state for the two response bodies; the request body registers other entries.
    EXPECT_EQ(response_a.holder.state, response_b.holder.state);
    EXPECT_NE(request.holder.state, response_a.holder.state);
}

}  // namespace
