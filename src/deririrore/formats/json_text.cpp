#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <vector>

#include "deririrore/formats/content.hpp"

namespace deririrore::formats {
namespace {

// An RFC 8259 syntax check without building values. Nesting is tracked on an
// explicit stack, so deep documents cost memory, never call depth.
class JsonSyntax {
public:
    explicit JsonSyntax(std::string_view text) noexcept : t_(text) {}

    bool document() {
        skip_ws();
        bool expect_value = true;
        while (true) {
            if (expect_value) {
                if (p_ >= t_.size()) return false;
                const char c = t_[p_];
                if (c == '{' || c == '[') {
                    ++p_;
                    skip_ws();
                    const char close = c == '{' ? '}' : ']';
                    if (p_ < t_.size() && t_[p_] == close) {
                        ++p_;
                        expect_value = false;
                    } else {
                        stack_.push_back(c);
                        if (c == '{' && !member_key()) return false;
                    }
                    continue;
                }
                if (!scalar()) return false;
                expect_value = false;
                continue;
            }
            skip_ws();
            if (stack_.empty()) return p_ == t_.size();
            const bool in_object = stack_.back() == '{';
            if (p_ >= t_.size()) return false;
            const char c = t_[p_++];
            if (c == ',') {
                skip_ws();
                if (in_object && !member_key()) return false;
                expect_value = true;
            } else if (c == (in_object ? '}' : ']')) {
                stack_.pop_back();
            } else {
                return false;
            }
        }
    }

private:
    void skip_ws() noexcept {
        while (p_ < t_.size() && (t_[p_] == ' ' || t_[p_] == '\t' || t_[p_] == '\n' || t_[p_] == '\r')) ++p_;
    }

    // A string, white space, ":" and white space.
    bool member_key() noexcept {
        if (!string()) return false;
        skip_ws();
        if (p_ >= t_.size() || t_[p_] != ':') return false;
        ++p_;
        skip_ws();
        return true;
    }

    bool scalar() noexcept {
        switch (t_[p_]) {
            case '"': return string();
            case 't': return literal("true");
            case 'f': return literal("false");
            case 'n': return literal("null");
            default: return number();
        }
    }

    bool literal(std::string_view word) noexcept {
        if (t_.substr(p_, word.size()) != word) return false;
        p_ += word.size();
        return true;
    }

    bool digits() noexcept {
        const std::size_t start = p_;
        while (p_ < t_.size() && t_[p_] >= '0' && t_[p_] <= '9') ++p_;
        return p_ > start;
    }

    bool number() noexcept {
        if (p_ < t_.size() && t_[p_] == '-') ++p_;
        if (p_ >= t_.size()) return false;
        if (t_[p_] == '0') {
            ++p_;
        } else if (!digits()) {
            return false;
        }
        if (p_ < t_.size() && t_[p_] == '.') {
            ++p_;
            if (!digits()) return false;
        }
        if (p_ < t_.size() && (t_[p_] == 'e' || t_[p_] == 'E')) {
            ++p_;
            if (p_ < t_.size() && (t_[p_] == '+' || t_[p_] == '-')) ++p_;
            if (!digits()) return false;
        }
        return true;
    }

    static int hex_value(char c) noexcept {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    // Four hexadecimal digits after "\u".
    int32_t unicode_escape() noexcept {
        if (p_ + 4 > t_.size()) return -1;
        int32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const int h = hex_value(t_[p_ + i]);
            if (h < 0) return -1;
            v = v * 16 + h;
        }
        p_ += 4;
        return v;
    }

    // Escaped surrogates must pair up, as a reader that decodes strings needs.
    bool string() noexcept {
        if (p_ >= t_.size() || t_[p_] != '"') return false;
        ++p_;
        while (p_ < t_.size()) {
            const auto c = static_cast<unsigned char>(t_[p_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') continue;
            if (p_ >= t_.size()) return false;
            switch (t_[p_++]) {
                case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't':
                    break;
                case 'u': {
                    const int32_t u = unicode_escape();
                    if (u < 0 || (u >= 0xDC00 && u <= 0xDFFF)) return false;
                    if (u >= 0xD800 && u <= 0xDBFF) {
                        if (t_.substr(p_, 2) != "\\u") return false;
                        p_ += 2;
                        const int32_t low = unicode_escape();
                        if (low < 0xDC00 || low > 0xDFFF) return false;
                    }
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }

    std::string_view t_;
    std::size_t p_ = 0;
    std::vector<char> stack_;
};

}  // namespace

bool check_json_media_type(std::string_view text) noexcept {
    try {
        return JsonSyntax(text).document();
    } catch (const std::bad_alloc&) {
        // Nesting deeper than memory allows is not a document we can accept.
        return false;
    }
}

}  // namespace deririrore::formats
