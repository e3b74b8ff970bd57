#include "vantorel/model/hydration.hpp"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "deririrore/core/internal_error.hpp"
#include "deririrore/referencing/pointer.hpp"
#include "deririrore/referencing/resource.hpp"
#include "deririrore/referencing/walk.hpp"
#include "vantorel/model/dialect_draft.hpp"
#include "vantorel/model/reference_paths.hpp"

namespace vantorel::model {

namespace {

using deririrore::make_unexpected;
using deririrore::referencing::detect_draft;
using deririrore::referencing::Draft;
using deririrore::referencing::draft_id_of;
using deririrore::referencing::push_pointer_segment;

constexpr std::size_t kHydrationDocument = 0;

// Members that hold values, not schemas: a `$ref` inside them is data.
bool is_data_member(std::string_view key) noexcept {
    return key == "example" || key == "examples" || key == "enum" || key == "const" || key == "default" ||
           key.starts_with("x-");
}

// Keywords whose object value maps names to schemas: a member named like a data keyword is a schema there.
bool is_schema_map_keyword(std::string_view key) noexcept {
    return key == "properties" || key == "patternProperties" || key == "definitions" || key == "$defs" ||
           key == "dependentSchemas" || key == "dependencies";
}

struct PlacedDocument {
    std::string directory;
    std::string name;
    std::string placement;
    const Value* document = nullptr;
    std::optional<AnchorIndex> anchor_index;
};

struct WalkItem {
    std::size_t origin = kHydrationDocument;  // 0, or 1 + the index of a PlacedDocument
    std::optional<std::size_t> resource_root;
    const Value* value = nullptr;
    std::size_t step = 0;
    bool walk_anyway = false;
    // The object maps names to schemas (the value of `properties` and the like).
    bool names = false;
    std::string_view key;  // the member key this value was reached under; empty for items and roots
};

struct Target {
    std::size_t origin = kHydrationDocument;
    std::string pointer;
};

// "#" and a JSON pointer as a URI fragment: the characters a fragment may not hold (a space in a
// file name, say) are percent-encoded, so that the compiler reads the reference back as written.
std::string fragment_reference(std::string_view pointer) {
    static constexpr std::string_view kAllowed = "-._~!$&'()*+,;=:@/?";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "#";
    out.reserve(pointer.size() + 1);
    for (const char c : pointer) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || kAllowed.find(c) != std::string_view::npos;
        if (plain) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0xF]);
        }
    }
    return out;
}

ReferenceFailure unsupported(std::string_view reference) {
    return reference_failures::Unsupported{std::string(reference)};
}

AnchorIndex anchors_of(const Value& root, Draft draft, std::string_view prefix) {
    AnchorIndex index;
    for (const auto& anchor : deririrore::referencing::walk_subresources_with_paths(root, draft)) {
        index.try_emplace(std::string(anchor.name), std::string(prefix) + anchor.pointer);
    }
    return index;
}

// The value at a JSON pointer, for changing it.
Value* pointer_lookup_mut(Value& root, std::string_view pointer) {
    return const_cast<Value*>(deririrore::referencing::pointer_lookup(root, pointer));
}

// Identities of the subschemas the object's keywords hold, sorted for lookup.
std::vector<const Value*> list_subschemas(const Value& value, Draft draft) {
    std::vector<const Value*> out;
    deririrore::referencing::for_each_keyword_subschema(
        deririrore::referencing::KeywordTable::Crawl, draft, value,
        [&](std::string_view, const Value& child, const deririrore::referencing::SubschemaPosition&) {
            out.push_back(&child);
        });
    std::sort(out.begin(), out.end());
    return out;
}

struct DraftedValue {
    Value* value;
    Draft draft;
};

void push_child_subschemas(Value& member, const std::vector<const Value*>& subschemas, Draft parent_draft,
                           std::vector<DraftedValue>& work) {
    const auto is_subschema = [&](const Value& v) {
        return std::binary_search(subschemas.begin(), subschemas.end(), &v);
    };
    const auto push = [&](Value& v) {
        const Draft draft = detect_draft(parent_draft, v);
        if (draft_id_of(draft, v)) return;
        work.push_back({&v, draft});
    };
    if (is_subschema(member)) {
        push(member);
    } else if (member.is_array()) {
        for (auto& item : member.mutable_array())
            if (is_subschema(item)) push(item);
    } else if (member.is_object()) {
        // Member values are changed only through their own "$ref" strings, never restructured.
        for (const auto& inner : member.as_object()) {
            if (is_subschema(inner.value)) push(const_cast<Value&>(inner.value));
        }
    }
}

