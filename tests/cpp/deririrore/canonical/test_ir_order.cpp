#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/ir.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;

value::Value parse(std::string_view text) {
    auto v = value::parse_json(text);
    EXPECT_TRUE(v.has_value()) << text;
    return v.has_value() ? std::move(*v) : value::Value();
}

int sgn_of(std::strong_ordering o) { return o < 0 ? -1 : o > 0 ? 1 : 0; }

CanonicalJson cj(std::string_view text) { return std::make_shared<const value::Value>(parse(text)); }

BoundRational rat(std::string_view text) { return *parse_canonical_number(text); }

Schema number_leaf(std::vector<std::string> members, std::vector<std::string> folded) {
    NumberLeaf leaf;
    for (auto& m : members) leaf.multiple_of.members.push_back(rat(m));
    for (auto& f : folded) leaf.multiple_of.folded.push_back(rat(f));
    return make_schema(kind::Number{std::move(leaf)});
}

Schema string_with_format(FormatKind f) {
    StringLeaf leaf;
    leaf.formats.push_back(std::move(f));
    return make_schema(kind::String{std::move(leaf)});
}

TEST(CanonicalNodes, SeparatelyBuiltEqualNodesAreEqualWithEqualHashes) {
    auto build = [] {
        ArrayLeaf leaf;
        leaf.lengths.minimum = BigInt(1);
        leaf.prefix.push_back(make_schema(kind::Const{cj("\"x\"")}));
        leaf.items = schema_from_type_mask(JsonTypeSet(value::JsonType::String));
        leaf.contains.push_back(ContainsFacet{true_schema(), BigInt(2), std::nullopt});
        return make_schema(
            kind::AnyOf{{make_schema(kind::Array{std::move(leaf)}), make_schema(kind::Reference{share("#")})}});
    };
    const Schema a = build();
    const Schema b = build();
    EXPECT_FALSE(a.same(b));
    EXPECT_EQ(a->hash, b->hash);
    EXPECT_TRUE(schema_data_eq(*a, *b));
    EXPECT_EQ(compare_canonical_nodes(a, b), std::strong_ordering::equal);
}

TEST(CanonicalNodes, DivisorsCompareByTheirFoldedSetAlone) {
    const Schema a = number_leaf({"2", "3"}, {"6"});
    const Schema b = number_leaf({"6"}, {"6"});
    EXPECT_EQ(a->hash, b->hash);
    EXPECT_TRUE(schema_data_eq(*a, *b));
    EXPECT_EQ(compare_canonical_nodes(a, b), std::strong_ordering::equal);
    const Schema c = number_leaf({"6"}, {"1.5e-2000000", "6"});
    EXPECT_FALSE(schema_data_eq(*a, *c));
    EXPECT_NE(compare_canonical_nodes(a, c), std::strong_ordering::equal);
}

TEST(CanonicalNodes, RawNodesIgnoreReasonAndPointer) {
    auto v = std::make_shared<const value::Value>(parse(R"({"x": 1})"));
    const Schema a = make_schema(kind::Raw{RawJson{v, RawReason::Unmodeled, share("/a")}});
    const Schema b = make_schema(kind::Raw{
        RawJson{std::make_shared<const value::Value>(parse(R"({"x": 1})")), RawReason::OutgrewCases, nullptr}});
    EXPECT_EQ(a->hash, b->hash);
    EXPECT_TRUE(schema_data_eq(*a, *b));
    EXPECT_EQ(compare_canonical_nodes(a, b), std::strong_ordering::equal);
}

TEST(CanonicalNodes, TypeMasksAndValueSets) {
    using value::JsonType;
    EXPECT_TRUE(is_true(schema_from_type_mask(JsonTypeSet::from_bits(0x7f))));
    EXPECT_TRUE(
        is_true(schema_from_type_mask(JsonTypeSet::from_bits(0x7f & ~static_cast<uint8_t>(JsonType::Integer)))));
    EXPECT_TRUE(is_false(schema_from_type_mask(JsonTypeSet())));
    const Schema numbers = schema_from_type_mask(JsonTypeSet(JsonType::Integer).with(JsonType::Number));
    ASSERT_NE(numbers->as<kind::MultiType>(), nullptr);
    EXPECT_EQ(numbers->as<kind::MultiType>()->types, JsonTypeSet(JsonType::Number));
    const Schema null_only = schema_from_type_mask(JsonTypeSet(JsonType::Null));
    ASSERT_NE(null_only->as<kind::Const>(), nullptr);
    EXPECT_TRUE(null_only->as<kind::Const>()->value->is_null());
    const Schema booleans = schema_from_type_mask(JsonTypeSet(JsonType::Boolean));
    ASSERT_NE(booleans->as<kind::Enum>(), nullptr);

    const Schema three = schema_from_value_set({cj("true"), cj("null"), cj("false"), cj("true")});
    ASSERT_NE(three->as<kind::MultiType>(), nullptr);
    EXPECT_EQ(three->as<kind::MultiType>()->types, JsonTypeSet(JsonType::Null).with(JsonType::Boolean));
    EXPECT_TRUE(schema_eq(schema_from_value_set({cj("true"), cj("false")}), booleans));
    EXPECT_TRUE(schema_eq(schema_from_value_set({cj("null")}), null_only));
    EXPECT_TRUE(is_false(schema_from_value_set({})));
    const Schema many = schema_from_value_set({cj("3"), cj("\"a\""), cj("1"), cj("3")});
    ASSERT_NE(many->as<kind::Enum>(), nullptr);
    ASSERT_EQ(many->as<kind::Enum>()->values.size(), 3u);
    EXPECT_EQ(value::to_json(*many->as<kind::Enum>()->values[0]), "1");
    EXPECT_EQ(value::to_json(*many->as<kind::Enum>()->values[2]), "\"a\"");
}

