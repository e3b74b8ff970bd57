#include <algorithm>
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "deririrore/referencing/fragment_walk.hpp"
#include "deririrore/referencing/meta.hpp"
#include "deririrore/referencing/pointer.hpp"
#include "deririrore/referencing/registry.hpp"

namespace deririrore::referencing {

namespace {

// Recursion of the crawl stops at this depth; deeper subschemas wait in the deferred list.
constexpr unsigned kMaxCrawlDepth = 127;

struct ScanResult {
    std::optional<std::string_view> id;
    std::optional<std::string_view> ref;
    std::optional<std::string_view> schema;
    bool declares_anchor = false;
};

ScanResult scan_resource_keywords(Draft draft, const Value& object) {
    ScanResult out;
    out.ref = string_member(object, "$ref");
    out.schema = string_member(object, "$schema");
    switch (draft) {
        case Draft::Draft4:
        case Draft::Draft6:
        case Draft::Draft7: {
            auto id = string_member(object, draft == Draft::Draft4 ? "id" : "$id");
            if (id && !id->empty() && id->front() == '#') out.declares_anchor = true;
            if (id && !out.ref && !id->starts_with('#')) out.id = id;
            break;
        }
        case Draft::Draft201909:
            out.id = string_member(object, "$id");
            out.declares_anchor = string_member(object, "$anchor").has_value();
            break;
        case Draft::Draft202012:
        case Draft::Unknown:
            out.id = string_member(object, "$id");
            out.declares_anchor =
                string_member(object, "$anchor").has_value() || string_member(object, "$dynamicAnchor").has_value();
            break;
    }
    return out;
}

bool is_meta_schema_text(std::string_view text) {
    return text.starts_with(kModernMetaPrefix) || text.starts_with(kLegacyMetaPrefix);
}

std::string_view strip_trailing_hashes(std::string_view text) {
    while (!text.empty() && text.back() == '#') text.remove_suffix(1);
    return text;
}

// A schema value met under a base URI and draft. Bases are interned by text, so the base's
// identity stands for its text.
struct VisitedKey {
    const Value* value;
    const Uri* base;
    Draft draft;
    friend bool operator==(const VisitedKey&, const VisitedKey&) = default;
};

// Open addressing over one array: a large document puts millions of keys here, and a node per
// key made inserting and tearing down the set a large share of a build.
class VisitedSet {
public:
    // True when the key was not there before.
    bool insert(const VisitedKey& key) {
        if ((size_ + 1) * 2 > slots_.size()) grow();
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash(key) & mask;; i = (i + 1) & mask) {
            VisitedKey& slot = slots_[i];
            if (slot.value == nullptr) {
                slot = key;
                ++size_;
                return true;
            }
            if (slot == key) return false;
        }
    }

private:
    static std::size_t hash(const VisitedKey& k) noexcept {
        std::uint64_t h = reinterpret_cast<std::uintptr_t>(k.value) * 0x9e3779b97f4a7c15ULL;
        h ^= (reinterpret_cast<std::uintptr_t>(k.base) + static_cast<std::uint64_t>(k.draft)) * 0xc2b2ae3d27d4eb4fULL;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }

    void grow() {
        std::vector<VisitedKey> old(std::max<std::size_t>(64, slots_.size() * 2), VisitedKey{nullptr, nullptr, {}});
        old.swap(slots_);
        size_ = 0;
        for (const VisitedKey& key : old) {
            if (key.value != nullptr) insert(key);
        }
    }

    std::vector<VisitedKey> slots_;
    std::size_t size_ = 0;
};

struct SeenLocalKey {
    const Uri* base;
    std::string reference;
    friend bool operator==(const SeenLocalKey&, const SeenLocalKey&) = default;
};

struct SeenLocalHash {
    std::size_t operator()(const SeenLocalKey& k) const noexcept {
        return std::hash<const void*>{}(k.base) ^ (std::hash<std::string>{}(k.reference) * 31);
    }
};

}  // namespace

