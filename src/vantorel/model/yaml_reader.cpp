#include "vantorel/model/yaml_reader.hpp"

#include <gmpxx.h>
#include <yaml.h>

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <vector>

#include "deririrore/formats/content.hpp"

namespace vantorel::model {

namespace {

using deririrore::make_unexpected;
using deririrore::value::Member;
using deririrore::value::Value;

constexpr std::string_view kTagStr = "tag:yaml.org,2002:str";
constexpr std::string_view kTagInt = "tag:yaml.org,2002:int";
constexpr std::string_view kTagFloat = "tag:yaml.org,2002:float";
constexpr std::string_view kTagBool = "tag:yaml.org,2002:bool";
constexpr std::string_view kTagNull = "tag:yaml.org,2002:null";
constexpr std::string_view kTagBinary = "tag:yaml.org,2002:binary";

std::string position_text(const yaml_mark_t& mark) {
    return "line " + std::to_string(mark.line + 1) + ", column " + std::to_string(mark.column + 1);
}

YamlError error_at(std::string what, const yaml_mark_t& mark) {
    return YamlError{what + " at " + position_text(mark), mark.line + 1, mark.column + 1};
}

YamlError parser_error(const yaml_parser_t& parser) {
    std::string problem = parser.problem != nullptr ? parser.problem : "invalid YAML";
    if (parser.error == YAML_MEMORY_ERROR) return YamlError{"out of memory while reading YAML", 0, 0};
    YamlError error = error_at(std::move(problem), parser.problem_mark);
    if (parser.context != nullptr) {
        error.message += ", ";
        error.message += parser.context;
        error.message += " that started at " + position_text(parser.context_mark);
    }
    return error;
}

std::string_view view(const yaml_char_t* p, std::size_t n) {
    return p == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(p), n);
}
std::string_view view(const yaml_char_t* p) {
    return p == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(p));
}

bool all_of_digits(std::string_view s, int base) {
    if (s.empty()) return false;
    for (char c : s) {
        const bool ok = base == 8    ? (c >= '0' && c <= '7')
                        : base == 10 ? (c >= '0' && c <= '9')
                                     : ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
        if (!ok) return false;
    }
    return true;
}

bool is_null_text(std::string_view s) { return s.empty() || s == "~" || s == "null" || s == "Null" || s == "NULL"; }

std::optional<bool> bool_text(std::string_view s) {
    if (s == "true" || s == "True" || s == "TRUE") return true;
    if (s == "false" || s == "False" || s == "FALSE") return false;
    return std::nullopt;
}

// A core-schema integer as JSON number text, or nothing.
std::optional<std::string> int_text(std::string_view s) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'o' || s[1] == 'x')) {
        const int base = s[1] == 'o' ? 8 : 16;
        const auto digits = s.substr(2);
        if (!all_of_digits(digits, base)) return std::nullopt;
        return mpz_class(std::string(digits), base).get_str();
    }
    std::string out;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        if (s[0] == '-') out += '-';
        s.remove_prefix(1);
    }
    if (!all_of_digits(s, 10)) return std::nullopt;
    const auto first = s.find_first_not_of('0');
    out += first == std::string_view::npos ? std::string_view("0") : s.substr(first);
    return out;
}

// A core-schema float: JSON number text, or null for infinities and not-a-number (they have no
// JSON form), or nothing when the text is not a float.
std::optional<Value> float_value(std::string_view s) {
    if (s == ".nan" || s == ".NaN" || s == ".NAN") return Value::null();
    std::string out;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        if (s[0] == '-') out += '-';
        s.remove_prefix(1);
    }
    if (s == ".inf" || s == ".Inf" || s == ".INF") return Value::null();
    std::size_t i = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    const auto whole = s.substr(0, i);
    std::string_view fraction;
    bool has_point = false;
    if (i < s.size() && s[i] == '.') {
        has_point = true;
        const std::size_t start = ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        fraction = s.substr(start, i - start);
    }
    if (whole.empty() && fraction.empty()) return std::nullopt;
    std::string_view exponent;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        const std::size_t start = i++;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        const std::size_t digits = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        if (i == digits) return std::nullopt;
        exponent = s.substr(start, i - start);
    }
    if (i != s.size()) return std::nullopt;
    const auto first = whole.find_first_not_of('0');
    out += whole.empty() || first == std::string_view::npos ? std::string_view("0") : whole.substr(first);
    if (has_point) {
        out += '.';
        out += fraction.empty() ? std::string_view("0") : fraction;
    }
    out += exponent;
    return Value::number(std::move(out));
}

