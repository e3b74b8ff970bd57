#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/intersection.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;

value::Value jv(std::string_view text) {
    auto v = value::parse_json(text);
    EXPECT_TRUE(v.has_value()) << text;
    return v.has_value() ? std::move(*v) : value::Value();
}

CanonicalJson val(std::string_view text) { return shared_canonical_json(jv(text)); }

Schema konst(std::string_view text) { return make_schema(kind::Const{val(text)}); }

Schema values(std::initializer_list<std::string_view> texts) {
    std::vector<CanonicalJson> out;
    for (auto t : texts) out.push_back(val(t));
    return schema_from_value_set(std::move(out));
}

CanonicalContext ctx(Draft draft = Draft::Draft202012) {
    return new_canonical_context(regex::PatternOptions::backtracking(), draft, false);
}

JsonTypeSet types(std::initializer_list<JsonType> ts) {
    JsonTypeSet s;
    for (auto t : ts) s.insert(t);
    return s;
}

Schema mask(std::initializer_list<JsonType> ts) { return make_schema(kind::MultiType{types(ts)}); }

Divisors divisors(std::initializer_list<std::string_view> texts) {
    std::vector<BoundRational> members;
    for (auto t : texts) members.push_back(*parse_canonical_number(t));
    return fold_divisors(std::move(members));
}

IntegerLeaf integer_leaf(std::optional<long> lo, std::optional<long> hi) {
    IntegerLeaf leaf;
    if (lo) leaf.bounds.minimum = BigInt(*lo);
    if (hi) leaf.bounds.maximum = BigInt(*hi);
    return leaf;
}

NumberLeaf number_leaf(std::optional<BoundNumber> lo, std::optional<BoundNumber> hi) {
    NumberLeaf leaf;
    leaf.minimum = std::move(lo);
    leaf.maximum = std::move(hi);
    return leaf;
}

Schema integer_node(std::optional<long> lo, std::optional<long> hi) {
    return make_schema(kind::Integer{integer_leaf(lo, hi)});
}

Schema reference(const std::string& name) { return make_schema(kind::Reference{share(name)}); }

std::string show(const Schema& s) { return debug_string(s); }

TEST(AlgebraConstructors, TypeMasksAndValueSetsHaveOneShapePerMeaning) {
    using J = JsonType;
    const auto six = types({J::Null, J::Boolean, J::Number, J::String, J::Array, J::Object});
    EXPECT_TRUE(is_true(schema_from_type_mask(six)));
    EXPECT_EQ(show(schema_from_type_mask(types({J::Integer, J::Number}))), show(mask({J::Number})));
    EXPECT_EQ(show(schema_from_type_mask(types({J::Null}))), show(konst("null")));
    EXPECT_EQ(show(schema_from_type_mask(types({J::Boolean}))), show(values({"false", "true"})));
    EXPECT_EQ(schema_from_type_mask(types({J::Boolean}))->index(), KindIndex::Enum);

    EXPECT_EQ(show(values({"true", "null", "false", "null"})), show(mask({J::Null, J::Boolean})));
    EXPECT_EQ(values({"false", "true"})->index(), KindIndex::Enum);
    EXPECT_EQ(show(values({"1", "1"})), show(konst("1")));
    EXPECT_TRUE(is_false(values({})));
    EXPECT_TRUE(is_false(typed_group(J::Integer, false_schema())));

    auto c = ctx(Draft::Draft4);
    std::vector<CanonicalJson> mixed{val("1"), val("2.5"), val("\"a\"")};
    EXPECT_EQ(show(value_set_by_type(mixed, types({J::Integer}), c)), show(typed_group(J::Integer, konst("1"))));
    auto c6 = ctx(Draft::Draft6);
    EXPECT_EQ(show(value_set_by_type(mixed, types({J::Integer}), c6)), show(konst("1")));
}