class RegistryBuilder {
public:
    explicit RegistryBuilder(RegistryOptions options)
        : options_(std::move(options)),
          registry_(new Registry()),
          default_draft_(options_.draft.value_or(Draft::Draft202012)) {
        if (options_.base) registry_->known_uris_ = options_.base->known_uris_;
    }

    Result<std::shared_ptr<const Registry>, ReferenceError> build() {
        store_inputs();
        while (!queue_.empty() || !external_.empty()) {
            if (auto r = crawl_pending_items(); !r) return make_unexpected(std::move(r).error());
            if (auto r = follow_local_targets(); !r) return make_unexpected(std::move(r).error());
            if (auto r = retrieve_external(); !r) return make_unexpected(std::move(r).error());
        }
        if (auto r = add_meta_schemas(); !r) return make_unexpected(std::move(r).error());
        if (auto r = check_custom_meta_schemas(); !r) return make_unexpected(std::move(r).error());
        registry_->parent_ = std::move(options_.base);
        return std::shared_ptr<const Registry>(std::move(registry_));
    }

private:
    struct StoredDocument {
        std::shared_ptr<const Value> contents;
        Draft draft;
    };

    // A document to crawl, whole (empty fragment) or from the value its pointer fragment reaches
    // inside the resource registered under `document_uri`.
    struct PendingItem {
        UriRef document_uri;
        UriRef base;
        std::string fragment;
        Draft draft;
    };

    struct ExternalReference {
        std::string text;
        UriRef resolved;
        bool from_schema;
    };

    struct LocalTarget {
        std::shared_ptr<const Value> owner;
        const Value* value;
        UriRef base;
        Draft draft;
        const Value* document_root;
        UriRef document_uri;
    };

    struct DeferredEntry {
        UriRef base;
        const Value* value;
        Draft draft;
    };

    struct CrawlContext {
        // Shares ownership of the document being crawled; resources alias into it.
        std::shared_ptr<const Value> owner;
        const Value* document_root;
        UriRef document_uri;
        Draft document_draft;
        std::vector<DeferredEntry> deferred;
        std::unordered_set<SeenLocalKey, SeenLocalHash> seen_local;
    };

    struct Target {
        const Value* value;
        UriRef base;
    };

    void register_resource(const UriRef& uri, Draft draft, bool record, const std::shared_ptr<const Value>& owner,
                           const Value& value) {
        std::shared_ptr<const Value> aliased(owner, &value);
        if (record) {
            const ResourceEntry* old = registry_->resources_.get(uri->text());
            if (old != nullptr && (old->contents.get() != &value || old->draft != draft)) registrations_replaced_ = true;
            registry_->resources_.insert(uri->text(), ResourceEntry{aliased, draft});
        }
        SmallMap<Anchor>& inner = registry_->anchors_.get_or_insert_empty(uri->text());
        for (const auto& anchor : collect_anchors(draft, value)) {
            const Anchor* old = inner.get(anchor.name);
            if (old != nullptr && (old->kind != anchor.kind || old->resource.get() != &value || old->draft != draft))
                registrations_replaced_ = true;
            inner.insert(anchor.name, Anchor{anchor.kind, std::string(anchor.name), aliased, draft});
        }
    }

    Result<UriRef, ReferenceError> resolve(const Uri& base, std::string_view reference) {
        return registry_->cache_.resolve_unlocked(base, reference);
    }

    void keep_alive(const std::shared_ptr<const Value>& contents) {
        if (alive_.empty() || alive_.back() != contents) alive_.push_back(contents);
    }

    // The one shared URI of this text that the build uses as a base, so that the visited sets,
    // keyed by the base's identity, see equal bases as one.
    UriRef intern(UriRef uri) {
        auto [it, inserted] = interned_.try_emplace(uri->view(), uri);
        return inserted ? std::move(uri) : it->second;
    }

    // An identifier resolved against a base, as the new base.
    Result<UriRef, ReferenceError> rebase(const Uri& base, std::string_view id) {
        auto resolved = resolve(base, id);
        if (!resolved) return make_unexpected(std::move(resolved).error());
        return intern(std::move(*resolved));
    }

