#include "zavova/measured_targets.hpp"

#include <algorithm>
#include <charconv>
#include <map>
#include <utility>

#include "deririrore/referencing/pointer.hpp"
#include "zavova/keyword_targets.hpp"
#include "zavova/schema_predicates.hpp"
#include "zavova/text_util.hpp"

namespace zavova {

namespace {

using deririrore::make_unexpected;
using deririrore::referencing::pointer_lookup;

std::string_view without_hashes(std::string_view text) {
    while (!text.empty() && text.front() == '#') text.remove_prefix(1);
    return text;
}

// A number written as the integer 1: digits only after at most one "+", value one.
bool is_written_one(const Value* v) {
    if (v == nullptr || !v->is_number()) return false;
    std::string_view t = v->number_text();
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    if (t.empty() || t.back() != '1') return false;
    t.remove_suffix(1);
    return std::all_of(t.begin(), t.end(), [](char c) { return c == '0'; });
}

bool type_names(const Value* type, std::string_view name) {
    if (type == nullptr) return false;
    if (type->is_string()) return type->as_string() == name;
    if (!type->is_array()) return false;
    return std::any_of(type->as_array().begin(), type->as_array().end(),
                       [&](const Value& i) { return i.is_string() && i.as_string() == name; });
}

// The chain of local references that path builders follow: no percent-decoding, and a value met
// twice ends it. Answers the value reached and its pointer, or none.
std::optional<std::pair<const Value*, std::string>> plain_ref_chain(const Value& schema) {
    std::unordered_set<const Value*> passed{&schema};
    const Value* current = &schema;
    std::string pointer;
    while (current->is_object()) {
        const Value* ref = current->find("$ref");
        if (ref == nullptr || !ref->is_string()) break;
        const std::string_view rest = without_hashes(ref->as_string());
        const Value* target = pointer_lookup(schema, rest);
        if (target == nullptr || !passed.insert(target).second) return std::nullopt;
        current = target;
        pointer.assign(rest);
    }
    return std::make_pair(current, std::move(pointer));
}

// The type bits of an enum or const member; a number counts as "number" alone, integral or not.
std::uint8_t value_mask(const Value& v) { return value_type_bits(v) & static_cast<std::uint8_t>(~4u); }

std::uint8_t name_mask(std::string_view name) {
    if (name == "null") return 1;
    if (name.size() == 4) return 0;
    return type_bit(name);
}

class TypeMasks {
public:
    explicit TypeMasks(const Value& root) : root_(root) {}

    Result<std::uint8_t, WrongTypeField> mask(const Value& v, int depth) {
        const auto key = std::make_pair(&v, depth);
        if (auto it = memo_.find(key); it != memo_.end()) return it->second;
        auto result = compute(v, depth);
        memo_.emplace(key, result);
        return result;
    }

private:
    Result<std::uint8_t, WrongTypeField> compute(const Value& v, int depth) {
        const Value& n = *follow_local_refs(root_, v).node;
        if (depth > kTypeMaskDepthLimit) return std::uint8_t{127};
        if (!n.is_object()) return std::uint8_t{127};
        if (const Value* type = n.find("type")) {
            if (type->is_string()) {
                if (type->as_string() == "file") return std::uint8_t{16};
                return name_mask(type->as_string());
            }
            if (type->is_array()) {
                std::uint8_t m = 0;
                for (const Value& item : type->as_array()) {
                    if (!item.is_string()) continue;
                    if (item.as_string() == "file") return std::uint8_t{16};
                    m |= name_mask(item.as_string());
                }
                return m;
            }
            return make_unexpected(WrongTypeField{});
        }
        const Value* any = n.find("anyOf");
        if (any == nullptr) any = n.find("oneOf");
        if (any != nullptr) {
            if (!any->is_array()) return std::uint8_t{127};
            std::uint8_t m = 0;
            for (const Value& item : any->as_array()) {
                auto r = mask(item, depth + 1);
                if (!r) return r;
                m |= *r;
            }
            return m;
        }
        if (const Value* all = n.find("allOf"); all != nullptr && all->is_array()) {
            std::uint8_t m = 127;
            for (const Value& item : all->as_array()) {
                auto r = mask(item, depth + 1);
                if (!r) return r;
                m = meet(m, *r);
            }
            return m;
        }
        if (const Value* e = n.find("enum"); e != nullptr && e->is_array()) {
            std::uint8_t m = 0;
            for (const Value& item : e->as_array()) m |= value_mask(item);
            return m;
        }
        if (const Value* c = n.find("const")) return value_mask(*c);
        return std::uint8_t{127};
    }

