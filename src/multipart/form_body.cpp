#include "multipart/form_body.hpp"

#include <charconv>
#include <cstdint>
#include <memory>
#include <variant>

#include "deririrore/value/percent.hpp"
#include "multipart/multipart.hpp"

namespace multipart {

namespace {

constexpr std::uint8_t kString = 16, kArray = 32;

DecodeSpec default_field_spec() {
    DecodeSpec spec;
    spec.digits_stay_text = 1;
    spec.types = 127;
    return spec;
}

Value decode_default(std::string_view text) {
    return decode_query_value(text, default_field_spec(), QueryStyleContext{}, default_schema(), default_schema());
}

const Value* object_properties(const Value& schema) {
    const Value* node = zavova::follow_local_refs(schema, schema).node;
    if (node == nullptr || !node->is_object()) return nullptr;
    const Value* properties = node->find("properties");
    return properties != nullptr && properties->is_object() ? properties : nullptr;
}

DecodeSpec field_spec(const FieldSpecs& specs, std::string_view name, const Value& property, const Value& root) {
    if (auto it = specs.find(name); it != specs.end()) return it->second;
    return schema_decode_spec(property, root);
}

bool is_array_field(const DecodeSpec& spec) { return (spec.types & kArray) && !(spec.types & kString) && spec.explode; }

QueryStyleContext context_of(const DecodeSpec& spec) {
    return QueryStyleContext{static_cast<QueryStyle>(spec.style & 3), spec.explode != 0};
}

std::string form_decode(std::string_view text) {
    return utf8_lossy(deririrore::value::percent_decode(text, true));
}

std::optional<std::uint64_t> numeric_segment(std::string_view s) noexcept {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    for (char c : s)
        if (c < '0' || c > '9') return std::nullopt;
    std::uint64_t v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

// Base and segments of a name in bracket form, or false.
bool split_brackets(std::string_view name, std::string_view& base, std::vector<std::string_view>& segments) {
    const std::size_t open = name.find('[');
    if (open == std::string_view::npos) return false;
    base = name.substr(0, open);
    segments.clear();
    std::size_t pos = open;
    while (pos < name.size()) {
        if (name[pos] != '[') return false;
        const std::size_t close = name.find(']', pos + 1);
        if (close == std::string_view::npos) return false;
        segments.push_back(name.substr(pos + 1, close - pos - 1));
        pos = close + 1;
    }
    return true;
}

struct BracketNode {
    using Indexed = std::map<std::uint64_t, std::unique_ptr<BracketNode>>;
    using Named = std::map<std::string, std::unique_ptr<BracketNode>, std::less<>>;
    std::variant<Value, Indexed, Named> content;

    static std::unique_ptr<BracketNode> for_segment(std::string_view segment) {
        auto node = std::make_unique<BracketNode>();
        if (numeric_segment(segment))
            node->content.emplace<Indexed>();
        else
            node->content.emplace<Named>();
        return node;
    }
};

void place(std::unique_ptr<BracketNode>& root, const std::vector<std::string_view>& segments, Value value) {
    if (!root) root = BracketNode::for_segment(segments[0]);
    BracketNode* current = root.get();
    for (std::size_t i = 0; i < segments.size(); ++i) {
        std::unique_ptr<BracketNode>* slot = nullptr;
        if (auto* indexed = std::get_if<BracketNode::Indexed>(&current->content)) {
            const auto index = numeric_segment(segments[i]);
            if (!index) return;
            slot = &(*indexed)[*index];
        } else if (auto* named = std::get_if<BracketNode::Named>(&current->content)) {
            slot = &(*named)[std::string(segments[i])];
        } else {
            return;
        }
        if (i + 1 == segments.size()) {
            auto leaf = std::make_unique<BracketNode>();
            leaf->content.emplace<Value>(std::move(value));
            *slot = std::move(leaf);
            return;
        }
        if (!*slot) *slot = BracketNode::for_segment(segments[i + 1]);
        current = slot->get();
    }
}

// Depth is bounded by kMaxBracketSegments.
Value convert(BracketNode& node) {
    if (auto* leaf = std::get_if<Value>(&node.content)) return std::move(*leaf);
    if (auto* indexed = std::get_if<BracketNode::Indexed>(&node.content)) {
        Value out = Value::array();
        for (auto& [index, child] : *indexed) out.push_back(convert(*child));
        return out;
    }
    Value::Object members;
    for (auto& [key, child] : std::get<BracketNode::Named>(node.content))
        members.push_back(deririrore::value::Member{key, convert(*child)});
    return Value::object(std::move(members));
}

const Value& leaf_schema(const Value& property, const std::vector<std::string_view>& segments, const Value& root) {
    const Value* current = zavova::follow_local_refs(root, property).node;
    if (current == nullptr) return property;
    for (std::string_view segment : segments) {
        if (!current->is_object()) break;
        const Value* next = nullptr;
        if (numeric_segment(segment)) {
            next = current->find("items");
        } else if (const Value* properties = current->find("properties"); properties != nullptr) {
            next = properties->find(segment);
        }
        if (next == nullptr) break;
        const Value* followed = zavova::follow_local_refs(root, *next).node;
        if (followed == nullptr) break;
        current = followed;
    }
    return *current;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> parse_form_urlencoded(std::string_view body) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t pos = 0;
    while (pos <= body.size()) {
        std::size_t amp = body.find('&', pos);
        if (amp == std::string_view::npos) amp = body.size();
        const std::string_view piece = body.substr(pos, amp - pos);
        pos = amp + 1;
        if (piece.empty()) continue;
        const std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos)
            pairs.emplace_back(form_decode(piece), std::string());
        else
            pairs.emplace_back(form_decode(piece.substr(0, eq)), form_decode(piece.substr(eq + 1)));
    }
    return pairs;
}

std::optional<Value> decode_multipart_body(std::string_view body, std::string_view boundary, const Value& schema,
                                           const FieldSpecs& field_specs, JsonBodyDecoder decode_json_body) {
    auto parts = parse_multipart(body, boundary);
    if (!parts) return std::nullopt;
    const Value* properties = object_properties(schema);
    Members result;
    RepeatedFields groups;
    for (const MultipartPart& part : *parts) {
        if (!part.name) continue;
        const std::string& name = *part.name;
        std::optional<Value> json = decode_json_part(part.content_type, part.body, decode_json_body);
        const Value* property = properties != nullptr ? properties->find(name) : nullptr;
        if (property != nullptr) {
            const DecodeSpec spec = field_spec(field_specs, name, *property, schema);
            if (is_array_field(spec)) {
                auto& group = groups[name];
                if (json)
                    group.emplace_back(std::move(*json));
                else
                    group.emplace_back(utf8_lossy(part.body));
            } else if (json) {
                result[name] = (std::move(*json));
            } else {
                result[name] = (decode_query_value(utf8_lossy(part.body), spec, context_of(spec), *property, schema));
            }
        } else if (json) {
            result[name] = (std::move(*json));
        } else {
            result[name] = (decode_default(utf8_lossy(part.body)));
        }
    }
    if (properties != nullptr) assemble_repeated_fields(groups, *properties, schema, result);
    return object_from(std::move(result));
}

std::optional<Value> decode_form_body(std::string_view body, const Value& schema, const FieldSpecs& field_specs) {
    const Value* properties = object_properties(schema);
    Members result;
    const auto pairs = parse_form_urlencoded(body);
    if (properties == nullptr) {
        for (const auto& [name, value] : pairs) result[name] = decode_default(value);
        return object_from(std::move(result));
    }
    RepeatedFields groups;
    std::map<std::string, std::unique_ptr<BracketNode>, std::less<>> trees;
    std::string_view base;
    std::vector<std::string_view> segments;
    for (const auto& [name, value] : pairs) {
        if (!properties->empty() && split_brackets(name, base, segments)) {
            if (const Value* property = properties->find(base); property != nullptr) {
                if (segments.size() > kMaxBracketSegments) return std::nullopt;
                const Value& leaf = leaf_schema(*property, segments, schema);
                Value decoded =
                    decode_query_value(value, schema_decode_spec(leaf, schema), QueryStyleContext{}, leaf, schema);
                place(trees[std::string(base)], segments, std::move(decoded));
                continue;
            }
        }
        if (const Value* property = properties->find(name); property != nullptr) {
            const DecodeSpec spec = field_spec(field_specs, name, *property, schema);
            if (is_array_field(spec))
                groups[name].emplace_back(value);
            else
                result[name] = (decode_query_value(value, spec, context_of(spec), *property, schema));
        } else {
            result[name] = (decode_default(value));
        }
    }
    assemble_repeated_fields(groups, *properties, schema, result);
    for (auto& [name, tree] : trees) result[name] = (convert(*tree));
    return object_from(std::move(result));
}

}  // namespace multipart