TEST(AlgebraConstructors, IntegerLeaves) {
    struct Case {
        const char* name;
        IntegerLeaf leaf;
        Draft draft;
        std::string expected;
    };
    auto with = [](IntegerLeaf l, std::initializer_list<std::string_view> d,
                   std::initializer_list<std::string_view> x = {}) {
        l.multiple_of = divisors(d);
        for (auto t : x) l.not_multiple_of.members.push_back(*parse_canonical_number(t));
        return l;
    };
    IntegerLeaf six_to_nine = integer_leaf(6, 9);
    six_to_nine.multiple_of = divisors({"3"});
    const Case cases[] = {
        {"a fractional divisor with numerator one says nothing", with(integer_leaf({}, {}), {"0.5"}), Draft::Draft7,
         show(mask({JsonType::Integer}))},
        {"excluding a unit fraction excludes every integer", with(integer_leaf({}, {}), {}, {"0.25"}), Draft::Draft7,
         show(false_schema())},
        {"bounds snap past each other", with(integer_leaf(5, 7), {"4"}), Draft::Draft7, show(false_schema())},
        {"bounds already on multiples", with(integer_leaf(6, 9), {"3"}), Draft::Draft7,
         show(make_schema(kind::Integer{six_to_nine}))},
        {"one value left", integer_leaf(3, 3), Draft::Draft7, show(konst("3"))},
        {"one value left under draft 4", integer_leaf(3, 3), Draft::Draft4,
         show(typed_group(JsonType::Integer, konst("3")))},
        {"the one value excluded", with(integer_leaf(3, 3), {}, {"3"}), Draft::Draft7, show(false_schema())},
        {"empty window", integer_leaf(4, 3), Draft::Draft7, show(false_schema())},
    };
    for (const auto& k : cases) {
        auto c = ctx(k.draft);
        EXPECT_EQ(show(integer_leaf_node(k.leaf, c)), k.expected) << k.name;
    }
}

TEST(AlgebraConstructors, NumberLeaves) {
    auto c7 = ctx(Draft::Draft7);
    auto c4 = ctx(Draft::Draft4);
    NumberLeaf no_integers = number_leaf({}, {});
    no_integers.excludes_integers = true;
    const Schema seven = number_leaf_node(no_integers, c7);
    ASSERT_EQ(seven->index(), KindIndex::Number);
    EXPECT_FALSE(seven->as<kind::Number>()->leaf.excludes_integers);
    ASSERT_EQ(seven->as<kind::Number>()->leaf.not_multiple_of.members.size(), 1u);
    EXPECT_EQ(seven->as<kind::Number>()->leaf.not_multiple_of.members[0].limit, "1");
    const Schema four = number_leaf_node(no_integers, c4);
    ASSERT_EQ(four->index(), KindIndex::Number);
    EXPECT_TRUE(four->as<kind::Number>()->leaf.excludes_integers);

    NumberLeaf even = number_leaf(BoundNumber{"0.5", true}, {});
    even.multiple_of = divisors({"2"});
    const Schema integral = number_leaf_node(even, c7);
    ASSERT_EQ(integral->index(), KindIndex::Integer);
    EXPECT_EQ(*integral->as<kind::Integer>()->leaf.bounds.minimum, BigInt(2));
    even.excludes_integers = true;
    EXPECT_TRUE(is_false(number_leaf_node(even, c7)));

    struct Case {
        const char* name;
        NumberLeaf leaf;
        Draft draft;
        std::string expected;
    };
    NumberLeaf thirds = number_leaf(BoundNumber{"0.1", true}, BoundNumber{"0.2", true});
    thirds.multiple_of = divisors({"0.3"});
    NumberLeaf open = number_leaf(BoundNumber{"1", false}, BoundNumber{"2", false});
    NumberLeaf pinned_no_integers = number_leaf(BoundNumber{"2", true}, BoundNumber{"2", true});
    pinned_no_integers.excludes_integers = true;
    // A divisor far below a double's range is still no zero.
    NumberLeaf tiny = number_leaf(BoundNumber{"0", true}, BoundNumber{"1", true});
    tiny.multiple_of = divisors({"1e-400"});
    const Case cases[] = {
        {"no multiple of 0.3 between 0.1 and 0.2", thirds, Draft::Draft7, show(false_schema())},
        {"both ends at 1", number_leaf(BoundNumber{"1", true}, BoundNumber{"1", true}), Draft::Draft7,
         show(konst("1"))},
        {"1 included and excluded", number_leaf(BoundNumber{"1", true}, BoundNumber{"1", false}), Draft::Draft7,
         show(false_schema())},
        {"an open interval", open, Draft::Draft7, show(make_schema(kind::Number{open}))},
        {"draft 4 keeps the flag at an integral point", pinned_no_integers, Draft::Draft4,
         show(make_schema(kind::Number{pinned_no_integers}))},
        {"a tiny divisor", tiny, Draft::Draft7, show(make_schema(kind::Number{tiny}))},
    };
    for (const auto& k : cases) {
        auto c = ctx(k.draft);
        EXPECT_EQ(show(number_leaf_node(k.leaf, c)), k.expected) << k.name;
    }
}

