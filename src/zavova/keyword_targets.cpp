#include "zavova/keyword_targets.hpp"

#include <algorithm>
#include <string_view>
#include <utility>
#include <variant>

#include "deririrore/referencing/pointer.hpp"
#include "zavova/pattern_predicates.hpp"
#include "zavova/satisfiability.hpp"

namespace zavova {

namespace {

using deririrore::referencing::detect_draft;

// A number written as 0, +0, 00 ...: digits only after at most one "+", value zero.
bool is_integer_zero(const Value& v) {
    if (!v.is_number()) return false;
    std::string_view t = v.number_text();
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    if (t.empty()) return false;
    for (char c : t) {
        if (c != '0') return false;
    }
    return true;
}

std::string item_location(std::string_view parent, std::size_t i) {
    std::string out(parent);
    out.push_back('/');
    out.append(std::to_string(i));
    return out;
}

// One unit of the walk: visit a schema, register an entry, or take a reference's turn.
struct Visit {
    const Value* value;
    Draft draft;
    std::string location;
};
struct Register {
    std::string location;
    EntryKind kind;
};
struct Members {
    const Value* object;
    Draft draft;
    std::string location;
    std::size_t next = 0;
    bool ref_only = false;
};
struct Close {
    const Value* value;
    std::string location;
};
struct Reference {
    std::string text;
    std::string location;  // of the referring keyword
};
using Task = std::variant<Visit, Register, Members, Close, Reference>;

class Collector {
public:
    Collector(const LocationSet& unsatisfiable, KeywordWalkState& walk, EntryMap& entries)
        : unsatisfiable_(unsatisfiable), walk_(walk), facts_(*walk.predicates), entries_(entries) {}

    void run(const Value& value, Draft draft, std::string location) {
        tasks_.emplace_back(Visit{&value, draft, std::move(location)});
        while (!tasks_.empty()) {
            Task task = std::move(tasks_.back());
            tasks_.pop_back();
            std::visit([this](auto& t) { step(t); }, task);
        }
    }

private:
    void step(Visit& v) {
        if (auto note = find_unknown_dialect(*v.value, v.draft, v.location)) {
            bool known = false;
            for (const auto& n : walk_.unknown_dialects) known = known || n.location == note->location;
            if (!known) walk_.unknown_dialects.push_back(std::move(*note));
        }
        tasks_.emplace_back(Close{v.value, v.location});
        if (v.value->is_object()) {
            const bool ref_only = v.draft <= Draft::Draft7 && v.value->contains("$ref");
            tasks_.emplace_back(Members{v.value, v.draft, std::move(v.location), 0, ref_only});
        }
    }

    void step(Register& r) { entries_.ensure(std::move(r.location), r.kind); }

    void step(Close& c) {
        Polarity p = Polarity::Both;
        if (facts_.vacuous(*c.value)) {
            p = Polarity::ValidOnly;
        } else if (facts_.never_valid(*c.value) || unsatisfiable_.count(c.location) != 0) {
            p = Polarity::InvalidOnly;
        }
        entries_.ensure(std::move(c.location), EntryKind::subschema(p));
    }

    void step(Members& m) {
        const auto& members = m.object->as_object();
        while (m.next < members.size()) {
            const auto& member = members[m.next++];
            if (m.ref_only && member.key != "$ref") continue;
            if (!keyword_in_draft(m.draft, member.key)) continue;
            // The member's units go above this frame, so they run before the next member.
            Members rest = m;
            tasks_.emplace_back(std::move(rest));
            const std::size_t base = tasks_.size();
            expand(member.key, member.value, m.draft, m.location);
            if (tasks_.size() == base) {
                tasks_.pop_back();
                continue;
            }
            std::reverse(tasks_.begin() + static_cast<std::ptrdiff_t>(base), tasks_.end());
            return;
        }
    }

    void step(Reference& r) {
        auto found = facts_.resolve_local_ref(r.text);
        Polarity p = Polarity::Both;
        if (found) {
            if (facts_.vacuous_in_document(*found->target)) {
                p = Polarity::ValidOnly;
            } else if (facts_.never_valid(*found->target)) {
                p = Polarity::InvalidOnly;
            }
        }
        // Units pushed in reverse: the target's walk runs before the keyword's own entry.
        tasks_.emplace_back(Register{std::move(r.location), EntryKind::keyword(p)});
        if (found && walk_.visited_targets.insert(found->target).second) {
            tasks_.emplace_back(Visit{found->target, walk_.document_draft, std::move(found->pointer)});
        }
    }

    void add(std::string location, EntryKind kind) { tasks_.emplace_back(Register{std::move(location), kind}); }
    void recurse(const Value& s, Draft d, std::string location) {
        tasks_.emplace_back(Visit{&s, detect_draft(d, s), std::move(location)});
    }

