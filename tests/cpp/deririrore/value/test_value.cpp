#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "deririrore/value/cmp.hpp"
#include "deririrore/value/json.hpp"
#include "deririrore/value/numeric.hpp"
#include "deririrore/value/types.hpp"
#include "deririrore/value/value.hpp"

namespace dv = deririrore::value;
using dv::JsonType;
using dv::JsonTypeSet;
using dv::Value;

namespace {

Value json(std::string_view text) {
    auto r = dv::parse_json(text);
    if (!r) throw std::runtime_error("test JSON does not parse: " + r.error().message);
    return std::move(*r);
}

uint64_t unique_hash(const Value& v) {
    dv::Hasher h;
    dv::hash_json_value_for_unique(v, h);
    return h.finish();
}

uint64_t canonical_hash(const Value& v) {
    dv::Hasher h;
    dv::hash_json_value(v, h);
    return h.finish();
}

// A chain of `depth` arrays, built by code rather than read.
Value deep_array(std::size_t depth) {
    Value v = Value::array();
    for (std::size_t i = 0; i < depth; ++i) {
        Value outer = Value::array();
        outer.push_back(std::move(v));
        v = std::move(outer);
    }
    return v;
}

}  // namespace

TEST(ValueTree, ObjectMembersAreSortedByKeyBytesAndLaterDuplicateWins) {
    Value obj = Value::object({{"ba", Value::number("1")},
                               {"b", Value::number("2")},
                               {"a", Value::number("3")},
                               {"b", Value::string("late")},
                               {"\xc3\xa9", Value::null()},
                               {"B", Value::boolean(true)}});
    std::vector<std::string> keys;
    for (const auto& m : obj.as_object()) keys.push_back(m.key);
    EXPECT_EQ(keys, (std::vector<std::string>{"B", "a", "b", "ba", "\xc3\xa9"}));
    ASSERT_NE(obj.find("b"), nullptr);
    EXPECT_EQ(obj.find("b")->as_string(), "late");
    EXPECT_EQ(obj.find("c"), nullptr);
    EXPECT_EQ(Value::number("1").find("a"), nullptr);

    obj.insert_or_assign("aa", Value::number("4"));
    obj.insert_or_assign("a", Value::number("5"));
    EXPECT_EQ(dv::to_json(obj), R"({"B":true,"a":5,"aa":4,"b":"late","ba":1,"é":null})");
    EXPECT_TRUE(obj.erase("aa"));
    EXPECT_FALSE(obj.erase("aa"));
    EXPECT_EQ(obj.size(), 5u);

    dv::ObjectBuilder builder;
    builder.add("z", Value::null()).add("y", Value::number("1")).add("z", Value::number("2"));
    EXPECT_EQ(dv::to_json(std::move(builder).build()), R"({"y":1,"z":2})");
}

TEST(ValueTree, NumberFactoriesKeepTexts) {
    EXPECT_EQ(Value::number("1.0").number_text(), "1.0");
    EXPECT_EQ(Value::number_from_int(-42).number_text(), "-42");
    EXPECT_EQ(Value::number_from_uint64(18446744073709551615ULL).number_text(), "18446744073709551615");
    EXPECT_EQ(Value::number_from_double(0.1).number_text(), "0.1");
    EXPECT_TRUE(dv::is_json_number_text(Value::number_from_double(1e300).number_text()));
    for (const char* bad : {"", "+1", "01", "1.", ".5", "1e", "NaN", "0x10", "1 "}) {
        EXPECT_THROW(Value::number(bad), std::invalid_argument) << bad;
    }
}

