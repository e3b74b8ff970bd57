#include "deririrore/canonical/admission.hpp"

#include <algorithm>
#include <unordered_set>

#include "deririrore/canonical/algebra.hpp"
#include "deririrore/canonical/children.hpp"
#include "deririrore/canonical/divisors.hpp"
#include "deririrore/canonical/numbers.hpp"
#include "deririrore/canonical/order.hpp"
#include "deririrore/formats/content.hpp"
#include "deririrore/value/numeric.hpp"
#include "deririrore/value/utf8.hpp"

namespace deririrore::canonical {

namespace {

// Value nesting and reference chains deeper than this are answered "undecided".
constexpr std::size_t kMaxValueDepth = 256;
constexpr std::size_t kMaxDerefSteps = 64;
// Node visits of one evaluation; shared subgraphs are visited once per path,
// so past this the answer is undecided rather than exponential.
constexpr std::size_t kMaxEvaluationSteps = 1 << 16;

std::optional<value::Value> canonical_copy(const value::Value& v, std::size_t depth) {
    if (depth > kMaxValueDepth) return std::nullopt;
    switch (v.kind()) {
        case value::ValueKind::Number:
            return value::Value::number(canonicalize_number_text(v.number_text()));
        case value::ValueKind::Array: {
            value::Value::Array items;
            items.reserve(v.as_array().size());
            for (const auto& item : v.as_array()) {
                auto c = canonical_copy(item, depth + 1);
                if (!c) return std::nullopt;
                items.push_back(std::move(*c));
            }
            return value::Value::array(std::move(items));
        }
        case value::ValueKind::Object: {
            value::Value::Object members;
            members.reserve(v.as_object().size());
            for (const auto& m : v.as_object()) {
                auto c = canonical_copy(m.value, depth + 1);
                if (!c) return std::nullopt;
                members.push_back(value::Member{m.key, std::move(*c)});
            }
            return value::Value::object(std::move(members));
        }
        default:
            return v;
    }
}

std::size_t scalar_count(std::string_view s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) ++n;
    return n;
}

bool count_in(const Bounds& b, const BigInt& n) {
    return (!b.minimum || n >= *b.minimum) && (!b.maximum || n <= *b.maximum);
}

struct Tally {
    bool undecided = false;
    Admission finish() const { return undecided ? Admission::Undecided : Admission::Accepted; }
};

Admission invert(Admission a) {
    if (a == Admission::Accepted) return Admission::Rejected;
    if (a == Admission::Rejected) return Admission::Accepted;
    return Admission::Undecided;
}

bool integral_number(const value::Value& v) { return v.is_number() && value::is_integer_text(v.number_text()); }

class Evaluator {
public:
    explicit Evaluator(CanonicalContext& context) : context_(context) {}