    // Pushes, in walk order, the units of one member.
    void expand(std::string_view k, const Value& v, Draft d, const std::string& parent) {
        std::string c = child_location(parent, k);
        const auto keyword = [&](Polarity p) { add(c, EntryKind::keyword(p)); };
        if (k == "if" || k == "then" || k == "else" || k == "contains" || k == "propertyNames") {
            recurse(v, d, c);
        } else if (k == "not") {
            if ((v.is_bool() && v.as_bool()) || (v.is_object() && v.empty())) {
                keyword(Polarity::InvalidOnly);
            } else {
                recurse(v, d, c);
            }
        } else if (k == "enum" || k == "required" || k == "type") {
            if (!v.is_array()) {
                keyword(Polarity::Both);
                return;
            }
            const Polarity item_polarity = k == "required" ? Polarity::Both : Polarity::ValidOnly;
            const auto& items = v.as_array();
            for (std::size_t i = 0; i < items.size(); ++i)
                add(item_location(c, i), EntryKind::list_item(item_polarity));
            Polarity p = Polarity::Both;
            if (k == "type") {
                std::uint8_t mask = 0;
                for (const Value& item : items) {
                    if (item.is_string()) mask |= type_bit(item.as_string());
                }
                mask |= (mask >> 1) & 4;
                if (mask == 127) p = Polarity::ValidOnly;
            }
            keyword(p);
        } else if (k == "$ref" || k == "$dynamicRef") {
            if (v.is_string()) {
                tasks_.emplace_back(Reference{v.as_string(), std::move(c)});
            } else {
                keyword(Polarity::Both);
            }
        } else if (k == "$recursiveRef") {
            keyword(Polarity::Both);
        } else if (k == "allOf" || k == "anyOf" || k == "oneOf") {
            if (!v.is_array()) {
                keyword(Polarity::Both);
                return;
            }
            const auto& items = v.as_array();
            for (std::size_t i = 0; i < items.size(); ++i) recurse(items[i], d, item_location(c, i));
            Polarity p = Polarity::Both;
            if (k == "allOf") {
                bool all_vacuous = true;
                for (const Value& i : items) all_vacuous = all_vacuous && facts_.vacuous(i);
                if (all_vacuous || items.size() == 1) p = Polarity::ValidOnly;
            } else if (k == "anyOf") {
                bool some_vacuous = false;
                for (const Value& i : items) some_vacuous = some_vacuous || facts_.vacuous(i);
                if (some_vacuous || facts_.branches_cover_all_types(items)) p = Polarity::ValidOnly;
            }
            keyword(p);
        } else if (k == "items" || k == "prefixItems") {
            if (v.is_array()) {
                const auto& items = v.as_array();
                for (std::size_t i = 0; i < items.size(); ++i) recurse(items[i], d, item_location(c, i));
                keyword(Polarity::Both);
            } else if (k == "items") {
                recurse(v, d, c);
            } else {
                keyword(Polarity::Both);
            }
        } else if (k == "properties" || k == "patternProperties") {
            if (!v.is_object()) {
                keyword(Polarity::Both);
                return;
            }
            bool all_vacuous = true;
            for (const auto& m : v.as_object()) {
                recurse(m.value, d, child_location(c, m.key));
                all_vacuous = all_vacuous && facts_.vacuous(m.value);
            }
            keyword(all_vacuous ? Polarity::ValidOnly : Polarity::Both);
        } else if (k == "dependencies" || k == "dependentSchemas" || k == "dependentRequired") {
            if (v.is_object()) {
                for (const auto& m : v.as_object()) {
                    std::string q = child_location(c, m.key);
                    if (m.value.is_array()) {
                        for (std::size_t i = 0; i < m.value.size(); ++i)
                            add(item_location(q, i), EntryKind::list_item(Polarity::Both));
                        add(std::move(q), EntryKind::list_item(Polarity::Both));
                    } else {
                        recurse(m.value, d, std::move(q));
                    }
                }
            }
            keyword(Polarity::Both);
        } else if (k == "additionalProperties" || k == "additionalItems" || k == "unevaluatedItems" ||
                   k == "unevaluatedProperties") {
            if (!facts_.vacuous(v)) {
                recurse(v, d, c);
            } else {
                if (v.is_object() && !v.empty()) recurse(v, d, c);
                keyword(Polarity::ValidOnly);
            }
        } else if (k == "minItems" || k == "minLength" || k == "minProperties") {
            keyword(is_integer_zero(v) ? Polarity::ValidOnly : Polarity::Both);
        } else if (k == "maxItems" || k == "maxLength" || k == "maxProperties" || k == "maximum" || k == "minimum" ||
                   k == "multipleOf" || k == "const" || k == "minContains" || k == "maxContains") {
            keyword(Polarity::Both);
        } else if (k == "exclusiveMaximum" || k == "exclusiveMinimum" || k == "uniqueItems") {
            keyword(v.is_bool() && !v.as_bool() ? Polarity::ValidOnly : Polarity::Both);
        } else if (k == "format") {
            const bool pass_only =
                v.is_string() && (v.as_string() == "byte" || v.as_string() == "password" || v.as_string() == "binary");
            keyword(pass_only ? Polarity::ValidOnly : Polarity::Both);
        } else if (k == "pattern") {
            keyword(v.is_string() ? pattern_polarity(v.as_string()) : Polarity::Both);
        } else if (k == "nullable" || k == "x-nullable") {
            keyword(v.is_bool() && v.as_bool() ? Polarity::ValidOnly : Polarity::Both);
        } else if (k == "example" || k == "default") {
            add(std::move(c), EntryKind::example());
        } else if (k == "examples") {
            // The engine checks `examples` wherever the measured schema's options register it,
            // which they do for every draft of the document but 4, whatever a subschema's own
            // `$schema` says; the entries follow the engine so that every checked item has one.
            if (v.is_array() && walk_.document_draft != Draft::Draft4) {
                for (std::size_t i = 0; i < v.size(); ++i) add(item_location(c, i), EntryKind::example());
            }
        } else if (k == "contentSchema") {
            add(std::move(c), EntryKind::unmeasured(UnmeasuredReason::Annotation));
        } else if (k == "contentEncoding" || k == "contentMediaType") {
            if (d == Draft::Draft6 || d == Draft::Draft7) {
                keyword(Polarity::Both);
            } else {
                add(std::move(c), EntryKind::unmeasured(UnmeasuredReason::Annotation));
            }
        }
    }

