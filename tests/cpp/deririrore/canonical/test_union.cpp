#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "deririrore/canonical/admission.hpp"
#include "deririrore/canonical/algebra.hpp"
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
