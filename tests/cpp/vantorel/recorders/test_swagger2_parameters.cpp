#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "tracer_fixture.hpp"
#include "vantorel/recorders/swagger2_parameters.hpp"

namespace {

using deririrore::value::to_json;
using multipart::CollectionFormat;
using vantorel::model::ParameterLocation;
using vantorel::model::ParameterTarget;
using vantorel::recorders::FormPartCache;
using vantorel::recorders::ParsedQuery;

std::vector<std::string> texts(const vantorel::recorders::ValueCandidates& values) {
    std::vector<std::string> out;
    for (const auto& v : values) out.push_back(to_json(v));
    return out;
}

multipart::DecodeSpec mask(std::uint8_t types) {
    multipart::DecodeSpec spec;
    spec.types = types;
    return spec;
}

TEST(Swagger2Values, CollectionFormatsAndCandidates) {
    const auto ints = tracertest::json(R"({"type":"array","items":{"type":"integer"}})");
    struct Case {
        CollectionFormat format;
        const char* text;
        std::uint8_t types;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {CollectionFormat::Csv, "1,2,3", 32, {"[1,2,3]"}},
        {CollectionFormat::Ssv, "1 2", 32, {"[1,2]"}},
        {CollectionFormat::Tsv, "1\t2", 32, {"[1,2]"}},
        {CollectionFormat::Pipes, "1|2|3", 32, {"[1,2,3]"}},
        {CollectionFormat::Multi, "1", 32, {R"("1")"}},
        {CollectionFormat::Csv, "5", 4 | 16, {"5", R"("5")"}},
        {CollectionFormat::Pipes, "1|2", 32 | 16, {R"("1|2")", "[1,2]"}},
    };
    for (const Case& c : cases) {
        vantorel::recorders::ValueCandidates out;
        vantorel::recorders::decode_swagger2_item_value(c.text, mask(c.types), c.format, ints, out);
        EXPECT_EQ(texts(out), c.expected) << c.text;
    }
    EXPECT_EQ(to_json(vantorel::recorders::decode_swagger2_multi_values({"1", "2"}, ints)), "[1,2]");
    const auto nested = tracertest::json(
        R"({"type":"array","items":{"type":"array","collectionFormat":"pipes","items":{"type":"integer"}}})");
    EXPECT_EQ(to_json(vantorel::recorders::decode_swagger2_multi_values({"1|2", "3"}, nested)), "[[1,2],[3]]");
}

struct Swagger2Fixture {
    tracertest::Measured measured;
    ParameterTarget target;

    Swagger2Fixture(ParameterLocation location, std::string name, std::string_view schema, std::uint8_t types,
                    vantorel::model::CollectionFormat format = vantorel::model::CollectionFormat::Csv)
        : measured(schema, deririrore::referencing::Draft::Draft4) {
        target.tag = vantorel::model::kSwagger2Tag;
        target.location = location;
        target.name = std::move(name);
        target.schema = std::make_shared<const deririrore::value::Value>(measured.schema);
        target.validator = std::make_shared<const deririrore::core::Validator>(*measured.validator);
        target.holder = measured.holder;
        target.types = types;
        target.collection_format = format;
    }
};

http::RequestRecord request(std::string_view url, std::optional<std::string> body = std::nullopt,
                            std::string content_type = "") {
    http::HeaderMap headers;
    if (!content_type.empty()) headers.insert("Content-Type", content_type);
    return std::move(http::build_request_record(http::HttpMethod::Post, url, std::move(body), std::move(headers)))
        .value();
}

void trace(ParameterTarget& target, const http::RequestRecord& req, FormPartCache& cache) {
    ParsedQuery query;
    vantorel::recorders::parse_query_string(query, req.url.query(), false);
    vantorel::recorders::trace_swagger2_parameter({}, req, query, cache, target, nullptr, 3.0);
}

TEST(Swagger2Tracing, QueryMultiAndAbsent) {
    Swagger2Fixture f(ParameterLocation::Query, "a", R"({"type":"array","items":{"type":"integer","maximum":1}})", 32,
                      vantorel::model::CollectionFormat::Multi);
    FormPartCache cache;
    trace(f.target, request("http://h/?a=1&a=2"), cache);
    EXPECT_EQ(f.target.holder.hits, 1u);
    const auto* maximum = f.target.holder.state->entries.find("/items/maximum");
    ASSERT_NE(maximum, nullptr) << f.measured.dump();
    EXPECT_EQ(maximum->passed, 1u);
    EXPECT_EQ(maximum->failed, 1u);
    trace(f.target, request("http://h/?b=1"), cache);
    EXPECT_EQ(f.target.holder.hits, 1u);
}

TEST(Swagger2Tracing, FormDataFilesShareOneParse) {
    // The engine has no "file" type: the entries come from a string schema, the target keeps "file".
    Swagger2Fixture file(ParameterLocation::FormData, "upload", R"({"type":"string"})", 16);
    file.target.schema = std::make_shared<const deririrore::value::Value>(tracertest::json(R"({"type":"file"})"));
    file.target.validator.reset();
    Swagger2Fixture note(ParameterLocation::FormData, "note", R"({"type":"string"})", 16);
    const std::string body =
        "--XX\r\nContent-Disposition: form-data; name=\"upload\"; filename=\"a.bin\"\r\n\r\nbytes\r\n"
        "--XX\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhi\r\n--XX--\r\n";
    const auto req = request("http://h/", body, "multipart/form-data; boundary=XX");
    FormPartCache cache;
    trace(file.target, req, cache);
    EXPECT_EQ(cache.state, FormPartCache::State::Parsed);
    cache.parts.front().name = "moved";  // a second parse would bring the name back
    trace(note.target, req, cache);
    EXPECT_EQ(file.target.holder.hits, 1u);
    const auto* type = file.target.holder.state->entries.find("/type");
    ASSERT_NE(type, nullptr) << file.measured.dump();
    EXPECT_EQ(type->passed, 1u);
    EXPECT_EQ(type->first_passed, 3.0);
    EXPECT_EQ(note.target.holder.hits, 1u);

    FormPartCache broken;
    Swagger2Fixture other(ParameterLocation::FormData, "note", R"({"type":"string"})", 16);
    trace(other.target, request("http://h/", "not multipart", "multipart/form-data; boundary=XX"), broken);
    EXPECT_EQ(broken.state, FormPartCache::State::Failed);
    EXPECT_EQ(other.target.holder.hits, 0u);
}

TEST(Swagger2Tracing, BodyCountsEvenWhenNotDecoded) {
    Swagger2Fixture f(ParameterLocation::Body, "body", R"({"type":"object"})", 64);
    FormPartCache cache;
    trace(f.target, request("http://h/", "\x89PNG", "image/png"), cache);
    EXPECT_EQ(f.target.holder.hits, 1u);
    trace(f.target, request("http://h/", std::nullopt, "application/json"), cache);
    EXPECT_EQ(f.target.holder.hits, 1u);
}

}  // namespace
