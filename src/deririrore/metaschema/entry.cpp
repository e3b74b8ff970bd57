#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/metaschema/draft2019.hpp"
#include "deririrore/metaschema/draft2020.hpp"
#include "deririrore/metaschema/legacy.hpp"
#include "deririrore/metaschema/metaschema.hpp"
#include "deririrore/metaschema/modes.hpp"
#include "deririrore/referencing/meta.hpp"
#include "deririrore/referencing/resource.hpp"

namespace deririrore::metaschema {

namespace {

using detail::Legacy;

std::optional<Legacy> legacy_of(Draft draft) noexcept {
    switch (draft) {
        case Draft::Draft4:
            return Legacy::D4;
        case Draft::Draft6:
            return Legacy::D6;
        case Draft::Draft7:
            return Legacy::D7;
        default:
            return std::nullopt;
    }
}

// The internal unknown draft is checked as 2020-12, the draft its documents compile under.
bool is_draft2020(Draft draft) noexcept { return draft == Draft::Draft202012 || draft == Draft::Unknown; }

// Later drafts are checked by the one engine against the embedded meta-schema of the draft,
// compiled once per process.
const core::Validator& engine_meta_validator(Draft draft) {
    struct Slot {
        std::once_flag once;
        std::optional<core::Validator> validator;
    };
    static Slot slots[2];
    Slot& slot = slots[draft == Draft::Draft201909 ? 0 : 1];
    std::call_once(slot.once, [&] {
        Draft target = draft == Draft::Draft201909 ? Draft::Draft201909 : Draft::Draft202012;
        const auto& list = referencing::meta_schemas_for_draft(target);
        auto built = core::build_validator(*list.front().document,
                                           core::ValidationOptions().with_draft(target).with_validate_schema(false));
        if (!built) throw std::logic_error("embedded meta-schema does not compile: " + built.error().message());
        slot.validator.emplace(std::move(*built));
    });
    return *slot.validator;
}

bool too_deep_for_engine(const Value& document) {
    struct Item {
        const Value* value;
        unsigned depth;
    };
    std::vector<Item> stack{{&document, 0}};
    while (!stack.empty()) {
        Item item = stack.back();
        stack.pop_back();
        if (item.depth > kMaxMetaCheckDepth) return true;
        if (item.value->is_array())
            for (const auto& v : item.value->as_array()) stack.push_back({&v, item.depth + 1});
        else if (item.value->is_object())
            for (const auto& m : item.value->as_object()) stack.push_back({&m.value, item.depth + 1});
    }
    return false;
}

struct Embedded {
    const Value* subschema;
    Draft draft;
};

struct Detached {
    core::Location location;
    Draft draft;
    const Value* subschema;
};

Draft walk_rules(Draft draft) noexcept { return draft == Draft::Unknown ? Draft::Draft202012 : draft; }

// False when the document is nested deeper than the checkers go.
bool collect_embedded(Draft walk, Draft root, const Value& schema, std::vector<Embedded>& records, unsigned depth) {
    if (depth > kMaxMetaCheckDepth) return false;
    bool ok = true;
    referencing::subresources_of(walk_rules(walk), schema, [&](const Value& sub) {
        if (!ok) return;
        Draft d = walk;
        if (auto schema_text = referencing::string_member(sub, "$schema"))
            d = referencing::draft_from_url(*schema_text);
        if (d == Draft::Unknown || d == root) {
            ok = collect_embedded(d, root, sub, records, depth + 1);
            return;
        }
        auto id = referencing::draft_id_of(walk, sub);
        if (!id) id = referencing::draft_id_of(d, sub);
        if (id) {
            records.push_back({&sub, d});
            return;
        }
        ok = collect_embedded(d, root, sub, records, depth + 1);
    });
    return ok;
}

// A copy of the value with every embedded resource replaced by {}; the resources come out in
// document order. The depth is already bounded by collect_embedded's walk over the same value.
Value detach(const Value& value, const std::vector<Embedded>& records, const core::Location& location,
             std::vector<Detached>& detached) {
    for (const auto& r : records) {
        if (r.subschema == &value) {
            detached.push_back({location, r.draft, &value});
            return Value::object();
        }
    }
    if (value.is_array()) {
        Value::Array items;
        items.reserve(value.as_array().size());
        std::uint64_t i = 0;
        for (const auto& item : value.as_array())
            items.push_back(detach(item, records, core::append_index_to_location(location, i++), detached));
        return Value::array(std::move(items));
    }
    if (value.is_object()) {
        Value::Object members;
        members.reserve(value.as_object().size());
        for (const auto& m : value.as_object())
            members.push_back({m.key, detach(m.value, records, core::location_join_key(location, m.key), detached)});
        return Value::object(std::move(members));
    }
    return value;
}

// Embedded resources sit below the root, so the copy is at most one level shallower than the
// checked document: bounding the walk bounds the copy too.
std::optional<ValidationError> relocate(ValidationError error, const core::Location& prefix) {
    ValidationError owned = core::error_into_owned(std::move(error));
    core::Location joined = core::join_locations(prefix, owned.instance_path().view());
    ValidationError moved(core::EvaluationPath{}, std::move(owned.kind()),
                          std::make_shared<const Value>(owned.instance()), std::move(joined), owned.schema_path());
    return moved;
}

}  // namespace

bool has_dedicated_checker(Draft draft) noexcept {
    return legacy_of(draft).has_value() || draft == Draft::Draft201909 || is_draft2020(draft);
}

std::optional<ValidationError> check_meta_schema(Draft draft, const Value& document) {
    if (auto legacy = legacy_of(draft)) return detail::legacy_first_error(*legacy, document);
    if (draft == Draft::Draft201909) return detail::draft201909_first_error(document);
    if (is_draft2020(draft)) return draft2020_first_error(document);
    if (too_deep_for_engine(document)) {
        core::LazyLocation root;
        return detail::depth_error(document, root);
    }
    return engine_meta_validator(draft).validate(document);
}

bool is_valid_meta_schema(Draft draft, const Value& document) {
    if (auto legacy = legacy_of(draft)) return detail::legacy_is_valid(*legacy, document);
    if (draft == Draft::Draft201909) return detail::draft201909_is_valid(document);
    if (is_draft2020(draft)) return draft2020_is_valid(document);
    if (too_deep_for_engine(document)) return false;
    return engine_meta_validator(draft).is_valid(document);
}

std::vector<ValidationError> collect_meta_schema_errors(Draft draft, const Value& document) {
    if (auto legacy = legacy_of(draft)) return detail::legacy_errors(*legacy, document);
    if (draft == Draft::Draft201909) return detail::draft201909_errors(document);
    if (is_draft2020(draft)) return draft2020_errors(document);
    if (too_deep_for_engine(document)) {
        core::LazyLocation root;
        std::vector<ValidationError> list;
        list.push_back(detail::depth_error(document, root));
        return list;
    }
    return engine_meta_validator(draft).iter_errors(document);
}

bool contains_nested_schema_keyword(const Value& value) {
    std::vector<const Value*> stack{&value};
    while (!stack.empty()) {
        const Value* v = stack.back();
        stack.pop_back();
        if (v->is_object()) {
            if (v->contains("$schema")) return true;
            const auto& members = v->as_object();
            for (auto it = members.rbegin(); it != members.rend(); ++it) stack.push_back(&it->value);
        } else if (v->is_array()) {
            const auto& items = v->as_array();
            for (auto it = items.rbegin(); it != items.rend(); ++it) stack.push_back(&*it);
        }
    }
    return false;
}

std::optional<ValidationError> validate_against_meta_schema(Draft draft, const Value& document) {
    if (document.is_bool()) return std::nullopt;
    if (document.is_object() && document.as_object().empty()) return std::nullopt;

    std::vector<Embedded> records;
    if (document.is_object()) {
        for (const auto& m : document.as_object()) {
            if (!contains_nested_schema_keyword(m.value)) continue;
            if (!collect_embedded(draft, draft, document, records, 0)) {
                core::LazyLocation root;
                return core::error_into_owned(detail::depth_error(document, root));
            }
            break;
        }
    }
    if (records.empty()) {
        auto error = check_meta_schema(draft, document);
        if (!error) return std::nullopt;
        return core::error_into_owned(std::move(*error));
    }

    std::vector<Detached> detached;
    Value copy = detach(document, records, core::Location(), detached);
    if (auto error = check_meta_schema(draft, copy)) return core::error_into_owned(std::move(*error));
    for (const auto& d : detached) {
        if (auto error = validate_against_meta_schema(d.draft, *d.subschema))
            return relocate(std::move(*error), d.location);
    }
    return std::nullopt;
}

}  // namespace deririrore::metaschema