TEST(AlgebraConstructors, StringLeaves) {
    auto c = ctx();
    StringLeaf date;
    date.formats.push_back(FormatKind::builtin(formats::BuiltinFormat::Date));
    date.lengths.maximum = BigInt(5);
    EXPECT_TRUE(is_false(string_leaf_node(date, c)));
    StringLeaf email;
    email.formats.push_back(FormatKind::builtin(formats::BuiltinFormat::Email));
    email.lengths.maximum = BigInt(1);
    EXPECT_EQ(string_leaf_node(email, c)->index(), KindIndex::String);

    StringLeaf not_empty;
    not_empty.excluded.push_back(share(""));
    const Schema moved = string_leaf_node(not_empty, c);
    ASSERT_EQ(moved->index(), KindIndex::String);
    EXPECT_EQ(*moved->as<kind::String>()->leaf.lengths.minimum, BigInt(1));
    EXPECT_TRUE(moved->as<kind::String>()->leaf.excluded.empty());
    not_empty.lengths.minimum = BigInt(0);
    EXPECT_EQ(string_leaf_node(not_empty, c)->as<kind::String>()->leaf.excluded.size(), 1u);

    StringLeaf empty_only;
    empty_only.lengths.maximum = BigInt(0);
    EXPECT_EQ(show(string_leaf_node(empty_only, c)), show(konst("\"\"")));
    empty_only.patterns.push_back(share("^a"));
    EXPECT_TRUE(is_false(string_leaf_node(empty_only, c)));

    StringLeaf refused;
    refused.patterns.push_back(share("^a"));
    refused.excluded.push_back(share("b"));
    refused.excluded.push_back(share("ab"));
    const Schema kept = string_leaf_node(refused, c);
    ASSERT_EQ(kept->as<kind::String>()->leaf.excluded.size(), 1u);
    EXPECT_EQ(*kept->as<kind::String>()->leaf.excluded[0], "ab");

    StringLeaf contradiction;
    contradiction.patterns.push_back(share("x"));
    contradiction.excluded_patterns.push_back(share("x"));
    EXPECT_TRUE(is_false(string_leaf_node(contradiction, c)));
}

TEST(AlgebraIntersection, BudgetAndMemoKeepTheExhaustedFlagWithTheResult) {
    auto c = ctx();
    c.intersection_budget = 0;
    EXPECT_TRUE(is_true(intersect(konst("1"), konst("2"), c)));
    EXPECT_TRUE(c.exhausted);

    auto one = ctx();
    one.intersection_budget = 1;
    EXPECT_TRUE(is_false(intersect(konst("1"), konst("2"), one)));
    EXPECT_EQ(one.intersection_budget, 0u);
    EXPECT_FALSE(one.exhausted);

    // The members' intersections run out: the pair's result is wider and flagged,
    // and meeting the pair again, in the other order, flags it again.
    ObjectLeaf x;
    x.properties.entries.push_back({share("a"), integer_node(0, 5)});
    ObjectLeaf y;
    y.properties.entries.push_back({share("a"), make_schema(kind::String{StringLeaf{}})});
    const Schema ox = make_schema(kind::Object{x});
    const Schema oy = make_schema(kind::Object{y});
    auto short_budget = ctx();
    short_budget.intersection_budget = 1;
    const Schema wide = intersect(ox, oy, short_budget);
    EXPECT_TRUE(short_budget.exhausted);
    EXPECT_FALSE(is_false(wide));
    short_budget.intersection_budget = 1000;
    short_budget.exhausted = false;
    intersect(oy, ox, short_budget);
    EXPECT_TRUE(short_budget.exhausted);

    auto full = ctx();
    const Schema met = intersect(ox, oy, full);
    EXPECT_FALSE(full.exhausted);
    ASSERT_EQ(met->index(), KindIndex::Object);
    EXPECT_TRUE(is_false(met->as<kind::Object>()->leaf.properties.entries[0].second));
}

