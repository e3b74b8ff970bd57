#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/canonical/union.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;

CanonicalContext union_context(Draft draft = Draft::Draft202012) {
    return new_canonical_context(regex::PatternOptions::backtracking(), draft, false);
}

Schema value_node(std::string_view t) {
    return make_schema(kind::Const{std::make_shared<const value::Value>(*value::parse_json(t))});
}
Schema types(uint8_t bits) { return make_schema(kind::MultiType{JsonTypeSet::from_bits(bits)}); }
Schema reference(const char* name) { return make_schema(kind::Reference{share(name)}); }
Schema integers_from(long lo) {
    IntegerLeaf leaf;
    leaf.bounds.minimum = BigInt(lo);
    return make_schema(kind::Integer{std::move(leaf)});
}
Schema strings_up_to(long n) {
    StringLeaf leaf;
    leaf.lengths.maximum = BigInt(n);
    return make_schema(kind::String{std::move(leaf)});
}

std::string shown(const Schema& s) { return debug_string(s); }

Schema integers(long lo, long hi, std::initializer_list<std::string_view> by = {}) {
    IntegerLeaf leaf;
    leaf.bounds = Bounds{BigInt(lo), BigInt(hi)};
    std::vector<BoundRational> members;
    for (auto t : by) members.push_back(*parse_canonical_number(t));
    leaf.multiple_of = fold_divisors(std::move(members));
    return make_schema(kind::Integer{std::move(leaf)});
}
// Bounds written "[0" / "0)" style: a bracket is inclusive, a parenthesis exclusive.
Schema numbers(std::string_view lo, std::string_view hi, std::initializer_list<std::string_view> by = {}) {
    NumberLeaf leaf;
    leaf.minimum = BoundNumber{std::string(lo.substr(1)), lo.front() == '['};
    leaf.maximum = BoundNumber{std::string(hi.substr(0, hi.size() - 1)), hi.back() == ']'};
    std::vector<BoundRational> members;
    for (auto t : by) members.push_back(*parse_canonical_number(t));
    leaf.multiple_of = fold_divisors(std::move(members));
    return make_schema(kind::Number{std::move(leaf)});
}
Schema strings_from(long n, const char* pattern = nullptr) {
    StringLeaf leaf;
    leaf.lengths.minimum = BigInt(n);
    if (pattern) leaf.patterns.push_back(share(pattern));
    return make_schema(kind::String{std::move(leaf)});
}
Schema arrays_from(long n) {
    ArrayLeaf leaf;
    leaf.lengths.minimum = BigInt(n);
    return make_schema(kind::Array{std::move(leaf)});
}
Schema objects_requiring(const char* name) {
    ObjectLeaf leaf;
    leaf.required.push_back(share(name));
    return make_schema(kind::Object{std::move(leaf)});
}
Schema any_of(std::vector<Schema> branches) {
    sort_schemas(branches);
    return make_schema(kind::AnyOf{std::move(branches)});
}
Schema values_of(std::initializer_list<std::string_view> texts) {
    std::vector<CanonicalJson> out;
    for (auto t : texts) out.push_back(shared_canonical_json(*value::parse_json(t)));
    return schema_from_value_set(std::move(out));
}