    static Draft input_draft(const RegistryInput& input, const std::optional<Draft>& options_draft) {
        if (input.draft) return *input.draft;
        if (options_draft) return *options_draft;
        if (auto schema = string_member(*input.document, "$schema")) return draft_from_url(*schema);
        return Draft::Draft202012;
    }

    void note_custom_meta_schema(Draft draft, const Value& contents) {
        if (draft != Draft::Unknown) return;
        if (auto schema = string_member(contents, "$schema")) custom_meta_schemas_.emplace_back(*schema);
    }

    void store_document(UriRef uri, std::shared_ptr<const Value> contents, Draft draft) {
        uri = intern(std::move(uri));
        const Value& root = *contents;
        keep_alive(contents);
        store_[uri->text()] = StoredDocument{contents, draft};
        registry_->known_uris_.insert(uri->text());
        register_resource(uri, draft, true, contents, root);
        note_custom_meta_schema(draft, root);
        queue_.push_back(PendingItem{uri, uri, std::string(), draft});
    }

    void store_inputs() {
        for (auto& [uri, input] : options_.resources) {
            if (!input.document) continue;
            Draft draft = input_draft(input, options_.draft);
            store_document(std::make_shared<const Uri>(std::move(uri)), std::move(input.document), draft);
        }
        options_.resources.clear();
    }

    // Walks a pointer fragment from a resource the way lookups do, giving the base URI that a
    // lookup gives for the target. The target is compiled with that base as it is, so its own
    // identifier must not be applied on top of it.
    std::optional<Target> walk_to_target(const Value& resource, Draft draft, UriRef base, std::string_view fragment) {
        auto reached =
            detail::walk_fragment_pointer(resource, fragment, draft, [&](const Value& current) -> Result<bool, ReferenceError> {
                auto id = draft_id_of(draft, current);
                if (!id) return false;
                auto resolved = rebase(*base, strip_trailing_hashes(*id));
                if (!resolved) return make_unexpected(std::move(resolved).error());
                const bool changed = (*resolved)->text() != base->text();
                base = std::move(*resolved);
                return changed;
            });
        if (!reached) return std::nullopt;
        return Target{*reached, std::move(base)};
    }

    Result<Ok, ReferenceError> crawl_pending_items() {
        while (!queue_.empty()) {
            PendingItem item = std::move(queue_.front());
            queue_.pop_front();
            CrawlContext ctx;
            ctx.document_uri = item.document_uri;
            const Value* start = nullptr;
            UriRef base = intern(item.base);
            Draft draft = item.draft;
            if (item.fragment.empty()) {
                auto it = store_.find(item.document_uri->text());
                if (it == store_.end()) continue;
                ctx.owner = it->second.contents;
                start = it->second.contents.get();
            } else {
                const ResourceEntry* entry = registry_->resources_.get(item.document_uri->text());
                if (entry == nullptr) continue;
                auto target = walk_to_target(*entry->contents, entry->draft, base, item.fragment);
                if (!target) continue;
                ctx.owner = entry->contents;
                start = target->value;
                base = target->base;
                draft = detect_draft(entry->draft, *start);
            }
            ctx.document_root = ctx.owner.get();
            ctx.document_draft = draft;
            // A pointer target keeps the base its lookup gives, whatever its own identifier says.
            const bool own_id = item.fragment.empty();
            if (auto r = crawl(ctx, base, *start, draft, item.fragment.empty(), 0, own_id); !r) return r;
            while (!ctx.deferred.empty()) {
                DeferredEntry entry = std::move(ctx.deferred.back());
                ctx.deferred.pop_back();
                if (auto r = crawl(ctx, entry.base, *entry.value, entry.draft, false, 0); !r) return r;
            }
        }
        return Ok{};
    }

