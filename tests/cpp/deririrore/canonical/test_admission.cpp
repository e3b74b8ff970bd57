#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;
using A = Admission;

value::Value js(std::string_view text) {
    auto v = value::parse_json(text);
    EXPECT_TRUE(v.has_value()) << text;
    return v.has_value() ? std::move(*v) : value::Value();
}

CanonicalJson cj(std::string_view text) { return std::make_shared<const value::Value>(js(text)); }

CanonicalContext context() {
    return new_canonical_context(regex::PatternOptions::backtracking(), Draft::Draft202012, false);
}

Schema string_node(StringLeaf leaf) { return make_schema(kind::String{std::move(leaf)}); }

Admission string_test(const StringLeaf& leaf, std::string_view text, bool flag) {
    auto c = context();
    const auto p = compile_patterns(leaf.patterns, c);
    const auto e = compile_patterns(leaf.excluded_patterns, c);
    return string_leaf_accepts(leaf, p, e, text, flag);
}

TEST(CanonicalAdmission, ConstantsBecomeCanonicalValues) {
    auto c = canonical_json_from_value(js(R"({"b": 1.50, "a": [2e0, "x", {"z": -0.0}]})"));
    ASSERT_TRUE(c);
    EXPECT_EQ(value::to_json(*c), R"({"a":[2,"x",{"z":0}],"b":1.5})");
    // Too deep a value is not converted rather than walked without bound.
    value::Value deep = value::Value::array();
    for (int i = 0; i < 1000; ++i) deep = value::Value::array({std::move(deep)});
    EXPECT_FALSE(canonical_json_from_value(deep));
}

TEST(CanonicalAdmission, NumberAndIntegerLeaves) {
    NumberLeaf n;
    n.excludes_integers = true;
    n.minimum = BoundNumber{"0.1", true};
    n.maximum = BoundNumber{"10", false};
    n.multiple_of = fold_divisors({*parse_canonical_number("0.5")});
    struct Case {
        const char* v;
        bool ok;
    };
    for (const auto& c : std::vector<Case>{{"3", false},
                                           {"3.0", false},
                                           {"3.5", true},
                                           {"0.5", true},
                                           {"9.5", true},
                                           {"10.5", false},
                                           {"0.05", false},
                                           {"0.75", false},
                                           {"\"3.5\"", false}})
        EXPECT_EQ(number_leaf_accepts(n, js(c.v)), c.ok) << c.v;

    IntegerLeaf i;
    i.bounds = Bounds{BigInt(-3), BigInt("100000000000000000000")};
    i.not_multiple_of.members = normalize_excluded_divisors({*parse_canonical_number("4")});
    for (const auto& c : std::vector<Case>{{"-3", true},
                                           {"-4", false},
                                           {"8", false},
                                           {"7.0", true},
                                           {"7.5", false},
                                           {"100000000000000000001", false},
                                           {"99999999999999999999", true}})
        EXPECT_EQ(integer_leaf_accepts(i, js(c.v)), c.ok) << c.v;
}

TEST(CanonicalAdmission, StringLeaves) {
    StringLeaf min2;
    min2.lengths.minimum = BigInt(2);
    EXPECT_EQ(string_test(min2, "\xF0\x9D\x84\x9E", false), A::Rejected);
    EXPECT_EQ(string_test(min2, "ab", false), A::Accepted);

    StringLeaf unknown;
    unknown.formats.push_back(FormatKind::unknown(share("no-such-format")));
    EXPECT_EQ(string_test(unknown, "anything", false), A::Accepted);
    EXPECT_EQ(string_test(unknown, "anything", true), A::Undecided);
    StringLeaf excluded_unknown;
    excluded_unknown.excluded_formats.push_back(FormatKind::unknown(share("no-such-format")));
    EXPECT_EQ(string_test(excluded_unknown, "anything", false), A::Rejected);
    EXPECT_EQ(string_test(excluded_unknown, "anything", true), A::Undecided);

    StringLeaf base64;
    base64.content_encodings.push_back(share("base64"));
    EXPECT_EQ(string_test(base64, "not base64!", false), A::Rejected);
    EXPECT_EQ(string_test(base64, "aGVsbG8=", false), A::Accepted);
    StringLeaf rot13;
    rot13.content_encodings.push_back(share("rot13"));
    EXPECT_EQ(string_test(rot13, "x", false), A::Accepted);
    EXPECT_EQ(string_test(rot13, "x", true), A::Undecided);

    StringLeaf patterned;
    patterned.patterns.push_back(share("^a"));
    patterned.excluded_patterns.push_back(share("z"));
    patterned.excluded.push_back(share("ab"));
    patterned.formats.push_back(FormatKind::builtin(formats::BuiltinFormat::Ipv4));
    EXPECT_EQ(string_test(patterned, "ba", false), A::Rejected);
    EXPECT_EQ(string_test(patterned, "az", false), A::Rejected);
    EXPECT_EQ(string_test(patterned, "ab", false), A::Rejected);
    EXPECT_EQ(string_test(patterned, "a.b", false), A::Rejected);
    StringLeaf date_excluded;
    date_excluded.excluded_formats.push_back(FormatKind::builtin(formats::BuiltinFormat::Date));
    EXPECT_EQ(string_test(date_excluded, "2020-01-01", false), A::Rejected);
    EXPECT_EQ(string_test(date_excluded, "tomorrow", false), A::Accepted);
}