class Hydration {
public:
    Hydration(Value& schema, HydrationState& hydration, const HydrationOptions* options)
        : schema_(schema), hydration_(hydration), options_(options) {}

    Result<Value, ReferenceFailure> run() {
        steps_.reserve(32);
        stack_.reserve(32);
        steps_.push_back(path_steps::Root{});
        stack_.push_back(WalkItem{kHydrationDocument, std::nullopt, &schema_, 0, false, false, {}});
        while (!stack_.empty()) {
            WalkItem item = stack_.back();
            stack_.pop_back();
            if (auto failure = visit(item)) return make_unexpected(std::move(*failure));
        }
        if (!seen_.empty()) {
            if (!placements_.is_object()) throw deririrore::InternalError("Should be an object");
            if (schema_.is_null()) schema_ = Value::object();
            if (schema_.is_object()) {
                for (auto& member : placements_.as_object())
                    schema_.insert_or_assign(member.key, std::move(const_cast<Value&>(member.value)));
            }
            rewrite_embedded_resources();
        }
        if (!renames_.empty()) rename_references();
        if (!placed_.empty()) place_referenced_files();
        return std::move(schema_);
    }

private:
    const Value& origin_root(std::size_t origin) const {
        return origin == kHydrationDocument ? *hydration_.document : *placed_[origin - 1].document;
    }