    Result<Ok, ReferenceError> crawl(CrawlContext& ctx, UriRef base, const Value& value, Draft draft, bool is_root,
                                     unsigned depth, bool own_id = true) {
        if (!value.is_object()) return Ok{};
        ScanResult scan = scan_resource_keywords(draft, value);
        if (!own_id) scan.id.reset();
        if (scan.id) {
            bool changed = false;
            std::string_view id = *scan.id;
            if (!id.empty() && id.front() == '#') {
                registry_->known_uris_.insert(base->text());
            } else {
                if (id.ends_with('#')) id.remove_suffix(1);
                auto resolved = rebase(*base, id);
                if (!resolved) return make_unexpected(std::move(resolved).error());
                changed = (*resolved)->text() != base->text();
                base = std::move(*resolved);
                registry_->known_uris_.insert(base->text());
            }
            if (!(is_root && base->text() == ctx.document_uri->text()))
                register_resource(base, draft, changed, ctx.owner, value);
        } else if (scan.declares_anchor && !is_root) {
            register_resource(base, draft, false, ctx.owner, value);
        }
        if (visited_.insert(VisitedKey{&value, base.get(), draft}) && (scan.ref || scan.schema)) {
            if (auto r = collect_references(ctx, base, scan.ref, scan.schema); !r) return r;
        }
        // The subschemas below were crawled under this base and draft already, by this item or an
        // earlier one: walking them again would only register what is registered, unless a later
        // registration replaced some of it, which walking again would undo.
        if (!crawled_.insert(VisitedKey{&value, base.get(), draft}) && !registrations_replaced_) return Ok{};
        Result<Ok, ReferenceError> failure = Ok{};
        for_each_keyword_subschema(KeywordTable::Crawl, draft, value,
                                   [&](std::string_view, const Value& child, const SubschemaPosition&) -> bool {
                                       const Draft child_draft = detect_draft(draft, child);
                                       if (depth < kMaxCrawlDepth) {
                                           failure = crawl(ctx, base, child, child_draft, false, depth + 1);
                                           return failure.has_value();
                                       }
                                       ctx.deferred.push_back(DeferredEntry{base, &child, child_draft});
                                       return true;
                                   });
        return failure;
    }

    Result<Ok, ReferenceError> collect_references(CrawlContext& ctx, const UriRef& base,
                                                  std::optional<std::string_view> ref,
                                                  std::optional<std::string_view> schema) {
        const bool inside_meta_schema = base->text().starts_with(kModernMetaPrefix);
        for (int pass = 0; pass < 2; ++pass) {
            const bool from_schema = pass == 1;
            const auto& text_opt = from_schema ? schema : ref;
            if (!text_opt) continue;
            std::string_view text = *text_opt;
            if (is_meta_schema_text(text) || inside_meta_schema) {
                if (!from_schema) meta_schema_reference_seen_ = true;
                continue;
            }
            if (text == "#") continue;
            if (text.size() >= 2 && text.front() == '#') {
                if (!ctx.seen_local.insert(SeenLocalKey{base.get(), std::string(text)}).second) continue;
                record_local_target(ctx, base, text);
                continue;
            }
            auto resolved = resolve(*base, text);
            if (!resolved) return make_unexpected(std::move(resolved).error());
            std::string key(text);
            key.push_back('\0');
            key.append((*resolved)->text());
            key.push_back(from_schema ? '1' : '0');
            if (external_keys_.insert(std::move(key)).second)
                external_.push_back(ExternalReference{std::string(text), std::move(*resolved), from_schema});
        }
        return Ok{};
    }

    // A local reference's target is looked for where lookups find it: in the resource registered
    // under the current base (the document itself when nothing is), read with percent-decoding
    // and the lenient array indexes of fragment pointers.
    void record_local_target(CrawlContext& ctx, const UriRef& base, std::string_view text) {
        std::string_view pointer = text;
        while (!pointer.empty() && pointer.front() == '#') pointer.remove_prefix(1);
        const Value* resource = ctx.document_root;
        Draft draft = ctx.document_draft;
        std::shared_ptr<const Value> owner = ctx.owner;
        if (const ResourceEntry* entry = registry_->resources_.get(base->text())) {
            resource = entry->contents.get();
            draft = entry->draft;
            owner = entry->contents;
        }
        if (resource == nullptr) return;
        const Value* target = nullptr;
        UriRef target_base = base;
        if (pointer.empty()) {
            target = resource;
        } else if (pointer.front() == '/') {
            auto found = walk_to_target(*resource, draft, base, pointer);
            if (!found) return;
            target = found->value;
            target_base = found->base;
        } else {
            return;
        }
        local_targets_.push_back(LocalTarget{std::move(owner), target, std::move(target_base),
                                             detect_draft(draft, *target), ctx.document_root, ctx.document_uri});
    }