    Admission node(const Schema& s, const value::Value& v, std::size_t depth) {
        if (depth > kMaxValueDepth || ++steps_ > kMaxEvaluationSteps) return Admission::Undecided;
        switch (s->index()) {
            case KindIndex::MultiType: {
                const auto types = s->as<kind::MultiType>()->types;
                return type_in(types, v) ? Admission::Accepted : Admission::Rejected;
            }
            case KindIndex::TypedGroup: {
                const auto* g = s->as<kind::TypedGroup>();
                if (!type_in(JsonTypeSet(g->ty), v)) return Admission::Rejected;
                return node(g->body, v, depth + 1);
            }
            case KindIndex::String: {
                if (!v.is_string()) return Admission::Rejected;
                const auto& leaf = s->as<kind::String>()->leaf;
                const auto p = compile_patterns(leaf.patterns, context_);
                const auto e = compile_patterns(leaf.excluded_patterns, context_);
                return string_leaf_accepts(leaf, p, e, v.as_string(), false);
            }
            case KindIndex::Integer:
                return integer_leaf_accepts(s->as<kind::Integer>()->leaf, v) ? Admission::Accepted
                                                                             : Admission::Rejected;
            case KindIndex::Number:
                return number_leaf_accepts(s->as<kind::Number>()->leaf, v) ? Admission::Accepted : Admission::Rejected;
            case KindIndex::Array:
                return array(s->as<kind::Array>()->leaf, v, depth);
            case KindIndex::Object:
                return object(s->as<kind::Object>()->leaf, v, depth);
            case KindIndex::Const:
                return canonical_json_eq(*s->as<kind::Const>()->value, v) ? Admission::Accepted : Admission::Rejected;
            case KindIndex::Enum: {
                for (const auto& e : s->as<kind::Enum>()->values)
                    if (canonical_json_eq(*e, v)) return Admission::Accepted;
                return Admission::Rejected;
            }
            case KindIndex::Not:
                return invert(node(s->as<kind::Not>()->operand, v, depth + 1));
            case KindIndex::AllOf: {
                Tally t;
                for (const auto& b : s->as<kind::AllOf>()->branches) {
                    const auto a = node(b, v, depth + 1);
                    if (a == Admission::Rejected) return a;
                    t.undecided |= a == Admission::Undecided;
                }
                return t.finish();
            }
            case KindIndex::AnyOf: {
                bool undecided = false;
                for (const auto& b : s->as<kind::AnyOf>()->branches) {
                    const auto a = node(b, v, depth + 1);
                    if (a == Admission::Accepted) return a;
                    undecided |= a == Admission::Undecided;
                }
                return undecided ? Admission::Undecided : Admission::Rejected;
            }
            case KindIndex::OneOf: {
                int accepted = 0;
                bool undecided = false;
                for (const auto& b : s->as<kind::OneOf>()->branches) {
                    const auto a = node(b, v, depth + 1);
                    accepted += a == Admission::Accepted;
                    undecided |= a == Admission::Undecided;
                }
                if (accepted > 1) return Admission::Rejected;
                if (undecided) return Admission::Undecided;
                return accepted == 1 ? Admission::Accepted : Admission::Rejected;
            }
            case KindIndex::Reference: {
                auto target = lookup_reference_target(context_, *s->as<kind::Reference>()->name);
                if (!target) return Admission::Undecided;
                return node(*target, v, depth + 1);
            }
            case KindIndex::True:
                return Admission::Accepted;
            case KindIndex::False:
                return Admission::Rejected;
            case KindIndex::Raw:
                return Admission::Undecided;
        }
        return Admission::Undecided;
    }

private:
    static bool type_in(JsonTypeSet types, const value::Value& v) {
        switch (v.kind()) {
            case value::ValueKind::Null:
                return types.contains(JsonType::Null);
            case value::ValueKind::Boolean:
                return types.contains(JsonType::Boolean);
            case value::ValueKind::Number:
                return types.contains(JsonType::Number) ||
                       (types.contains(JsonType::Integer) && value::is_integer_text(v.number_text()));
            case value::ValueKind::String:
                return types.contains(JsonType::String);
            case value::ValueKind::Array:
                return types.contains(JsonType::Array);
            case value::ValueKind::Object:
                return types.contains(JsonType::Object);
        }
        return false;
    }

    Admission array(const ArrayLeaf& leaf, const value::Value& v, std::size_t depth) {
        if (!v.is_array()) return Admission::Rejected;
        const auto& items = v.as_array();
        if (!count_in(leaf.lengths, BigInt(static_cast<unsigned long>(items.size())))) return Admission::Rejected;
        if (!distinctness_accepts(leaf.distinctness, items)) return Admission::Rejected;
        Tally t;
        for (std::size_t i = 0; i < items.size(); ++i) {
            Admission a = Admission::Accepted;
            if (i < leaf.prefix.size())
                a = node(leaf.prefix[i], items[i], depth + 1);
            else if (leaf.items)
                a = node(*leaf.items, items[i], depth + 1);
            if (a == Admission::Rejected) return a;
            t.undecided |= a == Admission::Undecided;
        }
        for (const auto& f : leaf.contains) {
            BigInt definite = 0, possible = 0;
            for (const auto& item : items) {
                const auto a = node(f.schema, item, depth + 1);
                if (a == Admission::Accepted) definite += 1;
                if (a != Admission::Rejected) possible += 1;
            }
            const BigInt min = f.minimum ? *f.minimum : BigInt(1);
            if (possible < min) return Admission::Rejected;
            if (f.maximum && *f.maximum < definite) return Admission::Rejected;
            if (definite < min || (f.maximum && *f.maximum < possible)) t.undecided = true;
        }
        return t.finish();
    }

