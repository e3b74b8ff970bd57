#include "deririrore/regex/syntax.hpp"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <cstdint>
#include <string>
#include <vector>

#include "deririrore/regex/unicode.hpp"

namespace deririrore::regex {
namespace {

using detail::is_alphabetic;
using detail::is_numeric;

bool ascii_letter(char32_t c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool ascii_digit(char32_t c) { return c >= '0' && c <= '9'; }
bool hex_digit(char32_t c) { return ascii_digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }
uint32_t hex_value(char32_t c) { return ascii_digit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

enum class Last { Nothing, Atom, NonQuantifiable, Quantifier };
enum class FrameKind { Group, NonCapturing, LookAround };

struct Frame {
    FrameKind kind = FrameKind::Group;
    std::vector<std::u32string> current;
    std::vector<std::u32string> earlier;
};

class Scanner {
public:
    explicit Scanner(const std::vector<char32_t>& c) : c_(c), n_(c.size()) {}

    bool run() {
        frames_.emplace_back();
        while (i_ < n_) {
            if (!step()) return false;
        }
        if (frames_.size() != 1) return false;
        if (max_backref_ > captures_) return false;
        for (const auto& name : referred_) {
            if (defined_.count(name) == 0) return false;
        }
        return true;
    }

private:
    const std::vector<char32_t>& c_;
    size_t n_;
    size_t i_ = 0;
    std::vector<Frame> frames_;
    uint64_t captures_ = 0;
    uint64_t max_backref_ = 0;
    std::vector<std::u32string> referred_;
    std::unordered_set<std::u32string> defined_;
    // How often each name stands in the current alternative of an open frame.
    std::unordered_map<std::u32string, uint32_t> in_current_;
    Last last_ = Last::Nothing;

    bool at(size_t k, char32_t want) const { return k < n_ && c_[k] == want; }

    bool step() {
        const char32_t ch = c_[i_];
        switch (ch) {
            case '^':
            case '$':
                ++i_;
                last_ = Last::NonQuantifiable;
                return true;
            case '(':
                return open_group();
            case ')':
                return close_group();
            case '|': {
                Frame& f = frames_.back();
                for (auto& name : f.current) {
                    if (--in_current_[name] == 0) in_current_.erase(name);
                    f.earlier.push_back(std::move(name));
                }
                f.current.clear();
                ++i_;
                last_ = Last::Nothing;
                return true;
            }
            case '*':
            case '+':
            case '?':
                if (last_ != Last::Atom) return false;
                ++i_;
                if (at(i_, '?')) ++i_;
                last_ = Last::Quantifier;
                return true;
            case '{':
                return counted();
            case ']':
            case '}':
                return false;
            case '[':
                if (!char_class()) return false;
                last_ = Last::Atom;
                return true;
            case '\\':
                return escape();
            default:
                ++i_;
                last_ = Last::Atom;
                return true;
        }
    }

    bool open_group() {
        ++i_;
        if (i_ >= n_) return false;  // an unclosed capturing group
        FrameKind kind = FrameKind::Group;
        if (c_[i_] != '?') {
            ++captures_;
        } else if (at(i_ + 1, '<') && (at(i_ + 2, '=') || at(i_ + 2, '!'))) {
            kind = FrameKind::LookAround;
            i_ += 3;
        } else if (at(i_ + 1, '=') || at(i_ + 1, '!')) {
            kind = FrameKind::LookAround;
            i_ += 2;
        } else if (at(i_ + 1, '<')) {
            i_ += 2;
            std::u32string name;
            if (!group_name(name)) return false;
            // A name may repeat only in another alternative: it must not stand in the current
            // alternative of any group around this one.
            if (in_current_.count(name) != 0) return false;
            ++in_current_[name];
            frames_.back().current.push_back(name);
            defined_.insert(std::move(name));
            ++captures_;
        } else if (at(i_ + 1, ':')) {
            kind = FrameKind::NonCapturing;
            i_ += 2;
        } else {
            if (i_ + 1 >= n_) return false;
            ++i_;
            if (!modifiers()) return false;
            kind = FrameKind::NonCapturing;
        }
        Frame f;
        f.kind = kind;
        frames_.push_back(std::move(f));
        last_ = Last::Nothing;
        return true;
    }

    bool modifiers() {
        bool seen_i = false;
        bool seen_m = false;
        bool seen_s = false;
        bool dash = false;
        int letters = 0;
        while (i_ < n_ && c_[i_] != ':') {
            bool* seen = nullptr;
            switch (c_[i_]) {
                case 'i': seen = &seen_i; break;
                case 'm': seen = &seen_m; break;
                case 's': seen = &seen_s; break;
                case '-':
                    if (dash) return false;
                    dash = true;
                    ++i_;
                    continue;
                default:
                    return false;
            }
            if (*seen) return false;
            *seen = true;
            ++letters;
            ++i_;
        }
        if (i_ >= n_ || letters == 0) return false;
        ++i_;
        return true;
    }

    bool close_group() {
        if (frames_.size() == 1) return false;
        Frame f = std::move(frames_.back());
        frames_.pop_back();
        Frame& outer = frames_.back();
        for (auto& name : f.earlier) {
            ++in_current_[name];
            outer.current.push_back(std::move(name));
        }
        for (auto& name : f.current) outer.current.push_back(std::move(name));
        ++i_;
        last_ = f.kind == FrameKind::LookAround ? Last::NonQuantifiable : Last::Atom;
        return true;
    }

    // Digits with their leading zeros stripped, compared as numbers of any size.
    static int compare_numbers(std::u32string_view a, std::u32string_view b) {
        while (a.size() > 1 && a[0] == '0') a.remove_prefix(1);
        while (b.size() > 1 && b[0] == '0') b.remove_prefix(1);
        if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
        return a.compare(b);
    }

    bool digits(std::u32string& out) {
        const size_t start = i_;
        while (i_ < n_ && ascii_digit(c_[i_])) ++i_;
        out.assign(c_.begin() + static_cast<std::ptrdiff_t>(start), c_.begin() + static_cast<std::ptrdiff_t>(i_));
        return i_ > start;
    }

    bool counted() {
        ++i_;
        std::u32string lo;
        std::u32string hi;
        if (!digits(lo)) return false;
        if (at(i_, '}')) {
            ++i_;
        } else if (at(i_, ',')) {
            ++i_;
            if (at(i_, '}')) {
                ++i_;
            } else {
                if (!digits(hi) || !at(i_, '}')) return false;
                ++i_;
                if (compare_numbers(lo, hi) > 0) return false;
            }
        } else {
            return false;
        }
        if (last_ != Last::Atom) return false;
        if (at(i_, '?')) ++i_;
        last_ = Last::Quantifier;
        return true;
    }

    bool escape() {
        ++i_;
        if (i_ >= n_) return false;
        const char32_t ch = c_[i_];
        if (ch == 'b' || ch == 'B') {
            ++i_;
            last_ = Last::NonQuantifiable;
            return true;
        }
        last_ = Last::Atom;
        if (ch == 'd' || ch == 'D' || ch == 's' || ch == 'S' || ch == 'w' || ch == 'W') {
            ++i_;
            return true;
        }
        if (ch == 'p' || ch == 'P') {
            ++i_;
            return property();
        }
        if (ch == 'k') {
            ++i_;
            if (!at(i_, '<')) return false;
            ++i_;
            std::u32string name;
            if (!group_name(name)) return false;
            referred_.push_back(std::move(name));
            return true;
        }
        if (ch >= '1' && ch <= '9') {
            uint64_t number = 0;
            bool saturated = false;
            while (i_ < n_ && ascii_digit(c_[i_])) {
                const uint64_t d = c_[i_] - '0';
                if (!saturated && (number > (UINT64_MAX - d) / 10)) saturated = true;
                number = saturated ? UINT64_MAX : number * 10 + d;
                ++i_;
            }
            max_backref_ = std::max(max_backref_, number);
            return true;
        }
        char32_t value;
        return character_escape(value);
    }

    bool property() {
        if (!at(i_, '{')) return false;
        ++i_;
        auto word = [&] {
            const size_t start = i_;
            while (i_ < n_ && (ascii_letter(c_[i_]) || ascii_digit(c_[i_]) || c_[i_] == '_')) ++i_;
            return i_ > start;
        };
        if (!word()) return false;
        if (at(i_, '=')) {
            ++i_;
            if (!word()) return false;
        }
        if (!at(i_, '}')) return false;
        ++i_;
        return true;
    }

    // "\u" forms after the 'u': braces, or four digits with surrogate pairs joined.
    bool unicode_escape(char32_t& value) {
        if (at(i_, '{')) {
            ++i_;
            uint32_t v = 0;
            size_t count = 0;
            while (i_ < n_ && hex_digit(c_[i_])) {
                v = std::min<uint32_t>(v * 16 + hex_value(c_[i_]), 0x110000);
                ++i_;
                ++count;
            }
            if (count == 0 || !at(i_, '}') || v > 0x10FFFF) return false;
            ++i_;
            value = v;
            return true;
        }
        auto four = [&](size_t from, uint32_t& out) {
            if (from + 4 > n_) return false;
            out = 0;
            for (size_t k = from; k < from + 4; ++k) {
                if (!hex_digit(c_[k])) return false;
                out = out * 16 + hex_value(c_[k]);
            }
            return true;
        };
        uint32_t v;
        if (!four(i_, v)) return false;
        i_ += 4;
        uint32_t low;
        if (v >= 0xD800 && v <= 0xDBFF && at(i_, '\\') && at(i_ + 1, 'u') && four(i_ + 2, low) && low >= 0xDC00 &&
            low <= 0xDFFF) {
            i_ += 6;
            v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
        }
        value = v;
        return true;
    }

    // At the character after a backslash.
    bool character_escape(char32_t& value) {
        const char32_t ch = c_[i_];
        ++i_;
        switch (ch) {
            case '0':
                if (i_ < n_ && ascii_digit(c_[i_])) return false;
                value = 0;
                return true;
            case 'c':
                if (i_ >= n_ || !ascii_letter(c_[i_])) return false;
                value = c_[i_] & 0x1F;
                ++i_;
                return true;
            case 'f': value = 12; return true;
            case 'n': value = 10; return true;
            case 'r': value = 13; return true;
            case 't': value = 9; return true;
            case 'v': value = 11; return true;
            case 'u':
                return unicode_escape(value);
            case 'x':
                if (i_ + 2 > n_ || !hex_digit(c_[i_]) || !hex_digit(c_[i_ + 1])) return false;
                value = hex_value(c_[i_]) * 16 + hex_value(c_[i_ + 1]);
                i_ += 2;
                return true;
            default:
                break;
        }
        if (ascii_letter(ch) || ascii_digit(ch)) return false;
        if (ch >= 0x80 && (is_alphabetic(ch) || is_numeric(ch))) return false;
        value = ch;
        return true;
    }

    bool group_name(std::u32string& name) {
        name.clear();
        for (;;) {
            if (i_ >= n_) return false;
            char32_t ch = c_[i_];
            if (ch == '>') break;
            if (ch == '\\') {
                if (!at(i_ + 1, 'u')) return false;
                i_ += 2;
                if (!unicode_escape(ch)) return false;
                if (ch >= 0xD800 && ch <= 0xDFFF) return false;
            } else {
                ++i_;
            }
            const bool first = name.empty();
            bool ok;
            if (ch < 0x80) {
                ok = ascii_letter(ch) || ch == '$' || ch == '_' || (!first && ascii_digit(ch));
            } else {
                ok = is_alphabetic(ch) || (!first && (is_numeric(ch) || ch == 0x200C || ch == 0x200D));
            }
            if (!ok) return false;
            name.push_back(ch);
        }
        if (name.empty()) return false;
        ++i_;
        return true;
    }

    // One class atom: a character (with its code point) or a class escape.
    bool class_atom(bool& is_char, char32_t& value) {
        const char32_t ch = c_[i_];
        if (ch != '\\') {
            ++i_;
            is_char = true;
            value = ch;
            return true;
        }
        ++i_;
        if (i_ >= n_) return false;
        const char32_t e = c_[i_];
        if (e == '-') {
            ++i_;
            is_char = true;
            value = '-';
            return true;
        }
        if (e == 'b') {
            ++i_;
            is_char = true;
            value = 8;
            return true;
        }
        if (e == 'd' || e == 'D' || e == 's' || e == 'S' || e == 'w' || e == 'W') {
            ++i_;
            is_char = false;
            return true;
        }
        if (e == 'p' || e == 'P') {
            ++i_;
            is_char = false;
            return property();
        }
        is_char = true;
        return character_escape(value);
    }

    bool char_class() {
        ++i_;
        if (at(i_, '^')) ++i_;
        for (;;) {
            if (i_ >= n_) return false;
            if (c_[i_] == ']') {
                ++i_;
                return true;
            }
            bool first_char;
            char32_t first;
            if (!class_atom(first_char, first)) return false;
            if (at(i_, '-') && i_ + 1 < n_ && c_[i_ + 1] != ']') {
                ++i_;
                bool second_char;
                char32_t second;
                if (!class_atom(second_char, second)) return false;
                if (!first_char || !second_char || second < first) return false;
            }
        }
    }
};

}  // namespace

bool scan_pattern_syntax(std::string_view pattern) {
    std::vector<char32_t> cps;
    std::vector<uint32_t> offsets;
    if (!detail::decode_utf8(pattern, cps, offsets)) return false;
    return Scanner(cps).run();
}

}  // namespace deririrore::regex