    std::optional<ReferenceFailure> visit(const WalkItem& item) {
        const Value& value = *item.value;
        if (value.is_array()) {
            const auto& items = value.as_array();
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (!items[i].is_array() && !items[i].is_object()) continue;
                steps_.push_back(path_steps::Item{item.step, i});
                stack_.push_back(
                    WalkItem{item.origin, item.resource_root, &items[i], steps_.size() - 1, false, false, {}});
            }
            return std::nullopt;
        }
        if (!value.is_object()) return std::nullopt;
        WalkItem current = item;
        if (!item.names && &value != &schema_ && !item.walk_anyway) {
            const Draft draft = detect_draft(hydration_.draft, value);
            if (draft_id_of(draft, value)) {
                if (item.origin == kHydrationDocument) return std::nullopt;
                current.resource_root = item.step;
            }
        }
        if (!item.names) {
            if (const Value* ref = value.find("$ref"); ref != nullptr && ref->is_string()) {
                if (auto failure = handle_reference(current, ref->as_string())) return failure;
            }
        }
        push_members(current);
        return std::nullopt;
    }

    void push_members(const WalkItem& item) {
        const bool components = item.key == "components";
        for (const auto& member : item.value->as_object()) {
            if (!member.value.is_array() && !member.value.is_object()) continue;
            if (!item.names && is_data_member(member.key)) continue;
            const bool names = !item.names && member.value.is_object() &&
                               (is_schema_map_keyword(member.key) || (components && member.key == "schemas"));
            steps_.push_back(path_steps::Member{item.step, member.key});
            stack_.push_back(
                WalkItem{item.origin, item.resource_root, &member.value, steps_.size() - 1, false, names, member.key});
        }
    }

    std::optional<ReferenceFailure> handle_reference(const WalkItem& item, const std::string& reference) {
        if (item.origin != kHydrationDocument) return handle_file_reference_in_placed(item, reference);
        if (reference.starts_with("#/")) {
            auto decoded = percent_decode_utf8(std::string_view(reference).substr(1));
            if (!decoded) return reference_failures::PercentEncoding{reference, decoded.error()};
            return take_target(Target{kHydrationDocument, std::move(*decoded)}, reference);
        }
        if (reference.size() > 1 && reference[0] == '#') {
            if (!hydration_.anchor_index) build_document_anchor_index(hydration_);
            auto found = hydration_.anchor_index->find(reference.substr(1));
            if (found == hydration_.anchor_index->end()) return std::nullopt;
            renames_.try_emplace(reference, fragment_reference(found->second));
            return take_target(Target{kHydrationDocument, found->second}, reference);
        }
        if (reference == "#") return unsupported(reference);
        if (options_ == nullptr || has_uri_scheme(reference)) return unsupported(reference);
        return handle_file_reference(item, reference, options_->base);
    }

    std::optional<ReferenceFailure> handle_file_reference_in_placed(const WalkItem& item,
                                                                    const std::string& reference) {
        const std::size_t index = item.origin - 1;
        if (!reference.starts_with("#")) {
            if (has_uri_scheme(reference)) return unsupported(reference);
            return handle_file_reference(item, reference, placed_[index].directory);
        }
        auto pointer = resolve_reference_fragment(index, reference, std::string_view(reference).substr(1));
        if (!pointer) return std::move(pointer).error();
        std::string target = std::move(*pointer);
        if (item.resource_root && (reference.size() == 1 || reference[1] == '/')) {
            std::string root = pointer_from_steps(steps_, *item.resource_root);
            const std::string& placement = placed_[index].placement;
            if (root.starts_with(placement)) root.erase(0, placement.size());
            target = root + target;
        }
        rewrites_.emplace_back(pointer_from_steps(steps_, item.step),
                               fragment_reference(placed_[index].placement + target));
        return take_target(Target{item.origin, std::move(target)}, reference);
    }

    std::optional<ReferenceFailure> handle_file_reference(const WalkItem& item, const std::string& reference,
                                                          std::string_view base) {
        const std::size_t hash = reference.find('#');
        const std::string_view path_part = std::string_view(reference).substr(0, hash);
        const std::string_view fragment =
            hash == std::string::npos ? std::string_view() : std::string_view(reference).substr(hash + 1);
        auto decoded = percent_decode_utf8(path_part);
        if (!decoded) return reference_failures::PercentEncoding{reference, decoded.error()};
        std::string file = normalize_reference_path(join_reference_path(base, *decoded));
        std::size_t index = 0;
        if (auto known = paths_.find(file); known != paths_.end()) {
            index = known->second;
        } else {
            auto document = options_->retriever->retrieve(file, reference);
            if (!document) {
                if (const auto* failure = document.error().get_if<problems::Reference>()) return failure->failure;
                return reference_failures::Unresolvable{reference};
            }
            PlacedDocument placed;
            placed.directory = parent_directory(file);
            placed.name = placement_name(file);
            placed.placement = placement_pointer(placed.name);
            placed.document = *document;
            placed_.push_back(std::move(placed));
            index = placed_.size() - 1;
            paths_.emplace(std::move(file), index);
        }
        auto pointer = resolve_reference_fragment(index, reference, fragment);
        if (!pointer) return std::move(pointer).error();
        rewrites_.emplace_back(pointer_from_steps(steps_, item.step),
                               fragment_reference(placed_[index].placement + *pointer));
        return take_target(Target{index + 1, std::move(*pointer)}, reference);
    }

    // The file's name relative to the base directory: ".." for each base component it does not share.
    std::string placement_name(std::string_view file) const {
        const std::string base = normalize_reference_path(options_->base_directory);
        if (!file.empty() && file.front() == '/' && (base.empty() || base.front() != '/')) return std::string(file);
        const auto components = [](std::string_view path) {
            std::vector<std::string_view> out;
            if (path.starts_with("/")) {
                out.push_back("/");
                path.remove_prefix(1);
            }
            while (!path.empty()) {
                const std::size_t slash = path.find('/');
                std::string_view part = path.substr(0, slash);
                if (!part.empty()) out.push_back(part);
                if (slash == std::string_view::npos) break;
                path.remove_prefix(slash + 1);
            }
            return out;
        };
        const auto f = components(file);
        const auto b = components(base);
        std::size_t k = 0;
        while (k < f.size() && k < b.size() && f[k] == b[k]) ++k;
        std::string name;
        const auto add = [&](std::string_view part) {
            if (!name.empty()) name.push_back('/');
            name.append(part);
        };
        for (std::size_t i = k; i < b.size(); ++i) add("..");
        for (std::size_t i = k; i < f.size(); ++i) add(f[i]);
        return name;
    }

    std::string placement_pointer(std::string& name) const {
        std::string pointer;
        for (const auto& segment : options_->component_root) {
            pointer.push_back('/');
            push_pointer_segment(pointer, segment);
        }
        if (const Value* container = deririrore::referencing::pointer_lookup(*hydration_.document, pointer);
            container != nullptr && container->is_object() && container->contains(name)) {
            name = "./" + name;
        }
        pointer.push_back('/');
        push_pointer_segment(pointer, name);
        return pointer;
    }

    Result<std::string, ReferenceFailure> resolve_reference_fragment(std::size_t index, std::string_view reference,
                                                                     std::string_view fragment) {
        PlacedDocument& placed = placed_[index];
        if (fragment.empty()) return std::string();
        if (fragment.front() == '/') {
            auto decoded = percent_decode_utf8(fragment);
            if (!decoded) {
                return make_unexpected(
                    ReferenceFailure(reference_failures::PercentEncoding{std::string(reference), decoded.error()}));
            }
            return std::move(*decoded);
        }
        if (!placed.anchor_index) {
            placed.anchor_index = anchors_of(*placed.document, detect_draft(hydration_.draft, *placed.document), "");
        }
        auto found = placed.anchor_index->find(std::string(fragment));
        if (found == placed.anchor_index->end()) {
            return make_unexpected(
                ReferenceFailure(reference_failures::Unresolvable{placed.name + "#" + std::string(fragment)}));
        }
        return found->second;
    }

    std::string describe_unresolvable_target(const Target& target, std::string_view reference) const {
        if (target.origin == kHydrationDocument) return std::string(reference);
        const std::size_t hash = reference.find('#');
        const std::string_view fragment =
            hash == std::string_view::npos ? std::string_view() : reference.substr(hash + 1);
        return placed_[target.origin - 1].name + "#" + std::string(fragment);
    }

    std::optional<ReferenceFailure> take_target(Target target, std::string_view reference) {
        auto key = std::make_pair(target.origin, target.pointer);
        if (seen_.contains(key)) return std::nullopt;
        seen_.insert(std::move(key));
        auto source = place(target, reference);
        if (!source) return std::move(source).error();
        std::string prefix = target.origin == kHydrationDocument
                                 ? target.pointer
                                 : placed_[target.origin - 1].placement + target.pointer;
        steps_.push_back(path_steps::Root{std::move(prefix)});
        const bool whole_file = target.origin != kHydrationDocument && target.pointer.empty();
        stack_.push_back(WalkItem{target.origin, std::nullopt, *source, steps_.size() - 1, whole_file, false, {}});
        return std::nullopt;
    }

    // Copies the target into the placements at its pointer; the source value it found.
    Result<const Value*, ReferenceFailure> place(const Target& target, std::string_view reference) {
        const auto unresolvable = [&] {
            return make_unexpected(
                ReferenceFailure(reference_failures::Unresolvable{describe_unresolvable_target(target, reference)}));
        };
        const Value* source = &origin_root(target.origin);
        Value* destination = nullptr;
        if (target.origin == kHydrationDocument) {
            // A document whose root is not an object cannot lend its members to the schema's root.
            if (!source->is_object()) return make_unexpected(unsupported(reference));
            destination = &placements_;
        } else {
            destination = &files_by_name_[placed_[target.origin - 1].name];
        }
        std::string_view pointer = target.pointer;
        const std::size_t first = pointer.find('/');
        pointer = first == std::string_view::npos ? std::string_view() : pointer.substr(first + 1);
        const bool has_tokens = first != std::string_view::npos;
        std::string scratch;
        while (has_tokens) {
            const std::size_t slash = pointer.find('/');
            const std::string_view raw = pointer.substr(0, slash);
            const std::string_view token = deririrore::referencing::unescape_pointer_segment(raw, scratch);
            if (source->is_array()) {
                auto index = deririrore::referencing::parse_strict_index(token);
                if (!index || *index >= source->as_array().size()) return unresolvable();
                if (!destination->is_array()) *destination = Value::array();
                auto& items = destination->mutable_array();
                while (items.size() < *index + 1) items.push_back(Value::object());
                source = &source->as_array()[*index];
                destination = &items[*index];
            } else if (source->is_object()) {
                const Value* member = source->find(token);
                if (member == nullptr) return unresolvable();
                if (!destination->is_object()) *destination = Value::object();
                Value* slot = destination->find_mut(token);
                if (slot == nullptr) {
                    destination->insert_or_assign(std::string(token), Value::null());
                    slot = destination->find_mut(token);
                }
                source = member;
                destination = slot;
            } else {
                return unresolvable();
            }
            if (slash == std::string_view::npos) break;
            pointer.remove_prefix(slash + 1);
        }
        if (source->is_object()) {
            if (!destination->is_object()) *destination = Value::object();
            for (const auto& member : source->as_object()) destination->insert_or_assign(member.key, member.value);
        } else {
            *destination = *source;
        }
        return source;
    }

    // Members of "/components/schemas" with their own identifier: their internal references
    // become pointers of the hydration document.
    void rewrite_embedded_resources() {
        Value* schemas = pointer_lookup_mut(schema_, "/components/schemas");
        if (schemas == nullptr || !schemas->is_object()) return;
        for (const auto& member : schemas->as_object()) {
            Value& resource = const_cast<Value&>(member.value);
            const Draft draft = detect_draft(hydration_.draft, resource);
            if (!draft_id_of(draft, resource)) continue;
            std::string prefix = "/components/schemas/";
            push_pointer_segment(prefix, member.key);
            const AnchorIndex anchors = anchors_of(resource, draft, prefix);
            std::vector<DraftedValue> work{{&resource, draft}};
            while (!work.empty()) {
                DraftedValue current = work.back();
                work.pop_back();
                if (!current.value->is_object()) continue;
                const auto subschemas = list_subschemas(*current.value, current.draft);
                for (const auto& inner : current.value->as_object()) {
                    Value& value = const_cast<Value&>(inner.value);
                    if (inner.key == "$ref") {
                        if (value.is_string() && value.as_string().starts_with("#")) {
                            value = Value::string(rewritten_embedded_reference(value.as_string(), prefix, anchors));
                        }
                    } else {
                        push_child_subschemas(value, subschemas, current.draft, work);
                    }
                }
            }
        }
    }

    std::string rewritten_embedded_reference(const std::string& reference, const std::string& prefix,
                                             const AnchorIndex& anchors) const {
        if (reference == "#") return fragment_reference(prefix);
        if (reference.starts_with("#/")) {
            auto decoded = percent_decode_utf8(std::string_view(reference).substr(1));
            if (!decoded) return reference;
            std::string combined = prefix + *decoded;
            if (deririrore::referencing::pointer_lookup(*hydration_.document, combined) == nullptr) return reference;
            return fragment_reference(combined);
        }
        auto found = anchors.find(reference.substr(1));
        return found == anchors.end() ? reference : fragment_reference(found->second);
    }

    void rename_reference(Value& value) const {
        if (!value.is_string()) return;
        auto found = renames_.find(value.as_string());
        if (found != renames_.end()) value = Value::string(found->second);
    }

    void rename_references() {
        if (!schema_.is_object()) return;
        const Draft root_draft = detect_draft(hydration_.draft, schema_);
        std::vector<DraftedValue> work;
        const auto root_subschemas = list_subschemas(schema_, root_draft);
        for (const auto& member : schema_.as_object()) {
            Value& value = const_cast<Value&>(member.value);
            if (member.key == "components") {
                Value* schemas = value.is_object() ? value.find_mut("schemas") : nullptr;
                if (schemas == nullptr || !schemas->is_object()) continue;
                for (const auto& component : schemas->as_object()) {
                    Value& target = const_cast<Value&>(component.value);
                    const Draft draft = detect_draft(root_draft, target);
                    if (!draft_id_of(draft, target)) work.push_back({&target, draft});
                }
            } else if (member.key == "$ref") {
                rename_reference(value);
            } else {
                push_child_subschemas(value, root_subschemas, root_draft, work);
            }
        }
        while (!work.empty()) {
            DraftedValue current = work.back();
            work.pop_back();
            if (!current.value->is_object()) continue;
            const auto subschemas = list_subschemas(*current.value, current.draft);
            for (const auto& inner : current.value->as_object()) {
                Value& value = const_cast<Value&>(inner.value);
                if (inner.key == "$ref") {
                    rename_reference(value);
                } else {
                    push_child_subschemas(value, subschemas, current.draft, work);
                }
            }
        }
    }

    void place_referenced_files() {
        Value* container = &schema_;
        for (const auto& segment : options_->component_root) {
            if (!container->is_object()) {
                container = nullptr;
                break;
            }
            Value* next = container->find_mut(segment);
            if (next == nullptr) {
                container->insert_or_assign(segment, Value::object());
                next = container->find_mut(segment);
            }
            container = next;
        }
        if (container != nullptr && container->is_object()) {
            for (auto& [name, value] : files_by_name_) {
                if (value.is_object()) {
                    value.erase("$id");
                    if (const Value* id = value.find("id"); id != nullptr && id->is_string()) value.erase("id");
                }
                container->insert_or_assign(name, std::move(value));
            }
        }
        for (const auto& [location, text] : rewrites_) {
            Value* holder = pointer_lookup_mut(schema_, location);
            if (holder != nullptr && holder->is_object()) holder->insert_or_assign("$ref", Value::string(text));
        }
    }

    Value& schema_;
    HydrationState& hydration_;
    const HydrationOptions* options_;
    std::vector<PathStep> steps_;
    std::vector<WalkItem> stack_;
    std::set<std::pair<std::size_t, std::string>> seen_;
    Value placements_ = Value::object();
    std::map<std::string, std::string, std::less<>> renames_;
    std::vector<PlacedDocument> placed_;
    std::map<std::string, std::size_t, std::less<>> paths_;
    std::map<std::string, Value, std::less<>> files_by_name_;
    std::vector<std::pair<std::string, std::string>> rewrites_;
};

}  // namespace