TEST(CanonicalNodes, DebugRenderingNamesTheStructure) {
    const Schema s =
        make_schema(kind::TypedGroup{value::JsonType::String, make_schema(kind::Reference{share("#/$defs/a")})});
    const std::string text = debug_string(s);
    EXPECT_NE(text.find("TypedGroup { ty: String, body: Schema(SchemaData { kind: Reference(\"#/$defs/a\")"),
              std::string::npos)
        << text;
    ObjectLeaf leaf;
    leaf.violations.push_back(violation::PatternValueFails{share("^x"), false_schema()});
    const std::string object = debug_string(make_schema(kind::Object{leaf}));
    EXPECT_NE(object.find("violations: [PatternValueFails { pattern: \"^x\", schema: Schema(SchemaData { kind: False"),
              std::string::npos)
        << object;
    EXPECT_NE(debug_string(schema_from_type_mask(JsonTypeSet(value::JsonType::Null).with(value::JsonType::Array)))
                  .find("MultiType((null, array))"),
              std::string::npos);
}

TEST(CanonicalOrder, JsonValuesOrderByClassAndBits) {
    struct Case {
        const char* less;
        const char* greater;
    };
    const Case cases[] = {
        {"5", "-3"},
        {"-3", "0.5"},
        {"0.5", "-0.5"},
        {"\"abc\"", "\"abd\""},
        {"\"ab\"", "\"abc\""},
        {"[]", "[0]"},
        {"null", "false"},
        {"false", "true"},
        {"true", "0"},
        {"0", "\"\""},
        {"\"\"", "[]"},
        {"[]", "{}"},
        {R"({"a":1,"b":2})", R"({"a":1,"c":0})"},
        {"1", "1.0"},
        {"18446744073709551615", "-1"},
        {"1e400", "1e401"},
    };
    for (const auto& c : cases) {
        const auto a = parse(c.less);
        const auto b = parse(c.greater);
        EXPECT_EQ(compare_canonical_json(a, b), std::strong_ordering::less) << c.less << " < " << c.greater;
        EXPECT_EQ(compare_canonical_json(b, a), std::strong_ordering::greater) << c.greater << " > " << c.less;
    }
    EXPECT_FALSE(canonical_json_eq(parse("1"), parse("1.0")));
    EXPECT_TRUE(canonical_json_eq(parse(R"({"a":[1,"x"]})"), parse(R"({"a":[1,"x"]})")));
}

TEST(CanonicalOrder, KindsOrderByVariantThenPayload) {
    const Schema multi = schema_from_type_mask(JsonTypeSet(value::JsonType::String).with(value::JsonType::Null));
    const Schema group = make_schema(kind::TypedGroup{value::JsonType::Null, true_schema()});
    const Schema raw =
        make_schema(kind::Raw{RawJson{std::make_shared<const value::Value>(), RawReason::Unmodeled, nullptr}});
    EXPECT_LT(sgn_of(compare_canonical_nodes(multi, group)), 0);
    EXPECT_LT(sgn_of(compare_canonical_nodes(false_schema(), raw)), 0);
    EXPECT_LT(sgn_of(compare_canonical_nodes(true_schema(), false_schema())), 0);
    EXPECT_EQ(sgn_of(compare_canonical_nodes(true_schema(), make_schema(kind::True{}))), 0);

    const Schema short_enum = schema_from_value_set({cj("1"), cj("2")});
    const Schema long_enum = schema_from_value_set({cj("1"), cj("2"), cj("3")});
    EXPECT_LT(sgn_of(compare_canonical_nodes(short_enum, long_enum)), 0);
    // A Two and a Many holding the same items are one list.
    const Schema as_many = make_schema(kind::Enum{{cj("1"), cj("2")}});
    EXPECT_TRUE(schema_eq(short_enum, as_many));
}

