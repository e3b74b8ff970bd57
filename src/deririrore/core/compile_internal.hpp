#pragma once
// The compilation's shared tables and the per-resource part of compile contexts. Internal to the
// compiler core.
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "deririrore/core/compiler.hpp"
#include "deririrore/core/ref.hpp"
#include "deririrore/core/validator.hpp"
#include "deririrore/referencing/resolver.hpp"
#include "deririrore/referencing/vocabulary.hpp"

namespace deririrore::core {

// What child contexts share with their parent until a subschema enters another resource or draft.
struct ContextScope {
    referencing::Resolver resolver;
    referencing::VocabularySet vocabularies;
    Location resource_base;
    std::size_t resource_offset = 0;
    Draft draft = Draft::Draft202012;
};

struct CachedNode {
    const SchemaNode* node = nullptr;
    std::uint64_t epoch = 0;
    bool self_contained = false;
};

// Two independent 64-bit hashes of a value exactly as written (number texts and member order
// included): what a shared target's content is recognised by.
struct ContentDigest {
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    bool operator==(const ContentDigest&) const = default;
};
ContentDigest content_digest(const Value& value);

// A reference target's content by the URI that names it: its closure lists one per target it
// reaches, itself included, sorted by URI id.
using TargetClosure = std::vector<std::pair<std::uint32_t, ContentDigest>>;

// Targets earlier builds compiled with no cycle and no deferred part, by target key. A node is
// handed to a later build only when every target of its closure has the same content there.
struct SharedTargetTable {
    struct Entry {
        const SchemaNode* node;
        std::shared_ptr<const CompiledSchema> owner;
        Draft draft;
        referencing::VocabularySet vocabularies;
        TargetClosure closure;
    };
    std::unordered_map<std::string, std::vector<Entry>> entries;
    std::unordered_map<std::string, std::uint32_t> ids;
    std::vector<std::string> uris;
    std::size_t reused = 0;

    std::uint32_t id_of(const std::string& uri) {
        auto [it, added] = ids.try_emplace(uri, static_cast<std::uint32_t>(uris.size()));
        if (added) uris.push_back(uri);
        return it->second;
    }
};

// What one build learns of a reference target it compiled or borrowed, for sharing it later.
struct TargetRecord {
    std::string uri;
    const Value* content = nullptr;
    const SchemaNode* node = nullptr;
    Draft draft = Draft::Draft202012;
    referencing::VocabularySet vocabularies;
    bool shareable = true;
    bool borrowed = false;
    std::vector<std::string> references;  // target keys of the references made directly inside
    TargetClosure closure;
};

// A target put off to the compile loop.
struct CompileJob {
    const Value* value;
    referencing::Resolver resolver;
    Location location;
    referencing::UriRef uri;
    std::string key;
    PendingNode* pending;
    std::unordered_map<std::string, PendingNode*> in_progress;
    Draft draft;
};

struct CompileState::Tables {
    // Everything compiled, owned here until the validator takes it.
    std::vector<std::unique_ptr<SchemaNode>> nodes;
    std::vector<std::unique_ptr<PendingNode>> slots;

    std::unordered_set<std::string> referenced_uris;
    std::unordered_map<std::string, CachedNode> node_cache;
    std::unordered_map<std::string, CachedNode> compiled_targets;
    std::unordered_map<std::string, PendingNode*> in_progress;
    std::unordered_map<std::string, PendingNode*> deferred;

    struct RefUriEntry {
        referencing::UriRef uri;
        Location fragment_pointer;
    };
    struct RefUriTable {
        referencing::UriRef base;  // keeps the identity key alive
        std::unordered_map<std::string, RefUriEntry> entries;
    };
    std::unordered_map<const referencing::Uri*, RefUriTable> ref_uri_cache;
    std::unordered_map<const Value*, std::unordered_map<const Value*, Location>> location_index;

