// The one-pass JSON reader: well-formed text straight into a value tree, with no account of faults
// (parse_json asks the diagnosing reader about a text this one refuses). Finished values wait on one
// stack until their container closes, which then allocates its vector once, at its final size.
#include <simdjson.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "deririrore/value/json_internal.hpp"
#include "deririrore/value/percent.hpp"
#include "deririrore/value/utf8.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace deririrore::value {

const char* skip_plain_string_bytes(const char* p, const char* end) noexcept {
#if defined(__SSE2__)
    // SSE2 is part of every x86-64, so this needs no choice of code at run time.
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i control_max = _mm_set1_epi8(0x1f);
    while (end - p >= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, backslash)),
                                             _mm_cmpeq_epi8(_mm_min_epu8(x, control_max), x));
        if (const int mask = _mm_movemask_epi8(special); mask != 0) {
            return p + std::countr_zero(static_cast<unsigned>(mask));
        }
        p += 16;
    }
#else
    // Eight bytes are tested at a time; a word with any candidate is finished byte by byte, so the
    // word test only has to never miss one.
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    auto has_zero_byte = [](std::uint64_t x) { return (x - kOnes) & ~x & kHigh; };
    while (end - p >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        const std::uint64_t special =
            has_zero_byte(w ^ (kOnes * '"')) | has_zero_byte(w ^ (kOnes * '\\')) | ((w - kOnes * 0x20) & ~w & kHigh);
        if (special != 0) break;
        p += 8;
    }
#endif
    while (p < end && *p != '"' && *p != '\\' && static_cast<unsigned char>(*p) >= 0x20) ++p;
    return p;
}

namespace {

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

int read_hex4(const char* p, const char* end) noexcept {
    if (end - p < 4) return -1;
    int v = 0;
    for (int k = 0; k < 4; ++k) {
        const int h = hex_digit_value(p[k]);
        if (h < 0) return -1;
        v = v * 16 + h;
    }
    return v;
}

}  // namespace

const char* json_number_end(const char* p, const char* end) noexcept {
    if (p < end && *p == '-') ++p;
    if (p == end) return nullptr;
    if (*p == '0') {
        ++p;
    } else if (*p >= '1' && *p <= '9') {
        ++p;
        while (p < end && is_digit(*p)) ++p;
    } else {
        return nullptr;
    }
    if (p < end && *p == '.') {
        ++p;
        if (p == end || !is_digit(*p)) return nullptr;
        while (p < end && is_digit(*p)) ++p;
    }
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-')) ++p;
        if (p == end || !is_digit(*p)) return nullptr;
        while (p < end && is_digit(*p)) ++p;
    }
    return p;
}

const char* decode_escape(const char* p, const char* end, std::string& out, EscapeFault& fault) {
    fault = EscapeFault::Invalid;
    if (end - p < 2) return nullptr;
    switch (p[1]) {
        case '"':
            out += '"';
            return p + 2;
        case '\\':
            out += '\\';
            return p + 2;
        case '/':
            out += '/';
            return p + 2;
        case 'b':
            out += '\b';
            return p + 2;
        case 'f':
            out += '\f';
            return p + 2;
        case 'n':
            out += '\n';
            return p + 2;
        case 'r':
            out += '\r';
            return p + 2;
        case 't':
            out += '\t';
            return p + 2;
        case 'u':
            break;
        default:
            return nullptr;
    }
    int cp = read_hex4(p + 2, end);
    p += 6;
    if (cp < 0) {
        fault = EscapeFault::InvalidUnicode;
        return nullptr;
    }
    fault = EscapeFault::LoneSurrogate;
    if (cp >= 0xDC00 && cp <= 0xDFFF) return nullptr;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
        if (end - p < 6 || p[0] != '\\' || p[1] != 'u') return nullptr;
        const int low = read_hex4(p + 2, end);
        if (low < 0xDC00 || low > 0xDFFF) return nullptr;
        p += 6;
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
    }
    append_utf8(out, static_cast<char32_t>(cp));
    return p;
}

