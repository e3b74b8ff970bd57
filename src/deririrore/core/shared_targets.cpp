#include <algorithm>
#include <unordered_set>

#include "deririrore/core/compile_internal.hpp"
#include "deririrore/value/cmp.hpp"

namespace deririrore::core {

namespace {

constexpr value::HashSeeds kFirstSeeds{0x9e3779b97f4a7c15ULL, 0xc2b2ae3d27d4eb4fULL};
constexpr value::HashSeeds kSecondSeeds{0x165667b19e3779f9ULL, 0x27d4eb2f165667c5ULL};

// Fed into both hashers: kinds, texts with their lengths, member keys in order. An explicit stack,
// since a target may be deep.
class DigestWriter {
public:
    void value(const Value& root) {
        std::vector<const Value*> stack{&root};
        while (!stack.empty()) {
            const Value& v = *stack.back();
            stack.pop_back();
            tag(static_cast<std::uint8_t>(v.kind()));
            if (v.is_bool()) {
                tag(v.as_bool() ? 1 : 0);
            } else if (v.is_number()) {
                text(v.number_text());
            } else if (v.is_string()) {
                text(v.as_string());
            } else if (v.is_array()) {
                const auto& items = v.as_array();
                count(items.size());
                for (auto it = items.rbegin(); it != items.rend(); ++it) stack.push_back(&*it);
            } else if (v.is_object()) {
                const auto& members = v.as_object();
                count(members.size());
                // Keys first, so that the values taken from the stack afterwards follow them in order.
                for (const auto& member : members) text(member.key);
                for (auto it = members.rbegin(); it != members.rend(); ++it) stack.push_back(&it->value);
            }
        }
    }
    ContentDigest finish() const { return ContentDigest{first_.finish(), second_.finish()}; }

private:
    void tag(std::uint8_t b) {
        first_.write_u8(b);
        second_.write_u8(b);
    }
    void count(std::size_t n) {
        first_.write_u64(n);
        second_.write_u64(n);
    }
    void text(std::string_view bytes) {
        count(bytes.size());
        first_.write_bytes(bytes);
        second_.write_bytes(bytes);
    }

