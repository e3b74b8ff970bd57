#pragma once
// Canonical number texts (one text per value), exact values of plain texts,
// divisibility and rounding onto divisors. No floating-point value enters a
// bound or a divisor; doubles serve only finiteness tests and fallbacks.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/canonical/ir.hpp"

namespace deririrore::canonical {

// Most digits a plain canonical text holds (integral digits, or fraction
// digits); beyond it the exponent form keeps the text as short as its input.
// Far below a mebibyte, so a nine-byte exponent cannot grow into a huge text
// nor an enum of such values into gigabytes.
inline constexpr std::size_t kCanonicalDigitLimit = 4096;

std::string canonicalize_number_text(std::string_view text);
std::optional<BoundRational> parse_canonical_number(std::string_view text);
std::optional<ExactValue> exact_value_of_number_text(std::string_view text);
std::optional<std::string> decimal_text_of_exact_value(const ExactValue& v);

// Whether b is a multiple of a.
bool number_divides(const BoundRational& a, const BoundRational& b);
std::vector<BoundRational> normalize_excluded_divisors(std::vector<BoundRational> list);
std::vector<BoundRational> extend_excluded_divisors(std::vector<BoundRational> list, std::vector<BoundRational> more);

bool bound_admits_number(const BoundNumber& bound, std::string_view number, bool is_upper);

// floor or ceiling of x / |d|; none for special values and a zero d.
std::optional<BigInt> rounded_quotient(const ExactValue& x, const ExactValue& d, bool floor);
// k x |d|; none for special d.
std::optional<ExactValue> multiply_ratio_by_integer(const ExactValue& d, const BigInt& k);
std::optional<BoundNumber> snap_bound_to_divisor(const BoundRational& divisor, const BoundNumber& bound, bool is_upper);

std::optional<BigInt> integer_bound_from_number_bound(const BoundNumber& bound, bool is_upper);
// (lower, upper); none when a present bound cannot be converted.
std::optional<Bounds> integer_bounds_from_number_bounds(const NumberLeaf& leaf);
std::optional<BigInt> parse_integer_text(std::string_view text);

}  // namespace deririrore::canonical