TEST(CanonicalAdmission, EngineErrorsLeaveTheAnswerOpen) {
    auto c = new_canonical_context(regex::PatternOptions::backtracking(50), Draft::Draft202012, false);
    StringLeaf leaf;
    // Look-around sends the pattern to the backtracking machine, where the tiny limit stops it.
    leaf.patterns.push_back(share("^(?=a)(a|aa)+$"));
    const auto p = compile_patterns(leaf.patterns, c);
    ASSERT_TRUE(p[0]);
    const std::string text = std::string(40, 'a') + "b";
    ASSERT_EQ(search_pattern(*p[0], text), PatternMatch::EngineError);
    EXPECT_EQ(string_leaf_accepts(leaf, p, {}, text, false), A::Undecided);
    StringLeaf excluded;
    excluded.excluded_patterns = leaf.patterns;
    EXPECT_EQ(string_leaf_accepts(excluded, {}, p, text, false), A::Undecided);
    EXPECT_FALSE(pattern_matches_name(c, "^(?=a)(a|aa)+$", text));
}

TEST(CanonicalAdmission, Distinctness) {
    struct Case {
        Distinctness d;
        const char* items;
        bool ok;
    };
    const Case cases[] = {
        {Distinctness::SomeRepeated, "[]", false},       {Distinctness::SomeRepeated, "[1]", false},
        {Distinctness::SomeRepeated, "[1, 2]", false},   {Distinctness::SomeRepeated, "[2, 1, 2]", true},
        {Distinctness::AllDistinct, "[1, 2, {}]", true}, {Distinctness::AllDistinct, "[[1], [1]]", false},
        {Distinctness::Unconstrained, "[1, 1]", true},
    };
    for (const auto& c : cases) {
        const auto v = js(c.items);
        EXPECT_EQ(distinctness_accepts(c.d, v.as_array()), c.ok) << c.items;
    }
    // 1 and 1.0 are equal once both are canonical.
    const auto canonical = *canonical_json_from_value(js("[1, 1.0]"));
    EXPECT_FALSE(distinctness_accepts(Distinctness::AllDistinct, canonical.as_array()));
}

TEST(CanonicalAdmission, ContainsFacets) {
    auto c = context();
    const Schema strings = schema_from_type_mask(JsonTypeSet(JsonType::String).with(JsonType::Null));
    const auto empty = js("[]");
    const auto mixed = js(R"(["a", 1, "b"])");
    struct Case {
        ContainsFacet facet;
        const value::Value* items;
        A out;
    };
    const Case cases[] = {
        {{strings, std::nullopt, std::nullopt}, &empty, A::Rejected},
        {{strings, BigInt(0), std::nullopt}, &empty, A::Accepted},
        {{strings, std::nullopt, BigInt(0)}, &mixed, A::Rejected},
        {{strings, BigInt(2), BigInt(2)}, &mixed, A::Accepted},
        {{strings, BigInt(3), std::nullopt}, &mixed, A::Rejected},
        {{strings, std::nullopt, BigInt(1)}, &mixed, A::Rejected},
    };
    for (const auto& k : cases) EXPECT_EQ(contains_facets_accept({k.facet}, k.items->as_array(), false, c), k.out);
}