    Admission object(const ObjectLeaf& leaf, const value::Value& v, std::size_t depth) {
        if (!v.is_object()) return Admission::Rejected;
        const auto& members = v.as_object();
        const Bounds sizes = object_size_bounds(leaf);
        if (!count_in(sizes, BigInt(static_cast<unsigned long>(members.size())))) return Admission::Rejected;
        for (const auto& r : leaf.required)
            if (!v.contains(*r)) return Admission::Rejected;
        Tally t;
        auto fold = [&](Admission a) {
            t.undecided |= a == Admission::Undecided;
            return a == Admission::Rejected;
        };
        for (const auto& m : members) {
            const value::Value name = value::Value::string(m.key);
            if (leaf.property_names && fold(node(*leaf.property_names, name, depth + 1))) return Admission::Rejected;
            bool covered = false;
            auto prop = std::lower_bound(leaf.properties.entries.begin(), leaf.properties.entries.end(), m.key,
                                         [](const auto& e, const std::string& k) { return *e.first < k; });
            if (prop != leaf.properties.entries.end() && *prop->first == m.key) {
                covered = true;
                if (fold(node(prop->second, m.value, depth + 1))) return Admission::Rejected;
            }
            for (const auto& [pattern, schema] : leaf.pattern_properties.entries) {
                const auto match = match_name(*pattern, m.key);
                if (match == Admission::Undecided) {
                    t.undecided = true;
                    covered = true;
                    continue;
                }
                if (match == Admission::Rejected) continue;
                covered = true;
                if (fold(node(schema, m.value, depth + 1))) return Admission::Rejected;
            }
            if (!covered && leaf.additional && fold(node(*leaf.additional, m.value, depth + 1)))
                return Admission::Rejected;
        }
        for (const auto& viol : leaf.violations) {
            const auto a = violation(viol, members, depth);
            if (fold(a)) return Admission::Rejected;
        }
        return t.finish();
    }

    // Accepted: the pattern matches; Rejected: it does not.
    Admission match_name(const std::string& pattern, std::string_view name) {
        auto compiled = lookup_compiled_pattern(context_, pattern);
        if (!compiled) return Admission::Undecided;
        switch (search_pattern(*compiled, name)) {
            case PatternMatch::Matched:
                return Admission::Accepted;
            case PatternMatch::NotMatched:
                return Admission::Rejected;
            default:
                return Admission::Undecided;
        }
    }

    // Accepted when some member breaks the condition, as the violation requires.
    Admission violation(const ObjectViolation& viol, const value::Value::Object& members, std::size_t depth) {
        bool undecided = false;
        for (const auto& m : members) {
            Admission breaks = Admission::Rejected;
            if (const auto* n = std::get_if<violation::NameFails>(&viol)) {
                breaks = invert(node(n->schema, value::Value::string(m.key), depth + 1));
            } else if (const auto* u = std::get_if<violation::UndeclaredValueFails>(&viol)) {
                if (std::any_of(u->names.begin(), u->names.end(), [&](const SharedString& s) { return *s == m.key; }))
                    continue;
                bool matched = false, unsure = false;
                for (const auto& p : u->patterns) {
                    const auto a = match_name(*p, m.key);
                    matched |= a == Admission::Accepted;
                    unsure |= a == Admission::Undecided;
                }
                if (matched) continue;
                breaks = invert(node(u->additional, m.value, depth + 1));
                if (unsure && breaks == Admission::Accepted) breaks = Admission::Undecided;
            } else {
                const auto& p = std::get<violation::PatternValueFails>(viol);
                const auto match = match_name(*p.pattern, m.key);
                if (match == Admission::Rejected) continue;
                breaks = invert(node(p.schema, m.value, depth + 1));
                if (match == Admission::Undecided && breaks == Admission::Accepted) breaks = Admission::Undecided;
            }
            if (breaks == Admission::Accepted) return Admission::Accepted;
            undecided |= breaks == Admission::Undecided;
        }
        return undecided ? Admission::Undecided : Admission::Rejected;
    }

