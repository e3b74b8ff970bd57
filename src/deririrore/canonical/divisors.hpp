#pragma once
// Divisor sets folded to their least common multiples, the integer meaning of
// a divisor, and the count windows of strings, arrays and objects.
#include <optional>
#include <string>
#include <vector>

#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

inline constexpr std::size_t kMaxFoldedDivisors = 64;

// members sorted and unique; folded the reduced set a number must be a multiple of.
Divisors fold_divisors(std::vector<BoundRational> members);

struct IntegerDivisor {
    enum class Kind : uint8_t { Trivial, Integer, None };
    Kind kind = Kind::None;
    BigInt k;  // Integer only (zero for a divisor of zero)
};
IntegerDivisor integer_divisor_of(const BoundRational& divisor);
Divisors drop_trivial_integer_divisors(Divisors divisors);

// The multiple of d nearest to x, downwards or upwards; none for d = 0, which
// has no multiple but zero.
std::optional<BigInt> snap_integer_to_multiple(const BigInt& d, const BigInt& x, bool down);
std::string number_to_text(const BigInt& k);

std::optional<BigInt> min_upper_bound(const std::optional<BigInt>& a, const std::optional<BigInt>& b);
std::optional<BigInt> max_lower_bound(const std::optional<BigInt>& a, const std::optional<BigInt>& b);
bool bounds_include(const Bounds& outer, const Bounds& inner);

Bounds object_size_bounds(const ObjectLeaf& leaf);
std::optional<BigInt> max_properties_from_property_names(const ObjectLeaf& leaf);

// The window of lengths that a string of a built-in format can have; none for formats without one.
std::optional<Bounds> format_length_window(const FormatKind& format);
bool format_fits_length_window(const Bounds& window, const FormatKind& format);
std::vector<Bounds> merge_length_windows(std::vector<Bounds> windows);
std::vector<ArrayLeaf> group_array_leaves_by_window(std::vector<ArrayLeaf> leaves);

}  // namespace deririrore::canonical
