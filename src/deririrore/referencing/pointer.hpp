#pragma once
// JSON pointers (RFC 6901): following one inside a value, and escaping and unescaping tokens.
// Also the one reading of pointers taken from URI fragments, shared by the registry build and
// reference lookup so that both reach the same targets.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "deririrore/referencing/error.hpp"
#include "deririrore/value/result.hpp"
#include "deririrore/value/utf8.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::referencing {

using value::Value;

// The addressed value, or nullptr for a malformed pointer, a missing member, an invalid or
// out-of-range index, or a scalar in the way.
const Value* pointer_lookup(const Value& root, std::string_view pointer) noexcept;

// "~0" -> "~", "~1" -> "/", any other "~X" kept as written. Returns a view of `token` when it has
// no '~', otherwise a view of `scratch`, which receives the unescaped text.
std::string_view unescape_pointer_segment(std::string_view token, std::string& scratch);
std::string unescape_pointer_segment(std::string_view token);

// Appends `key` as one escaped token (the caller writes the '/').
void push_pointer_segment(std::string& buffer, std::string_view key);

using value::check_utf8;

// The strict index rule: digits only, no sign, no leading zero, fits in 64 bits.
std::optional<std::uint64_t> parse_strict_index(std::string_view token) noexcept;
// The lenient index rule of fragment pointers: one leading '+' allowed, leading zeros allowed.
Result<std::uint64_t, IntParseErrorKind> parse_lenient_index(std::string_view token) noexcept;

// A step of a path from a document root: a member name or an array index.
using PathSegment = std::variant<std::string, std::uint64_t>;

// Splits a pointer into segments: tokens unescaped; strict indexes become index segments.
std::vector<PathSegment> pointer_to_segments(std::string_view pointer);

// Fragment pointers, as reference lookup reads them: the text after the first '/' is
// percent-decoded (it must then be UTF-8), split at every '/', and each token taken as a
// lenient index on arrays (not unescaped) or an unescaped member name on objects.
Result<std::string, ReferenceError> decode_fragment_pointer(std::string_view fragment);

// One step of such a walk from `current`; `fragment` is only used in errors.
Result<const Value*, ReferenceError> fragment_pointer_step(const Value& current, std::string_view token,
                                                           std::string_view fragment, std::string& scratch);

// Calls `f(token)` for each '/'-separated token of a decoded pointer, stopping at the first
// failure it returns.
template <class F>
auto for_each_pointer_token(std::string_view decoded, F&& f) -> decltype(f(decoded)) {
    std::size_t start = 0;
    while (true) {
        std::size_t slash = decoded.find('/', start);
        std::string_view token =
            decoded.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        auto r = f(token);
        if (!r) return r;
        if (slash == std::string_view::npos) return r;
        start = slash + 1;
    }
}

}  // namespace deririrore::referencing