TEST(CanonicalUnion, TypePartitionCases) {
    const struct {
        const char* what;
        std::vector<Schema> branches;
        Schema expected;
    } cases[] = {
        {"nothing", {}, false_schema()},
        {"only False", {false_schema(), false_schema()}, false_schema()},
        {"True anywhere", {value_node("1"), true_schema(), reference("r")}, true_schema()},
        {"every type", {types(1 | 2 | 8), types(16 | 32 | 64)}, true_schema()},
        {"every type with integer", {types(1 | 2 | 4 | 8), types(16 | 32 | 64)}, true_schema()},
        {"string value in string type", {value_node("\"a\""), types(16)}, types(16)},
        {"null joins the mask", {value_node("null"), types(16)}, types(1 | 16)},
        {"one boolean stays a value",
         {value_node("true"), types(16)},
         make_schema(kind::AnyOf{{types(16), value_node("true")}})},
        {"both booleans join the mask", {value_node("true"), value_node("false"), types(16)}, types(2 | 16)},
        {"null and booleans are a mask", {value_node("null"), value_node("false"), value_node("true")}, types(3)},
        {"the same reference twice", {reference("r"), reference("r")}, reference("r")},
        {"typed group inside its value",
         {typed_group(JsonType::Integer, value_node("1")), value_node("1")},
         value_node("1")},
        {"unconstrained leaf is its type",
         {make_schema(kind::String{StringLeaf{}}), value_node("1")},
         make_schema(kind::AnyOf{{types(16), value_node("1")}})},
        {"value inside a leaf",
         {integers_from(0), value_node("5"), value_node("-5")},
         make_schema(kind::AnyOf{{integers_from(0), value_node("-5")}})},
        {"string value inside a leaf",
         {strings_up_to(2), value_node("\"ab\""), value_node("\"abc\"")},
         make_schema(kind::AnyOf{{strings_up_to(2), value_node("\"abc\"")}})},
    };
    for (const auto& c : cases) {
        auto context = union_context();
        const Schema got = union_of(c.branches, context);
        EXPECT_TRUE(schema_eq(got, c.expected)) << c.what << ": " << shown(got) << " vs " << shown(c.expected);
    }
    // Null and boolean types with a value become one value set.
    auto context = union_context();
    const Schema mixed = union_of({types(3), value_node("5")}, context);
    ASSERT_EQ(mixed->index(), KindIndex::Enum) << shown(mixed);
    EXPECT_EQ(mixed->as<kind::Enum>()->values.size(), 4u);
}

