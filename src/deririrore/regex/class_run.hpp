#pragma once
// Patterns that repeat one character class, anchored or not: `^.{0,262144}$`, `^[a-z0-9]{1,64}$`,
// `\d{3,}`, `^\p{L}+`. Such a pattern only bounds a length or asks for a run of class members, so
// it is matched by one scan over the text; an engine would expand the counts into copies of the
// class, in time and memory that grow with them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace deririrore::regex::detail {

struct Analysis;

class ClassRun {
public:
    // Unanchored search, as the engines do it. Counts characters (code points); a byte that is not
    // part of well-formed UTF-8 is a character outside every class.
    bool is_match(std::string_view text) const;

    bool contains(char32_t c) const;

    // What the scan holds, measured against a configured size limit as an engine's program is.
    size_t size_bytes() const noexcept;

private:
    friend std::optional<ClassRun> class_run_of(const Analysis& analysis);

    std::array<uint64_t, 2> ascii_{};                    // members below U+0080
    std::vector<std::pair<char32_t, char32_t>> wide_;    // sorted ranges at or above U+0080
    uint32_t min_ = 1;
    uint32_t max_ = 1;
    bool bounded_ = true;
    bool at_start_ = false;  // `^` without the multi-line flag: start of the text
    bool at_end_ = false;    // `$` without the multi-line flag: end of the text
};

// The run a translatable pattern without look-around or back-references is, if it is one: an
// optional start anchor, one single-character item (literal, `.`, class escape, Unicode class or
// bracketed class, possibly inside plain groups) with or without a quantifier, an optional end
// anchor.
std::optional<ClassRun> class_run_of(const Analysis& analysis);

}  // namespace deririrore::regex::detail