namespace {

bool is_space(char c) noexcept { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

const char* skip_space(const char* p, const char* end) noexcept {
    while (p < end && is_space(*p)) ++p;
    return p;
}

// Reads the string whose contents start at `p`; the position after its closing quote, or nullptr.
// Contents without escapes are left in `plain`; otherwise they are decoded onto `decoded` and
// `escaped` is set.
const char* read_string(const char* p, const char* end, std::string_view& plain, std::string& decoded, bool& escaped) {
    const char* q = skip_plain_string_bytes(p, end);
    if (q == end) return nullptr;
    if (*q == '"') {
        plain = std::string_view(p, static_cast<std::size_t>(q - p));
        escaped = false;
        return q + 1;
    }
    escaped = true;
    for (;;) {
        decoded.append(p, q);
        if (*q == '"') return q + 1;
        if (*q != '\\') return nullptr;
        EscapeFault fault;
        p = decode_escape(q, end, decoded, fault);
        if (p == nullptr) return nullptr;
        q = skip_plain_string_bytes(p, end);
        if (q == end) return nullptr;
    }
}

// A key of an open object: bytes of the text, or of the decoded keys when it held escapes.
struct KeyRef {
    std::uint32_t offset;
    std::uint32_t size;
    bool decoded;
};

struct OpenContainer {
    bool object;
    std::uint32_t first_value;
    std::uint32_t first_key;
    std::uint32_t first_decoded;
};

// What a reading thread keeps between documents, so that small documents allocate only their values.
struct Scratch {
    std::vector<Value> values;
    std::vector<KeyRef> keys;
    std::vector<OpenContainer> open;
    std::string decoded_keys;
    std::vector<std::string_view> key_views;
    std::vector<std::uint32_t> order;
    bool busy = false;

    // Empties everything, giving back what a large document made grow.
    void reset() noexcept {
        constexpr std::size_t kKeptEntries = 4096;
        values.clear();
        keys.clear();
        open.clear();
        decoded_keys.clear();
        key_views.clear();
        order.clear();
        if (values.capacity() > kKeptEntries) std::vector<Value>().swap(values);
        if (keys.capacity() > kKeptEntries) std::vector<KeyRef>().swap(keys);
        if (open.capacity() > kKeptEntries) std::vector<OpenContainer>().swap(open);
        if (decoded_keys.capacity() > kKeptEntries * 16) std::string().swap(decoded_keys);
        if (key_views.capacity() > kKeptEntries) std::vector<std::string_view>().swap(key_views);
        if (order.capacity() > kKeptEntries) std::vector<std::uint32_t>().swap(order);
    }
};

class OnePassReader {
public:
    OnePassReader(std::string_view text, std::size_t max_depth, Scratch& s)
        : begin_(text.data()), end_(text.data() + text.size()), max_depth_(max_depth), s_(s) {}

    std::optional<Value> read() {
        const char* p = skip_space(begin_, end_);
        for (;;) {
            if (p == end_) return std::nullopt;
            switch (*p) {
                case '{':
                case '[': {
                    const bool object = *p == '{';
                    if (s_.open.size() >= max_depth_) return std::nullopt;
                    s_.open.push_back(OpenContainer{object, static_cast<std::uint32_t>(s_.values.size()),
                                                    static_cast<std::uint32_t>(s_.keys.size()),
                                                    static_cast<std::uint32_t>(s_.decoded_keys.size())});
                    p = skip_space(p + 1, end_);
                    if (p < end_ && *p == (object ? '}' : ']')) {
                        close();
                        ++p;
                        break;
                    }
                    if (object && (p = read_key(p)) == nullptr) return std::nullopt;
                    continue;
                }
                case '"': {
                    std::string_view plain;
                    std::string decoded;
                    bool escaped = false;
                    p = read_string(p + 1, end_, plain, decoded, escaped);
                    if (p == nullptr) return std::nullopt;
                    Value& v = s_.values.emplace_back();
                    if (escaped) {
                        ValueBuilderAccess::set_string(v, std::move(decoded));
                    } else {
                        ValueBuilderAccess::set_string(v, plain);
                    }
                    break;
                }
                case 't':
                    if (!literal(p, "true")) return std::nullopt;
                    s_.values.push_back(Value::boolean(true));
                    p += 4;
                    break;
                case 'f':
                    if (!literal(p, "false")) return std::nullopt;
                    s_.values.push_back(Value::boolean(false));
                    p += 5;
                    break;
                case 'n':
                    if (!literal(p, "null")) return std::nullopt;
                    s_.values.emplace_back();
                    p += 4;
                    break;
                default: {
                    const char* number_end = json_number_end(p, end_);
                    if (number_end == nullptr) return std::nullopt;
                    ValueBuilderAccess::set_number(s_.values.emplace_back(),
                                                   std::string_view(p, static_cast<std::size_t>(number_end - p)));
                    p = number_end;
                    break;
                }
            }
            // A value has ended: what follows must continue or close its container.
            for (;;) {
                p = skip_space(p, end_);
                if (s_.open.empty()) {
                    if (p != end_) return std::nullopt;
                    return std::move(s_.values.back());
                }
                if (p == end_) return std::nullopt;
                const bool object = s_.open.back().object;
                if (*p == ',') {
                    p = skip_space(p + 1, end_);
                    if (object && (p = read_key(p)) == nullptr) return std::nullopt;
                    break;
                }
                if (*p != (object ? '}' : ']')) return std::nullopt;
                close();
                ++p;
            }
        }
    }

private:
    bool literal(const char* p, std::string_view word) const noexcept {
        return static_cast<std::size_t>(end_ - p) >= word.size() && std::memcmp(p, word.data(), word.size()) == 0;
    }

    // Reads `"key"` and the colon after it; the position of the member's value, or nullptr.
    const char* read_key(const char* p) {
        if (p == end_ || *p != '"') return nullptr;
        std::string_view plain;
        bool escaped = false;
        const std::size_t decoded_from = s_.decoded_keys.size();
        p = read_string(p + 1, end_, plain, s_.decoded_keys, escaped);
        if (p == nullptr) return nullptr;
        if (escaped) {
            s_.keys.push_back(KeyRef{static_cast<std::uint32_t>(decoded_from),
                                     static_cast<std::uint32_t>(s_.decoded_keys.size() - decoded_from), true});
        } else {
            s_.keys.push_back(KeyRef{static_cast<std::uint32_t>(plain.data() - begin_),
                                     static_cast<std::uint32_t>(plain.size()), false});
        }
        p = skip_space(p, end_);
        if (p == end_ || *p != ':') return nullptr;
        return skip_space(p + 1, end_);
    }

    static void add_member(Value::Object& members, std::string_view key, Value& value) {
        Member& m = members.emplace_back();
        m.key.assign(key);
        ValueBuilderAccess::move_into_null(m.value, std::move(value));
    }

    // Replaces the values of the innermost open container by the container itself.
    void close() {
        const OpenContainer c = s_.open.back();
        s_.open.pop_back();
        Value* first = s_.values.data() + c.first_value;
        const std::size_t n = s_.values.size() - c.first_value;
        Value made;
        if (!c.object) {
            Value::Array items;
            items.reserve(n);
            for (std::size_t i = 0; i < n; ++i) items.push_back(std::move(first[i]));
            ValueBuilderAccess::set_array(made, std::move(items));
        } else {
            auto& views = s_.key_views;
            views.clear();
            bool ascending = true;
            for (std::size_t i = 0; i < n; ++i) {
                const KeyRef& k = s_.keys[c.first_key + i];
                const char* base = k.decoded ? s_.decoded_keys.data() : begin_;
                views.emplace_back(base + k.offset, k.size);
                if (i > 0 && ascending) ascending = compare_keys(views[i - 1], views[i]) < 0;
            }
            Value::Object members;
            if (ascending) {
                members.reserve(n);
                for (std::size_t i = 0; i < n; ++i) add_member(members, views[i], first[i]);
            } else {
                order_members(views.data(), n, s_.order);
                members.reserve(s_.order.size());
                for (std::uint32_t i : s_.order) add_member(members, views[i], first[i]);
            }
            ValueBuilderAccess::set_ordered_object(made, std::move(members));
            s_.keys.resize(c.first_key);
            s_.decoded_keys.resize(c.first_decoded);
        }
        s_.values.erase(s_.values.begin() + c.first_value, s_.values.end());
        s_.values.push_back(std::move(made));
    }

    const char* begin_;
    const char* end_;
    std::size_t max_depth_;
    Scratch& s_;
};

}  // namespace

std::optional<Value> read_well_formed_json(std::string_view text, std::size_t max_depth) {
    // Offsets are kept in 32 bits; the diagnosing reader names the limit for longer texts.
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    if (!simdjson::validate_utf8(text.data(), text.size())) return std::nullopt;
    thread_local Scratch kept;
    Scratch own;
    Scratch& scratch = kept.busy ? own : kept;
    scratch.busy = true;
    struct Release {
        Scratch& s;
        ~Release() {
            s.reset();
            s.busy = false;
        }
    } release{scratch};
    return OnePassReader(text, max_depth, scratch).read();
}

}  // namespace deririrore::value
