#pragma once
// Compilation of schema values into schema nodes: the compile context every keyword compile
// function receives, subschema compilation, the built-in keyword table and its dispatch.
//
// A keyword compile function has the form
//     KeywordCompileResult compile_x(const CompileContext& ctx, const Value& parent, const Value& value);
// where `ctx` is the schema object's context, `parent` the schema object and `value` the keyword's
// value. It returns a null pointer (the keyword adds no validator), a validator, or a compile
// error. Functions are registered, one line each, in the keyword library's table
// (keywords/builtin_keywords.cpp); `builtin_keyword_table()` hands that table to the compiler.
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/core/options.hpp"
#include "deririrore/referencing/draft.hpp"
#include "deririrore/referencing/uri.hpp"
#include "deririrore/value/result.hpp"

namespace deririrore::referencing {
class Resolver;
class VocabularySet;
}  // namespace deririrore::referencing

namespace deririrore::core {

// The known vocabularies by their bit in a vocabulary set.
enum class KnownVocabulary : std::uint8_t {
    Core = 0,
    Applicator = 1,
    Unevaluated = 2,
    Validation = 3,
    MetaData = 4,
    Format = 5,
    FormatAnnotation = 6,
    Content = 7,
    FormatAssertion = 8,
};

class CompileState;
struct ContextScope;

class CompileContext {
public:
    const CompilerConfig& config() const noexcept { return *config_; }
    CompileState& state() const noexcept { return *state_; }
    // The document being compiled (identity of the compilation root).
    const Value& root() const noexcept { return *root_; }
    const Location& location() const noexcept { return location_; }
    Draft draft() const noexcept;
    const Location& resource_base() const noexcept;
    std::size_t resource_offset() const noexcept;
    const referencing::Resolver& resolver() const noexcept;
    const referencing::VocabularySet& vocabularies() const noexcept;
    const referencing::UriRef& base_uri() const noexcept;

    bool has_vocabulary(KnownVocabulary vocabulary) const noexcept;
    // Drafts 4, 6 and 7 know no vocabularies; later drafts gate keywords by them.
    bool vocabulary_gate(KnownVocabulary vocabulary) const noexcept {
        return draft() <= Draft::Draft7 || has_vocabulary(vocabulary);
    }

    // A child context one segment further down; everything else is shared.
    CompileContext at_keyword(std::string_view segment) const;
    CompileContext at_index(std::uint64_t index) const;
    // The Location of a keyword of this schema object.
    Location keyword_location(std::string_view keyword) const { return location_join_key(location_, keyword); }

    // The keyword's canonical URI; none under the default base "json-schema:///".
    AbsoluteLocation absolute_location(const Location& location) const;
    KeywordLocationRecord keyword_location_record(const Location& location) const;

    // Whether a custom keyword is registered under the name.
    bool is_custom_keyword(std::string_view name) const { return config_->keyword_factory(name) != nullptr; }

    CompileContext(const CompilerConfig* config, CompileState* state, const Value* root,
                   std::shared_ptr<const ContextScope> scope, Location location)
        : config_(config), state_(state), root_(root), scope_(std::move(scope)), location_(std::move(location)) {}
    const std::shared_ptr<const ContextScope>& scope() const noexcept { return scope_; }

private:
    const CompilerConfig* config_;
    CompileState* state_;
    const Value* root_;
    std::shared_ptr<const ContextScope> scope_;
    Location location_;
};

using KeywordCompileResult = Result<KeywordValidatorPtr, ValidationError>;
using KeywordCompileFn = KeywordCompileResult (*)(const CompileContext& ctx, const Value& parent, const Value& value);

// The keyword contributes no validator.
inline KeywordCompileResult no_validator() { return KeywordValidatorPtr(); }

// Compiles a subschema in a context already at its Location, under the draft its own string
// "$schema" names, else the context's draft. The node is owned by the compilation.
Result<const SchemaNode*, ValidationError> compile_subschema(const CompileContext& ctx, const Value& schema);
Result<const SchemaNode*, ValidationError> compile_subschema(const CompileContext& ctx, const Value& schema,
                                                             Draft draft);

// A node of the plain form whose entry i stands at the context's Location + "/i".
const SchemaNode* schema_node_from_validators(const CompileContext& ctx, std::vector<KeywordValidatorPtr> validators);

// Tables shared by one compilation. Keyword libraries keep their own per-compilation caches
// (compiled patterns, unevaluated-keyword collections) as extensions, one per type.
class CompileState {
public:
    struct Tables;

    CompileState();
    ~CompileState();
    CompileState(const CompileState&) = delete;
    CompileState& operator=(const CompileState&) = delete;

