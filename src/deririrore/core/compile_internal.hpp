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

// The compile loop: compiles queued targets one by one until none is left.
Result<Ok, ValidationError> run_compile_queue(const CompileContext& root);

}  // namespace deririrore::core
