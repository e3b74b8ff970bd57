#include "deririrore/canonical/causes.hpp"

#include <algorithm>
#include <string_view>
#include <vector>

#include "deririrore/core/internal_error.hpp"

namespace deririrore::canonical {

namespace {

using value::Value;

const std::vector<std::vector<std::string_view>> kGroupKeywords = {
    {"type", "enum", "const"},
    {"minLength", "maxLength", "pattern", "format", "contentEncoding", "contentMediaType", "contentSchema"},
    {"minimum", "maximum", "exclusiveMinimum", "exclusiveMaximum", "multipleOf"},
    {"items", "prefixItems", "additionalItems", "contains", "minContains", "maxContains", "minItems", "maxItems",
     "uniqueItems", "unevaluatedItems"},
    {"properties", "patternProperties", "additionalProperties", "required", "propertyNames", "minProperties",
     "maxProperties", "unevaluatedProperties"},
    {"anyOf"},
    {"oneOf"},
    {"not"},
    {"if", "then", "else"},
    {"dependencies"},
    {"dependentRequired"},
    {"dependentSchemas"},
    {"$ref", "$dynamicRef", "$recursiveRef"},
    {"allOf"},
};

template <class F>
void for_each_chain(const PendingCauses& causes, F&& f) {
    if (const auto* one = std::get_if<CauseChain>(&causes.data)) f(*one);
    if (const auto* list = std::get_if<std::vector<CauseChain>>(&causes.data)) {
        for (const auto& chain : *list) f(chain);
    }
}

}  // namespace

void append_pointer_token(std::string& pointer, std::string_view token) {
    pointer += '/';
    for (char c : token) {
        if (c == '~')
            pointer += "~0";
        else if (c == '/')
            pointer += "~1";
        else
            pointer += c;
    }
}

std::unordered_set<ValueId> collect_cause_objects(const CauseSources& sources) {
    std::unordered_set<ValueId> out;
    auto add = [&out](const PendingCauses& causes) {
        for_each_chain(causes, [&out](const CauseChain& chain) {
            for (const CauseChain* link = &chain; link != nullptr; link = link->next.get()) out.insert(link->object);
        });
    };
    if (sources.reasons) {
        for (const auto& [id, reason] : *sources.reasons) {
            if (const auto* causes = std::get_if<PendingCauses>(&reason.data)) add(*causes);
        }
    }
    if (sources.settled) {
        for (const auto& [id, causes] : *sources.settled) add(causes);
    }
    return out;
}

bool reference_leads_to_unsatisfiable(std::string name, const CauseSources& sources) {
    std::unordered_set<std::string> visited;
    // Each step visits a new name, so the loop ends within the number of names.
    while (visited.insert(name).second) {
        if (sources.target_aliases) {
            if (auto it = sources.target_aliases->find(name); it != sources.target_aliases->end()) {
                if (!it->second) return true;
                name = **it->second;
                continue;
            }
        }
        const Schema* node = nullptr;
        if (name == "#") {
            node = sources.root_node;
        } else if (sources.targets) {
            if (auto it = sources.targets->find(name); it != sources.targets->end()) node = &it->second;
        }
        if (node == nullptr) return false;
        if (const auto* reference = (*node)->as<kind::Reference>()) {
            name = *reference->name;
            continue;
        }
        return is_false(*node);
    }
    return false;
}

std::vector<UnsatisfiableLocation> find_unsatisfiable_locations(const Value& root, const CauseSources& sources,
                                                                const std::unordered_set<ValueId>& cause_objects,
                                                                CausePointers& pointers) {
    std::vector<UnsatisfiableLocation> out;
    struct Frame {
        const Value* value;
        std::size_t next_child;
        std::size_t pointer_length;
    };
    std::string pointer;
    // One answer per target name, so many references into one long chain of
    // aliases cost the chain once.
    std::unordered_map<std::string, bool> leads;
    auto leads_to_unsatisfiable = [&](const std::string& name) {
        auto it = leads.find(name);
        if (it == leads.end()) it = leads.emplace(name, reference_leads_to_unsatisfiable(name, sources)).first;
        return it->second;
    };
    auto visit = [&](const Value& v) {
        if (cause_objects.count(&v)) pointers[&v] = pointer;
        if (sources.settled) {
            if (auto it = sources.settled->find(&v); it != sources.settled->end()) {
                out.push_back(UnsatisfiableLocation{pointer, &v, &it->second});
                return;
            }
        }
        if (!sources.reasons) return;
        auto it = sources.reasons->find(&v);
        if (it == sources.reasons->end()) return;
        if (const auto* causes = std::get_if<PendingCauses>(&it->second.data)) {
            if (!causes->is_unset()) out.push_back(UnsatisfiableLocation{pointer, &v, causes});
        } else if (leads_to_unsatisfiable(*std::get<SharedString>(it->second.data))) {
            out.push_back(UnsatisfiableLocation{pointer, &v, nullptr});
        }
    };
    // An explicit stack: documents may nest deeper than the call stack allows.
    std::vector<Frame> stack;
    visit(root);
    stack.push_back(Frame{&root, 0, 0});
    while (!stack.empty()) {
        Frame& top = stack.back();
        const Value& v = *top.value;
        const std::size_t count = v.is_array() || v.is_object() ? v.size() : 0;
        if (top.next_child >= count) {
            pointer.resize(top.pointer_length);
            stack.pop_back();
            continue;
        }
        const std::size_t i = top.next_child++;
        const std::size_t length = pointer.size();
        pointer.resize(length);
        const Value* child;
        if (v.is_array()) {
            pointer += '/';
            pointer += std::to_string(i);
            child = &v.as_array()[i];
        } else {
            const auto& member = v.as_object()[i];
            append_pointer_token(pointer, member.key);
            child = &member.value;
        }
        visit(*child);
        stack.push_back(Frame{child, 0, length});
    }
    return out;
}

std::vector<std::string> cause_keywords(CauseGroup group, const Value& object) {
    if (!object.is_object()) throw InternalError("a cause names a schema object");
    std::vector<std::string> out;
    if (group >= kGroupKeywords.size()) return out;
    for (std::string_view keyword : kGroupKeywords[group]) {
        if (object.contains(keyword)) out.emplace_back(keyword);
    }
    return out;
}

CanonicalCause build_cause_record(const CauseChain& chain, const std::string& location_pointer,
                                  const Value& location_value, const CausePointers& pointers) {
    const CauseChain* last = &chain;
    for (const CauseChain* link = &chain; link != nullptr; link = link->next.get()) {
        last = link;
        auto it = pointers.find(link->object);
        if (it == pointers.end()) continue;
        if (link->group == cause_group::kAllOfBranch) return CanonicalCause{it->second, {}};
        return CanonicalCause{it->second, cause_keywords(link->group, *link->object)};
    }
    const CauseGroup group = last->group == cause_group::kAllOfBranch ? cause_group::kAllOfItem : last->group;
    return CanonicalCause{location_pointer, cause_keywords(group, location_value)};
}

UnsatisfiableCauses causes_of_location(const UnsatisfiableLocation& location, const CausePointers& pointers) {
    const Value& value = *location.value;
    if (location.causes == nullptr)
        return UnsatisfiableCauses{CanonicalCause{location.pointer, cause_keywords(cause_group::kReference, value)}};
    const auto& data = location.causes->data;
    if (const auto* one = std::get_if<CauseChain>(&data))
        return UnsatisfiableCauses{build_cause_record(*one, location.pointer, value, pointers)};
    if (const auto* list = std::get_if<std::vector<CauseChain>>(&data)) {
        std::vector<CanonicalCause> causes;
        causes.reserve(list->size());
        for (const auto& chain : *list) causes.push_back(build_cause_record(chain, location.pointer, value, pointers));
        return UnsatisfiableCauses{std::move(causes)};
    }
    return UnsatisfiableCauses{UnsatisfiableCauses::NoCause{}};
}

}  // namespace deririrore::canonical