    Polarity pattern_polarity(const std::string& pattern) {
        if (walk_.memo != nullptr) {
            auto& known = walk_.memo->pattern_polarities;
            if (auto it = known.find(std::string_view(pattern)); it != known.end()) return it->second;
            return known.emplace(pattern, read_pattern_polarity(pattern)).first->second;
        }
        return read_pattern_polarity(pattern);
    }
    static Polarity read_pattern_polarity(const std::string& pattern) {
        if (is_universal_pattern(pattern)) return Polarity::ValidOnly;
        if (is_unsatisfiable_pattern(pattern)) return Polarity::InvalidOnly;
        return Polarity::Both;
    }

    const LocationSet& unsatisfiable_;
    KeywordWalkState& walk_;
    SchemaPredicates& facts_;
    EntryMap& entries_;
    std::vector<Task> tasks_;
};

}  // namespace

KeywordWalkState new_keyword_walk_state(const Value& root, Draft document_draft) {
    KeywordWalkState walk;
    walk.document_draft = document_draft;
    walk.predicates = std::make_unique<SchemaPredicates>(root, document_draft);
    return walk;
}

void collect_keyword_targets(const Value& root, const Value& value, Draft draft, const LocationSet& unsatisfiable,
                             KeywordWalkState& walk, std::string location, EntryMap& entries) {
    if (!walk.predicates || &walk.predicates->root() != &root)
        walk.predicates = std::make_unique<SchemaPredicates>(root, walk.document_draft);
    Collector collector(unsatisfiable, walk, entries);
    collector.run(value, draft, std::move(location));
}

void add_xml_string_type_targets(const Value& schema, EntryMap& entries) {
    std::unordered_set<const Value*> visited;
    std::vector<std::pair<const Value*, std::string>> stack;
    stack.emplace_back(&schema, std::string());
    while (!stack.empty()) {
        auto [value, location] = std::move(stack.back());
        stack.pop_back();
        if (!visited.insert(value).second || !value->is_object()) continue;
        if (const Value* ref = value->find("$ref"); ref != nullptr && ref->is_string()) {
            std::string_view text = ref->as_string();
            while (!text.empty() && text.front() == '#') text.remove_prefix(1);
            if (const Value* target = deririrore::referencing::pointer_lookup(schema, text))
                stack.emplace_back(target, std::string(text));
            continue;
        }
        if (const Value* type = value->find("type");
            type != nullptr && type->is_string() && type->as_string() == "string")
            entries.set(location + "/type", EntryKind::keyword(Polarity::ValidOnly));
        // Pushed in reverse of the walk order, so that they are walked in it.
        std::vector<std::pair<const Value*, std::string>> children;
        if (const Value* props = value->find("properties"); props != nullptr && props->is_object()) {
            for (const auto& m : props->as_object())
                children.emplace_back(&m.value, child_location(location + "/properties", m.key));
        }
        if (const Value* items = value->find("items")) children.emplace_back(items, location + "/items");
        for (std::string_view k : {"anyOf", "oneOf", "allOf"}) {
            const Value* list = value->find(k);
            if (list == nullptr || !list->is_array()) continue;
            for (std::size_t i = 0; i < list->size(); ++i)
                children.emplace_back(&list->as_array()[i], item_location(child_location(location, k), i));
        }
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(std::move(*it));
    }
}

}  // namespace zavova