    CanonicalContext& context_;
    std::size_t steps_ = 0;
};

Admission check_content(std::string_view name, std::string_view text, bool media_type, bool unknown_is_undecided,
                        Tally& t) {
    bool ok = true;
    bool found = false;
    if (media_type) {
        if (const auto* m = formats::find_builtin_content_media_type(name)) {
            found = true;
            ok = m->check(text);
        }
    } else if (const auto* e = formats::find_builtin_content_encoding(name)) {
        found = true;
        ok = e->check(text);
    }
    if (!found) {
        if (unknown_is_undecided) t.undecided = true;
        return Admission::Accepted;
    }
    return ok ? Admission::Accepted : Admission::Rejected;
}

}  // namespace

std::optional<value::Value> canonical_json_from_value(const value::Value& v) { return canonical_copy(v, 0); }

bool number_leaf_accepts(const NumberLeaf& leaf, const value::Value& v) {
    if (!v.is_number()) return false;
    const std::string_view text = v.number_text();
    if (leaf.minimum && !bound_admits_number(*leaf.minimum, text, false)) return false;
    if (leaf.maximum && !bound_admits_number(*leaf.maximum, text, true)) return false;
    for (const auto& d : leaf.multiple_of.members)
        if (!value::number_text_is_multiple_of(d.limit, text)) return false;
    for (const auto& d : leaf.not_multiple_of.members)
        if (value::number_text_is_multiple_of(d.limit, text)) return false;
    if (leaf.excludes_integers && value::is_integer_text(text)) return false;
    return true;
}

bool integer_leaf_accepts(const IntegerLeaf& leaf, const value::Value& v) {
    if (!integral_number(v)) return false;
    const std::string_view text = v.number_text();
    if (leaf.bounds.minimum && !bound_admits_number(BoundNumber{leaf.bounds.minimum->get_str(), true}, text, false))
        return false;
    if (leaf.bounds.maximum && !bound_admits_number(BoundNumber{leaf.bounds.maximum->get_str(), true}, text, true))
        return false;
    for (const auto& d : leaf.multiple_of.members)
        if (!value::number_text_is_multiple_of(d.limit, text)) return false;
    for (const auto& d : leaf.not_multiple_of.members)
        if (value::number_text_is_multiple_of(d.limit, text)) return false;
    return true;
}

Admission string_leaf_accepts(const StringLeaf& leaf, std::span<const SharedPattern> patterns,
                              std::span<const SharedPattern> excluded_patterns, std::string_view text,
                              bool unknown_is_undecided) {
    Tally t;
    if (!count_in(leaf.lengths, BigInt(static_cast<unsigned long>(scalar_count(text))))) return Admission::Rejected;
    // An engine that gives up (a match limit) has not said "no match": the answer stays open.
    for (const auto& p : patterns) {
        if (!p) {
            t.undecided = true;
            continue;
        }
        const auto m = search_pattern(*p, text);
        if (m == PatternMatch::NotMatched) return Admission::Rejected;
        t.undecided |= m == PatternMatch::EngineError;
    }
    for (const auto& p : excluded_patterns) {
        if (!p) {
            t.undecided = true;
            continue;
        }
        const auto m = search_pattern(*p, text);
        if (m == PatternMatch::Matched) return Admission::Rejected;
        t.undecided |= m == PatternMatch::EngineError;
    }
    for (const auto& e : leaf.excluded)
        if (*e == text) return Admission::Rejected;
    for (const auto& f : leaf.formats) {
        if (f.is_builtin()) {
            if (!formats::check_builtin(std::get<formats::BuiltinFormat>(f.kind), text)) return Admission::Rejected;
        } else if (unknown_is_undecided) {
            t.undecided = true;
        }
    }
    for (const auto& f : leaf.excluded_formats) {
        if (f.is_builtin()) {
            if (formats::check_builtin(std::get<formats::BuiltinFormat>(f.kind), text)) return Admission::Rejected;
        } else if (unknown_is_undecided) {
            t.undecided = true;
        } else {
            return Admission::Rejected;
        }
    }
    for (const auto& m : leaf.content_media_types)
        if (check_content(*m, text, true, unknown_is_undecided, t) == Admission::Rejected) return Admission::Rejected;
    for (const auto& e : leaf.content_encodings)
        if (check_content(*e, text, false, unknown_is_undecided, t) == Admission::Rejected) return Admission::Rejected;
    return t.finish();
}