    Result<Ok, ReferenceError> follow_local_targets() {
        while (!local_targets_.empty()) {
            std::vector<LocalTarget> targets = std::move(local_targets_);
            local_targets_.clear();
            CrawlContext ctx;
            for (const LocalTarget& target : targets) {
                ctx.owner = target.owner;
                ctx.document_root = target.document_root;
                ctx.document_uri = target.document_uri;
                ctx.document_draft = target.draft;
                if (target.value == nullptr) throw std::logic_error("Value pointer should never be null");
                if (auto r = collect_subtree_references(ctx, *target.value, target.base, target.draft, false); !r)
                    return r;
            }
        }
        return Ok{};
    }

    // Iterative: the subtree below a target may be nested arbitrarily deep.
    Result<Ok, ReferenceError> collect_subtree_references(CrawlContext& ctx, const Value& root, UriRef root_base,
                                                          Draft root_draft, bool root_own_id) {
        struct Frame {
            const Value* value;
            UriRef base;
            Draft draft;
            bool own_id;
        };
        std::vector<Frame> stack;
        stack.push_back(Frame{&root, std::move(root_base), root_draft, root_own_id});
        std::vector<const Value*> children;
        while (!stack.empty()) {
            Frame frame = std::move(stack.back());
            stack.pop_back();
            const Value& value = *frame.value;
            UriRef base = std::move(frame.base);
            if (auto id = frame.own_id ? draft_id_of(frame.draft, value) : std::nullopt; id && !id->starts_with('#')) {
                std::string_view text = *id;
                if (text.ends_with('#')) text.remove_suffix(1);
                auto resolved = rebase(*base, text);
                if (!resolved) return make_unexpected(std::move(resolved).error());
                base = std::move(*resolved);
            }
            if (!visited_.insert(VisitedKey{&value, base.get(), frame.draft})) continue;
            if (base->scheme() != "urn" && value.is_object()) {
                auto ref = string_member(value, "$ref");
                auto schema = string_member(value, "$schema");
                if (ref || schema) {
                    if (auto r = collect_references(ctx, base, ref, schema); !r) return r;
                }
            }
            children.clear();
            subresources_of(frame.draft, value, [&children](const Value& child) { children.push_back(&child); });
            for (auto it = children.rbegin(); it != children.rend(); ++it)
                stack.push_back(Frame{*it, base, detect_draft(frame.draft, **it), true});
        }
        return Ok{};
    }