    std::uint32_t ref_depth = 0;
    // Nesting of node compilations on the call stack; bounded so that deep schemas end in an error.
    std::uint32_t compile_depth = 0;
    std::deque<CompileJob> queue;
    std::uint64_t epoch = 0;
    bool shared_node_used = false;

    const KeywordTable* keyword_table = nullptr;

    // Set when the build may borrow targets of earlier builds and offer its own.
    SharedTargetTable* shared = nullptr;
    std::unordered_map<std::string, TargetRecord> target_records;
    std::vector<TargetRecord*> open_targets;
    std::unordered_map<std::uint32_t, std::optional<ContentDigest>> digests;
    std::vector<std::shared_ptr<const CompiledSchema>> borrowed;
    // The root document's URI without fragment: only targets inside it, named by a JSON pointer,
    // are shared (an anchor or another resource may sit elsewhere in another root).
    std::string root_document;

    const SchemaNode* adopt(std::unique_ptr<SchemaNode> node) {
        nodes.push_back(std::move(node));
        return nodes.back().get();
    }
    PendingNode* new_slot() {
        slots.push_back(std::make_unique<PendingNode>());
        return slots.back().get();
    }
};

// How deep node compilations may nest on the stack; on-the-spot reference targets are deferred
// to the queue well before, so only a deeply nested schema document reaches it.
inline constexpr std::uint32_t kMaxCompileDepth = 256;
inline constexpr std::uint32_t kDeferCompileDepth = 128;

// Text key of a (URI, dynamic scope) pair.
std::string target_key(std::string_view uri, const referencing::DynamicScope& scope);

struct CompiledNode {
    const SchemaNode* node;
    bool weak;
};

Result<CompiledNode, ValidationError> compile_schema_node(const CompileContext& ctx, const Value& value,
                                                          const referencing::UriRef* uri);

// A context at `location` for a new resource (a reference target or a queued job); fails when its
// vocabularies require a custom vocabulary the configuration does not support.
Result<CompileContext, ValidationError> new_resource_compile_context(const CompileContext& parent,
                                                                     referencing::Resolver resolver, Draft draft,
                                                                     referencing::VocabularySet vocabularies,
                                                                     Location location);

std::optional<ValidationError> check_required_vocabularies(const CompilerConfig& config,
                                                           const referencing::VocabularySet& vocabularies);

// The base URI with its fragment replaced by the percent-encoded pointer; none under the default
// "json-schema" scheme.
AbsoluteLocation absolute_location_uri(const referencing::Uri& base, std::string_view pointer);

// Whether a target under this URI may be shared.
bool shareable_target_uri(const CompileState::Tables& tables, const referencing::Uri& uri);
// Starts the record of a target compiled on the spot or from the queue; false when the build
// shares nothing or the record is already open further out.
bool open_target_record(CompileState::Tables& tables, const std::string& key, const std::string& uri,
                        const CompileContext& ctx, const Value& content);
// Ends the innermost open record; `node` is null after a failure.
void close_target_record(CompileState::Tables& tables, const SchemaNode* node, bool self_contained);
// The innermost target being compiled refers to the target with this key.
void note_target_reference(CompileState::Tables& tables, const std::string& key);
// A reference's outcome depends on more than the content it names: no enclosing target is shared.
void mark_targets_unshareable(CompileState::Tables& tables);
// A node an earlier build compiled for this target, when its whole closure has the same content
// here; it is then recorded as this build's own compiled target.
const SchemaNode* borrow_shared_target(const CompileContext& ctx, const std::string& key, const std::string& uri,
                                       const referencing::Resolved& target);
// Offers the targets this build compiled to later builds.
void publish_shared_targets(CompileState::Tables& tables, const std::shared_ptr<const CompiledSchema>& owner);

// The compile loop: compiles queued targets one by one until none is left.
Result<Ok, ValidationError> run_compile_queue(const CompileContext& root);

}  // namespace deririrore::core