TEST(AlgebraIntersection, PairsOfKinds) {
    using J = JsonType;
    StringLeaf shortish;
    shortish.lengths.maximum = BigInt(3);
    const Schema str = make_schema(kind::String{shortish});
    const Schema x = integer_node(0, 100);
    const Schema one_of = make_schema(kind::OneOf{{str, konst("null")}});
    struct Case {
        const char* name;
        Schema a, b;
        std::string expected;
    };
    const Case cases[] = {
        {"string and integer", str, integer_node(0, 1), show(false_schema())},
        {"integer type and number type", mask({J::Integer}), mask({J::Number, J::Null}), show(mask({J::Integer}))},
        {"string type and number type", mask({J::String}), mask({J::Number}), show(false_schema())},
        {"integer window and number window", integer_node(0, 10),
         make_schema(kind::Number{number_leaf(BoundNumber{"2.5", true}, BoundNumber{"20", true})}),
         show(integer_node(3, 10))},
        {"values and types", values({"1", "null", "\"a\""}), mask({J::String, J::Null}),
         show(values({"null", "\"a\""}))},
        {"a negation and its operand", make_schema(kind::Not{x}), x, show(false_schema())},
        {"a oneOf disjoint from the leaf", one_of, integer_node(0, 1), show(false_schema())},
        {"values and an integer leaf", values({"1", "2.5", "3"}), integer_node(2, {}), show(konst("3"))},
        {"an empty object and a required name", konst("{}"),
         make_schema(kind::Object{ObjectLeaf{Bounds{}, {share("a")}, {}, {}, {}, {}, {}}}), show(false_schema())},
        {"distinct and repeated items",
         make_schema(kind::Array{ArrayLeaf{Bounds{}, Distinctness::AllDistinct, {}, {}, {}}}),
         make_schema(kind::Array{ArrayLeaf{Bounds{}, Distinctness::SomeRepeated, {}, {}, {}}}), show(false_schema())},
        {"an array of admitted items stays a constant", konst("[1, 2]"),
         make_schema(kind::Array{ArrayLeaf{Bounds{}, Distinctness::Unconstrained, {x}, x, {}}}), show(konst("[1, 2]"))},
        {"an item the items refuse", konst("[1, \"x\"]"),
         make_schema(kind::Array{ArrayLeaf{Bounds{}, Distinctness::Unconstrained, {}, x, {}}}), show(false_schema())},
    };
    for (const auto& k : cases) {
        auto c = ctx();
        EXPECT_EQ(show(intersect(k.a, k.b, c)), k.expected) << k.name;
        auto d = ctx();
        EXPECT_EQ(show(intersect(k.b, k.a, d)), k.expected) << k.name << " (swapped)";
    }

    auto c4 = ctx(Draft::Draft4);
    EXPECT_EQ(show(intersect(values({"1", "2.5", "3"}), integer_node(2, {}), c4)),
              show(typed_group(J::Integer, konst("3"))));
}

TEST(AlgebraIntersection, ReferencesComeBackAndRecursionStops) {
    auto c = ctx();
    const std::string base = "urn:jsonschema:canonical:#/$defs/";
    auto array_of = [&](const std::string& target) {
        return make_schema(
            kind::Array{ArrayLeaf{Bounds{}, Distinctness::Unconstrained, {}, reference(base + target), {}}});
    };
    auto table = std::make_shared<TargetTable>();
    table->insert_or_assign(base + "a", array_of("b"));
    table->insert_or_assign(base + "b", array_of("a"));
    table->insert_or_assign(base + "c", array_of("d"));
    table->insert_or_assign(base + "d", array_of("c"));
    table->insert_or_assign(base + "n", integer_node(0, 9));
    c.targets = table;

    const Schema n = reference(base + "n");
    EXPECT_TRUE(intersect(n, true_schema(), c).same(n));
    EXPECT_TRUE(intersect(true_schema(), n, c).same(n));
    EXPECT_TRUE(intersect(n, mask({JsonType::Integer}), c).same(n));
    EXPECT_TRUE(intersect(reference(base + "zz"), reference(base + "zz"), c)->index() == KindIndex::Reference);
    EXPECT_EQ(intersect(reference(base + "zz"), reference(base + "yy"), c)->index(), KindIndex::AllOf);

    // Mutually recursive targets on both sides: the pair in progress answers
    // for itself, so the walk ends long before the budget does.
    const uint64_t before = c.intersection_budget;
    const Schema met = intersect(reference(base + "a"), reference(base + "c"), c);
    EXPECT_FALSE(c.exhausted);
    EXPECT_LT(before - c.intersection_budget, 100u);
    ASSERT_EQ(met->index(), KindIndex::Array);
    // a∩c holds b∩d, whose items meet a∩c again: the conjunction of the two references.
    const Schema inner = met->as<kind::Array>()->leaf.items.value();
    ASSERT_EQ(inner->index(), KindIndex::Array);
    std::vector<Schema> pair{reference(base + "a"), reference(base + "c")};
    EXPECT_EQ(show(inner->as<kind::Array>()->leaf.items.value()), show(make_schema(kind::AllOf{pair})));
}

