#include "deririrore/core/validator.hpp"

#include <algorithm>
#include <set>
#include <string>

#include "deririrore/core/compile_internal.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/metaschema/metaschema.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/resolver.hpp"
#include "deririrore/referencing/vocabulary.hpp"

namespace deririrore::core {

using referencing::ReferenceError;
using referencing::Uri;
using referencing::UriRef;

CompiledSchema::~CompiledSchema() = default;

// A walk cut short by the depth limit has no trustworthy answer (a `not` or `anyOf` around the cut
// would turn it around): every entry point then reports the limit.
namespace {

bool is_depth_limit_error(const ValidationError& error, const ValidationContext& ctx) {
    const auto* custom = std::get_if<kinds::Custom>(&error.kind());
    return custom != nullptr && custom->keyword.empty() && custom->message == limit_message(ctx);
}

ValidationError root_depth_error(const CompiledSchema& compiled, const Value& instance, const ValidationContext& ctx) {
    return depth_limit_error(compiled.root->location(), instance, LazyLocation(), nullptr, ctx);
}

}  // namespace

bool Validator::is_valid(const Value& instance) const {
    ValidationContext ctx(compiled_->max_depth, compiled_->max_steps);
    const bool valid = compiled_->root->is_valid(instance, ctx);
    return valid && !ctx.depth_exceeded();
}

std::optional<ValidationError> Validator::validate(const Value& instance) const {
    ValidationContext ctx(compiled_->max_depth, compiled_->max_steps);
    auto error = compiled_->root->validate(instance, LazyLocation(), nullptr, ctx);
    if (ctx.depth_exceeded() && !(error && is_depth_limit_error(*error, ctx))) {
        return root_depth_error(*compiled_, instance, ctx);
    }
    return error;
}

std::vector<ValidationError> Validator::iter_errors(const Value& instance) const {
    ValidationContext ctx(compiled_->max_depth, compiled_->max_steps);
    std::vector<ValidationError> errors;
    compiled_->root->iter_errors(instance, LazyLocation(), nullptr, ctx, errors);
    if (ctx.depth_exceeded()) {
        const bool reported = std::any_of(errors.begin(), errors.end(), [&](const ValidationError& e) {
            return is_depth_limit_error(e, ctx);
        });
        if (!reported) errors.push_back(root_depth_error(*compiled_, instance, ctx));
    }
    return errors;
}

Result<bool, ValidationError> Validator::trace(const Value& instance, Tracer& tracer) const {
    TraceContext ctx(compiled_->max_depth, &compiled_->joined_locations, compiled_->max_steps);
    const bool valid = compiled_->root->trace(instance, LazyLocation(), tracer, ctx);
    if (ctx.depth_exceeded()) return make_unexpected(root_depth_error(*compiled_, instance, ctx));
    return valid;
}

Evaluation Validator::evaluate(const Value& instance) const {
    EvaluationContext ctx(compiled_->max_depth, compiled_->max_steps);
    const LazyLocation root_path;
    EvaluationNode node = evaluate_child_node(*compiled_->root, instance, root_path, Location(), nullptr, ctx);
    const bool valid = node.valid && !ctx.depth_exceeded();
    const std::uint32_t id = ctx.push_node(std::move(node));
    return Evaluation{std::move(ctx.output()), id, valid};
}

namespace {

ValidationError referencing_error(ReferenceError error) { return reference_error_to_validation_error(std::move(error)); }

std::string strip_trailing_hashes(std::string_view text) {
    while (!text.empty() && text.back() == '#') text.remove_suffix(1);
    return std::string(text);
}

Result<Uri, ValidationError> parse_uri_text(std::string_view text) {
    auto parsed = referencing::parse_uri(text);
    if (!parsed) return make_unexpected(referencing_error(ReferenceError(std::move(parsed).error())));
    return std::move(*parsed);
}

// The base URI text of the build: the options' base URI, else the document's id, else the default.
std::string base_uri_text(const Value& schema, const ValidationOptions& options, Draft draft) {
    if (options.base_uri()) return *options.base_uri();
    if (auto id = referencing::draft_id_of(draft, schema)) return strip_trailing_hashes(*id);
    return std::string(referencing::kDefaultBaseUri);
}

// The root resource's URI in the registry: the base, or the base without its empty fragment.
Result<UriRef, ValidationError> registry_root_uri(const referencing::Registry& registry, const Uri& base) {
    if (registry.find_resource(base.text())) return std::make_shared<const Uri>(base);
    const std::string& text = base.text();
    if (!text.empty() && text.back() == '#') {
        auto without = parse_uri_text(std::string_view(text).substr(0, text.size() - 1));
        if (without && registry.find_resource(without->text())) return std::make_shared<const Uri>(std::move(*without));
    }
    // Reachable with a base URI whose text the registry stores differently: an error, not a stop.
    return make_unexpected(ValidationError(
        EvaluationPath{Location()}, kinds::Custom{"", "generated registry is missing root URI '" + text + "'"},
        std::make_shared<const Value>(), Location(), Location()));
}

}  // namespace

Result<Draft, ValidationError> resolve_draft(const Value& schema, const ValidationOptions& options) {
    if (options.draft()) return *options.draft();
    auto declared = referencing::string_member(schema, "$schema");
    if (!declared) return Draft::Draft202012;
    Draft draft = referencing::draft_from_url(*declared);
    if (draft != Draft::Unknown || !options.registry()) return draft;
    // Follow the chain of custom meta-schemas in the base registry to a known draft.
    std::set<std::string> visited;
    std::string text = strip_trailing_hashes(*declared);
    while (true) {
        if (!visited.insert(text).second) {
            return make_unexpected(referencing_error(ReferenceError(ReferenceError::CircularMetaschema{text})));
        }
        auto uri = referencing::parse_uri(text);
        if (!uri) return make_unexpected(referencing_error(ReferenceError(std::move(uri).error())));
        referencing::Resolver resolver(*options.registry(), referencing::default_base_uri());
        auto found = referencing::resolver_lookup(resolver, uri->text());
        if (!found) return make_unexpected(referencing_error(std::move(found).error()));
        auto next = referencing::string_member(*found->contents, "$schema");
        if (!next) return Draft::Draft202012;
        draft = referencing::draft_from_url(*next);
        if (draft != Draft::Unknown) return draft;
        text = std::string(*next);
    }
}

SharedTargets::SharedTargets() : table_(std::make_unique<SharedTargetTable>()) {}
SharedTargets::~SharedTargets() = default;
std::size_t SharedTargets::reused() const noexcept { return table_->reused; }

namespace {

Result<Validator, ValidationError> build(const Value& schema, const ValidationOptions& options,
                                         SharedTargetTable* shared) {
    auto draft = resolve_draft(schema, options);
    if (!draft) return make_unexpected(std::move(draft).error());
    // A document that breaks its draft's meta-schema is refused before anything is compiled.
    if (options.validate_schema()) {
        if (auto error = metaschema::validate_against_meta_schema(*draft, schema)) {
            error->mark_schema_error();
            return make_unexpected(std::move(*error));
        }
    }

    const std::string base_text = base_uri_text(schema, options, *draft);
    auto base = parse_uri_text(base_text);
    if (!base) return make_unexpected(std::move(base).error());
    auto registry_uri = parse_uri_text(strip_trailing_hashes(base_text));
    if (!registry_uri) return make_unexpected(std::move(registry_uri).error());

    referencing::RegistryOptions registry_options = options.registry()
                                                        ? referencing::registry_options_with_base(options.registry())
                                                        : referencing::registry_options_default();
    registry_options.insert_resource(std::move(*registry_uri), referencing::RegistryInput::borrowed(schema));
    registry_options.retriever = options.retriever() ? options.retriever() : make_scheme_gated_retriever();
    registry_options.draft = *draft;
    auto registry = referencing::build_registry(std::move(registry_options));
    if (!registry) return make_unexpected(referencing_error(std::move(registry).error()));

    auto root_uri = registry_root_uri(**registry, *base);
    if (!root_uri) return make_unexpected(std::move(root_uri).error());
    auto vocabularies = referencing::find_vocabularies(**registry, *draft, schema);
    if (auto error = check_required_vocabularies(options, vocabularies)) {
        error->mark_schema_error();
        return make_unexpected(std::move(*error));
    }

    CompileState state;
    auto& tables = state.tables();
    tables.keyword_table = &builtin_keyword_table();
    tables.shared = shared;
    tables.root_document = std::string((*root_uri)->without_fragment_view());
    auto scope = std::make_shared<ContextScope>(ContextScope{referencing::Resolver(**registry, *root_uri),
                                                             std::move(vocabularies), Location(), 0, *draft});
    const CompileContext root_ctx(&options, &state, &schema, std::move(scope), Location());

    // Every error from here on is about a keyword of the schema (or of a resource it refers to).
    auto schema_error = [](ValidationError error) {
        error = error_into_owned(std::move(error));
        error.mark_schema_error();
        return error;
    };
    auto root = compile_subschema(root_ctx, schema, *draft);
    if (!root) return make_unexpected(schema_error(std::move(root).error()));
    const std::uint64_t epoch_before = tables.epoch;
    auto queued = run_compile_queue(root_ctx);
    if (!queued) return make_unexpected(schema_error(std::move(queued).error()));

    auto compiled = std::make_shared<CompiledSchema>();
    compiled->nodes = std::move(tables.nodes);
    compiled->slots = std::move(tables.slots);
    compiled->root = *root;
    compiled->draft = *draft;
    compiled->max_depth = options.max_depth();
    compiled->max_steps = options.max_steps();
    compiled->queued_targets = static_cast<std::size_t>(tables.epoch - epoch_before);
    compiled->borrowed = std::move(tables.borrowed);
    std::shared_ptr<const CompiledSchema> owner = std::move(compiled);
    if (shared != nullptr) publish_shared_targets(tables, owner);
    return Validator(std::move(owner));
}

}  // namespace

Result<Validator, ValidationError> build_validator(const Value& schema, const ValidationOptions& options) {
    return build(schema, options, nullptr);
}

Result<Validator, ValidationError> build_validator(const Value& schema, const ValidationOptions& options,
                                                   SharedTargets& shared) {
    return build(schema, options, &shared.table());
}

}  // namespace deririrore::core