    // Number admits every integer: number with integer meets in integer, not in nothing (an
    // empty mask would read every value as a string).
    static std::uint8_t meet(std::uint8_t a, std::uint8_t b) {
        std::uint8_t m = a & b;
        const auto widen = [](std::uint8_t x) { return static_cast<std::uint8_t>(x | ((x >> 1) & 4)); };
        if (!(m & 8) && (widen(a) & widen(b) & 4)) m |= 4;
        return m;
    }

    const Value& root_;
    std::map<std::pair<const Value*, int>, Result<std::uint8_t, WrongTypeField>> memo_;
};

bool reads_as_decimal_integer(std::string_view t) {
    if (t.empty()) return false;
    const bool negative = t.front() == '-';
    std::string_view digits = (t.front() == '+' || t.front() == '-') ? t.substr(1) : t;
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    if (negative) {
        std::int64_t value = 0;
        auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
        return ec == std::errc() && p == t.data() + t.size();
    }
    std::uint64_t value = 0;
    auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return ec == std::errc() && p == digits.data() + digits.size();
}

std::string cat(std::string_view a, std::string_view b) {
    std::string out(a);
    out.append(b);
    return out;
}

void string_types(const Value& root, const Value& node, EntryMap& entries, std::string& location,
                  std::unordered_set<const Value*>& visited, std::size_t depth) {
    if (depth > kPredicateDepthLimit || !visited.insert(&node).second || !node.is_object()) return;
    const EntryKind pass_keyword = EntryKind::keyword(Polarity::ValidOnly);
    const EntryKind pass_whole = EntryKind::subschema(Polarity::ValidOnly);
    const std::size_t mark = location.size();
    if (const Value* ref = node.find("$ref"); ref != nullptr && ref->is_string()) {
        const std::string_view pointer = without_hashes(ref->as_string());
        if (const Value* target = pointer_lookup(root, pointer)) {
            std::string target_location(pointer);
            string_types(root, *target, entries, target_location, visited, depth + 1);
            const KeywordEntry* e = entries.find(pointer);
            if (e != nullptr && e->kind == pass_whole) entries.set(location + "/$ref", pass_keyword);
        }
        return;
    }
    const auto only_with = [&](std::string_view keyword) {
        return std::all_of(node.as_object().begin(), node.as_object().end(),
                           [&](const auto& m) { return m.key == keyword || is_annotation_keyword(m.key); });
    };
    if (type_names(node.find("type"), "string")) {
        entries.set(location + "/type", pass_keyword);
        if (only_with("type")) entries.set(location, pass_whole);
    }
    if (const Value* items = node.find("items")) {
        location.append("/items");
        string_types(root, *items, entries, location, visited, depth + 1);
        location.resize(mark);
    }
    for (std::string_view k : {"anyOf", "oneOf"}) {
        const Value* list = node.find(k);
        if (list == nullptr || !list->is_array()) continue;
        const auto& items = list->as_array();
        bool passes = false;
        if (k == "anyOf") {
            passes = std::any_of(items.begin(), items.end(), [](const Value& i) { return accepts_every_string(i); });
        } else {
            std::size_t accepting = 0;
            bool others_exclude = true;
            for (const Value& i : items) {
                if (accepts_every_string(i)) {
                    ++accepting;
                    continue;
                }
                const bool excludes = (i.is_bool() && !i.as_bool()) ||
                                      (i.is_object() && i.contains("type") && !type_names(i.find("type"), "string"));
                others_exclude = others_exclude && excludes;
            }
            passes = accepting == 1 && others_exclude;
        }
        if (passes) {
            entries.set(cat(location, "/") + std::string(k), pass_keyword);
            if (only_with(k)) entries.set(location, pass_whole);
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            location.append("/").append(k).append("/").append(std::to_string(i));
            string_types(root, items[i], entries, location, visited, depth + 1);
            location.resize(mark);
        }
    }
    if (const Value* all = node.find("allOf"); all != nullptr && all->is_array()) {
        for (std::size_t i = 0; i < all->size(); ++i) {
            location.append("/allOf/").append(std::to_string(i));
            string_types(root, all->as_array()[i], entries, location, visited, depth + 1);
            location.resize(mark);
        }
    }
}

}  // namespace

FollowedRef follow_local_refs(const Value& root, const Value& v) {
    FollowedRef out{&v, std::nullopt};
    for (int i = 0; i < kMaxFollowedRefs; ++i) {
        if (!out.node->is_object()) break;
        const Value* ref = out.node->find("$ref");
        if (ref == nullptr || !ref->is_string()) break;
        std::string decoded = percent_decode_lossy(without_hashes(ref->as_string()));
        const Value* target = pointer_lookup(root, decoded);
        if (target == nullptr) break;
        out.node = target;
        out.pointer = std::move(decoded);
    }
    return out;
}

Result<std::uint8_t, WrongTypeField> compute_schema_type_mask(const Value& root, const Value& v, int depth) {
    TypeMasks masks(root);
    return masks.mask(v, depth);
}

bool expects_digit_strings(const Value& root, const Value& v) {
    const Value& n = *follow_local_refs(root, v).node;
    if (!n.is_object()) return false;
    if (const Value* pattern = n.find("pattern"); pattern != nullptr && pattern->is_string()) {
        const std::string& t = pattern->as_string();
        return t.find("\\d") != std::string::npos || t.find("[0-9]") != std::string::npos;
    }
    if (const Value* e = n.find("enum"); e != nullptr && e->is_array()) {
        return std::any_of(e->as_array().begin(), e->as_array().end(), [](const Value& i) {
            return i.is_number() || (i.is_string() && reads_as_decimal_integer(i.as_string()));
        });
    }
    const Value* c = n.find("const");
    return c != nullptr && c->is_number();
}

void add_container_type_targets(const Value& node, std::string_view pointer, EntryMap& entries) {
    if (!node.is_object()) return;
    const Value* type = node.find("type");
    const bool array = type_names(type, "array");
    if (!array && !type_names(type, "object")) return;
    entries.set(cat(pointer, "/type"), EntryKind::keyword(Polarity::ValidOnly));
    if (array && is_written_one(node.find("minItems")))
        entries.set(cat(pointer, "/minItems"), EntryKind::keyword(Polarity::ValidOnly));
}

void add_path_segment_targets(const Value& schema, EntryMap& entries) {
    auto reached = plain_ref_chain(schema);
    if (!reached || !reached->first->is_object()) return;
    const Value& n = *reached->first;
    const std::string& p = reached->second;
    if (is_written_one(n.find("minLength"))) entries.set(p + "/minLength", EntryKind::keyword(Polarity::ValidOnly));
    if (const Value* pattern = n.find("pattern"); pattern != nullptr && pattern->is_string()) {
        std::string_view t = pattern->as_string();
        if (!t.empty() && t.front() == '^') t.remove_prefix(1);
        if (!t.empty() && t.back() == '$') t.remove_suffix(1);
        std::string_view body;
        if (t.substr(0, 4) == "[^/]") {
            body = t.substr(4);
        } else if (t.substr(0, 5) == "[^\\/]") {
            body = t.substr(5);
        } else {
            return;
        }
        if (body == "*" || body == "+") entries.set(p + "/pattern", EntryKind::keyword(Polarity::ValidOnly));
    }
}

void add_root_string_type_targets(const Value& schema, EntryMap& entries) {
    std::unordered_set<const Value*> visited;
    add_string_type_targets(schema, schema, entries, std::string(), visited);
}

void add_path_text_targets(const Value& schema, EntryMap& entries) {
    add_root_string_type_targets(schema, entries);
    auto reached = plain_ref_chain(schema);
    if (!reached || !reached->first->is_object()) return;
    for (std::string_view k : {"nullable", "x-nullable"}) {
        const Value* marker = reached->first->find(k);
        if (marker != nullptr && marker->is_bool() && !marker->as_bool())
            entries.set(reached->second + "/" + std::string(k), EntryKind::keyword(Polarity::ValidOnly));
    }
}

void add_string_type_targets(const Value& root, const Value& node, EntryMap& entries, std::string location,
                             std::unordered_set<const Value*>& visited) {
    string_types(root, node, entries, location, visited, 0);
}

bool accepts_every_string(const Value& schema) {
    if (schema.is_object()) {
        if (const Value* type = schema.find("type")) {
            if (!type_names(type, "string")) return false;
            Value rest = schema;
            rest.erase("type");
            return is_vacuous_schema(rest);
        }
    }
    return is_vacuous_schema(schema);
}

void lift_polarities(EntryMap& entries) {
    const std::size_t n = entries.size();
    std::vector<std::size_t> order(n);
    std::vector<std::size_t> slashes(n);
    for (std::size_t i = 0; i < n; ++i) {
        order[i] = i;
        const std::string_view l = entries.location(i);
        slashes[i] = static_cast<std::size_t>(std::count(l.begin(), l.end(), '/'));
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (slashes[a] != slashes[b]) return slashes[a] > slashes[b];
        return entries.location(a).size() > entries.location(b).size();
    });
    std::vector<char> below(n, 0), only(n, 1);
    for (std::size_t e : order) {
        KeywordEntry& entry = entries.entry(e);
        if (below[e] && only[e] && (entry.kind.tag == EntryTag::Subschema || entry.kind.tag == EntryTag::Keyword) &&
            entry.kind.polarity() == Polarity::Both)
            entry.kind.payload = static_cast<std::uint8_t>(Polarity::ValidOnly);
        const bool is_keyword = entry.kind.tag == EntryTag::Keyword;
        const bool valid_only = !is_keyword || entry.kind.polarity() == Polarity::ValidOnly;
        std::string_view prefix = entries.location(e);
        std::optional<std::size_t> parent;
        while (true) {
            const std::size_t slash = prefix.rfind('/');
            if (slash == std::string_view::npos) break;
            prefix = prefix.substr(0, slash);
            if ((parent = entries.index_of(prefix))) break;
        }
        if (!parent) continue;
        if (is_keyword || below[e]) below[*parent] = 1;
        if (!(valid_only && only[e])) only[*parent] = 0;
    }
}