bool distinctness_accepts(Distinctness d, std::span<const value::Value> items) {
    if (d == Distinctness::Unconstrained) return true;
    bool repeated = false;
    for (std::size_t i = 1; i < items.size() && !repeated; ++i)
        for (std::size_t j = 0; j < i && !repeated; ++j) repeated = canonical_json_eq(items[i], items[j]);
    return d == Distinctness::AllDistinct ? !repeated : repeated;
}

Admission contains_facets_accept(const std::vector<ContainsFacet>& facets, std::span<const value::Value> items,
                                 bool unknown_is_undecided, CanonicalContext& context) {
    bool undecided = false;
    for (const auto& f : facets) {
        BigInt definite = 0, possible = 0;
        for (const auto& item : items) {
            const auto a = node_admits_value(f.schema, item, unknown_is_undecided, context);
            if (a == Admission::Accepted) definite += 1;
            if (a == Admission::Accepted || a == Admission::Undecided ||
                (context.draft == Draft::Draft4 && !node_rejects_value(f.schema, item, context)))
                possible += 1;
        }
        const BigInt min = f.minimum ? *f.minimum : BigInt(1);
        if (possible < min) return Admission::Rejected;
        if (f.maximum && *f.maximum < definite) return Admission::Rejected;
        if (definite < min || (f.maximum && *f.maximum < possible)) undecided = true;
    }
    return undecided ? Admission::Undecided : Admission::Accepted;
}

Admission node_admits_value(const Schema& node, const value::Value& v, bool unknown_is_undecided,
                            CanonicalContext& context) {
    if (has_unresolved_reference(node, context)) return Admission::Undecided;
    auto canonical = canonical_json_from_value(v);
    if (!canonical) return Admission::Undecided;
    const Schema constant = make_schema(kind::Const{std::make_shared<const value::Value>(std::move(*canonical))});
    const bool saved = context.exhausted;
    context.exhausted = false;
    const Schema met = intersect(node, constant, context);
    if (context.exhausted) return Admission::Undecided;
    context.exhausted = saved;
    const Schema result = deref_schema(met, context);
    if (result.same(constant) || schema_eq(result, constant)) {
        if (unknown_is_undecided && unchecked_names(node, context)->count != 0) return Admission::Undecided;
        return Admission::Accepted;
    }
    // Only False rejects: anything else is an intersection that could not be
    // reduced, which says nothing about the value.
    if (is_false(result)) return Admission::Rejected;
    return Admission::Undecided;
}

bool node_rejects_value(const Schema& node, const value::Value& v, CanonicalContext& context) {
    if (has_unresolved_reference(node, context)) return false;
    auto canonical = canonical_json_from_value(v);
    if (!canonical) return false;
    const Schema constant = make_schema(kind::Const{std::make_shared<const value::Value>(std::move(*canonical))});
    return is_false(intersect(node, constant, context));
}

Schema deref_schema(const Schema& node, const CanonicalContext& context) {
    Schema current = node;
    // A chain that comes back to a name it passed stays the reference it is.
    std::vector<SharedString> visited;
    for (std::size_t step = 0; step < kMaxDerefSteps; ++step) {
        const auto* r = current->as<kind::Reference>();
        if (!r) return current;
        if (std::any_of(visited.begin(), visited.end(), [&](const SharedString& n) { return *n == *r->name; }))
            return current;
        visited.push_back(r->name);
        auto target = lookup_reference_target(context, *r->name);
        if (!target) return current;
        current = *target;
    }
    return current;
}