TEST(ValueTree, DeepValuesBuiltByCodeCopyCompareWriteAndDieWithoutRecursion) {
    constexpr std::size_t kDepth = 200000;
    Value a = deep_array(kDepth);
    Value b = a;
    EXPECT_TRUE(dv::identical(a, b));
    EXPECT_TRUE(dv::json_values_equal(a, b));
    EXPECT_EQ(unique_hash(a), unique_hash(b));
    EXPECT_EQ(canonical_hash(a), canonical_hash(b));
    std::string text = dv::to_json(a);
    EXPECT_EQ(text.size(), 2 * (kDepth + 1));
    EXPECT_EQ(text.substr(0, 3), "[[[");
    // Assigning over a deep value releases the old tree iteratively as well.
    b = Value::null();
    EXPECT_TRUE(b.is_null());
    EXPECT_FALSE(dv::json_values_equal(a, deep_array(kDepth - 1)));
}

TEST(JsonTypes, NamesAndSets) {
    struct Case {
        std::string_view name;
        std::optional<JsonType> type;
    };
    const std::vector<Case> cases = {
        {"null", JsonType::Null},     {"boolean", JsonType::Boolean}, {"integer", JsonType::Integer},
        {"number", JsonType::Number}, {"string", JsonType::String},   {"array", JsonType::Array},
        {"object", JsonType::Object}, {"Integer", std::nullopt},      {"int", std::nullopt},
        {"", std::nullopt},           {"null ", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dv::json_type_from_name(c.name), c.type) << c.name;
        if (c.type) {
            EXPECT_EQ(dv::json_type_name(*c.type), c.name);
        }
    }

    EXPECT_EQ(dv::fmt_json_type_set(JsonTypeSet()), "()");
    EXPECT_EQ(dv::fmt_json_type_set(JsonTypeSet(JsonType::String).with(JsonType::Null)), "(null, string)");
    EXPECT_EQ(dv::fmt_json_type_set(JsonTypeSet(JsonType::Number) | JsonTypeSet(JsonType::Integer)), "(integer, number)");
    std::vector<JsonType> order;
    for (JsonType t : JsonTypeSet::from_bits(0x7F)) order.push_back(t);
    EXPECT_EQ(order, (std::vector<JsonType>{JsonType::Null, JsonType::Boolean, JsonType::Integer, JsonType::Number,
                                            JsonType::String, JsonType::Array, JsonType::Object}));
    try {
        (void)dv::fmt_json_type_set(JsonTypeSet::from_bits(0x81));
        FAIL() << "a set with bit 7 must not display";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Invalid JsonType representation: 128");
    }
}

TEST(JsonTypes, TypeOfValues) {
    struct Case {
        std::string_view json;
        JsonType type;
    };
    const std::vector<Case> cases = {
        {"null", JsonType::Null},          {"false", JsonType::Boolean},    {"\"1\"", JsonType::String},
        {"[]", JsonType::Array},           {"{}", JsonType::Object},        {"1", JsonType::Integer},
        {"1.0", JsonType::Integer},        {"1e2", JsonType::Integer},      {"-0", JsonType::Integer},
        {"1.5e1", JsonType::Integer},      {"1.5", JsonType::Number},       {"1e-1", JsonType::Number},
        {"1e400", JsonType::Integer},      {"1e-2000000", JsonType::Integer}, {"1e2000000", JsonType::Number},
        {"18446744073709551616", JsonType::Integer},
    };
    for (const auto& c : cases) EXPECT_EQ(dv::json_type_of(json(c.json)), c.type) << c.json;

    EXPECT_TRUE(dv::value_has_type(json("3"), JsonType::Number));
    EXPECT_TRUE(dv::value_has_type(json("3.0"), JsonType::Integer));
    EXPECT_FALSE(dv::value_has_type(json("3.5"), JsonType::Integer));
    EXPECT_TRUE(dv::value_has_type(json("3.5"), JsonTypeSet(JsonType::Integer).with(JsonType::Number)));
    EXPECT_FALSE(dv::value_has_type(json("\"3\""), JsonTypeSet(JsonType::Integer).with(JsonType::Number)));
}