SchemaReading read_measured_schema(const Value& schema, Draft draft, const SatisfiabilityAnalysis& analysis,
                                   KeywordWalkMemo* memo) {
    SchemaReading reading;
    KeywordWalkState walk = new_keyword_walk_state(schema, draft);
    walk.memo = memo;
    LocationSet unsatisfiable;
    SatisfiabilityResult outcome = analysis.analyse_satisfiability(schema, draft);
    if (auto* map = std::get_if<UnsatisfiableMap>(&outcome)) {
        if (auto origin = analysis.find_unsatisfiable_origin(*map, schema))
            reading.unsatisfiable =
                analysis.collect_unsatisfiable_causes(origin->location, *origin->causes, schema, draft);
        for (const auto& [location, causes] : *map) unsatisfiable.insert(location);
    } else if (auto* failure = std::get_if<AnalysisFailure>(&outcome)) {
        reading.analysis_error = std::move(*failure);
    }
    collect_keyword_targets(schema, schema, draft, unsatisfiable, walk, std::string(), reading.walked);
    if (auto dialect = deririrore::referencing::string_member(schema, "$schema")) {
        const Draft declared = openapi_dialect_draft(*dialect);
        if (declared != Draft::Unknown && declared != draft) reading.declared_dialect = std::string(*dialect);
    }
    reading.unknown_dialects = std::move(walk.unknown_dialects);
    return reading;
}