    value::Hasher first_{kFirstSeeds};
    value::Hasher second_{kSecondSeeds};
};

// The digest of the content this build sees under the URI, once per build; none when it does
// not resolve here.
std::optional<ContentDigest> digest_here(const CompileContext& ctx, std::uint32_t id) {
    auto& tables = ctx.state().tables();
    auto [it, added] = tables.digests.try_emplace(id);
    if (added) {
        auto found = referencing::resolver_lookup(ctx.resolver(), tables.shared->uris[id]);
        if (found) it->second = content_digest(*found->contents);
    }
    return it->second;
}

std::optional<ContentDigest> own_digest(CompileState::Tables& tables, std::uint32_t id, const Value& content) {
    auto [it, added] = tables.digests.try_emplace(id);
    if (added) it->second = content_digest(content);
    return it->second;
}

// The closure of a finished target: itself and the closures of the targets it refers to, all of
// which must have been shareable.
bool close_record(CompileState::Tables& tables, TargetRecord& record) {
    const std::uint32_t id = tables.shared->id_of(record.uri);
    auto digest = own_digest(tables, id, *record.content);
    if (!digest) return false;
    TargetClosure closure{{id, *digest}};
    for (const std::string& key : record.references) {
        auto found = tables.target_records.find(key);
        if (found == tables.target_records.end() || !found->second.shareable || found->second.closure.empty())
            return false;
        closure.insert(closure.end(), found->second.closure.begin(), found->second.closure.end());
    }
    std::sort(closure.begin(), closure.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    closure.erase(std::unique(closure.begin(), closure.end()), closure.end());
    // One URI with two contents within one build cannot be described by URI alone.
    for (std::size_t i = 1; i < closure.size(); ++i) {
        if (closure[i].first == closure[i - 1].first) return false;
    }
    record.closure = std::move(closure);
    return true;
}

}  // namespace

ContentDigest content_digest(const Value& value) {
    DigestWriter writer;
    writer.value(value);
    return writer.finish();
}

bool shareable_target_uri(const CompileState::Tables& tables, const referencing::Uri& uri) {
    if (uri.without_fragment_view() != tables.root_document) return false;
    return !uri.has_fragment() || uri.fragment().empty() || uri.fragment().front() == '/';
}

void note_target_reference(CompileState::Tables& tables, const std::string& key) {
    if (tables.shared == nullptr || tables.open_targets.empty()) return;
    tables.open_targets.back()->references.push_back(key);
}

void mark_targets_unshareable(CompileState::Tables& tables) {
    for (TargetRecord* record : tables.open_targets) record->shareable = false;
}

bool open_target_record(CompileState::Tables& tables, const std::string& key, const std::string& uri,
                        const CompileContext& ctx, const Value& content) {
    if (tables.shared == nullptr) return false;
    TargetRecord& record = tables.target_records[key];
    if (std::find(tables.open_targets.begin(), tables.open_targets.end(), &record) != tables.open_targets.end())
        return false;
    record = TargetRecord{};
    record.uri = uri;
    record.content = &content;
    record.draft = ctx.draft();
    record.vocabularies = ctx.vocabularies();
    tables.open_targets.push_back(&record);
    return true;
}

void close_target_record(CompileState::Tables& tables, const SchemaNode* node, bool self_contained) {
    TargetRecord* record = tables.open_targets.back();
    tables.open_targets.pop_back();
    if (node == nullptr || !self_contained || !record->shareable) {
        record->shareable = false;
        return;
    }
    record->node = node;
    record->shareable = close_record(tables, *record);
}

const SchemaNode* borrow_shared_target(const CompileContext& ctx, const std::string& key, const std::string& uri,
                                       const referencing::Resolved& target) {
    auto& tables = ctx.state().tables();
    SharedTargetTable& shared = *tables.shared;
    auto found = shared.entries.find(key);
    if (found == shared.entries.end()) return nullptr;
    const auto vocabularies = referencing::resource_vocabularies(
        target.resolver.registry(), target.resolver.base()->text(), target.draft, *target.contents);
    for (const auto& entry : found->second) {
        if (entry.draft != target.draft || !(entry.vocabularies == vocabularies)) continue;
        const bool same = std::all_of(entry.closure.begin(), entry.closure.end(), [&](const auto& item) {
            auto here = digest_here(ctx, item.first);
            return here && *here == item.second;
        });
        if (!same) continue;
        TargetRecord& record = tables.target_records[key];
        record = TargetRecord{};
        record.uri = uri;
        record.content = target.contents;
        record.node = entry.node;
        record.draft = entry.draft;
        record.vocabularies = entry.vocabularies;
        record.borrowed = true;
        record.closure = entry.closure;
        tables.referenced_uris.insert(uri);
        tables.compiled_targets[key] = CachedNode{entry.node, tables.epoch, true};
        if (std::find(tables.borrowed.begin(), tables.borrowed.end(), entry.owner) == tables.borrowed.end())
            tables.borrowed.push_back(entry.owner);
        ++shared.reused;
        return entry.node;
    }
    return nullptr;
}

void publish_shared_targets(CompileState::Tables& tables, const std::shared_ptr<const CompiledSchema>& owner) {
    SharedTargetTable& shared = *tables.shared;
    for (auto& item : tables.target_records) {
        auto& record = item.second;
        if (!record.shareable || record.borrowed || record.closure.empty()) continue;
        auto& bucket = shared.entries[item.first];
        const bool known = std::any_of(bucket.begin(), bucket.end(), [&](const SharedTargetTable::Entry& entry) {
            return entry.draft == record.draft && entry.vocabularies == record.vocabularies &&
                   entry.closure == record.closure;
        });
        if (known) continue;
        bucket.push_back(
            SharedTargetTable::Entry{record.node, owner, record.draft, record.vocabularies, std::move(record.closure)});
    }
}

}  // namespace deririrore::core
