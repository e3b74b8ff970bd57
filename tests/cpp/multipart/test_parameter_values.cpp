#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "multipart/parameter_values.hpp"

namespace {

using deririrore::value::parse_json;
using deririrore::value::to_json;
using multipart::CollectionFormat;
using multipart::CollectionShape;
using multipart::DecodeSpec;
using multipart::PathStyle;
using multipart::PathStyleContext;
using multipart::Value;

Value json(std::string_view text) { return std::move(parse_json(text)).value(); }

DecodeSpec mask(std::uint8_t types, bool digits_stay_text = false) {
    DecodeSpec spec;
    spec.types = types;
    spec.digits_stay_text = digits_stay_text ? 1 : 0;
    return spec;
}

constexpr std::uint8_t kArray = 32, kObject = 64;

// The serialised examples of the style table (color = "blue", ["blue","black","brown"] and
// {"R":100,"G":200,"B":150}), decoded back by each location's decoder; label with explode off
// uses the comma form ".blue,black,brown".
TEST(ParameterValues, StyleExamplesDecodeBack) {
    const Value array_schema = json(R"({"type":"array","items":{"type":"string"}})");
    const Value object_schema = json(
        R"({"type":"object","properties":{"R":{"type":"integer"},"G":{"type":"integer"},"B":{"type":"integer"}}})");
    const std::string array = R"(["blue","black","brown"])";
    const std::string object = R"({"B":150,"G":200,"R":100})";
    enum Location { Path, Header, Cookie };
    struct Case {
        Location location;
        PathStyle style;
        bool explode;
        const char* text;
        bool is_object;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {Path, PathStyle::Simple, false, "blue,black,brown", false, array},
        {Path, PathStyle::Simple, true, "blue,black,brown", false, array},
        {Path, PathStyle::Simple, false, "R,100,G,200,B,150", true, object},
        {Path, PathStyle::Simple, true, "R=100,G=200,B=150", true, object},
        {Path, PathStyle::Label, false, ".blue,black,brown", false, array},
        {Path, PathStyle::Label, true, ".blue.black.brown", false, array},
        {Path, PathStyle::Label, false, ".R,100,G,200,B,150", true, object},
        {Path, PathStyle::Label, true, ".R=100.G=200.B=150", true, object},
        {Path, PathStyle::Label, false, ".", false, "[]"},
        {Path, PathStyle::Matrix, false, ";color=blue,black,brown", false, array},
        {Path, PathStyle::Matrix, true, ";color=blue;color=black;color=brown", false, array},
        {Path, PathStyle::Matrix, false, ";color=R,100,G,200,B,150", true, object},
        {Path, PathStyle::Matrix, true, ";R=100;G=200;B=150", true, object},
        {Path, PathStyle::Matrix, false, ";color", false, "[]"},
        {Header, PathStyle::Simple, false, "blue,black,brown", false, array},
        {Header, PathStyle::Simple, true, "blue,black,brown", false, array},
        {Header, PathStyle::Simple, false, "R,100,G,200,B,150", true, object},
        {Header, PathStyle::Simple, true, "R=100,G=200,B=150", true, object},
        {Cookie, PathStyle::Simple, false, "blue,black,brown", false, array},
        {Cookie, PathStyle::Simple, false, "R,100,G,200,B,150", true, object},
    };
    for (const Case& c : cases) {
        const Value& schema = c.is_object ? object_schema : array_schema;
        const DecodeSpec spec = mask(c.is_object ? kObject : kArray);
        Value got;
        switch (c.location) {
            case Path:
                got = multipart::decode_path_value(c.text, spec, PathStyleContext{c.style, c.explode}, schema, schema);
                break;
            case Header:
                got = multipart::decode_header_value(c.text, spec, c.explode, schema, schema);
                break;
            case Cookie:
                got = multipart::decode_cookie_value(c.text, spec, c.explode, schema, schema);
                break;
        }
        EXPECT_EQ(to_json(got), c.expected) << c.text << " style " << int(c.style) << " explode " << c.explode;
    }
}

TEST(ParameterValues, PathScalarAndCollectionRules) {
    const Value ints = json(R"({"type":"array","items":{"type":"integer"}})");
    struct Case {
        PathStyle style;
        bool explode;
        const char* text;
        std::uint8_t types;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {PathStyle::Label, false, ".1,2", kArray, "[1,2]"},
        {PathStyle::Label, true, ".1.2", kArray, "[1,2]"},
        {PathStyle::Matrix, false, ";id=1,2", kArray, "[1,2]"},
        {PathStyle::Matrix, true, ";id=1;id=2", kArray, "[1,2]"},
        {PathStyle::Simple, false, "1,,3", kArray, R"([1,"",3])"},
        {PathStyle::Simple, false, "12345678901234567890123", 4 | 8, "12345678901234567890123.0"},
        {PathStyle::Simple, false, "inf", 8, R"("inf")"},
        {PathStyle::Simple, false, "inf", 8 | 1, R"("inf")"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(to_json(multipart::decode_path_value(c.text, mask(c.types), {c.style, c.explode}, ints, ints)),
                  c.expected)
            << c.text;
}

TEST(ParameterValues, ScalarCandidatesOfferEveryReading) {
    struct Case {
        const char* text;
        std::uint8_t types;
        bool digits_stay_text;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"5", 4 | 8, false, {"5", "5.0"}},
        {"5", 4 | 16, false, {"5", R"("5")"}},
        {"5", 4 | 16, true, {R"("5")"}},
        {"1", 2 | 4, false, {"true", "1"}},
        {"NULL", 1 | 16, false, {"null", R"("NULL")"}},
        {"x", 4 | 8, false, {}},
        {"0.1", 8 | 16, false, {"0.1", R"("0.1")"}},
    };
    for (const Case& c : cases) {
        multipart::ValueCandidates out;
        multipart::scalar_candidates(c.text, mask(c.types, c.digits_stay_text), out);
        std::vector<std::string> got;
        for (const Value& v : out) got.push_back(to_json(v));
        EXPECT_EQ(got, c.expected) << c.text << " mask " << int(c.types);
    }
}

TEST(ParameterValues, HeaderPiecesAreNotTrimmed) {
    const Value ints = json(R"({"type":"array","items":{"type":"integer"}})");
    EXPECT_EQ(to_json(multipart::decode_header_value("1, 2", mask(kArray), false, ints, ints)), R"([1," 2"])");
}

TEST(ParameterValues, Swagger2Collections) {
    const Value ints = json(R"({"type":"array","items":{"type":"integer"}})");
    struct Case {
        CollectionFormat format;
        const char* text;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {CollectionFormat::Csv, "1,2", "[1,2]"},      {CollectionFormat::Ssv, "1 2", "[1,2]"},
        {CollectionFormat::Tsv, "1\t2", "[1,2]"},     {CollectionFormat::Pipes, "1|2", "[1,2]"},
        {CollectionFormat::Multi, "1,2", R"("1,2")"}, {CollectionFormat::Csv, "", R"([""])"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(to_json(multipart::decode_collection_value(c.text, mask(kArray), c.format, ints, ints)), c.expected)
            << c.text;
    const Value nested =
        json(R"({"type":"array","items":{"type":"array","collectionFormat":"pipes","items":{"type":"integer"}}})");
    EXPECT_EQ(to_json(multipart::split_collection_value("1|2,3|4", CollectionFormat::Csv, nested, nested)),
              "[[1,2],[3,4]]");
}

TEST(ParameterValues, DeepNestedCollectionFormatsStopAtTheLimit) {
    std::string schema_text;
    constexpr int depth = 200;  // beyond the nesting limit of the decoder, within the reader's
    for (int i = 0; i < depth; ++i) schema_text += R"({"type":"array","items":)";
    schema_text += R"({"type":"integer"})";
    for (int i = 0; i < depth; ++i) schema_text += "}";
    auto parsed = parse_json(schema_text);
    if (!parsed) GTEST_SKIP() << "the JSON reader refuses this depth";
    const Value schema = std::move(parsed).value();
    const Value out = multipart::split_collection_value("7", CollectionFormat::Csv, schema, schema);
    EXPECT_TRUE(out.is_array());
}

}  // namespace