    template <class T>
    T& extension() {
        auto& slot = extensions_[std::type_index(typeid(T))];
        if (!slot) slot = std::make_shared<T>();
        return *static_cast<T*>(slot.get());
    }

    Tables& tables() noexcept { return *tables_; }

private:
    std::unique_ptr<Tables> tables_;
    std::unordered_map<std::type_index, std::shared_ptr<void>> extensions_;
};

enum class BuiltinKeyword : std::uint8_t {
    Ref,
    AdditionalItems,
    AdditionalProperties,
    AllOf,
    AnyOf,
    Dependencies,
    Enum,
    Format,
    Items,
    MaxItems,
    MaxLength,
    MaxProperties,
    MinItems,
    MinLength,
    MinProperties,
    MultipleOf,
    Not,
    OneOf,
    Pattern,
    PatternProperties,
    Properties,
    Required,
    UniqueItems,
    Maximum,
    Minimum,
    Type,
    Const,
    Contains,
    ExclusiveMaximum,
    ExclusiveMinimum,
    PropertyNames,
    ContentMediaType,
    ContentEncoding,
    ContentSchema,
    If,
    RecursiveRef,
    DependentRequired,
    DependentSchemas,
    PrefixItems,
    UnevaluatedItems,
    UnevaluatedProperties,
    DynamicRef,
};
inline constexpr std::size_t kBuiltinKeywordCount = 42;

struct BuiltinKeywordInfo {
    std::string_view name;
    std::uint8_t priority;
    bool pre_check;
    bool leading_scalar;
    // Bit d set when the keyword exists under Draft value d.
    std::uint8_t drafts;
    // The vocabulary that must be in force from 2019-09 on; none when `has_vocabulary` is false.
    bool has_vocabulary;
    KnownVocabulary vocabulary;
};

const BuiltinKeywordInfo& builtin_keyword_info(BuiltinKeyword keyword) noexcept;
std::optional<BuiltinKeyword> builtin_keyword_from_name(std::string_view name) noexcept;
inline constexpr std::uint8_t kCustomKeywordPriority = 80;

// Builds the fused `type: array` + `items` validator (with `minItems`/`maxItems`); given the
// schema object's context, the schema object, the `items` value and the shared record of the
// absorbed keywords, which the node also keeps for evaluation output.
using FusedArrayCompileFn = KeywordCompileResult (*)(const CompileContext& ctx, const Value& parent,
                                                     const Value& items,
                                                     const std::shared_ptr<const FusedArrayInfo>& info);
// Wraps a custom keyword made by a registered factory.
using CustomKeywordAdapterFn = KeywordValidatorPtr (*)(std::string name, std::unique_ptr<CustomKeyword> keyword,
                                                       Location location);

class KeywordTable {
public:
    // The compile function of a keyword under every draft it exists in.
    KeywordTable& add(BuiltinKeyword keyword, KeywordCompileFn fn);
    // A second form used for drafts up to and including `up_to` (draft 4 `type`, draft 6/7 content).
    KeywordTable& add_legacy(BuiltinKeyword keyword, Draft up_to, KeywordCompileFn fn);
    KeywordTable& set_fused_array(FusedArrayCompileFn fn);
    KeywordTable& set_custom_keyword_adapter(CustomKeywordAdapterFn fn);

    KeywordCompileFn lookup(BuiltinKeyword keyword, Draft draft) const noexcept;
    FusedArrayCompileFn fused_array() const noexcept { return fused_array_; }
    CustomKeywordAdapterFn custom_keyword_adapter() const noexcept { return custom_adapter_; }

private:
    struct Entry {
        KeywordCompileFn fn = nullptr;
        KeywordCompileFn legacy = nullptr;
        Draft legacy_up_to = Draft::Draft4;
    };
    Entry entries_[kBuiltinKeywordCount];
    FusedArrayCompileFn fused_array_ = nullptr;
    CustomKeywordAdapterFn custom_adapter_ = nullptr;
};

// The built-in compile functions; defined by the keyword library.
const KeywordTable& builtin_keyword_table();

// Whether a `minItems`/`maxItems` value is a non-negative integer limit for the fused array path,
// and that limit (beyond 64 bits: the largest value).
std::optional<std::uint64_t> fused_array_limit(const Value& value, Draft draft);

// Kind of an `items` subschema that is exactly {"type": T} for one of the fast item types:
// 0 number, 1 string, 2 boolean, 3 integer, 4 integer under draft 4.
std::optional<std::uint8_t> single_type_items_kind(const CompileContext& ctx, const Value& items);

}  // namespace deririrore::core
