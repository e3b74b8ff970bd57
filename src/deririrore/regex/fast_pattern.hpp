#pragma once
// Pattern shapes matched without an engine, and the ECMA-262 white-space test.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deririrore::regex {

enum class FastPatternKind : unsigned char { Prefix, Exact, Alternatives, NoWhitespace };

// A shape with its literals owned.
struct FastPattern {
    FastPatternKind kind = FastPatternKind::NoWhitespace;
    std::string literal;                    // Prefix, Exact
    std::vector<std::string> alternatives;  // Alternatives, sorted ascending by bytes

    // Whether a string matches the shape: Prefix begins with the literal, Exact equals it,
    // Alternatives equals one of them, NoWhitespace holds no ECMA-262 white space.
    bool matches(std::string_view text) const;
};

// A shape whose literal is a slice of the pattern when the pattern holds no backslash.
class FastPatternRef {
public:
    FastPatternKind kind() const noexcept { return kind_; }
    std::string_view literal() const noexcept { return owned_ ? std::string_view(*owned_) : slice_; }
    const std::vector<std::string>& alternatives() const noexcept { return alternatives_; }
    FastPattern to_owned() const;

private:
    friend std::optional<FastPatternRef> classify_fast_pattern(std::string_view pattern);
    FastPatternKind kind_ = FastPatternKind::NoWhitespace;
    std::string_view slice_;
    std::optional<std::string> owned_;
    std::vector<std::string> alternatives_;
};

// The shape of a pattern as written in the schema, or nothing when it needs an engine.
std::optional<FastPatternRef> classify_fast_pattern(std::string_view pattern);
std::optional<FastPattern> classify_fast_pattern_owned(std::string_view pattern);

// Whether the text holds a character of the ECMA-262 white-space set: U+0009 to U+000D, U+0020,
// U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029, U+202F, U+205F, U+3000, U+FEFF. ASCII text
// is decided on bytes; other text is decoded.
bool contains_ecma_whitespace(std::string_view text);

}  // namespace deririrore::regex
