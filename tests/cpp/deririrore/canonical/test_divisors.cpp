#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/value/json.hpp"

namespace {

using namespace deririrore;
using namespace deririrore::canonical;

BoundRational rat(const std::string& text) {
    auto r = parse_canonical_number(text);
    EXPECT_TRUE(r.has_value()) << text;
    return r ? *r : BoundRational{};
}

std::vector<BoundRational> rats(const std::vector<std::string>& texts) {
    std::vector<BoundRational> out;
    for (const auto& t : texts) out.push_back(rat(t));
    return out;
}

std::vector<std::string> limits(const std::vector<BoundRational>& list) {
    std::vector<std::string> out;
    for (const auto& r : list) out.push_back(r.limit);
    return out;
}

std::string pow2(unsigned long e, unsigned long times = 1) {
    BigInt r;
    mpz_ui_pow_ui(r.get_mpz_t(), 2, e);
    r *= times;
    return r.get_str();
}

std::optional<BigInt> n(long v) { return BigInt(v); }
const std::optional<BigInt> open;

TEST(CanonicalDivisors, FoldingToLeastCommonMultiples) {
    struct Case {
        std::vector<std::string> in;
        std::vector<std::string> members;
        std::vector<std::string> folded;
    };
    const Case cases[] = {
        {{}, {}, {}},
        {{"7"}, {"7"}, {"7"}},
        {{"3", "2", "2"}, {"2", "3"}, {"6"}},
        {{"4", "6"}, {"4", "6"}, {"12"}},
        {{"6", "10", "15"}, {"6", "10", "15"}, {"30"}},
        {{"1", "2"}, {"1", "2"}, {"2"}},
        {{"0.25", "0.5"}, {"0.25", "0.5"}, {"0.5"}},
        {{"0.5", "0.2"}, {"0.2", "0.5"}, {"1"}},
        {{"1.5", "2.5"}, {"1.5", "2.5"}, {"7.5"}},
        {{"0.1", "0.15"}, {"0.1", "0.15"}, {"0.3"}},
        {{"0", "2"}, {"0", "2"}, {"0"}},
        {{pow2(1000, 3), pow2(1023)}, {pow2(1000, 3), pow2(1023)}, {"3", pow2(1023)}},
        {{pow2(1023), pow2(1010, 5)}, {pow2(1010, 5), pow2(1023)}, {"5", pow2(1023)}},
        {{"1", "2", "1.5e-2000000"}, {"1.5e-2000000", "1", "2"}, {"1.5e-2000000", "2"}},
        // 1 beside a divisor without exact value is kept: nothing shows that divisor to be an integer.
        {{"1", "1.5e-2000000"}, {"1.5e-2000000", "1"}, {"1.5e-2000000", "1"}},
    };
    for (const auto& c : cases) {
        const Divisors d = fold_divisors(rats(c.in));
        EXPECT_EQ(limits(d.members), c.members);
        EXPECT_EQ(limits(d.folded), c.folded);
    }
}

TEST(CanonicalDivisors, FoldedSetsKeepTheMeaningOfTheMembers) {
    // Every candidate is a multiple of all members exactly when it is one of all folded entries.
    const std::vector<std::vector<std::string>> sets = {
        {"6", "10", "15"}, {"0.5", "0.2"}, {"1.5", "2.5"},        {"0.1", "0.15"},
        {"4", "6", "9"},   {"0", "3"},     {"1", "1.5e-2000000"}, {"12", "18", "0.75"},
    };
    const std::vector<std::string> candidates = {
        "0", "1", "2", "3", "7.5", "30", "60", "36", "0.3", "0.6", "45", "1.5e-2000000", "3e-2000000", "9", "18"};
    for (const auto& s : sets) {
        const Divisors d = fold_divisors(rats(s));
        for (const auto& x : candidates) {
            auto all = [&](const std::vector<BoundRational>& list) {
                return std::all_of(list.begin(), list.end(), [&](const BoundRational& r) {
                    return value::number_text_is_multiple_of(r.limit, x);
                });
            };
            EXPECT_EQ(all(d.members), all(d.folded)) << s[0] << "... and " << x;
        }
    }
}

TEST(CanonicalDivisors, LongListsStayUnfolded) {
    std::vector<std::string> many;
    for (int i = 2; i < 2 + static_cast<int>(kMaxFoldedDivisors) + 1; ++i) many.push_back(std::to_string(i));
    const Divisors d = fold_divisors(rats(many));
    EXPECT_EQ(limits(d.folded), limits(d.members));
    many.pop_back();
    EXPECT_EQ(fold_divisors(rats(many)).folded.size(), 1u);
}

TEST(CanonicalDivisors, IntegerMeaningOfDivisors) {
    using K = IntegerDivisor::Kind;
    struct Case {
        std::string text;
        K kind;
        long k;
    };
    const Case cases[] = {
        {"1", K::Trivial, 0}, {"0.5", K::Trivial, 0}, {"0.25", K::Trivial, 0}, {"3", K::Integer, 3},
        {"0", K::Integer, 0}, {"2.5", K::None, 0},    {"1.5", K::None, 0},     {"1.5e-2000000", K::None, 0},
    };
    for (const auto& c : cases) {
        const auto d = integer_divisor_of(rat(c.text));
        EXPECT_EQ(d.kind, c.kind) << c.text;
        if (d.kind == K::Integer) {
            EXPECT_EQ(d.k, c.k) << c.text;
        }
    }
    EXPECT_EQ(integer_divisor_of(rat(pow2(53))).k, BigInt(pow2(53)));
    EXPECT_EQ(integer_divisor_of(rat("9007199254740993")).kind, K::None);

    const Divisors dropped = drop_trivial_integer_divisors(fold_divisors(rats({"0.5", "3"})));
    EXPECT_EQ(limits(dropped.members), (std::vector<std::string>{"3"}));
    EXPECT_EQ(limits(dropped.folded), (std::vector<std::string>{"3"}));
}

TEST(CanonicalDivisors, SnappingIntegersOntoMultiples) {
    struct Case {
        long d, x;
        bool down;
        long out;
    };
    const Case cases[] = {{3, 7, false, 9}, {3, 7, true, 6}, {3, -7, false, -6}, {3, -7, true, -9},
                          {3, 9, false, 9}, {3, 0, true, 0}, {-3, 7, false, 9}};
    for (const auto& c : cases) EXPECT_EQ(snap_integer_to_multiple(BigInt(c.d), BigInt(c.x), c.down), BigInt(c.out));
    const BigInt t12("1000000000000"), t30("1000000000000000000000000000000");
    EXPECT_EQ(snap_integer_to_multiple(t12, t30 + 1, false), BigInt(t30 + t12));
    EXPECT_FALSE(snap_integer_to_multiple(BigInt(0), BigInt(5), false));
    EXPECT_EQ(number_to_text(BigInt(-12)), "-12");
    EXPECT_EQ(number_to_text(BigInt("123456789012345678901234567890")), "123456789012345678901234567890");
    EXPECT_EQ(number_to_text(BigInt(0)), "0");
}

TEST(CanonicalDivisors, WindowsIncludeAndMerge) {
    EXPECT_EQ(min_upper_bound(n(3), n(2)), n(2));
    EXPECT_EQ(min_upper_bound(open, n(2)), n(2));
    EXPECT_EQ(max_lower_bound(n(3), n(2)), n(3));
    EXPECT_EQ(max_lower_bound(open, open), open);
    struct Inc {
        Bounds a, b;
        bool out;
    };
    const Inc incs[] = {
        {{n(0), n(10)}, {n(2), n(5)}, true},    {{n(0), n(10)}, {n(0), n(10)}, true},
        {{n(0), n(10)}, {open, n(5)}, false},   {{n(0), n(10)}, {n(0), open}, false},
        {{n(-5), n(-1)}, {n(-3), n(-2)}, true}, {{open, open}, {open, open}, true},
    };
    for (const auto& c : incs) EXPECT_EQ(bounds_include(c.a, c.b), c.out);

    struct Merge {
        std::vector<Bounds> in;
        std::vector<Bounds> out;
    };
    const Merge merges[] = {
        {{{n(0), n(3)}, {n(4), n(7)}}, {{n(0), n(7)}}}, {{{n(0), n(3)}, {n(5), n(7)}}, {{n(0), n(3)}, {n(5), n(7)}}},
        {{{open, n(3)}, {n(2), open}}, {{open, open}}}, {{{n(5), n(10)}, {n(0), n(4)}}, {{n(0), n(10)}}},
        {{{n(2), n(8)}, {open, n(1)}}, {{open, n(8)}}}, {{{n(2), n(8)}, {open, n(0)}}, {{open, n(0)}, {n(2), n(8)}}},
        {{{n(1), n(1)}, {n(1), n(1)}}, {{n(1), n(1)}}},
    };
    for (const auto& m : merges) {
        const auto got = merge_length_windows(m.in);
        ASSERT_EQ(got.size(), m.out.size());
        for (std::size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(bounds_equal(got[i], m.out[i])) << i;
    }
}

TEST(CanonicalDivisors, FormatWindows) {
    using formats::BuiltinFormat;
    struct Case {
        Bounds w;
        FormatKind f;
        bool fits;
    };
    const Case cases[] = {
        {{n(0), n(5)}, FormatKind::builtin(BuiltinFormat::Date), false},
        {{n(10), open}, FormatKind::builtin(BuiltinFormat::Date), true},
        {{open, n(2)}, FormatKind::builtin(BuiltinFormat::Ipv6), true},
        {{n(37), open}, FormatKind::builtin(BuiltinFormat::Uuid), false},
        {{n(36), n(36)}, FormatKind::builtin(BuiltinFormat::Uuid), true},
        {{n(5), n(5)}, FormatKind::builtin(BuiltinFormat::Email), true},
        {{n(0), n(0)}, FormatKind::unknown(share("date")), true},
        {{n(254), open}, FormatKind::builtin(BuiltinFormat::HostnameDraft4), false},
    };
    for (const auto& c : cases) EXPECT_EQ(format_fits_length_window(c.w, c.f), c.fits) << c.f.name();
}

TEST(CanonicalDivisors, ObjectSizesFromPropertyNames) {
    auto cj = [](const char* t) { return std::make_shared<const value::Value>(*value::parse_json(t)); };
    ObjectLeaf leaf;
    leaf.sizes.maximum = BigInt(5);
    EXPECT_FALSE(max_properties_from_property_names(leaf));
    leaf.property_names = schema_from_value_set({cj("\"a\""), cj("\"b\""), cj("\"c\""), cj("1")});
    leaf.properties.entries.push_back({share("a"), false_schema()});
    leaf.properties.entries.push_back({share("b"), true_schema()});
    leaf.properties.entries.push_back({share("z"), false_schema()});
    EXPECT_EQ(max_properties_from_property_names(leaf), n(3));
    const Bounds sizes = object_size_bounds(leaf);
    EXPECT_EQ(sizes.maximum, n(3));
    leaf.property_names =
        schema_from_type_mask(value::JsonTypeSet(value::JsonType::String).with(value::JsonType::Null));
    EXPECT_EQ(object_size_bounds(leaf).maximum, n(5));
}

TEST(CanonicalDivisors, ArrayLeavesRegroupByWindow) {
    auto leaf = [](std::optional<BigInt> lo, std::optional<BigInt> hi, std::optional<Schema> items) {
        ArrayLeaf l;
        l.lengths = Bounds{std::move(lo), std::move(hi)};
        l.items = std::move(items);
        return l;
    };
    const Schema str = schema_from_type_mask(value::JsonTypeSet(value::JsonType::String).with(value::JsonType::Null));
    std::vector<ArrayLeaf> in;
    in.push_back(leaf(n(4), n(7), str));
    in.push_back(leaf(n(0), n(1), std::nullopt));
    in.push_back(leaf(n(0), n(3), str));
    in.push_back(leaf(n(5), n(6), std::nullopt));
    const auto out = group_array_leaves_by_window(std::move(in));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_FALSE(out[0].items);
    EXPECT_TRUE(bounds_equal(out[0].lengths, Bounds{n(0), n(1)}));
    EXPECT_TRUE(bounds_equal(out[1].lengths, Bounds{n(5), n(6)}));
    ASSERT_TRUE(out[2].items);
    EXPECT_TRUE(bounds_equal(out[2].lengths, Bounds{n(0), n(7)}));
}

}  // namespace
