#include "zavova/schema_predicates.hpp"

#include <algorithm>

#include "deririrore/referencing/pointer.hpp"
#include "deririrore/referencing/walk.hpp"
#include "deririrore/value/numeric.hpp"
#include "zavova/text_util.hpp"

namespace zavova {

namespace {

using deririrore::referencing::pointer_lookup;

constexpr std::string_view kAnnotationKeywords[] = {
    "$id",      "title",    "$defs",     "example",    "default",     "$schema",     "$anchor",     "$comment",
    "examples", "readOnly", "writeOnly", "deprecated", "description", "definitions", "$vocabulary",
};

// The JsonTypeMask bits of a `type` value, when every name is known; none otherwise.
std::optional<std::uint8_t> type_set(const Value& type) {
    if (type.is_string()) {
        const std::uint8_t bit = type_bit(type.as_string());
        if (bit == 0) return std::nullopt;
        return bit;
    }
    if (!type.is_array()) return std::nullopt;
    std::uint8_t mask = 0;
    for (const Value& item : type.as_array()) {
        if (!item.is_string()) return std::nullopt;
        const std::uint8_t bit = type_bit(item.as_string());
        if (bit == 0) return std::nullopt;
        mask |= bit;
    }
    return mask;
}

}  // namespace

bool is_annotation_keyword(std::string_view keyword) noexcept {
    if (keyword.size() >= 2 && keyword.substr(0, 2) == "x-") return true;
    return std::find(std::begin(kAnnotationKeywords), std::end(kAnnotationKeywords), keyword) !=
           std::end(kAnnotationKeywords);
}

bool keyword_in_draft(Draft draft, std::string_view keyword) noexcept {
    const Draft d = draft == Draft::Unknown ? Draft::Draft202012 : draft;
    if (keyword == "$recursiveRef") return d == Draft::Draft201909;
    if (keyword == "const" || keyword == "contains" || keyword == "propertyNames") return d >= Draft::Draft6;
    if (keyword == "if" || keyword == "then" || keyword == "else") return d >= Draft::Draft7;
    if (keyword == "contentSchema" || keyword == "dependentSchemas" || keyword == "dependentRequired" ||
        keyword == "unevaluatedItems" || keyword == "unevaluatedProperties")
        return d >= Draft::Draft201909;
    if (keyword == "prefixItems" || keyword == "$dynamicRef") return d >= Draft::Draft202012;
    return true;
}

std::string child_location(std::string_view parent, std::string_view key) {
    std::string out;
    out.reserve(parent.size() + key.size() + 1);
    out.append(parent);
    out.push_back('/');
    deririrore::referencing::push_pointer_segment(out, key);
    return out;
}

std::uint8_t type_bit(std::string_view name) noexcept {
    auto t = deririrore::value::json_type_from_name(name);
    return t ? static_cast<std::uint8_t>(*t) : 0;
}

std::uint8_t value_type_bits(const Value& v) noexcept {
    switch (v.kind()) {
        case deririrore::value::ValueKind::Null:
            return 1;
        case deririrore::value::ValueKind::Boolean:
            return 2;
        case deririrore::value::ValueKind::Number:
            return deririrore::value::is_integer_text(v.number_text()) ? 12 : 8;
        case deririrore::value::ValueKind::String:
            return 16;
        case deririrore::value::ValueKind::Array:
            return 32;
        case deririrore::value::ValueKind::Object:
            return 64;
    }
    return 0;
}

bool SchemaPredicates::inert_at(std::string_view k, const Value& v, std::size_t depth) {
    if (k == "not") return never_valid_at(v, depth + 1);
    if (k == "items" || k == "additionalItems" || k == "unevaluatedItems" || k == "additionalProperties" ||
        k == "unevaluatedProperties")
        return vacuous_at(v, depth + 1);
    if (k == "properties" || k == "patternProperties") return v.is_object() && v.empty();
    return false;
}

bool SchemaPredicates::other_inert_at(const Value& s, std::string_view left_out, std::size_t depth) {
    for (const auto& m : s.as_object()) {
        if (m.key == left_out || is_annotation_keyword(m.key)) continue;
        if (!inert_at(m.key, m.value, depth)) return false;
    }
    return true;
}

bool SchemaPredicates::branches_cover_all_types(std::span<const Value> branches) {
    std::uint8_t mask = 0;
    for (const Value& branch : branches) {
        if (!branch.is_object()) continue;
        const Value* type = branch.find("type");
        if (type == nullptr || !type->is_string()) continue;
        bool plain = true;
        for (const auto& m : branch.as_object()) {
            if (m.key == "type" || is_annotation_keyword(m.key)) continue;
            if (!inert_at(m.key, m.value, 0)) {
                plain = false;
                break;
            }
        }
        if (plain) mask |= type_bit(type->as_string());
    }
    mask |= (mask >> 1) & 4;
    return mask == 127;
}

bool SchemaPredicates::never_valid_at(const Value& s, std::size_t depth) {
    if (s.is_bool()) return !s.as_bool();
    if (!s.is_object() || s.empty()) return false;
    if (depth > kPredicateDepthLimit) return false;
    if (auto it = never_valid_memo_.find(&s); it != never_valid_memo_.end()) return it->second;
    bool answer = false;
    const Value* type = s.find("type");
    const std::optional<std::uint8_t> types = type != nullptr ? type_set(*type) : std::nullopt;
    if (const Value* n = s.find("not"); n != nullptr && vacuous_at(*n, depth + 1)) {
        answer = other_inert_at(s, "not", depth);
    } else {
        if (const Value* e = s.find("enum"); e != nullptr && e->is_array()) {
            if (e->empty()) {
                answer = true;
            } else if (types) {
                answer = std::none_of(e->as_array().begin(), e->as_array().end(),
                                      [&](const Value& item) { return (value_type_bits(item) & *types) != 0; });
            }
        }
        if (!answer && types) {
            if (const Value* c = s.find("const")) answer = (value_type_bits(*c) & *types) == 0;
        }
    }
    never_valid_memo_.emplace(&s, answer);
    return answer;
}

namespace {

// The nullable marker rule: `nullable` true (or, without it, `x-nullable` true) beside
// annotations only.
bool nullable_only(const Value& s) {
    const Value* marker = s.find("nullable");
    if (marker == nullptr) marker = s.find("x-nullable");
    if (marker == nullptr || !marker->is_bool() || !marker->as_bool()) return false;
    for (const auto& m : s.as_object()) {
        if (m.key == "nullable" || m.key == "x-nullable" || is_annotation_keyword(m.key)) continue;
        return false;
    }
    return true;
}

}  // namespace

bool SchemaPredicates::vacuous_at(const Value& s, std::size_t depth) {
    if (s.is_bool()) return s.as_bool();
    if (!s.is_object()) return false;
    if (s.empty()) return true;
    if (depth > kPredicateDepthLimit) return false;
    if (auto it = vacuous_memo_.find(&s); it != vacuous_memo_.end()) return it->second;
    auto answer = [&]() -> bool {
        if (const Value* n = s.find("not"); n != nullptr && n->is_bool() && !n->as_bool())
            return other_inert_at(s, "not", depth);
        if (const Value* any = s.find("anyOf"); any != nullptr && any->is_array()) {
            const auto& items = any->as_array();
            if (std::any_of(items.begin(), items.end(), [&](const Value& i) { return vacuous_at(i, depth + 1); }) ||
                branches_cover_all_types(items))
                return other_inert_at(s, "anyOf", depth);
        }
        if (const Value* all = s.find("allOf"); all != nullptr && all->is_array()) {
            const auto& items = all->as_array();
            if (std::all_of(items.begin(), items.end(), [&](const Value& i) { return vacuous_at(i, depth + 1); }))
                return other_inert_at(s, "allOf", depth);
        }
        if (const Value* one = s.find("oneOf"); one != nullptr && one->is_array() && !one->empty()) {
            std::size_t vacuous_items = 0;
            bool others_never = true;
            for (const Value& i : one->as_array()) {
                if (vacuous_at(i, depth + 1)) {
                    ++vacuous_items;
                } else if (!never_valid_at(i, depth + 1)) {
                    others_never = false;
                }
            }
            if (vacuous_items == 1 && others_never) return other_inert_at(s, "oneOf", depth);
        }
        if (nullable_only(s)) return true;
        return other_inert_at(s, "", depth);
    }();
    vacuous_memo_.emplace(&s, answer);
    return answer;
}

const Value* SchemaPredicates::ref_rule_target(const Value& s, bool& applies) {
    applies = false;
    const Value* ref = s.find("$ref");
    if (ref == nullptr || !ref->is_string()) return nullptr;
    for (const auto& m : s.as_object()) {
        if (m.key != "$ref" && !is_annotation_keyword(m.key)) return nullptr;
    }
    applies = true;
    std::string_view text = ref->as_string();
    while (!text.empty() && text.front() == '#') text.remove_prefix(1);
    auto decoded = percent_decode_utf8(text);
    if (!decoded) return nullptr;
    return pointer_lookup(*root_, *decoded);
}

bool SchemaPredicates::doc_inert_at(std::string_view k, const Value& v, std::size_t depth) {
    if (k == "not") return never_valid_at(v, depth + 1);
    if (k == "items") {
        if (v.is_bool() || v.is_object()) return doc_vacuous_at(v, depth + 1);
        if (v.is_array()) {
            return std::all_of(v.as_array().begin(), v.as_array().end(),
                               [&](const Value& i) { return doc_vacuous_at(i, depth + 1); });
        }
        return false;
    }
    if (k == "additionalItems" || k == "unevaluatedItems" || k == "additionalProperties" ||
        k == "unevaluatedProperties")
        return doc_vacuous_at(v, depth + 1);
    if (k == "properties" || k == "patternProperties") {
        if (!v.is_object()) return false;
        return std::all_of(v.as_object().begin(), v.as_object().end(),
                           [&](const auto& m) { return doc_vacuous_at(m.value, depth + 1); });
    }
    return false;
}

bool SchemaPredicates::doc_other_inert_at(const Value& s, std::string_view left_out, std::size_t depth) {
    for (const auto& m : s.as_object()) {
        if (m.key == left_out || is_annotation_keyword(m.key)) continue;
        if (!doc_inert_at(m.key, m.value, depth)) return false;
    }
    return true;
}

bool SchemaPredicates::doc_vacuous_at(const Value& s, std::size_t depth) {
    if (s.is_bool()) return s.as_bool();
    if (!s.is_object()) return false;
    if (s.empty()) return true;
    if (depth > kPredicateDepthLimit) return false;
    bool ref_applies = false;
    if (const Value* target = ref_rule_target(s, ref_applies); ref_applies) {
        return target != nullptr && target_vacuous(target);
    }
    if (const Value* n = s.find("not"); n != nullptr && n->is_bool() && !n->as_bool())
        return doc_other_inert_at(s, "not", depth);
    if (const Value* any = s.find("anyOf"); any != nullptr && any->is_array()) {
        const auto& items = any->as_array();
        if (std::any_of(items.begin(), items.end(), [&](const Value& i) { return doc_vacuous_at(i, depth + 1); }) ||
            branches_cover_all_types(items))
            return doc_other_inert_at(s, "anyOf", depth);
    }
    if (const Value* all = s.find("allOf"); all != nullptr && all->is_array()) {
        const auto& items = all->as_array();
        if (std::all_of(items.begin(), items.end(), [&](const Value& i) { return doc_vacuous_at(i, depth + 1); }))
            return doc_other_inert_at(s, "allOf", depth);
    }
    if (const Value* one = s.find("oneOf"); one != nullptr && one->is_array() && !one->empty()) {
        std::size_t vacuous_items = 0;
        bool others_never = true;
        for (const Value& i : one->as_array()) {
            if (doc_vacuous_at(i, depth + 1)) {
                ++vacuous_items;
            } else if (!never_valid_at(i, depth + 1)) {
                others_never = false;
            }
        }
        if (vacuous_items == 1 && others_never) return doc_other_inert_at(s, "oneOf", depth);
    }
    if (nullable_only(s)) return true;
    return doc_other_inert_at(s, "", depth);
}

void SchemaPredicates::scan_references(const Value& s, std::vector<const Value*>& out, std::size_t depth) {
    if (!s.is_object() || depth > kPredicateDepthLimit) return;
    bool ref_applies = false;
    if (const Value* target = ref_rule_target(s, ref_applies); ref_applies) {
        if (target != nullptr) out.push_back(target);
        return;
    }
    for (const auto& m : s.as_object()) {
        const std::string_view k = m.key;
        const Value& v = m.value;
        if (k == "anyOf" || k == "allOf" || k == "oneOf" || k == "items") {
            if (v.is_array()) {
                for (const Value& i : v.as_array()) scan_references(i, out, depth + 1);
            } else if (k == "items") {
                scan_references(v, out, depth + 1);
            }
        } else if (k == "additionalItems" || k == "unevaluatedItems" || k == "additionalProperties" ||
                   k == "unevaluatedProperties") {
            scan_references(v, out, depth + 1);
        } else if ((k == "properties" || k == "patternProperties") && v.is_object()) {
            for (const auto& p : v.as_object()) scan_references(p.value, out, depth + 1);
        }
    }
}

bool SchemaPredicates::target_vacuous(const Value* target) {
    if (auto it = target_memo_.find(target); it != target_memo_.end()) return it->second;
    if (auto it = pending_.find(target); it != pending_.end()) return it->second;
    // Everything a settling component can reach was settled before it; anything else met here is
    // beyond the depth bound of the scan, and not vacuous.
    if (settling_) return false;
    settle_targets(target);
    auto it = target_memo_.find(target);
    return it != target_memo_.end() && it->second;
}

void SchemaPredicates::settle_targets(const Value* start) {
    struct Info {
        std::size_t index;
        std::size_t low;
        bool on_stack;
        bool self_loop;
    };
    struct Frame {
        const Value* node;
        std::vector<const Value*> successors;
        std::size_t next = 0;
    };
    std::unordered_map<const Value*, Info> info;
    std::vector<const Value*> component_stack;
    std::vector<Frame> calls;
    std::size_t counter = 0;
    auto enter = [&](const Value* node) {
        info.emplace(node, Info{counter, counter, true, false});
        ++counter;
        component_stack.push_back(node);
        Frame frame{node, {}, 0};
        scan_references(*node, frame.successors, 0);
        calls.push_back(std::move(frame));
    };
    settling_ = true;
    enter(start);
    while (!calls.empty()) {
        Frame& frame = calls.back();
        if (frame.next < frame.successors.size()) {
            const Value* next = frame.successors[frame.next++];
            if (target_memo_.count(next) != 0) continue;
            auto it = info.find(next);
            if (it == info.end()) {
                enter(next);
                continue;
            }
            Info& mine = info.at(frame.node);
            if (next == frame.node) mine.self_loop = true;
            if (it->second.on_stack) mine.low = std::min(mine.low, it->second.index);
            continue;
        }
        const Value* node = frame.node;
        calls.pop_back();
        Info& mine = info.at(node);
        if (mine.low == mine.index) {
            std::vector<const Value*> members;
            while (true) {
                const Value* m = component_stack.back();
                component_stack.pop_back();
                info.at(m).on_stack = false;
                members.push_back(m);
                if (m == node) break;
            }
            for (const Value* m : members) pending_[m] = false;
            if (members.size() == 1 && !mine.self_loop) {
                pending_[node] = doc_vacuous_at(*node, 0);
            } else {
                // Least fixed point: answers only turn from false to true, so this ends.
                bool changed = true;
                while (changed) {
                    changed = false;
                    for (const Value* m : members) {
                        if (!pending_[m] && doc_vacuous_at(*m, 0)) {
                            pending_[m] = true;
                            changed = true;
                        }
                    }
                }
            }
            for (const Value* m : members) {
                target_memo_[m] = pending_[m];
                pending_.erase(m);
            }
        }
        if (!calls.empty()) {
            Info& parent = info.at(calls.back().node);
            parent.low = std::min(parent.low, mine.low);
        }
    }
    settling_ = false;
}

bool SchemaPredicates::vacuous_in_document(const Value& s) { return target_vacuous(&s); }

std::optional<LocalRef> SchemaPredicates::resolve_local_ref(std::string_view text) {
    std::string_view rest = text;
    while (!rest.empty() && rest.front() == '#') rest.remove_prefix(1);
    if (rest.empty() || rest.front() == '/') {
        auto decoded = percent_decode_utf8(rest);
        if (!decoded) return std::nullopt;
        const Value* target = pointer_lookup(*root_, *decoded);
        if (target == nullptr) return std::nullopt;
        return LocalRef{std::move(*decoded), target};
    }
    if (text.empty() || text.front() != '#') return std::nullopt;
    if (!anchors_) {
        anchors_.emplace();
        for (auto& anchor : deririrore::referencing::walk_subresources_with_paths(*root_, draft_))
            anchors_->emplace(anchor.name, std::move(anchor.pointer));
    }
    auto it = anchors_->find(rest);
    if (it == anchors_->end()) return std::nullopt;
    const Value* target = pointer_lookup(*root_, it->second);
    if (target == nullptr) return std::nullopt;
    return LocalRef{it->second, target};
}

bool is_vacuous_schema(const Value& s) {
    SchemaPredicates p(s, Draft::Draft202012);
    return p.vacuous(s);
}

bool is_never_valid_schema(const Value& s) {
    SchemaPredicates p(s, Draft::Draft202012);
    return p.never_valid(s);
}

bool is_vacuous_in_document(const Value& s, const Value& root, Draft draft) {
    SchemaPredicates p(root, draft);
    return p.vacuous_in_document(s);
}

}  // namespace zavova