TEST(AlgebraIntersection, ReferenceCyclesWithoutContentStayReferences) {
    auto c = ctx();
    const std::string base = "urn:jsonschema:canonical:#/$defs/";
    auto table = std::make_shared<TargetTable>();
    table->insert_or_assign(base + "loop", reference(base + "back"));
    table->insert_or_assign(base + "back", reference(base + "loop"));
    c.targets = table;
    const Schema loop = reference(base + "loop");
    EXPECT_EQ(deref_schema(loop, c)->index(), KindIndex::Reference);
    const Schema met = intersect(loop, integer_node(0, 1), c);
    EXPECT_FALSE(is_false(met));
    EXPECT_EQ(met->index(), KindIndex::AllOf);
}

TEST(AlgebraIntersection, DeepNestingIsBoundedAndFlagged) {
    auto c = ctx();
    Schema a = integer_node(0, 5);
    Schema b = integer_node(3, 9);
    for (int i = 0; i < 2000; ++i) {
        a = make_schema(kind::Array{ArrayLeaf{Bounds{}, Distinctness::Unconstrained, {}, a, {}}});
        b = make_schema(kind::Array{ArrayLeaf{Bounds{}, Distinctness::Unconstrained, {}, b, {}}});
    }
    const Schema met = intersect(a, b, c);
    EXPECT_TRUE(c.exhausted);
    EXPECT_FALSE(is_false(met));
}

TEST(AlgebraIntersection, CommutesWhileTheBudgetLasts) {
    using J = JsonType;
    StringLeaf pattern;
    pattern.patterns.push_back(share("^a"));
    ObjectLeaf named;
    named.properties.entries.push_back({share("a"), integer_node(0, 3)});
    named.additional = mask({J::String});
    ObjectLeaf sized;
    sized.sizes.maximum = BigInt(1);
    sized.pattern_properties.entries.push_back({share("^b"), mask({J::Null})});
    const std::vector<Schema> nodes{
        mask({J::Integer, J::String}),
        mask({J::Number}),
        integer_node(-3, 7),
        make_schema(kind::Number{number_leaf(BoundNumber{"0.5", false}, {})}),
        make_schema(kind::String{pattern}),
        values({"1", "\"ab\"", "null", "{\"a\":1}"}),
        konst("[1]"),
        make_schema(kind::Object{named}),
        make_schema(kind::Object{sized}),
        make_schema(
            kind::Array{ArrayLeaf{Bounds{BigInt(1), {}}, Distinctness::Unconstrained, {}, mask({J::Integer}), {}}}),
        make_schema(kind::Not{values({"1", "2"})}),
        make_schema(kind::AnyOf{{konst("1"), make_schema(kind::String{StringLeaf{}})}}),
    };
    for (const auto& a : nodes)
        for (const auto& b : nodes) {
            auto c = ctx();
            auto d = ctx();
            const Schema ab = intersect(a, b, c);
            const Schema ba = intersect(b, a, d);
            EXPECT_TRUE(schema_eq(ab, ba)) << show(a) << "\n" << show(b) << "\n" << show(ab) << "\n" << show(ba);
        }
}

