#include "deririrore/value/json.hpp"

#include <simdjson.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "deririrore/value/json_internal.hpp"
#include "deririrore/value/percent.hpp"
#include "deririrore/value/utf8.hpp"

namespace deririrore::value {

namespace {

namespace od = simdjson::ondemand;

bool is_json_space(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trim_space(std::string_view s) noexcept {
    while (!s.empty() && is_json_space(s.back())) s.remove_suffix(1);
    while (!s.empty() && is_json_space(s.front())) s.remove_prefix(1);
    return s;
}

JsonError make_error(std::string message, std::size_t offset) {
    if (offset != std::string::npos) message += " (at byte " + std::to_string(offset) + ")";
    return JsonError{std::move(message), offset};
}



// The input as the parser sees it, for byte offsets in errors.
struct Source {
    const char* begin;
    std::size_t size;
    std::size_t offset_of(const char* p) const noexcept {
        if (p < begin || p > begin + size) return std::string::npos;
        return static_cast<std::size_t>(p - begin);
    }
};

// Decodes the string literal whose opening quote is at `quote`. The parser has
// already found where it ends and checked the UTF-8; escapes, surrogates and
// raw control characters are checked here.
Result<std::string, JsonError> decode_string(const Source& src, const char* quote, const char** end_out) {
    const char* end = src.begin + src.size;
    const char* p = quote + 1;
    std::string out;
    for (;;) {
        if (p >= end) return make_unexpected(make_error("unterminated string", src.offset_of(quote)));
        const char* run = p;
        p = skip_plain_string_bytes(p, end);
        out.append(run, p);
        if (p >= end) return make_unexpected(make_error("unterminated string", src.offset_of(quote)));
        const char c = *p;
        if (c == '"') {
            *end_out = p + 1;
            return out;
        }
        if (c != '\\') {
            return make_unexpected(make_error("unescaped control character in string", src.offset_of(p)));
        }
        const char* esc = p;
        if (p + 1 >= end) return make_unexpected(make_error("unterminated string", src.offset_of(quote)));
        EscapeFault fault;
        p = decode_escape(esc, end, out, fault);
        if (p == nullptr) {
            const char* message = fault == EscapeFault::InvalidUnicode  ? "invalid \\u escape in string"
                                  : fault == EscapeFault::LoneSurrogate ? "lone surrogate in string"
                                                                        : "invalid escape in string";
            return make_unexpected(make_error(message, src.offset_of(esc)));
        }
    }
}

Result<Value, JsonError> read_scalar(const Source& src, od::json_type type, std::string_view token) {
    std::string_view t = trim_space(token);
    const std::size_t at = src.offset_of(token.data());
    switch (type) {
        case od::json_type::number:
            if (!is_json_number_text(t)) return make_unexpected(make_error("invalid number", at));
            return ValueBuilderAccess::trusted_number(std::string(t));
        case od::json_type::string: {
            const char* end = nullptr;
            auto s = decode_string(src, t.data(), &end);
            if (!s) return make_unexpected(std::move(s).error());
            if (end != t.data() + t.size()) return make_unexpected(make_error("unexpected characters after string", src.offset_of(end)));
            return Value::string(std::move(*s));
        }
        case od::json_type::boolean:
            if (t == "true") return Value::boolean(true);
            if (t == "false") return Value::boolean(false);
            return make_unexpected(make_error("invalid literal", at));
        case od::json_type::null:
            if (t == "null") return Value::null();
            return make_unexpected(make_error("invalid literal", at));
        default: break;
    }
    return make_unexpected(make_error("unexpected value", at));
}

// One open array or object while the tree is built without recursion.
struct Frame {
    bool is_object = false;
    od::array_iterator ait{};
    od::array_iterator aend{};
    od::object_iterator oit{};
    od::object_iterator oend{};
    bool started = false;
    Value::Array items;
    Value::Object members;
    std::string key;
};

class Reader {
public:
    Reader(const Source& src, std::size_t max_depth) : src_(src), max_depth_(max_depth) {}

    Result<Value, JsonError> read(od::document& doc) {
        od::json_type type;
        if (auto err = doc.type().get(type)) return fail(err, doc);
        if (type == od::json_type::array || type == od::json_type::object) {
            if (auto r = open(doc.get_value(), type, doc); !r) return make_unexpected(std::move(r).error());
            auto done = run(doc);
            if (!done) return done;
            // The iterator reports a location only while tokens remain.
            const char* rest = nullptr;
            if (doc.current_location().get(rest) == simdjson::SUCCESS) {
                return make_unexpected(make_error("unexpected content after the JSON value", src_.offset_of(rest)));
            }
            return done;
        }
        std::string_view token;
        if (auto err = doc.raw_json_token().get(token)) return fail(err, doc);
        std::string_view whole = trim_space(std::string_view(src_.begin, src_.size));
        if (trim_space(token) != whole) {
            return make_unexpected(make_error("unexpected content after the JSON value",
                                              src_.offset_of(token.data() + trim_space(token).size())));
        }
        return read_scalar(src_, type, token);
    }

private:
    // The padding after the text ends the scan: it is neither white space nor ':'.
    static const char* skip_space(const char* p) noexcept {
        while (is_json_space(*p)) ++p;
        return p;
    }

    std::size_t location(od::document& doc) {
        const char* p = nullptr;
        if (doc.current_location().get(p) != simdjson::SUCCESS) return std::string::npos;
        return src_.offset_of(p);
    }

    Unexpected<JsonError> fail(simdjson::error_code err, od::document& doc) {
        if (err == simdjson::DEPTH_ERROR) return depth_error(location(doc));
        return make_unexpected(make_error(std::string("invalid JSON: ") + simdjson::error_message(err), location(doc)));
    }

    Unexpected<JsonError> depth_error(std::size_t offset) {
        return make_unexpected(
            make_error("JSON nesting is deeper than the limit of " + std::to_string(max_depth_) + " levels", offset));
    }

    // Pushes a frame for the container `v`, whose type is already known.
    Result<Ok, JsonError> open(simdjson::simdjson_result<od::value> v, od::json_type type, od::document& doc) {
        if (stack_.size() >= max_depth_) {
            std::string_view tok;
            std::size_t at = std::string::npos;
            if (v.raw_json_token().get(tok) == simdjson::SUCCESS) at = src_.offset_of(tok.data());
            return depth_error(at);
        }
        Frame f;
        if (type == od::json_type::array) {
            od::array arr;
            if (auto err = v.get_array().get(arr)) return fail(err, doc);
            if (auto err = arr.begin().get(f.ait)) return fail(err, doc);
            if (auto err = arr.end().get(f.aend)) return fail(err, doc);
        } else {
            f.is_object = true;
            od::object obj;
            if (auto err = v.get_object().get(obj)) return fail(err, doc);
            if (auto err = obj.begin().get(f.oit)) return fail(err, doc);
            if (auto err = obj.end().get(f.oend)) return fail(err, doc);
        }
        stack_.push_back(std::move(f));
        return Ok{};
    }

    // Places a finished child into the frame on top of the stack.
    void place(Value v) {
        Frame& top = stack_.back();
        if (top.is_object) {
            top.members.push_back(Member{std::move(top.key), std::move(v)});
        } else {
            top.items.push_back(std::move(v));
        }
    }

    Result<Value, JsonError> run(od::document& doc) {
        for (;;) {
            Frame& top = stack_.back();
            if (top.started) {
                if (top.is_object) ++top.oit;
                else ++top.ait;
            }
            top.started = true;
            const bool more = top.is_object ? (top.oit != top.oend) : (top.ait != top.aend);
            if (!more) {
                Value done = top.is_object ? Value::object(std::move(top.members)) : Value::array(std::move(top.items));
                stack_.pop_back();
                if (stack_.empty()) return done;
                place(std::move(done));
                continue;
            }
            simdjson::simdjson_result<od::value> child{};
            if (top.is_object) {
                simdjson::simdjson_result<od::field> field = *top.oit;
                if (field.error()) return fail(field.error(), doc);
                od::field& fld = field.value_unsafe();
                const char* end = nullptr;
                auto key = decode_string(src_, fld.key().raw() - 1, &end);
                if (!key) return make_unexpected(std::move(key).error());
                if (const char* colon = skip_space(end); *colon != ':') {
                    return make_unexpected(make_error("expected ':' after an object key", src_.offset_of(colon)));
                }
                top.key = std::move(*key);
                child = simdjson::simdjson_result<od::value>(od::value(fld.value()));
            } else {
                child = *top.ait;
            }
            if (child.error()) return fail(child.error(), doc);
            od::json_type type;
            if (auto err = child.type().get(type)) return fail(err, doc);
            if (type == od::json_type::array || type == od::json_type::object) {
                if (auto r = open(child, type, doc); !r) return make_unexpected(std::move(r).error());
                continue;
            }
            std::string_view token;
            if (auto err = child.raw_json_token().get(token)) return fail(err, doc);
            auto scalar = read_scalar(src_, type, token);
            if (!scalar) return scalar;
            // A scalar the iterator has not consumed is skipped by token counting, which takes
            // `"b":` for a key and drops what follows; the token after it must be checked here.
            const char* next = token.data() + token.size();
            if (*next != ',' && *next != (top.is_object ? '}' : ']')) {
                return make_unexpected(make_error(top.is_object ? "expected ',' or '}' after an object member"
                                                                : "expected ',' or ']' after an array element",
                                                  src_.offset_of(next)));
            }
            place(std::move(*scalar));
        }
    }

    Source src_;
    std::size_t max_depth_;
    std::vector<Frame> stack_;
};

// Documents up to this size are read with a parser and a padded buffer that the thread keeps from
// call to call (the parser's index takes a few bytes per byte of the largest one); larger ones get
// their own, so that no thread holds on to the memory of a huge document.
constexpr std::size_t kReusedParserBytes = std::size_t{256} << 10;

Result<Value, JsonError> parse_padded(od::parser& parser, simdjson::padded_string_view padded, std::size_t max_depth) {
    if (parser.capacity() < padded.length() || parser.max_depth() != max_depth + 2) {
        if (auto err = parser.allocate(std::max(padded.length(), parser.capacity()), max_depth + 2)) {
            return make_unexpected(
                make_error(std::string("cannot read JSON: ") + simdjson::error_message(err), std::string::npos));
        }
    }
    od::document doc;
    if (auto err = parser.iterate(padded).get(doc)) {
        if (err == simdjson::DEPTH_ERROR) {
            return make_unexpected(make_error(
                "JSON nesting is deeper than the limit of " + std::to_string(max_depth) + " levels", std::string::npos));
        }
        return make_unexpected(make_error(std::string("invalid JSON: ") + simdjson::error_message(err), std::string::npos));
    }
    Source src{padded.data(), padded.length()};
    Reader reader(src, max_depth);
    return reader.read(doc);
}

struct ThreadParser {
    od::parser parser;
    std::vector<char> buffer;
    bool busy = false;
};

}  // namespace

Result<Value, JsonError> parse_json(std::string_view text, std::size_t max_depth) {
    if (auto read = read_well_formed_json(text, max_depth)) return std::move(*read);
    return read_json_diagnosed(text, max_depth);
}

Result<Value, JsonError> read_json_diagnosed(std::string_view text, std::size_t max_depth) {
    thread_local ThreadParser kept;
    if (text.size() > kReusedParserBytes || kept.busy) {
        simdjson::padded_string padded(text);
        od::parser parser;
        return parse_padded(parser, padded, max_depth);
    }
    kept.busy = true;
    struct Release {
        ThreadParser& kept;
        ~Release() { kept.busy = false; }
    } release{kept};
    const std::size_t needed = text.size() + simdjson::SIMDJSON_PADDING;
    if (kept.buffer.size() < needed) kept.buffer.resize(std::max(needed, std::size_t{4096}));
    std::copy(text.begin(), text.end(), kept.buffer.begin());
    // simdjson may read the padding; zeroes keep what it sees the same on every call.
    std::fill_n(kept.buffer.begin() + static_cast<std::ptrdiff_t>(text.size()), simdjson::SIMDJSON_PADDING, '\0');
    return parse_padded(kept.parser, simdjson::padded_string_view(kept.buffer.data(), text.size(), kept.buffer.size()),
                        max_depth);
}

void append_json_string(std::string& out, std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(s.data() + run, i - run);
        run = i + 1;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            default:
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
        }
    }
    out.append(s.data() + run, s.size() - run);
    out += '"';
}