    Result<Ok, ReferenceError> retrieve_external() {
        std::vector<ExternalReference> references = std::move(external_);
        external_.clear();
        external_keys_.clear();
        for (ExternalReference& reference : references) {
            const Uri& resolved = *reference.resolved;
            const std::string_view fragment = resolved.fragment();
            if (registry_->knows_uri(resolved.without_fragment_view())) {
                // The target of a pointer into a known document may lie outside the crawled
                // keywords; crawl it so that its own references are collected too.
                if (fragment.starts_with('/') && crawled_fragments_.insert(resolved.text()).second) {
                    auto found = interned_.find(resolved.without_fragment_view());
                    UriRef uri = found != interned_.end() ? found->second
                                                          : intern(std::make_shared<const Uri>(resolved.without_fragment()));
                    queue_.push_back(PendingItem{uri, uri, std::string(fragment), default_draft_});
                }
                continue;
            }
            auto uri = std::make_shared<const Uri>(resolved.without_fragment());
            auto retrieved = options_.retriever->retrieve(*uri);
            if (!retrieved) {
                if (reference.from_schema) continue;
                if (uri->scheme() == "json-schema")
                    return make_unexpected(ReferenceError(ReferenceError::Unretrievable{
                        reference.text, ErrorSource::text(std::string(kNoBaseUriMessage))}));
                return make_unexpected(
                    ReferenceError(ReferenceError::Unretrievable{uri->text(), std::move(retrieved).error()}));
            }
            uri = intern(std::move(uri));
            auto contents = std::make_shared<const Value>(std::move(*retrieved));
            keep_alive(contents);
            Draft draft = default_draft_;
            if (auto schema = string_member(*contents, "$schema")) draft = draft_from_url(*schema);
            const Value& root = *contents;
            store_[uri->text()] = StoredDocument{contents, draft};
            registry_->known_uris_.insert(uri->text());
            register_resource(uri, draft, true, contents, root);
            note_custom_meta_schema(draft, root);
            if (fragment.starts_with('/') && crawled_fragments_.insert(resolved.text()).second)
                queue_.push_back(PendingItem{uri, uri, std::string(fragment), draft});
            queue_.push_back(PendingItem{uri, uri, std::string(), draft});
        }
        return Ok{};
    }

    Result<Ok, ReferenceError> add_meta_schemas() {
        const MetaSchemaList* list = nullptr;
        for (const std::string& text : custom_meta_schemas_) {
            if (text.starts_with(kModernMetaPrefix)) {
                list = &all_meta_schemas();
                break;
            }
        }
        if (list == nullptr && meta_schema_reference_seen_) list = &meta_schemas_for_draft(default_draft_);
        if (list == nullptr) return Ok{};
        for (const MetaSchemaEntry& entry : *list) {
            auto parsed = parse_uri(strip_trailing_hashes(entry.id));
            if (!parsed) return make_unexpected(ReferenceError(std::move(parsed).error()));
            if (store_.count(parsed->text()) != 0) continue;
            Draft draft = Draft::Draft202012;
            if (auto schema = string_member(*entry.document, "$schema")) draft = draft_from_url(*schema);
            store_document(std::make_shared<const Uri>(std::move(*parsed)), entry.document, draft);
        }
        if (!queue_.empty()) {
            if (auto r = crawl_pending_items(); !r) return r;
            if (auto r = follow_local_targets(); !r) return r;
        }
        return Ok{};
    }

    Result<Ok, ReferenceError> check_custom_meta_schemas() {
        for (const std::string& text : custom_meta_schemas_) {
            auto parsed = parse_uri(text);
            if (!parsed || !registry_->knows_uri(parsed->without_fragment_view()))
                return make_unexpected(ReferenceError(ReferenceError::UnknownSpecification{text}));
        }
        return Ok{};
    }

    RegistryOptions options_;
    std::unique_ptr<Registry> registry_;
    Draft default_draft_;
    std::unordered_map<std::string, StoredDocument> store_;
    std::deque<PendingItem> queue_;
    // (value, base, draft) whose references were collected; shared with the local-target walk.
    VisitedSet visited_;
    // (value, base, draft) whose subschemas the crawl walked.
    VisitedSet crawled_;
    bool registrations_replaced_ = false;
    std::unordered_map<std::string_view, UriRef, TextHash, std::equal_to<>> interned_;
    // Visits are keyed by value addresses: no document may be freed, and its address reused,
    // while the build runs.
    std::vector<std::shared_ptr<const Value>> alive_;
    // External references in the order found; the key set keeps each record once.
    std::vector<ExternalReference> external_;
    std::unordered_set<std::string> external_keys_;
    std::unordered_set<std::string> crawled_fragments_;
    std::vector<LocalTarget> local_targets_;
    std::vector<std::string> custom_meta_schemas_;
    bool meta_schema_reference_seen_ = false;
};

Result<std::shared_ptr<const Registry>, ReferenceError> build_registry(RegistryOptions options) {
    return RegistryBuilder(std::move(options)).build();
}

}  // namespace deririrore::referencing