// A plain scalar by the core schema.
// The bytes of a base64 text that may be broken into lines; none when it is not base64.
std::optional<std::string> binary_bytes(std::string_view text) {
    std::string packed;
    packed.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') packed.push_back(c);
    auto decoded = deririrore::formats::decode_base64(packed);
    if (decoded.status == deririrore::formats::DecodeStatus::Undecodable) return std::nullopt;
    return std::move(decoded.bytes);
}

Value resolve_plain(std::string_view s) {
    if (is_null_text(s)) return Value::null();
    if (auto b = bool_text(s)) return Value::boolean(*b);
    if (auto i = int_text(s)) return Value::number(std::move(*i));
    if (auto f = float_value(s)) return std::move(*f);
    return Value::string(std::string(s));
}

struct Node {
    Value value;
    std::size_t nodes = 1;   // nodes of the subtree, keys not counted
    std::size_t height = 0;  // collections on the longest path down; 0 for a scalar
    std::optional<std::string> key_text;  // a scalar's text, used when it is a mapping key
};

struct Frame {
    bool is_mapping = false;
    Value::Array items;
    Value::Object members;
    std::optional<std::string> key;
    std::string anchor;
    std::size_t nodes = 1;
    std::size_t height = 1;
    yaml_mark_t start{};
};

class Builder {
public:
    explicit Builder(const YamlLimits& limits) : limits_(limits) {}

    // Feeds one event; false with `error_` set when the document must be refused.
    bool feed(const yaml_event_t& event) {
        ++events_;
        switch (event.type) {
            case YAML_DOCUMENT_START_EVENT:
                if (documents_ == 1) {
                    error_ = error_at("a second YAML document in one text (only one is read)", event.start_mark);
                    return false;
                }
                ++documents_;
                return true;
            case YAML_SCALAR_EVENT: return scalar(event);
            case YAML_ALIAS_EVENT: return alias(event);
            case YAML_SEQUENCE_START_EVENT:
            case YAML_MAPPING_START_EVENT: {
                if (stack_.size() + 1 > limits_.max_depth) {
                    error_ = error_at("YAML nesting is deeper than the limit of " + std::to_string(limits_.max_depth) +
                                          " levels",
                                      event.start_mark);
                    return false;
                }
                Frame frame;
                frame.is_mapping = event.type == YAML_MAPPING_START_EVENT;
                const auto anchor = frame.is_mapping ? event.data.mapping_start.anchor : event.data.sequence_start.anchor;
                if (anchor != nullptr) {
                    frame.anchor = std::string(view(anchor));
                    ++open_anchors_[frame.anchor];
                }
                frame.start = event.start_mark;
                stack_.push_back(std::move(frame));
                return true;
            }
            case YAML_SEQUENCE_END_EVENT:
            case YAML_MAPPING_END_EVENT: {
                Frame frame = std::move(stack_.back());
                stack_.pop_back();
                if (!frame.anchor.empty()) {
                    auto it = open_anchors_.find(frame.anchor);
                    if (--it->second == 0) open_anchors_.erase(it);
                }
                Node node;
                node.value = frame.is_mapping ? Value::object(std::move(frame.members)) : Value::array(std::move(frame.items));
                node.nodes = frame.nodes;
                node.height = frame.height;
                return complete(std::move(node), frame.anchor, frame.start);
            }
            default: return true;
        }
    }

    Value take_root() { return root_ ? std::move(*root_) : Value::null(); }
    YamlError take_error() { return std::move(error_); }

private:
    bool scalar(const yaml_event_t& event) {
        const auto& s = event.data.scalar;
        const auto text = view(s.value, s.length);
        const auto tag = view(s.tag);
        const bool plain = s.style == YAML_PLAIN_SCALAR_STYLE;
        Node node;
        // The text as written is kept only where it may serve as a key: here, or through an alias.
        const bool is_key = !stack_.empty() && stack_.back().is_mapping && !stack_.back().key;
        if (is_key || s.anchor != nullptr) node.key_text = std::string(text);
        if (tag.empty()) {
            node.value = plain ? resolve_plain(text) : Value::string(std::string(text));
        } else if (tag == kTagStr || tag == "!") {
            node.value = Value::string(std::string(text));
        } else if (tag == kTagNull || tag == kTagBool || tag == kTagInt || tag == kTagFloat ||
                   (tag == kTagBinary && limits_.binary_as_bytes)) {
            std::optional<Value> v;
            if (tag == kTagBinary) {
                if (auto bytes = binary_bytes(text)) v = Value::string(std::move(*bytes));
            } else if (tag == kTagNull) {
                if (is_null_text(text)) v = Value::null();
            } else if (tag == kTagBool) {
                if (auto b = bool_text(text)) v = Value::boolean(*b);
            } else if (tag == kTagInt) {
                if (auto i = int_text(text)) v = Value::number(std::move(*i));
            } else if (auto i = int_text(text)) {
                v = Value::number(std::move(*i));
            } else {
                v = float_value(text);
            }
            if (!v) {
                error_ = error_at("the scalar \"" + std::string(text.substr(0, 64)) + "\" is not a valid " +
                                      std::string(tag),
                                  event.start_mark);
                return false;
            }
            node.value = std::move(*v);
        } else {
            // Application tags carry no meaning here: the scalar reads as if untagged.
            node.value = plain ? resolve_plain(text) : Value::string(std::string(text));
        }
        return complete(std::move(node), s.anchor != nullptr ? std::string(view(s.anchor)) : std::string(),
                        event.start_mark);
    }