// Values move into leaf lists where a leaf of their type can merge them, leaves
// that number leaves cover go, and leaves pinned to one value come back as that
// value; the answer is the same whatever order the branches come in.
TEST(CanonicalUnion, ConstantsLeavesAndCoveredLeaves) {
    const struct {
        const char* what;
        Draft draft;
        std::vector<Schema> branches;
        Schema expected;
    } cases[] = {
        {"integer next to an interval joins it", Draft::Draft7, {integers(0, 4), value_node("5")}, integers(0, 5)},
        {"integer away from an interval stays a value",
         Draft::Draft7,
         {integers(0, 3), value_node("5"), value_node("9")},
         any_of({integers(0, 3), values_of({"5", "9"})})},
        {"a value bridges two intervals",
         Draft::Draft7,
         {integers(0, 3), integers(5, 8), value_node("4")},
         integers(0, 8)},
        {"draft 4 keeps integral values out of integer leaves",
         Draft::Draft4,
         {integers(0, 4), value_node("5")},
         any_of({integers(0, 4), value_node("5")})},
        {"draft 4 gives an integral value to the number leaves",
         Draft::Draft4,
         {numbers("[0", "5)"), value_node("5")},
         numbers("[0", "5]")},
        {"a number closes an open interval",
         Draft::Draft7,
         {numbers("[0", "2.5)"), value_node("2.5")},
         numbers("[0", "2.5]")},
        {"numbers away from the interval stay one value set",
         Draft::Draft7,
         {numbers("[0", "1]"), value_node("2.5"), value_node("7")},
         any_of({numbers("[0", "1]"), values_of({"2.5", "7"})})},
        {"the empty string completes a string leaf", Draft::Draft7, {strings_from(1), value_node("\"\"")}, types(16)},
        {"the empty string stays beside a pattern",
         Draft::Draft7,
         {strings_from(1, "^a"), value_node("\"\""), value_node("\"b\"")},
         any_of({strings_from(1, "^a"), values_of({"\"\"", "\"b\""})})},
        {"the empty array completes an array leaf", Draft::Draft7, {arrays_from(1), value_node("[]")}, types(32)},
        {"the empty array stays beside a longer window",
         Draft::Draft7,
         {arrays_from(2), value_node("[]")},
         any_of({arrays_from(2), value_node("[]")})},
        {"the empty object stays beside required members",
         Draft::Draft7,
         {objects_requiring("a"), value_node("{}")},
         any_of({objects_requiring("a"), value_node("{}")})},
        {"an integer leaf inside a number leaf goes",
         Draft::Draft7,
         {integers(2, 4), numbers("[0", "10]")},
         numbers("[0", "10]")},
        {"a number divisor with numerator one covers every integer",
         Draft::Draft7,
         {integers(0, 8), numbers("[0", "10]", {"0.5"})},
         numbers("[0", "10]", {"0.5"})},
        {"an integer leaf reaching past the number leaf stays",
         Draft::Draft7,
         {integers(0, 20), numbers("[0.5", "10]")},
         any_of({integers(0, 20), numbers("[0.5", "10]")})},
        {"a number divisor the integers lack keeps them",
         Draft::Draft7,
         {integers(0, 8), numbers("[0", "9]", {"1.5"})},
         any_of({integers(0, 8), numbers("[0", "9]", {"1.5"})})},
        {"integer group inside a number leaf goes",
         Draft::Draft4,
         {typed_group(JsonType::Integer, values_of({"1", "2"})), numbers("[0", "10]")},
         numbers("[0", "10]")},
        {"integer group reaching past a number leaf stays",
         Draft::Draft4,
         {typed_group(JsonType::Integer, values_of({"1", "11"})), numbers("[0", "10]")},
         any_of({typed_group(JsonType::Integer, values_of({"1", "11"})), numbers("[0", "10]")})},
        {"integer group inside an integer leaf goes",
         Draft::Draft4,
         {typed_group(JsonType::Integer, values_of({"1", "2"})), integers(0, 5)},
         integers(0, 5)},
    };
    for (const auto& c : cases) {
        std::vector<std::size_t> order(c.branches.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        do {
            std::vector<Schema> branches;
            for (auto i : order) branches.push_back(c.branches[i]);
            auto context = union_context(c.draft);
            const Schema got = union_of(std::move(branches), context);
            EXPECT_TRUE(schema_eq(got, c.expected)) << c.what << ": " << shown(got) << " vs " << shown(c.expected);
            EXPECT_FALSE(context.exhausted) << c.what;
        } while (std::next_permutation(order.begin(), order.end()));
    }
}

TEST(CanonicalUnion, IntegralValueAgainstIntegerTypeDependsOnTheDraft) {
    auto draft6 = union_context(Draft::Draft6);
    EXPECT_TRUE(schema_eq(union_of({value_node("1"), types(4)}, draft6), types(4)));
    auto draft4 = union_context(Draft::Draft4);
    const Schema kept = union_of({value_node("1"), types(4)}, draft4);
    EXPECT_TRUE(schema_eq(kept, make_schema(kind::AnyOf{{types(4), value_node("1")}}))) << shown(kept);
    // With the number type present even draft 4 has room for the value.
    EXPECT_TRUE(schema_eq(union_of({value_node("1"), types(8)}, draft4), types(8)));
}

TEST(CanonicalUnion, NestingAndOrderDoNotMatter) {
    const std::vector<Schema> flat = {value_node("1"),  reference("a"),      integers_from(3),
                                      strings_up_to(4), value_node("\"x\""), make_schema(kind::Not{reference("b")})};
    auto c0 = union_context();
    const Schema expected = union_of(flat, c0);
    ASSERT_EQ(expected->index(), KindIndex::AnyOf);
    const auto& members = expected->as<kind::AnyOf>()->branches;
    for (std::size_t i = 1; i < members.size(); ++i)
        EXPECT_TRUE(compare_canonical_nodes(members[i - 1], members[i]) < 0) << shown(expected);

    std::vector<Schema> permuted = flat;
    std::sort(permuted.begin(), permuted.end(), [](const Schema& a, const Schema& b) { return a->hash < b->hash; });
    do {
        auto c = union_context();
        EXPECT_TRUE(schema_eq(union_of(permuted, c), expected));
    } while (std::next_permutation(permuted.begin(), permuted.begin() + 4,
                                   [](const Schema& a, const Schema& b) { return a->hash < b->hash; }));

    auto c1 = union_context();
    const Schema nested = union_of({make_schema(kind::AnyOf{{flat[0], make_schema(kind::AnyOf{{flat[1], flat[2]}})}}),
                                    flat[3], make_schema(kind::AnyOf{{flat[4], flat[5]}})},
                                   c1);
    EXPECT_TRUE(schema_eq(nested, expected)) << shown(nested);
}

TEST(CanonicalUnion, LeavesOfOneKindMerge) {
    auto context = union_context();
    auto integers = [](long lo, long hi) {
        IntegerLeaf leaf;
        leaf.bounds = Bounds{BigInt(lo), BigInt(hi)};
        return make_schema(kind::Integer{std::move(leaf)});
    };
    const Schema merged = union_of({integers(3, 5), integers(0, 2)}, context);
    EXPECT_TRUE(schema_eq(merged, integers(0, 5))) << shown(merged);

    // Arrays that must repeat an item stay satisfiable beside other arrays.
    ArrayLeaf repeated;
    repeated.distinctness = Distinctness::SomeRepeated;
    ArrayLeaf longer;
    longer.lengths.minimum = BigInt(3);
    const Schema arrays = union_of({make_schema(kind::Array{repeated}), make_schema(kind::Array{longer})}, context);
    EXPECT_FALSE(is_false(arrays)) << shown(arrays);
    EXPECT_EQ(node_admits_value(arrays, *value::parse_json("[1,1]"), false, context), Admission::Accepted)
        << shown(arrays);
    EXPECT_EQ(node_admits_value(arrays, *value::parse_json("[1,2]"), false, context), Admission::Rejected)
        << shown(arrays);
}

TEST(CanonicalUnion, OpaquePartIdentities) {
    const Schema r1 = reference("r1");
    const Schema r2 = reference("r2");
    const Schema r3 = reference("r3");
    auto all = [](std::vector<Schema> b) {
        sort_schemas(b);
        return make_schema(kind::AllOf{std::move(b)});
    };
    auto negation = [](const Schema& s) { return make_schema(kind::Not{s}); };
    auto any = [](std::vector<Schema> b) {
        sort_schemas(b);
        return make_schema(kind::AnyOf{std::move(b)});
    };
    const struct {
        const char* what;
        std::vector<Schema> branches;
        Schema expected;
    } cases[] = {
        {"x or not x", {negation(r1), r1}, true_schema()},
        {"x or (x and y)", {all({r1, r2}), r1}, r1},
        {"negated member drops", {all({r1, r2}), negation(r1)}, any({negation(r1), r2})},
        {"every member negated stays",
         {all({r1, r2}), negation(r1), negation(r2)},
         any({all({r1, r2}), negation(r1), negation(r2)})},
        {"narrower conjunction goes", {all({r1, r2, r3}), all({r1, r2})}, all({r1, r2})},
    };
    for (const auto& c : cases) {
        auto context = union_context();
        const Schema got = union_of(c.branches, context);
        EXPECT_TRUE(schema_eq(got, c.expected)) << c.what << ": " << shown(got) << " vs " << shown(c.expected);
    }
}

TEST(CanonicalUnion, RawIsAnInternalStop) {
    auto context = union_context();
    const Schema raw = make_schema(
        kind::Raw{RawJson{std::make_shared<const value::Value>(value::Value::null()), RawReason::Unmodeled, nullptr}});
    EXPECT_THROW(union_of({raw, value_node("1")}, context), std::logic_error);
}

}  // namespace