CoverageHolder build_coverage_state(const SchemaReading& reading, Draft draft, EntryMap entries) {
    // Walking with the builder's entries in place would skip exactly the locations they hold, and
    // append the others in walk order: the same as merging the walk's entries afterwards.
    if (entries.empty()) {
        entries = reading.walked;
    } else {
        for (std::size_t i = 0; i < reading.walked.size(); ++i)
            entries.ensure(reading.walked.location(i), reading.walked.entry(i).kind);
    }
    lift_polarities(entries);
    auto state = std::make_shared<CoverageState>();
    state->unsatisfiable = reading.unsatisfiable;
    state->analysis_error = reading.analysis_error;
    state->declared_dialect = reading.declared_dialect;
    state->entries = std::move(entries);
    state->unknown_dialects = reading.unknown_dialects;
    state->draft = draft;
    CoverageHolder holder;
    holder.state = std::move(state);
    return holder;
}

CoverageHolder build_coverage_state(const Value& schema, Draft draft, EntryMap entries,
                                    const SatisfiabilityAnalysis& analysis) {
    return build_coverage_state(read_measured_schema(schema, draft, analysis), draft, std::move(entries));
}

Result<MeasuredParameter, WrongTypeField> measure_path_parameter(const Value& schema, Draft draft,
                                                                 const std::vector<std::string>& removed_patterns,
                                                                 const SatisfiabilityAnalysis& analysis) {
    return measure_path_parameter(schema, draft, removed_patterns, read_measured_schema(schema, draft, analysis));
}

Result<MeasuredParameter, WrongTypeField> measure_path_parameter(const Value& schema, Draft draft,
                                                                 const std::vector<std::string>& removed_patterns,
                                                                 const SchemaReading& reading) {
    EntryMap entries;
    add_path_segment_targets(schema, entries);
    const FollowedRef followed = follow_local_refs(schema, schema);
    add_container_type_targets(*followed.node, followed.pointer.value_or(std::string()), entries);
    add_path_text_targets(schema, entries);
    MeasuredParameter out;
    out.holder = build_coverage_state(reading, draft, std::move(entries));
    CoverageState& state = make_state_unique(out.holder);
    state.special_index.reset();
    for (const std::string& location : removed_patterns)
        state.entries.set(location, EntryKind::unmeasured(UnmeasuredReason::InvalidPattern));
    auto mask = compute_schema_type_mask(schema, schema, 0);
    if (!mask) return make_unexpected(mask.error());
    out.decode_spec =
        DecodeSpec{static_cast<std::uint8_t>(expects_digit_strings(schema, schema)), 1, DecodeMode::Typed, 0, *mask};
    return out;
}

}  // namespace zavova