TEST(CanonicalAdmission, NodesAdmitValues) {
    auto c = context();
    StringLeaf s;
    s.lengths.maximum = BigInt(3);
    const Schema short_string = string_node(s);
    const Schema any_of = make_schema(kind::AnyOf{{schema_from_value_set({cj("1"), cj("2")}), short_string}});
    ArrayLeaf a;
    a.prefix.push_back(short_string);
    a.items = schema_from_type_mask(JsonTypeSet(JsonType::Number));
    const Schema array = make_schema(kind::Array{a});
    ObjectLeaf o;
    o.required.push_back(share("id"));
    o.properties.entries.push_back({share("id"), any_of});
    o.additional = false_schema();
    const Schema object = make_schema(kind::Object{o});
    struct Case {
        Schema node;
        const char* value;
        A out;
    };
    const Case cases[] = {
        {any_of, "2.0", A::Accepted},
        {any_of, "\"abcd\"", A::Rejected},
        {any_of, "\"ab\"", A::Accepted},
        {array, R"(["ab", 1, 2.5])", A::Accepted},
        {array, R"(["ab", "x"])", A::Rejected},
        {array, "[]", A::Accepted},
        {object, R"({"id": 1})", A::Accepted},
        {object, R"({"id": 1, "x": 0})", A::Rejected},
        {object, "{}", A::Rejected},
        {make_schema(kind::Not{any_of}), "3", A::Accepted},
        {true_schema(), "null", A::Accepted},
        {false_schema(), "null", A::Rejected},
        {make_schema(kind::Raw{RawJson{std::make_shared<const value::Value>(), RawReason::Unmodeled, nullptr}}), "1",
         A::Undecided},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(node_admits_value(k.node, js(k.value), false, c), k.out) << k.value << " " << debug_string(k.node);
        EXPECT_EQ(node_rejects_value(k.node, js(k.value), c), k.out == A::Rejected) << k.value;
    }
    StringLeaf u;
    u.formats.push_back(FormatKind::unknown(share("mine")));
    const Schema unknown = make_schema(kind::AllOf{{string_node(u), short_string}});
    EXPECT_EQ(node_admits_value(string_node(u), js("\"x\""), true, c), A::Undecided);
    EXPECT_EQ(node_admits_value(string_node(u), js("\"x\""), false, c), A::Accepted);
    EXPECT_EQ(unchecked_names(unknown, c)->count, 1u);
    EXPECT_EQ(*unchecked_names(unknown, c)->names.begin(), "mine");
}

TEST(CanonicalAdmission, ReferencesAndBudget) {
    auto c = context();
    const Schema ref = make_schema(kind::Reference{share("#/$defs/a")});
    const Schema node = make_schema(kind::TypedGroup{JsonType::Array, make_schema(kind::Not{ref})});
    EXPECT_TRUE(has_unresolved_reference(node, c));
    EXPECT_EQ(node_admits_value(node, js("[]"), false, c), A::Undecided);
    EXPECT_FALSE(node_rejects_value(node, js("1"), c));
    EXPECT_TRUE(deref_schema(ref, c).same(ref));
    EXPECT_TRUE(contains_reference(node));
    EXPECT_FALSE(is_resolvable_reference(ref, c));

    auto table = std::make_shared<TargetTable>();
    table->emplace("#/$defs/a", schema_from_type_mask(JsonTypeSet(JsonType::Array)));
    c.targets = table;
    EXPECT_FALSE(has_unresolved_reference(node, c));
    EXPECT_TRUE(is_resolvable_reference(make_schema(kind::OneOf{{false_schema(), ref}}), c));
    EXPECT_EQ(node_admits_value(ref, js("[1]"), false, c), A::Accepted);
    c.settling_names.insert("#/$defs/a");
    EXPECT_EQ(node_admits_value(ref, js("[1]"), false, c), A::Undecided);
    c.settling_names.clear();

    // A reference that names itself is walked once.
    auto cyclic = std::make_shared<TargetTable>();
    cyclic->emplace("#", make_schema(kind::Not{make_schema(kind::Reference{share("#")})}));
    c.targets = cyclic;
    EXPECT_FALSE(has_unresolved_reference(make_schema(kind::Reference{share("#")}), c));
    EXPECT_EQ(node_admits_value(make_schema(kind::Reference{share("#")}), js("1"), false, c), A::Undecided);

    c.targets = table;
    c.intersection_budget = 0;
    c.exhausted = false;
    EXPECT_EQ(node_admits_value(ref, js("[1]"), false, c), A::Undecided);
    EXPECT_TRUE(c.exhausted);
    EXPECT_FALSE(node_rejects_value(ref, js("1"), c));
}

