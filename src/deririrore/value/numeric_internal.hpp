#pragma once
// Helpers shared by the number code and value hashing; not part of the public surface.
#include <cstdint>
#include <optional>
#include <string_view>

#include "deririrore/value/numeric.hpp"

namespace deririrore::value::detail {

// A number as (-1)^negative x significant digits x 10^exponent, with no
// leading or trailing zeros in the digits; equal values have equal forms.
struct DecimalNormalForm {
    bool zero = false;
    bool negative = false;
    // The significant digits, as up to two pieces of the source text (the
    // decimal point splits them).
    std::string_view head;
    std::string_view tail;
    __int128 exponent = 0;

    bool same_value(const DecimalNormalForm& o) const noexcept;
    // Decimal position just above the leading digit: 10^(m-1) <= |value| < 10^m.
    __int128 magnitude() const noexcept;
};

std::optional<DecimalNormalForm> decimal_normal_form(std::string_view text) noexcept;

// Whether some exact reading (machine integer, exact integer or fraction) holds the text.
bool has_any_exact_form(std::string_view text) noexcept;

// A double as the decimal it was written as: numerator / 10^pow10 with a sign.
struct DoubleDecimal {
    bool negative = false;
    BigInt numerator;
    uint64_t pow10 = 0;
};
DoubleDecimal double_as_written(double x);

}  // namespace deririrore::value::detail