TEST(ValueEquality, StructuralWithExactNumbers) {
    struct Case {
        std::string_view a;
        std::string_view b;
        bool equal;
    };
    const std::vector<Case> cases = {
        {"[1, 2]", "[1.0, 2e0]", true},
        {R"({"a": 1})", R"({"a": 1.0})", true},
        {R"({"a": 1, "b": [true, null]})", R"({"b": [true, null], "a": 10e-1})", true},
        {"1", "\"1\"", false},
        {"[]", "{}", false},
        {"true", "1", false},
        {"null", "null", true},
        {"false", "false", true},
        {"false", "true", false},
        {"\"abc\"", "\"abc\"", true},
        {"\"abc\"", "\"ab\"", false},
        {"[1, 2]", "[2, 1]", false},
        {"[1]", "[1, 1]", false},
        {R"({"a": 1})", R"({"b": 1})", false},
        {R"({"a": 1})", R"({"a": 1, "b": 1})", false},
        {"9007199254740993", "9007199254740992", false},
        {"[[[]]]", "[[[]]]", true},
        {"[[[]]]", "[[[1]]]", false},
        {"1e2000000", "1e2000000", false},
    };
    for (const auto& c : cases) {
        Value a = json(c.a);
        Value b = json(c.b);
        EXPECT_EQ(dv::json_values_equal(a, b), c.equal) << c.a << " vs " << c.b;
        EXPECT_EQ(dv::json_values_equal(b, a), c.equal) << c.b << " vs " << c.a;
        if (c.equal) {
            EXPECT_EQ(unique_hash(a), unique_hash(b)) << c.a << " vs " << c.b;
        }
    }
}

TEST(ValueEquality, NumberTextsEqualRejectsNonNumbers) {
    EXPECT_FALSE(dv::number_texts_equal(Value::string("5"), "5"));
    EXPECT_TRUE(dv::number_texts_equal(Value::number("5.0"), "5"));
    EXPECT_FALSE(dv::number_texts_equal(Value::number("5.5"), "5"));
}

TEST(Uniqueness, SmallAndLargeLists) {
    auto many = [](std::size_t n, auto make) {
        std::string text = "[";
        for (std::size_t i = 0; i < n; ++i) {
            if (i) text += ',';
            text += make(i);
        }
        return text + "]";
    };
    struct Case {
        std::string json;
        bool unique;
    };
    const std::vector<Case> cases = {
        {"[]", true},
        {"[1]", true},
        {"[1, 1.0]", false},
        {"[0, -0]", false},
        {"[1, \"1\", true, null, [], {}]", true},
        {R"([{"a": 1, "b": 2}, {"b": 2, "a": 1.0}])", false},
        {"[1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 1e0]", false},
        {many(16, [](std::size_t i) { return "\"s" + std::to_string(i) + "\""; }), true},
        {many(16, [](std::size_t i) { return i == 15 ? std::string("0.0") : std::to_string(i); }), false},
        {many(40, [](std::size_t i) { return std::to_string(i) + ".5"; }), true},
        {many(40, [](std::size_t i) { return i == 39 ? std::string("{\"k\":[1,2]}") : std::to_string(i); }) , true},
        {many(20, [](std::size_t i) { return i == 19 ? std::string("{\"b\":[1e0],\"a\":null}") : "{\"a\":null,\"b\":[" + std::to_string(i) + "]}"; }), false},
        // 1e-2000000 is beyond the exact limits; its double, 0, decides.
        {many(16, [](std::size_t i) { return i == 0 ? std::string("1e-2000000") : i == 15 ? std::string("0") : std::to_string(i + 100); }), false},
        // Numbers with no finite double are still told apart, and 1e400 = 10e399.
        {many(32, [](std::size_t i) { return std::to_string(i + 1) + "e400"; }), true},
        {many(32, [](std::size_t i) { return i == 31 ? std::string("10e399") : std::to_string(i + 1) + "e400"; }), false},
    };
    for (const auto& c : cases) {
        Value v = json(c.json);
        EXPECT_EQ(dv::is_unique_array(v.as_array()), c.unique) << c.json;
    }
}