void append_json(std::string& out, const Value& v) {
    struct Frame {
        const Value* value;
        std::size_t next;
    };
    auto scalar = [&out](const Value& x) {
        switch (x.kind()) {
            case ValueKind::Null: out += "null"; break;
            case ValueKind::Boolean: out += x.as_bool() ? "true" : "false"; break;
            case ValueKind::Number: out += x.number_text(); break;
            case ValueKind::String: append_json_string(out, x.as_string()); break;
            default: break;
        }
    };
    if (!v.is_array() && !v.is_object()) {
        scalar(v);
        return;
    }
    std::vector<Frame> stack;
    out += v.is_array() ? '[' : '{';
    stack.push_back({&v, 0});
    while (!stack.empty()) {
        Frame& top = stack.back();
        const Value& x = *top.value;
        if (top.next == x.size()) {
            out += x.is_array() ? ']' : '}';
            stack.pop_back();
            continue;
        }
        if (top.next > 0) out += ',';
        const Value* child;
        if (x.is_array()) {
            child = &x.as_array()[top.next];
        } else {
            const Member& m = x.as_object()[top.next];
            append_json_string(out, m.key);
            out += ':';
            child = &m.value;
        }
        ++top.next;
        if (child->is_array() || child->is_object()) {
            out += child->is_array() ? '[' : '{';
            stack.push_back({child, 0});
        } else {
            scalar(*child);
        }
    }
}

std::string to_json(const Value& v) {
    std::string out;
    append_json(out, v);
    return out;
}

}  // namespace deririrore::value
