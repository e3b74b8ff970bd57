#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/value/json.hpp"
#include "multipart/field_values.hpp"

namespace {

using deririrore::value::parse_json;
using deririrore::value::to_json;
using multipart::DecodeSpec;
using multipart::QueryStyle;
using multipart::QueryStyleContext;
using multipart::Value;

Value json(std::string_view text) { return std::move(parse_json(text)).value(); }

DecodeSpec mask(std::uint8_t types, bool digits_stay_text = false) {
    DecodeSpec spec;
    spec.types = types;
    spec.digits_stay_text = digits_stay_text ? 1 : 0;
    return spec;
}

std::string decode(std::string_view text, const DecodeSpec& spec, QueryStyleContext context = {},
                   const Value& schema = multipart::default_schema()) {
    return to_json(multipart::decode_query_value(text, spec, context, schema, schema));
}

TEST(FieldValues, ScalarRecognition) {
    struct Case {
        const char* text;
        std::uint8_t types;
        bool digits_stay_text;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"42", 4, false, "42"},
        {"+42", 4, false, "42"},
        {"042", 4, false, "42"},
        {"0042", 4, false, "\"0042\""},
        {"", 4, false, "\"\""},
        {"4.2", 4, false, "\"4.2\""},
        {"18446744073709551615", 4, false, "18446744073709551615"},
        {"18446744073709551616", 4, false, "\"18446744073709551616\""},
        {"-9223372036854775808", 4, false, "-9223372036854775808"},
        {"-9223372036854775809", 4, false, "\"-9223372036854775809\""},
        {"-0", 4, false, "0"},
        {"-007", 4, false, "-7"},
        {"+", 4, false, "\"+\""},
        // Numbers keep the written value exactly, in JSON's grammar.
        {"5", 8, false, "5.0"},
        {"0.5", 8, false, "0.5"},
        {".5", 8, false, "0.5"},
        {"5.", 8, false, "5.0"},
        {"1.50", 8, false, "1.50"},
        {"-1e3", 8, false, "-1e3"},
        {"0.1", 8, false, "0.1"},
        {"12345678901234567890123", 8, false, "12345678901234567890123.0"},
        {"1e999", 8, false, "1e999"},
        {"00.5", 8, false, "\"00.5\""},
        {"inf", 8, false, "\"inf\""},
        {"NaN", 9, false, "\"NaN\""},
        {"1e", 8, false, "\"1e\""},
        {"123", 20, true, "\"123\""},
        {"123", 20, false, "123"},
        {"TRUE", 2, false, "true"},
        {"Yes", 2, false, "true"},
        {"oN", 2, false, "true"},
        {"1", 2, false, "true"},
        {"No", 2, false, "false"},
        {"OFF", 2, false, "false"},
        {"0", 2, false, "false"},
        {"2", 2, false, "\"2\""},
        {"y", 2, false, "\"y\""},
        {"NULL", 1, false, "null"},
        {"nul", 1, false, "\"nul\""},
        {"1", 6, false, "true"},  // boolean is tried before integer
    };
    for (const Case& c : cases)
        EXPECT_EQ(decode(c.text, mask(c.types, c.digits_stay_text)), c.expected) << c.text << " mask " << int(c.types);
}

TEST(FieldValues, UntypedModes) {
    DecodeSpec spec;
    spec.mode = multipart::DecodeMode::Json;
    EXPECT_EQ(decode("[1,2]", spec), "[1,2]");
    EXPECT_EQ(decode(" {\"a\":1} ", spec), "{\"a\":1}");
    EXPECT_EQ(decode("abc", spec), "\"abc\"");
    EXPECT_EQ(decode("1 2", spec), "\"1 2\"");
    spec.mode = multipart::DecodeMode::Text;
    EXPECT_EQ(decode("[1,2]", spec), "\"[1,2]\"");
}

TEST(FieldValues, ListsAndPairsByStyle) {
    const Value ints = json(R"({"type":"array","items":{"type":"integer"}})");
    const Value object = json(R"({"type":"object","properties":{"b":{"type":"integer"}}})");
    const QueryStyleContext form{QueryStyle::Form, false};
    EXPECT_EQ(decode("1,2,3", mask(32), form, ints), "[1,2,3]");
    EXPECT_EQ(decode("1,,3", mask(32), form, ints), "[1,\"\",3]");
    EXPECT_EQ(decode("", mask(32), form, ints), "[\"\"]");
    EXPECT_EQ(decode("1 2", mask(32), {QueryStyle::SpaceDelimited, false}, ints), "[1,2]");
    EXPECT_EQ(decode("1|2", mask(32), {QueryStyle::PipeDelimited, false}, ints), "[1,2]");
    EXPECT_EQ(decode("1,2", mask(32), {QueryStyle::Form, true}, ints), "\"1,2\"");
    EXPECT_EQ(decode("1,2", mask(32), {QueryStyle::DeepObject, false}, ints), "\"1,2\"");
    EXPECT_EQ(decode("a,1,b,2", mask(64), form, object), "{\"a\":\"1\",\"b\":2}");
    EXPECT_EQ(decode("a,1,b", mask(64), form, object), "{\"a\":\"1\"}");
    EXPECT_EQ(decode("a", mask(64), form, object), "{}");
    EXPECT_EQ(decode("a,1,a,2", mask(64), form, object), "{\"a\":\"2\"}");
}

TEST(FieldValues, RepeatedFields) {
    const Value properties = json(R"({"n":{"type":"array","items":{"type":"integer"}},
                                       "nested":{"type":"array","items":{"type":"array"}},
                                       "t":{"type":"array"}})");
    multipart::RepeatedFields fields;
    fields["n"] = {std::string("1"), std::string("x"), json("[2,3]")};
    fields["nested"] = {json("[1]"), json("[2]")};
    fields["t"] = {std::string("007"), std::string("07")};
    fields["undeclared"] = {std::string("1")};
    multipart::Members object;
    object["n"] = Value::string("replaced");
    multipart::assemble_repeated_fields(fields, properties, properties, object);
    EXPECT_EQ(to_json(multipart::object_from(std::move(object))),
              R"({"n":[1,"x",2,3],"nested":[[1],[2]],"t":["007",7]})");
}

}  // namespace