TEST(Uniqueness, HostileListsStayCorrect) {
    // Empty arrays nested to different depths feed different hashes.
    Value nested = Value::array();
    for (std::size_t i = 0; i < 800; ++i) nested.push_back(deep_array(i));
    EXPECT_TRUE(dv::is_unique_array(nested.as_array()));
    nested.push_back(deep_array(567));
    EXPECT_FALSE(dv::is_unique_array(nested.as_array()));

    // Many numbers whose doubles are infinite, or which share one double.
    Value big = Value::array();
    for (int i = 1; i <= 3000; ++i) big.push_back(Value::number(std::to_string(i) + "e999999"));
    for (int i = 0; i < 3000; ++i) big.push_back(Value::number_from_uint64(9007199254740992ULL + static_cast<uint64_t>(i)));
    EXPECT_TRUE(dv::is_unique_array(big.as_array()));
    big.push_back(Value::number("17.00e999999"));
    EXPECT_FALSE(dv::is_unique_array(big.as_array()));

    // A number that no representation holds equals nothing, itself included,
    // and so does any value holding one.
    Value never_equal = Value::array();
    for (int i = 0; i < 20000; ++i) {
        Value wrapped = Value::array();
        wrapped.push_back(Value::number("1e2000000"));
        never_equal.push_back(i % 2 ? Value::number("1e2000000") : std::move(wrapped));
    }
    EXPECT_TRUE(dv::is_unique_array(never_equal.as_array()));
    EXPECT_TRUE(dv::is_unique_array(json("[1e2000000, 1e2000000]").as_array()));
}

TEST(Hashing, UniqueHashAgreesWithEquality) {
    const std::vector<std::vector<std::string_view>> classes = {
        {"1", "1.0", "1e0", "10e-1", "0.1e1", "100e-2"},
        {"0", "-0", "0.0", "-0.0", "0e5", "1e-2000000"},
        {"9007199254740993", "9007199254740993.0", "9.007199254740993e15"},
        {"18446744073709551615", "1.8446744073709551615e19"},
        {"-9223372036854775808", "-9.223372036854775808e18"},
        {"0.1", "1e-1", "0.10"},
        {"1e400", "10e399", "0.1e401"},
        {"-2.5e-400", "-25e-401"},
    };
    for (const auto& cls : classes) {
        for (auto a : cls) {
            for (auto b : cls) {
                Value va = Value::number(std::string(a));
                Value vb = Value::number(std::string(b));
                EXPECT_TRUE(dv::json_values_equal(va, vb)) << a << " = " << b;
                EXPECT_EQ(unique_hash(va), unique_hash(vb)) << a << " ~ " << b;
            }
        }
    }
    Value arr_a = json(R"([{"x": 1, "y": [0.5]}, 2])");
    Value arr_b = json(R"([{"y": [5e-1], "x": 1.00}, 2.0])");
    EXPECT_EQ(unique_hash(arr_a), unique_hash(arr_b));
    EXPECT_NE(unique_hash(json("[[]]")), unique_hash(json("[[[]]]")));
    EXPECT_NE(unique_hash(json("[[], []]")), unique_hash(json("[[[]]]")));
}

TEST(Hashing, CanonicalHashClassifiesNumberTexts) {
    auto h = [](std::string_view text) { return canonical_hash(json(text)); };
    EXPECT_NE(h("1"), h("1.0"));
    EXPECT_EQ(h("1.0"), h("1.00"));
    EXPECT_NE(h("0"), h("-0"));
    EXPECT_NE(h("0.0"), h("-0.0"));
    EXPECT_EQ(h("1e400"), h("1e400"));
    EXPECT_NE(h("1e400"), h("10e399"));
    EXPECT_EQ(h(R"({"b": 1, "a": 2})"), h(R"({"a": 2, "b": 1})"));
    EXPECT_NE(h(R"(["a", "b"])"), h(R"(["ab"])"));
    EXPECT_NE(h("[1]"), h("[[1]]"));
    EXPECT_NE(h("\"1\""), h("1"));
}