void build_document_anchor_index(HydrationState& hydration) {
    AnchorIndex index;
    const Value* schemas = hydration.document == nullptr
                               ? nullptr
                               : deririrore::referencing::pointer_lookup(*hydration.document, "/components/schemas");
    if (schemas != nullptr && schemas->is_object()) {
        for (const auto& member : schemas->as_object()) {
            if (!member.value.is_object()) continue;
            const Draft draft = detect_draft(hydration.draft, member.value);
            if (draft_id_of(draft, member.value)) continue;
            std::string prefix = "/components/schemas/";
            push_pointer_segment(prefix, member.key);
            for (auto& [name, pointer] : anchors_of(member.value, draft, prefix)) index.try_emplace(name, pointer);
        }
    }
    hydration.anchor_index = std::move(index);
}

Result<Value, ReferenceFailure> hydrate_openapi_document(Value schema, HydrationState& hydration,
                                                         const HydrationOptions* options) {
    static const Value kEmptyDocument = Value::object();
    if (hydration.document == nullptr) hydration.document = &kEmptyDocument;
    return Hydration(schema, hydration, options).run();
}

Result<Value, SpecProblem> hydrate_schema(ReferenceContext& context, Value schema, const LoadedDocument* base) {
    std::optional<HydrationState> file_record;
    HydrationState* record = &context.hydration;
    if (base != nullptr) {
        file_record.emplace(HydrationState{&base->document, std::nullopt, context.hydration.draft});
        record = &*file_record;
    }
    std::optional<ReferencedFileRetriever> retriever;
    std::optional<HydrationOptions> options;
    if (context.base_directory) {
        retriever.emplace(context);
        options.emplace();
        options->retriever = &*retriever;
        options->base_directory = *context.base_directory;
        options->base = base != nullptr ? base->directory : *context.base_directory;
        if (context.version == SpecVersion::Swagger20) {
            options->component_root = {"definitions"};
        } else {
            options->component_root = {"components", "schemas"};
        }
    }
    auto hydrated = hydrate_openapi_document(std::move(schema), *record, options ? &*options : nullptr);
    if (!hydrated) return make_unexpected(SpecProblem::reference(std::move(hydrated).error()));
    return std::move(*hydrated);
}

Result<Value, SpecProblem> hydrate_schema_in_scope(ReferenceContext& context, Value schema) {
    const SharedDocument scope = context.current_scope;
    return hydrate_schema(context, std::move(schema), scope.get());
}

Draft openapi_document_draft(const HydrationState& hydration, const Value& schema) {
    if (hydration.draft != Draft::Draft202012) return hydration.draft;
    const auto known = [](const Value& holder, std::string_view key) -> std::optional<Draft> {
        auto text = deririrore::referencing::string_member(holder, key);
        if (!text) return std::nullopt;
        const Draft draft = openapi_dialect_draft(*text);
        if (draft == Draft::Unknown) return std::nullopt;
        return draft;
    };
    if (auto draft = known(schema, "$schema")) return *draft;
    if (hydration.document != nullptr) {
        if (auto draft = known(*hydration.document, "jsonSchemaDialect")) return *draft;
    }
    return Draft::Draft202012;
}

}  // namespace vantorel::model