bool has_unresolved_reference(const Schema& node, const CanonicalContext& context) {
    std::unordered_set<std::string> visited_names;
    std::unordered_set<const SchemaData*> visited_nodes;
    std::vector<Schema> stack{node};
    while (!stack.empty()) {
        Schema s = std::move(stack.back());
        stack.pop_back();
        if (!visited_nodes.insert(s.get()).second) continue;
        if (const auto* r = s->as<kind::Reference>()) {
            if (visited_names.count(*r->name)) continue;
            auto target = lookup_reference_target(context, *r->name);
            if (!target) return true;
            visited_names.insert(*r->name);
            stack.push_back(*target);
            continue;
        }
        for_each_child(s, [&](const Schema& c) { stack.push_back(c); });
    }
    return false;
}

SharedNameSet unchecked_names(const Schema& node, CanonicalContext& context) {
    auto& bucket = context.unchecked_names_memo[node->hash];
    for (const auto& [key, names] : bucket)
        if (key.same(node) || schema_eq(key, node)) return names;
    auto out = std::make_shared<NameSet>();
    std::unordered_set<std::string> visited_names;
    std::unordered_set<const SchemaData*> visited_nodes;
    std::vector<Schema> stack{node};
    while (!stack.empty()) {
        Schema s = std::move(stack.back());
        stack.pop_back();
        if (!visited_nodes.insert(s.get()).second) continue;
        if (const auto* str = s->as<kind::String>()) {
            for (const auto* list : {&str->leaf.formats, &str->leaf.excluded_formats})
                for (const auto& f : *list)
                    if (!f.is_builtin()) out->names.insert(std::string(f.name()));
            for (const auto& m : str->leaf.content_media_types)
                if (!formats::find_builtin_content_media_type(*m)) out->names.insert(*m);
            for (const auto& e : str->leaf.content_encodings)
                if (!formats::find_builtin_content_encoding(*e)) out->names.insert(*e);
            continue;
        }
        if (const auto* r = s->as<kind::Reference>()) {
            if (!visited_names.insert(*r->name).second) continue;
            if (auto target = lookup_reference_target(context, *r->name)) stack.push_back(*target);
            continue;
        }
        for_each_child(
            s, [&](const Schema& c) { stack.push_back(c); }, false);
    }
    out->count = out->names.size();
    SharedNameSet shared = std::move(out);
    if (context.unchecked_names_memo_size < kUncheckedNamesMemoCap) {
        context.unchecked_names_memo[node->hash].emplace_back(node, shared);
        ++context.unchecked_names_memo_size;
    }
    return shared;
}

bool contains_reference(const Schema& node) {
    std::unordered_set<const SchemaData*> visited;
    std::vector<Schema> stack{node};
    while (!stack.empty()) {
        Schema s = std::move(stack.back());
        stack.pop_back();
        if (!visited.insert(s.get()).second) continue;
        if (s->index() == KindIndex::Reference) return true;
        for_each_child(s, [&](const Schema& c) { stack.push_back(c); });
    }
    return false;
}

bool is_resolvable_reference(const Schema& node, const CanonicalContext& context) {
    std::vector<Schema> stack{node};
    std::unordered_set<const SchemaData*> visited;
    while (!stack.empty()) {
        Schema s = std::move(stack.back());
        stack.pop_back();
        if (!visited.insert(s.get()).second) continue;
        if (const auto* r = s->as<kind::Reference>()) {
            if (lookup_reference_target(context, *r->name)) return true;
        } else if (const auto* o = s->as<kind::OneOf>()) {
            for (const auto& b : o->branches) stack.push_back(b);
        }
    }
    return false;
}

Admission evaluate_canonical_value(const Schema& node, const value::Value& canonical, CanonicalContext& context) {
    return Evaluator(context).node(node, canonical, 0);
}

}  // namespace deririrore::canonical