TEST(AlgebraIntersection, ShortCutsAndTheOneOfTestNeedBudgetLeft) {
    const Schema x = integer_node(0, 9);
    const Schema ref = reference("urn:jsonschema:canonical:#/$defs/absent");
    auto c = ctx();
    EXPECT_TRUE(is_false(intersect(x, false_schema(), c)));
    EXPECT_TRUE(is_false(intersect(false_schema(), ref, c)));
    EXPECT_TRUE(intersect(ref, true_schema(), c).same(ref));
    EXPECT_TRUE(intersect(true_schema(), x, c).same(x));

    // The oneOf's branches are both disjoint from the leaf; only a test that ran
    // to the end with budget left may call the conjunction empty.
    StringLeaf shortish;
    shortish.lengths.maximum = BigInt(3);
    const Schema one_of = make_schema(kind::OneOf{{make_schema(kind::String{shortish}), konst("null")}});
    auto full = ctx();
    EXPECT_TRUE(is_false(intersect(one_of, x, full)));
    for (const uint64_t budget : {2u, 3u}) {
        auto tight = ctx();
        tight.intersection_budget = budget;
        const Schema met = intersect(one_of, x, tight);
        EXPECT_EQ(met->index(), KindIndex::AllOf) << budget << ": " << show(met);
    }
}

TEST(AlgebraValueSets, ValueByValue) {
    using J = JsonType;
    const std::string absent = "urn:jsonschema:canonical:#/$defs/absent";
    StringLeaf custom;
    custom.formats.push_back(FormatKind::unknown(share("custom")));
    ObjectLeaf names_fail;
    StringLeaf empty_name;
    empty_name.lengths.maximum = BigInt(0);
    names_fail.violations.push_back(violation::NameFails{make_schema(kind::String{empty_name})});
    ObjectLeaf no_members;
    no_members.sizes.maximum = BigInt(0);
    struct Case {
        const char* name;
        Schema values, other;
        Draft draft;
        std::string expected;
    };
    const Case cases[] = {
        {"an undecidable format keeps every string", values({"\"a\"", "\"b\""}), make_schema(kind::String{custom}),
         Draft::Draft7, show(values({"\"a\"", "\"b\""}))},
        {"no member can meet a violation", konst("{}"), make_schema(kind::Object{names_fail}), Draft::Draft7,
         show(false_schema())},
        {"a member breaks a size window", konst("{\"a\": 1}"), make_schema(kind::Object{no_members}), Draft::Draft7,
         show(false_schema())},
        {"types keep the integral value", values({"1", "2.5", "\"a\""}), mask({J::Integer}), Draft::Draft7,
         show(konst("1"))},
        {"draft 4 counts the integral value as an integer", values({"1", "2.5", "\"a\""}), mask({J::Integer}),
         Draft::Draft4, show(typed_group(J::Integer, konst("1")))},
        {"draft 4 keeps other values beside the integer group", values({"1", "2.5", "\"a\""}),
         mask({J::Integer, J::String}), Draft::Draft4,
         show(make_schema(kind::AnyOf{{typed_group(J::Integer, konst("1")), konst("\"a\"")}}))},
    };
    for (const auto& k : cases) {
        auto c = ctx(k.draft);
        EXPECT_EQ(show(intersect(k.values, k.other, c)), k.expected) << k.name;
        auto d = ctx(k.draft);
        EXPECT_EQ(show(intersect(k.other, k.values, d)), k.expected) << k.name << " (swapped)";
    }

    // Items whose test cannot be settled make a leaf narrowed to the one array.
    auto c = ctx();
    const Schema narrowed = intersect(
        konst("[1, \"x\"]"),
        make_schema(kind::Array{ArrayLeaf{Bounds{}, Distinctness::Unconstrained, {}, reference(absent), {}}}), c);
    ASSERT_EQ(narrowed->index(), KindIndex::Array) << show(narrowed);
    const auto& leaf = narrowed->as<kind::Array>()->leaf;
    EXPECT_TRUE(bounds_equal(leaf.lengths, Bounds{BigInt(2), BigInt(2)}));
    ASSERT_EQ(leaf.prefix.size(), 2u);
    EXPECT_EQ(show(leaf.prefix[0]), show(make_schema(kind::AllOf{{konst("1"), reference(absent)}})));
}