TEST(CanonicalIntersection, TypesDecideExactlyAndTheRestStaysOpen) {
    auto c = context();
    auto multi = [](std::initializer_list<JsonType> types) {
        JsonTypeSet set;
        for (auto t : types) set.insert(t);
        return schema_from_type_mask(set);
    };
    StringLeaf s;
    s.lengths.maximum = BigInt(3);
    const Schema short_string = string_node(s);
    NumberLeaf n;
    n.minimum = BoundNumber{"1", true};
    const Schema from_one = make_schema(kind::Number{n});
    struct Case {
        Schema a, b;
        std::string out;
    };
    const Case cases[] = {
        {multi({JsonType::Integer, JsonType::String}), multi({JsonType::Number, JsonType::Null}),
         debug_string(multi({JsonType::Integer}))},
        {multi({JsonType::Number, JsonType::String}), multi({JsonType::Number, JsonType::Null}),
         debug_string(multi({JsonType::Number}))},
        {multi({JsonType::String, JsonType::Null}), short_string, debug_string(short_string)},
        {short_string, from_one, debug_string(false_schema())},
        {multi({JsonType::Integer, JsonType::Null}), make_schema(kind::Const{cj("2.5")}), debug_string(false_schema())},
        {multi({JsonType::Integer, JsonType::Null}), make_schema(kind::Const{cj("2")}),
         debug_string(make_schema(kind::Const{cj("2")}))},
        {from_one, make_schema(kind::Const{cj("0.5")}), debug_string(false_schema())},
        {true_schema(), short_string, debug_string(short_string)},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(debug_string(intersect(k.a, k.b, c)), k.out);
        EXPECT_EQ(debug_string(intersect(k.b, k.a, c)), k.out);
    }
    // The integer part of a number leaf meets an integer type as an integer leaf.
    const Schema both = intersect(multi({JsonType::Integer, JsonType::Null}), from_one, c);
    EXPECT_EQ(both->index(), KindIndex::Integer);
    // The complement meets the node in nothing and takes in what it refuses.
    const auto below_one = complement_node(from_one, c);
    ASSERT_TRUE(below_one);
    EXPECT_TRUE(is_false(intersect(from_one, *below_one, c)));
    EXPECT_EQ(node_admits_value(*below_one, js("0.5"), false, c), A::Accepted);
}

TEST(CanonicalAdmission, SharedGraphsAreEvaluatedWithinABudget) {
    auto c = context();
    Schema s = make_schema(kind::MultiType{JsonTypeSet(JsonType::String).with(JsonType::Null)});
    for (int i = 0; i < 60; ++i) s = make_schema(kind::AllOf{{s, s}});
    // A conjunction meets each shared part once, so the answer is exact.
    EXPECT_EQ(node_admits_value(s, js("\"x\""), false, c), A::Accepted);
    EXPECT_EQ(node_admits_value(s, js("1"), false, c), A::Rejected);
}

TEST(CanonicalPatternCache, CompiledOncePerContextAndPerSharedCache) {
    auto shared = std::make_shared<PatternCache>();
    auto first = context();
    first.shared_patterns = shared;
    const auto a = lookup_compiled_pattern(first, "^ab+c");
    const auto b = lookup_compiled_pattern(first, "^ab+c");
    ASSERT_TRUE(a);
    EXPECT_EQ(a, b);
    EXPECT_EQ(first.patterns_compiled, 1u);

    auto second = context();
    second.shared_patterns = shared;
    EXPECT_EQ(lookup_compiled_pattern(second, "^ab+c"), a);
    EXPECT_EQ(second.patterns_compiled, 0u);

    auto alone = context();
    EXPECT_TRUE(lookup_compiled_pattern(alone, "^ab+c"));
    EXPECT_TRUE(lookup_compiled_pattern(alone, "^ab+c"));
    EXPECT_EQ(alone.patterns_compiled, 1u);

    EXPECT_FALSE(lookup_compiled_pattern(first, "(unclosed"));
    EXPECT_FALSE(lookup_compiled_pattern(first, "(unclosed"));
    EXPECT_EQ(first.patterns_compiled, 2u);
    EXPECT_FALSE(lookup_compiled_pattern(second, "(unclosed"));
    EXPECT_EQ(second.patterns_compiled, 0u);
    EXPECT_THROW(pattern_matches_name(first, "(unclosed", "x"), InternalError);

    EXPECT_TRUE(pattern_matches_name(first, "a", "banana"));
    EXPECT_FALSE(pattern_matches_name(first, "^a", "banana"));
    EXPECT_TRUE(pattern_matches_name(first, "^a", "apple"));
}

}  // namespace