    bool alias(const yaml_event_t& event) {
        const std::string name(view(event.data.alias.anchor));
        if (open_anchors_.count(name) != 0) {
            error_ = error_at("the alias *" + name + " refers to a node that contains it", event.start_mark);
            return false;
        }
        auto it = anchors_.find(name);
        if (it == anchors_.end()) {
            error_ = error_at("the alias *" + name + " names no anchor defined before it", event.start_mark);
            return false;
        }
        const Node& anchored = it->second;
        if (stack_.size() + anchored.height > limits_.max_depth) {
            error_ = error_at("YAML nesting is deeper than the limit of " + std::to_string(limits_.max_depth) +
                                  " levels (through the alias *" + name + ")",
                              event.start_mark);
            return false;
        }
        if (!spend(anchored.nodes, event.start_mark)) return false;
        Node copy;
        copy.value = anchored.value;
        copy.nodes = anchored.nodes;
        copy.height = anchored.height;
        copy.key_text = anchored.key_text;
        return complete(std::move(copy), std::string(), event.start_mark);
    }

    // Copies made for anchors and aliases draw on one budget that grows with the text read.
    bool spend(std::size_t nodes, const yaml_mark_t& mark) {
        const std::size_t budget =
            std::min(limits_.alias_node_ceiling, std::max(limits_.alias_node_floor, limits_.alias_nodes_per_event * events_));
        copied_ += nodes;
        if (copied_ <= budget) return true;
        error_ = error_at("YAML aliases expand past the alias expansion limit of " + std::to_string(budget) + " nodes",
                          mark);
        return false;
    }

    bool complete(Node node, const std::string& anchor, const yaml_mark_t& mark) {
        if (!anchor.empty()) {
            if (!spend(node.nodes, mark)) return false;
            Node& slot = anchors_[anchor];
            slot.value = node.value;
            slot.nodes = node.nodes;
            slot.height = node.height;
            slot.key_text = node.key_text;
        }
        if (stack_.empty()) {
            root_ = std::move(node.value);
            return true;
        }
        Frame& parent = stack_.back();
        if (parent.is_mapping && !parent.key) {
            if (!node.key_text) {
                error_ = error_at("a mapping key is a collection; keys must be scalars", mark);
                return false;
            }
            parent.key = std::move(*node.key_text);
            return true;
        }
        parent.nodes += node.nodes;
        parent.height = std::max(parent.height, node.height + 1);
        if (parent.is_mapping) {
            parent.members.push_back(Member{std::move(*parent.key), std::move(node.value)});
            parent.key.reset();
        } else {
            parent.items.push_back(std::move(node.value));
        }
        return true;
    }

    const YamlLimits& limits_;
    std::vector<Frame> stack_;
    std::unordered_map<std::string, Node> anchors_;
    std::unordered_map<std::string, std::size_t> open_anchors_;
    std::optional<Value> root_;
    std::size_t events_ = 0;
    std::size_t copied_ = 0;
    int documents_ = 0;
    YamlError error_;
};

struct Parser {
    yaml_parser_t parser;
    Parser() { yaml_parser_initialize(&parser); }
    ~Parser() { yaml_parser_delete(&parser); }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
};

struct Event {
    yaml_event_t event{};
    ~Event() { yaml_event_delete(&event); }
};

}  // namespace

deririrore::Result<Value, YamlError> parse_yaml(std::string_view text, const YamlLimits& limits) {
    Parser p;
    yaml_parser_set_input_string(&p.parser, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    yaml_parser_set_encoding(&p.parser, YAML_UTF8_ENCODING);
    Builder builder(limits);
    for (;;) {
        Event e;
        if (!yaml_parser_parse(&p.parser, &e.event)) return make_unexpected(parser_error(p.parser));
        if (!builder.feed(e.event)) return make_unexpected(builder.take_error());
        if (e.event.type == YAML_STREAM_END_EVENT) break;
    }
    return builder.take_root();
}

}  // namespace vantorel::model