TEST(AlgebraValueSets, MemberSchemaForName) {
    ObjectLeaf leaf;
    leaf.properties.entries.push_back({share("x"), integer_node(0, 9)});
    leaf.pattern_properties.entries.push_back({share("^x"), integer_node(5, 20)});
    leaf.additional = mask({JsonType::String});
    auto c = ctx();
    EXPECT_EQ(show(member_schema_for_name(leaf, "x", c)), show(integer_node(5, 9)));
    EXPECT_EQ(show(member_schema_for_name(leaf, "xa", c)), show(integer_node(5, 20)));
    EXPECT_EQ(show(member_schema_for_name(leaf, "b", c)), show(mask({JsonType::String})));
    leaf.additional.reset();
    EXPECT_TRUE(is_true(member_schema_for_name(leaf, "b", c)));
}

TEST(AlgebraConjunction, LeafMerges) {
    struct Bound {
        std::optional<BoundNumber> x, y;
        bool upper;
        std::optional<BoundNumber> expected;
    };
    const Bound bounds[] = {
        {BoundNumber{"3", true}, BoundNumber{"3", false}, false, BoundNumber{"3", false}},
        {BoundNumber{"3", false}, BoundNumber{"3", true}, false, BoundNumber{"3", false}},
        {BoundNumber{"3", true}, BoundNumber{"4", true}, false, BoundNumber{"4", true}},
        {BoundNumber{"3", true}, BoundNumber{"4", true}, true, BoundNumber{"3", true}},
        {std::nullopt, BoundNumber{"2", false}, false, BoundNumber{"2", false}},
    };
    for (const auto& k : bounds) {
        const auto got = stricter_number_bound(k.x, k.y, k.upper);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->limit, k.expected->limit);
        EXPECT_EQ(got->inclusive, k.expected->inclusive);
    }

    StringLeaf s;
    s.patterns.push_back(share("a"));
    s.formats.push_back(FormatKind::builtin(formats::BuiltinFormat::Email));
    const StringLeaf both = merge_string_leaves(s, s);
    EXPECT_EQ(both.patterns.size(), 1u);
    EXPECT_EQ(both.formats.size(), 1u);

    auto c = ctx();
    EXPECT_EQ(show(integer_node_from_number_leaf(number_leaf(BoundNumber{"0.5", true}, BoundNumber{"2.5", true}), c)),
              show(integer_node(1, 2)));
    NumberLeaf no_integers;
    no_integers.excludes_integers = true;
    EXPECT_TRUE(is_false(integer_node_from_number_leaf(no_integers, c)));

    ArrayLeaf one{Bounds{}, Distinctness::Unconstrained, {integer_node(0, 9)}, std::nullopt, {}};
    ArrayLeaf three{Bounds{}, Distinctness::Unconstrained, {integer_node(1, 2), konst("1"), konst("2")}, {}, {}};
    const auto merged = merge_array_leaves(one, three, c);
    ASSERT_TRUE(merged);
    ASSERT_EQ(merged->prefix.size(), 3u);
    EXPECT_EQ(show(merged->prefix[0]), show(integer_node(1, 2)));
    EXPECT_EQ(show(merged->prefix[2]), show(konst("2")));

    ObjectLeaf ints;
    ints.properties.entries.push_back({share("x"), integer_node(0, 9)});
    ObjectLeaf strings;
    strings.additional = make_schema(kind::String{StringLeaf{}});
    EXPECT_TRUE(is_false(merge_object_leaves(ints, strings, c).properties.entries[0].second));
    strings.pattern_properties.entries.push_back({share("^x"), mask({JsonType::Integer})});
    const ObjectLeaf patterned = merge_object_leaves(ints, strings, c);
    EXPECT_EQ(show(patterned.properties.entries[0].second), show(integer_node(0, 9)));
    EXPECT_EQ(patterned.pattern_properties.size(), 1u);

    ObjectLeaf p;
    p.pattern_properties.entries.push_back({share("^p"), mask({JsonType::Null})});
    p.additional = mask({JsonType::Null});
    ObjectLeaf q;
    q.pattern_properties.entries.push_back({share("^q"), mask({JsonType::Null})});
    auto flagged = ctx();
    merge_object_leaves(p, q, flagged);
    EXPECT_TRUE(flagged.exhausted);
}

}  // namespace