TEST(CanonicalOrder, BoundNumbersOrderNumericallyThenByText) {
    struct Case {
        BoundNumber less;
        BoundNumber greater;
    };
    const Case cases[] = {
        {{"5", false}, {"5", true}},      {{"1", true}, {"1.5", true}},          {{"9.5", true}, {"10", true}},
        {{"-1e400", true}, {"-5", true}}, {{"1e-2000000", true}, {"0.1", true}},
    };
    for (const auto& c : cases) {
        EXPECT_LT(sgn_of(compare_bound_numbers(c.less, c.greater)), 0) << c.less.limit << " " << c.greater.limit;
        EXPECT_GT(sgn_of(compare_bound_numbers(c.greater, c.less)), 0) << c.less.limit << " " << c.greater.limit;
    }
}

TEST(CanonicalOrder, ExactValuesAndRationals) {
    const ExactValue nan = ExactValue::nan();
    const ExactValue minus_inf = ExactValue::infinite(true);
    const ExactValue plus_inf = ExactValue::infinite(false);
    const ExactValue half = ExactValue::finite(BigRational(1, 2));
    const ExactValue minus_half = ExactValue::finite(BigRational(-1, 2));
    EXPECT_LT(sgn_of(compare_exact_values(nan, minus_inf)), 0);
    EXPECT_LT(sgn_of(compare_exact_values(minus_inf, minus_half)), 0);
    EXPECT_LT(sgn_of(compare_exact_values(minus_half, half)), 0);
    EXPECT_LT(sgn_of(compare_exact_values(half, plus_inf)), 0);
    EXPECT_EQ(sgn_of(compare_exact_values(nan, ExactValue::nan())), 0);
    EXPECT_EQ(sgn_of(compare_exact_values(ExactValue::finite(BigRational(0)), ExactValue::finite(BigRational(-0)))), 0);
    // A divisor without exact value sorts first.
    EXPECT_LT(sgn_of(compare_bound_rationals(rat("1.5e-2000000"), rat("0.001"))), 0);
    EXPECT_LT(sgn_of(compare_bound_rationals(rat("2"), rat("10"))), 0);
}

TEST(CanonicalOrder, FormatKindOrderAgreesWithEquality) {
    const Schema hostname = string_with_format(FormatKind::builtin(formats::BuiltinFormat::Hostname));
    const Schema hostname4 = string_with_format(FormatKind::builtin(formats::BuiltinFormat::HostnameDraft4));
    const Schema date = string_with_format(FormatKind::builtin(formats::BuiltinFormat::Date));
    const Schema unknown_date = string_with_format(FormatKind::unknown(share("date")));
    for (const auto& [a, b] : {std::pair{hostname, hostname4}, std::pair{date, unknown_date}}) {
        EXPECT_FALSE(schema_eq(a, b));
        EXPECT_NE(sgn_of(compare_canonical_nodes(a, b)), 0);
        EXPECT_EQ(sgn_of(compare_canonical_nodes(a, b)), -sgn_of(compare_canonical_nodes(b, a)));
    }
    // The name still decides first.
    EXPECT_LT(sgn_of(compare_canonical_nodes(date, hostname)), 0);
    EXPECT_LT(sgn_of(compare_canonical_nodes(unknown_date, hostname4)), 0);
}

TEST(CanonicalOrder, DeepNestingNeitherOverflowsNorCallsUnequalNodesEqual) {
    Schema a = true_schema();
    Schema b = false_schema();
    for (int i = 0; i < 5000; ++i) {
        a = make_schema(kind::Not{a});
        b = make_schema(kind::Not{b});
    }
    EXPECT_FALSE(schema_eq(a, b));
    EXPECT_NE(sgn_of(compare_canonical_nodes(a, b)), 0);
    Schema c = true_schema();
    for (int i = 0; i < 5000; ++i) c = make_schema(kind::Not{c});
    EXPECT_EQ(a->hash, c->hash);
    (void)debug_string(a);
}

TEST(CanonicalOrder, SharedGraphsAreComparedWithinABudget) {
    auto chain = [](int levels) {
        Schema s = make_schema(kind::MultiType{JsonTypeSet(value::JsonType::String).with(value::JsonType::Null)});
        for (int i = 0; i < levels; ++i) s = make_schema(kind::AllOf{{s, s}});
        return s;
    };
    // Small shared graphs still compare exactly.
    EXPECT_TRUE(schema_eq(chain(8), chain(8)));
    EXPECT_EQ(sgn_of(compare_canonical_nodes(chain(8), chain(8))), 0);
    // 2^60 paths: the answer comes back (unequal is the safe one) instead of never.
    const Schema a = chain(60), b = chain(60);
    EXPECT_EQ(a->hash, b->hash);
    EXPECT_FALSE(schema_eq(a, b));
    EXPECT_EQ(sgn_of(compare_canonical_nodes(a, b)), sgn_of(compare_canonical_nodes(a, b)));
}

}  // namespace
