// Keywords the OpenAPI options have no reason to touch behave exactly as under the engine's
// plain options: the same validity, the same errors and the same trace events in the same order.
// A registered custom keyword shadowing a built-in one, or a fused or fast form given up because
// custom keywords are present, would show here.
#include "dialect_harness.hpp"

namespace {

using namespace dialect_test;

struct FamilyCase {
    const char* family;
    Draft draft;
    const char* schema;
    std::vector<const char*> instances;
};

const FamilyCase kCases[] = {
    {"type", Draft::Draft4, R"({"type": "integer"})", {"1", "1.0", "1.5", R"("1")", "null"}},
    {"type", Draft::Draft202012, R"({"type": "integer"})", {"1", "1.0", "1.5", "null"}},
    {"type list", Draft::Draft7, R"({"type": ["string", "null"]})", {R"("a")", "null", "0"}},
    {"enum", Draft::Draft7, R"({"enum": [1, 2, "a", null]})", {"2.0", R"("a")", "null", "3", "[]"}},
    {"enum strings", Draft::Draft202012, R"({"enum": ["a", "b", "c", "d", "e", "f", "g", "h", "i"]})",
     {R"("e")", R"("z")", "1"}},
    {"const", Draft::Draft6, R"({"const": {"a": [1, {"b": null}]}})", {R"({"a": [1.0, {"b": null}]})", R"({"a": []})"}},
    {"bounds", Draft::Draft4, R"({"minimum": 1.5, "maximum": 10, "exclusiveMaximum": true})",
     {"1.5", "1.4", "10", "9.99", R"("x")"}},
    {"bounds big", Draft::Draft202012, R"({"maximum": 18446744073709551616, "exclusiveMinimum": -1e400})",
     {"18446744073709551616", "18446744073709551617", "-1e401"}},
    {"multipleOf", Draft::Draft7, R"({"multipleOf": 0.01})", {"0.07", "0.075", "1e308", R"("x")"}},
    {"multipleOf integer", Draft::Draft202012, R"({"multipleOf": 3})", {"9", "10", "9.0"}},
    {"lengths", Draft::Draft202012, R"({"minLength": 2, "maxLength": 3})", {R"("ab")", R"("a")", R"("abcd")", "1"}},
    {"items count", Draft::Draft7, R"({"minItems": 1, "maxItems": 2})", {"[]", "[1]", "[1, 2, 3]", "{}"}},
    {"properties count", Draft::Draft7, R"({"minProperties": 1, "maxProperties": 1})", {"{}", R"({"a": 1})"}},
    {"pattern shape", Draft::Draft202012, R"({"pattern": "^ab"})", {R"("abc")", R"("xab")", "5"}},
    {"pattern engine", Draft::Draft202012, R"({"pattern": "^(?=a)\\w+$"})", {R"("abc")", R"("bc")", R"("a-")"}},
    {"content", Draft::Draft7, R"({"contentMediaType": "application/json", "contentEncoding": "base64"})",
     {R"("eyJhIjoxfQ==")", R"("e30")", R"("!!")", R"("bm90IGpzb24=")", "1"}},
    {"content media type", Draft::Draft7, R"({"contentMediaType": "text/plain"})", {R"("x")"}},
    {"required", Draft::Draft202012, R"({"required": ["a"]})", {R"({"a": 1})", "{}", "[]"}},
    {"required three", Draft::Draft202012, R"({"required": ["a", "b", "c"]})", {R"({"a": 1, "c": 2})"}},
    {"required many", Draft::Draft7, R"({"required": ["a", "b", "c", "d"]})", {R"({"b": 1})"}},
    {"dependentRequired", Draft::Draft202012, R"({"dependentRequired": {"a": ["b", "c"]}})",
     {R"({"a": 1, "b": 2})", R"({"b": 1})", "1"}},
    {"dependencies", Draft::Draft7, R"({"dependencies": {"a": ["b"], "c": {"required": ["d"]}}})",
     {R"({"a": 1})", R"({"c": 1, "d": 1})", R"({"a": 1, "b": 1, "c": 1})"}},
    {"if then else", Draft::Draft7, R"({"if": {"minimum": 10}, "then": {"multipleOf": 2}, "else": {"maximum": 3}})",
     {"12", "13", "2", "5"}},
    {"propertyNames", Draft::Draft202012, R"({"propertyNames": {"maxLength": 2}})", {R"({"ab": 1, "abc": 2})", "{}"}},
    {"propertyNames false", Draft::Draft7, R"({"propertyNames": false})", {"{}", R"({"a": 1})"}},
    {"items of one type", Draft::Draft202012, R"({"items": {"type": "integer"}})", {"[1, 2.0]", R"([1, "a"])", "{}"}},
    {"items of one type draft 4", Draft::Draft4, R"({"items": {"type": "integer"}})", {"[1, 2.0]"}},
    {"fused array", Draft::Draft7, R"({"type": "array", "items": {"type": "string"}, "minItems": 2})",
     {R"(["a"])", R"(["a", "b"])", "[1, 2]"}},
    {"prefixItems", Draft::Draft202012, R"({"prefixItems": [{"type": "string"}], "items": {"type": "number"}})",
     {R"(["a", 1])", "[1]", R"(["a", "b"])"}},
    {"contains", Draft::Draft202012, R"({"contains": {"type": "null"}, "minContains": 2, "maxContains": 3})",
     {"[null, null]", "[null]", "[null, null, null, null]", "{}"}},
    {"uniqueItems", Draft::Draft6, R"({"uniqueItems": true})", {"[1, 1.0]", R"([{"a": 1}, {"a": 2}])", "1"}},
    {"ref and false", Draft::Draft202012, R"({"$defs": {"n": false}, "properties": {"a": {"$ref": "#/$defs/n"}}})",
     {R"({"a": 1})", "{}"}},
    {"unknown keywords", Draft::Draft4, R"({"examples": [1], "x-anything": 2, "maximum": 1})", {"2", "1"}},
};

struct Run {
    bool valid;
    std::vector<Event> events;
    std::vector<std::string> errors;
};

std::optional<Run> run(const FamilyCase& c, const core::ValidationOptions& options, const value::Value& instance) {
    auto built = core::build_validator(json(c.schema), options);
    if (!built) {
        ADD_FAILURE() << c.schema << " does not compile: " << built.error().message();
        return std::nullopt;
    }
    Run out;
    RecordingTracer tracer;
    auto traced = built->trace(instance, tracer);
    out.valid = traced.has_value() && *traced;
    out.events = std::move(tracer.events);
    for (const auto& error : built->iter_errors(instance)) {
        out.errors.push_back(error.schema_path().str() + " " + error.instance_path().str() + " " + error.message());
    }
    return out;
}

TEST(KeywordFamilies, UnchangedByTheOpenApiOptions) {
    for (const auto& c : kCases) {
        core::ValidationOptions plain;
        plain.with_draft(c.draft);
        for (const auto source : {NullableSource::Parameter, NullableSource::MediaType}) {
            const auto openapi = vantorel::dialect::measured_schema_options(c.draft, source);
            for (const char* instance_text : c.instances) {
                SCOPED_TRACE(std::string(c.family) + ": " + c.schema + " with " + instance_text);
                const auto instance = json(instance_text);
                const auto expected = run(c, plain, instance);
                const auto got = run(c, openapi, instance);
                ASSERT_TRUE(expected && got);
                EXPECT_EQ(got->valid, expected->valid);
                EXPECT_EQ(got->events, expected->events);
                EXPECT_EQ(got->errors, expected->errors);
            }
        }
    }
}

}  // namespace
