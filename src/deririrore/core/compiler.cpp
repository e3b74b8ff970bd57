#include "deririrore/core/compiler.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "deririrore/core/compile_internal.hpp"
#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/numeric.hpp"

namespace deririrore::core {

using referencing::Resolver;
using referencing::VocabularyKind;
using referencing::VocabularySet;

// Compile contexts.

Draft CompileContext::draft() const noexcept { return scope_->draft; }
const Location& CompileContext::resource_base() const noexcept { return scope_->resource_base; }
std::size_t CompileContext::resource_offset() const noexcept { return scope_->resource_offset; }
const referencing::Resolver& CompileContext::resolver() const noexcept { return scope_->resolver; }
const referencing::VocabularySet& CompileContext::vocabularies() const noexcept { return scope_->vocabularies; }
const referencing::UriRef& CompileContext::base_uri() const noexcept { return scope_->resolver.base(); }

bool CompileContext::has_vocabulary(KnownVocabulary vocabulary) const noexcept {
    return scope_->vocabularies.contains(static_cast<VocabularyKind>(vocabulary));
}

CompileContext CompileContext::at_keyword(std::string_view segment) const {
    return CompileContext(config_, state_, root_, scope_, location_join_key(location_, segment));
}

CompileContext CompileContext::at_index(std::uint64_t index) const {
    return CompileContext(config_, state_, root_, scope_, append_index_to_location(location_, index));
}

namespace {

bool is_default_scheme(const referencing::Uri& uri) { return uri.scheme() == "json-schema"; }

bool is_unreserved_fragment_byte(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '-': case '.': case '_': case '~': case '!': case '$': case '&': case '\'': case '(': case ')':
        case '*': case '+': case ',': case ';': case '=': case ':': case '@': case '/':
            return true;
        default:
            return false;
    }
}

}  // namespace

AbsoluteLocation absolute_location_uri(const referencing::Uri& base, std::string_view pointer) {
    if (is_default_scheme(base)) return nullptr;
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text(base.without_fragment_view());
    text.reserve(text.size() + 1 + pointer.size());
    text += '#';
    for (char ch : pointer) {
        const auto c = static_cast<unsigned char>(ch);
        if (is_unreserved_fragment_byte(c)) {
            text += ch;
        } else {
            text += '%';
            text += kHex[c >> 4];
            text += kHex[c & 15];
        }
    }
    return std::make_shared<const std::string>(std::move(text));
}

AbsoluteLocation CompileContext::absolute_location(const Location& location) const {
    const auto& base = base_uri();
    if (!base || is_default_scheme(*base)) return nullptr;
    std::string_view text = location.view();
    const std::size_t offset = std::min(resource_offset(), text.size());
    return absolute_location_uri(*base, text.substr(offset));
}

KeywordLocationRecord CompileContext::keyword_location_record(const Location& location) const {
    KeywordLocationRecord record;
    record.location = location;
    record.absolute = absolute_location(location);
    record.resolved = record.absolute ? Location(*record.absolute) : location;
    return record;
}

// Compile state.

CompileState::CompileState() : tables_(std::make_unique<Tables>()) {}
CompileState::~CompileState() = default;

std::string target_key(std::string_view uri, const referencing::DynamicScope& scope) {
    std::string key(uri);
    scope.for_each([&](const referencing::UriRef& u) {
        key += '\0';
        key += u->text();
    });
    return key;
}

// The built-in keywords.

namespace {

constexpr std::uint8_t kAll = 0x3F;
constexpr std::uint8_t kFrom6 = 0x3E;
constexpr std::uint8_t kFrom7 = 0x3C;
constexpr std::uint8_t kFrom201909 = 0x38;
constexpr std::uint8_t kOnly201909 = 0x08;
constexpr std::uint8_t kFrom202012 = 0x30;

constexpr BuiltinKeywordInfo info(std::string_view name, std::uint8_t priority, bool pre_check, bool leading,
                                  std::uint8_t drafts, bool has_vocabulary, KnownVocabulary vocabulary) {
    return BuiltinKeywordInfo{name, priority, pre_check, leading, drafts, has_vocabulary, vocabulary};
}

using KV = KnownVocabulary;
constexpr std::array<BuiltinKeywordInfo, kBuiltinKeywordCount> kBuiltins = {{
    info("$ref", 70, false, false, kAll, false, KV::Core),
    info("additionalItems", 46, false, false, kAll, true, KV::Applicator),
    info("additionalProperties", 42, false, false, kAll, true, KV::Applicator),
    info("allOf", 50, false, false, kAll, true, KV::Applicator),
    info("anyOf", 51, false, false, kAll, true, KV::Applicator),
    info("dependencies", 48, false, false, kAll, true, KV::Applicator),
    info("enum", 6, true, true, kAll, true, KV::Validation),
    info("format", 31, true, false, kAll, false, KV::Core),
    info("items", 44, false, false, kAll, true, KV::Applicator),
    info("maxItems", 23, true, false, kAll, true, KV::Validation),
    info("maxLength", 21, true, true, kAll, true, KV::Validation),
    info("maxProperties", 25, true, false, kAll, true, KV::Validation),
    info("minItems", 22, true, false, kAll, true, KV::Validation),
    info("minLength", 20, true, true, kAll, true, KV::Validation),
    info("minProperties", 24, true, false, kAll, true, KV::Validation),
    info("multipleOf", 14, true, true, kAll, true, KV::Validation),
    info("not", 53, false, false, kAll, true, KV::Applicator),
    info("oneOf", 52, false, false, kAll, true, KV::Applicator),
    info("pattern", 30, true, false, kAll, true, KV::Validation),
    info("patternProperties", 41, false, false, kAll, true, KV::Applicator),
    info("properties", 40, false, false, kAll, true, KV::Applicator),
    info("required", 26, true, false, kAll, true, KV::Validation),
    info("uniqueItems", 35, true, false, kAll, true, KV::Validation),
    info("maximum", 11, true, true, kAll, true, KV::Validation),
    info("minimum", 10, true, true, kAll, true, KV::Validation),
    info("type", 1, true, true, kAll, true, KV::Validation),
    info("const", 5, true, true, kFrom6, true, KV::Validation),
    info("contains", 47, false, false, kFrom6, true, KV::Applicator),
    info("exclusiveMaximum", 13, true, true, kFrom6, true, KV::Validation),
    info("exclusiveMinimum", 12, true, true, kFrom6, true, KV::Validation),
    info("propertyNames", 43, false, false, kFrom6, true, KV::Applicator),
    info("contentMediaType", 33, true, false, kFrom6, true, KV::Content),
    info("contentEncoding", 32, true, false, kFrom6, true, KV::Content),
    info("contentSchema", 34, false, false, kFrom201909, true, KV::Content),
    info("if", 54, false, false, kFrom7, true, KV::Applicator),
    info("$recursiveRef", 71, false, false, kOnly201909, false, KV::Core),
    info("dependentRequired", 27, true, false, kFrom201909, true, KV::Validation),
    info("dependentSchemas", 49, false, false, kFrom201909, true, KV::Applicator),
    info("prefixItems", 45, false, false, kFrom202012, true, KV::Applicator),
    info("unevaluatedItems", 61, false, false, kFrom201909, true, KV::Unevaluated),
    info("unevaluatedProperties", 60, false, false, kFrom201909, true, KV::Unevaluated),
    info("$dynamicRef", 72, false, false, kFrom202012, false, KV::Core),
}};

bool exists_in(const BuiltinKeywordInfo& row, Draft draft) {
    return (row.drafts >> static_cast<unsigned>(draft)) & 1u;
}

bool vocabulary_active(const CompileContext& ctx, BuiltinKeyword keyword, const BuiltinKeywordInfo& row) {
    if (!row.has_vocabulary || ctx.draft() <= Draft::Draft7) return true;
    if (row.vocabulary == KV::Unevaluated && ctx.draft() == Draft::Draft201909) {
        return ctx.has_vocabulary(KV::Applicator);
    }
    (void)keyword;
    return ctx.has_vocabulary(row.vocabulary);
}

}  // namespace

const BuiltinKeywordInfo& builtin_keyword_info(BuiltinKeyword keyword) noexcept {
    return kBuiltins[static_cast<std::size_t>(keyword)];
}

std::optional<BuiltinKeyword> builtin_keyword_from_name(std::string_view name) noexcept {
    for (std::size_t i = 0; i < kBuiltins.size(); ++i) {
        if (kBuiltins[i].name == name) return static_cast<BuiltinKeyword>(i);
    }
    return std::nullopt;
}

KeywordTable& KeywordTable::add(BuiltinKeyword keyword, KeywordCompileFn fn) {
    entries_[static_cast<std::size_t>(keyword)].fn = fn;
    return *this;
}

KeywordTable& KeywordTable::add_legacy(BuiltinKeyword keyword, Draft up_to, KeywordCompileFn fn) {
    auto& e = entries_[static_cast<std::size_t>(keyword)];
    e.legacy = fn;
    e.legacy_up_to = up_to;
    return *this;
}

KeywordTable& KeywordTable::set_fused_array(FusedArrayCompileFn fn) {
    fused_array_ = fn;
    return *this;
}

KeywordTable& KeywordTable::set_custom_keyword_adapter(CustomKeywordAdapterFn fn) {
    custom_adapter_ = fn;
    return *this;
}

KeywordCompileFn KeywordTable::lookup(BuiltinKeyword keyword, Draft draft) const noexcept {
    const auto& e = entries_[static_cast<std::size_t>(keyword)];
    if (e.legacy != nullptr && draft <= e.legacy_up_to) return e.legacy;
    return e.fn;
}

std::optional<std::uint64_t> fused_array_limit(const Value& value, Draft draft) {
    if (!value.is_number()) return std::nullopt;
    const std::string_view text = value.number_text();
    const bool all_digits = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (all_digits) {
        if (auto n = value::read_u64_text(text)) return *n;
        return UINT64_MAX;
    }
    if (draft == Draft::Draft4) return std::nullopt;
    // A decimal that is not a whole number is never a limit, even when its double is; the
    // separate size keywords refuse it the same way.
    if (auto exact = value::parse_exact_number(text); exact && exact->get_den() != 1) return std::nullopt;
    auto d = value::read_finite_f64_text(text);
    if (!d || *d < 0 || std::trunc(*d) != *d) return std::nullopt;
    if (*d >= 18446744073709551615.0) return UINT64_MAX;
    return static_cast<std::uint64_t>(*d);
}

std::optional<std::uint8_t> single_type_items_kind(const CompileContext& ctx, const Value& items) {
    if (ctx.draft() >= Draft::Draft201909 && !ctx.has_vocabulary(KV::Validation)) return std::nullopt;
    if (ctx.is_custom_keyword("type")) return std::nullopt;
    if (!items.is_object() || items.size() != 1) return std::nullopt;
    const Value* type = items.find("type");
    if (type == nullptr || !type->is_string()) return std::nullopt;
    const std::string& name = type->as_string();
    if (name == "number") return 0;
    if (name == "string") return 1;
    if (name == "boolean") return 2;
    if (name == "integer") return ctx.draft() == Draft::Draft4 ? 4 : 3;
    return std::nullopt;
}

// Schema node compilation.

namespace {

struct CollectedKeyword {
    std::optional<BuiltinKeyword> builtin;
    std::string name;
    KeywordValidatorPtr validator;
};

std::uint8_t priority_of(const CollectedKeyword& k) {
    return k.builtin ? builtin_keyword_info(*k.builtin).priority : kCustomKeywordPriority;
}

const SchemaNode* build_keywords_node(const CompileContext& ctx, std::vector<CollectedKeyword> collected,
                                      std::shared_ptr<const FusedArrayInfo> fused, SharedValue annotations) {
    std::stable_sort(collected.begin(), collected.end(),
                     [](const CollectedKeyword& a, const CollectedKeyword& b) { return priority_of(a) < priority_of(b); });
    std::size_t split = 0;
    if (fused) {
        while (split < collected.size() && collected[split].builtin &&
               builtin_keyword_info(*collected[split].builtin).leading_scalar) {
            ++split;
        }
    }
    std::vector<CompiledKeyword> entries;
    entries.reserve(collected.size());
    for (auto& k : collected) {
        CompiledKeyword entry;
        entry.location = location_join_key(ctx.location(), k.name);
        entry.absolute_location = ctx.absolute_location(entry.location);
        entry.pre_check = k.builtin ? builtin_keyword_info(*k.builtin).pre_check : false;
        entry.validator = std::move(k.validator);
        if (auto target = entry.validator->ref_target()) {
            entry.target_location = *target->location;
            entry.target_absolute = target->absolute ? *target->absolute : nullptr;
        } else {
            entry.target_location = entry.location;
            entry.target_absolute = entry.absolute_location;
        }
        entry.resolved_location = entry.target_absolute ? Location(*entry.target_absolute) : entry.target_location;
        entries.push_back(std::move(entry));
    }
    return ctx.state().tables().adopt(SchemaNode::keywords(std::move(entries), std::move(annotations),
                                                           std::move(fused), split, ctx.location(),
                                                           ctx.absolute_location(ctx.location())));
}

bool is_false(const Value& v) { return v.is_bool() && !v.as_bool(); }

// Whether `type`, `items` (and the size limits) compile together into one array validator.
bool takes_fused_array_path(const CompileContext& ctx, const Value& object, const KeywordTable& table) {
    if (table.fused_array() == nullptr) return false;
    const Value* items = object.find("items");
    if (items == nullptr || !(items->is_object() || is_false(*items))) return false;
    const Value* type = object.find("type");
    if (type == nullptr || !type->is_string() || type->as_string() != "array") return false;
    if (ctx.draft() > Draft::Draft7 && !(ctx.has_vocabulary(KV::Validation) && ctx.has_vocabulary(KV::Applicator))) {
        return false;
    }
    for (std::string_view k : {"prefixItems", "additionalItems", "contains", "unevaluatedItems", "uniqueItems"}) {
        if (object.contains(k)) return false;
    }
    if (ctx.is_custom_keyword("type") || ctx.is_custom_keyword("items")) return false;
    for (std::string_view k : {"minItems", "maxItems"}) {
        if (const Value* limit = object.find(k)) {
            if (ctx.is_custom_keyword(k) || !fused_array_limit(*limit, ctx.draft())) return false;
        }
    }
    return true;
}

std::shared_ptr<const FusedArrayInfo> fused_array_info(const CompileContext& ctx, const Value& object) {
    auto info = std::make_shared<FusedArrayInfo>();
    info->type = ctx.keyword_location_record(ctx.keyword_location("type"));
    if (const Value* v = object.find("minItems")) {
        info->min_items = ctx.keyword_location_record(ctx.keyword_location("minItems"));
        info->min_limit = fused_array_limit(*v, ctx.draft());
    }
    if (const Value* v = object.find("maxItems")) {
        info->max_items = ctx.keyword_location_record(ctx.keyword_location("maxItems"));
        info->max_limit = fused_array_limit(*v, ctx.draft());
    }
    return info;
}

// The first node compile an error leaves is the one holding its keyword: there it gets that
// keyword's Location when it was raised without one (reference errors), and the Location's
// absolute URI, in the coordinates of the resource the keyword sits in. Nodes further out leave
// it as it is.
ValidationError located(const CompileContext& ctx, const Location& keyword_location, ValidationError error) {
    if (error.is_schema_error()) return error;
    error.place_at(keyword_location);
    error.attach_absolute_location(ctx.absolute_location(error.schema_path()));
    error.mark_schema_error();
    return error;
}

Result<const SchemaNode*, ValidationError> compile_object(const CompileContext& ctx, const Value& object) {
    auto& tables = ctx.state().tables();
    const KeywordTable& table = *tables.keyword_table;
    const Draft draft = ctx.draft();

    // Under drafts 4, 6 and 7 `$ref` hides every sibling keyword.
    if (draft <= Draft::Draft7) {
        if (const Value* ref = object.find("$ref")) {
            auto compiled = compile_ref_keyword(ctx, object, *ref);
            if (!compiled) {
                return make_unexpected(located(ctx, ctx.keyword_location("$ref"), std::move(compiled).error()));
            }
            if (!*compiled) {
                return tables.adopt(
                    SchemaNode::boolean(true, ctx.location(), ctx.absolute_location(ctx.location())));
            }
            std::vector<CollectedKeyword> one;
            one.push_back(CollectedKeyword{BuiltinKeyword::Ref, "$ref", std::move(*compiled)});
            return build_keywords_node(ctx, std::move(one), nullptr, nullptr);
        }
    }

    const bool fused = takes_fused_array_path(ctx, object, table);
    std::shared_ptr<const FusedArrayInfo> fused_info;
    std::vector<CollectedKeyword> collected;
    collected.reserve(object.size());
    std::optional<value::ObjectBuilder> annotations;

    for (const auto& member : object.as_object()) {
        const std::string& name = member.key;
        if (fused) {
            if (name == "type" || name == "minItems" || name == "maxItems") continue;
            if (name == "items") {
                fused_info = fused_array_info(ctx, object);
                auto compiled = table.fused_array()(ctx, object, member.value, fused_info);
                if (!compiled) {
                    return make_unexpected(
                        located(ctx, ctx.keyword_location(name), error_into_owned(std::move(compiled).error())));
                }
                if (*compiled) collected.push_back(CollectedKeyword{BuiltinKeyword::Items, name, std::move(*compiled)});
                continue;
            }
        }
        if (const KeywordFactory* factory = ctx.config().keyword_factory(name)) {
            Location location = ctx.keyword_location(name);
            auto custom = factory->init(object, member.value, location, name);
            if (!custom) {
                return make_unexpected(located(ctx, location, error_into_owned(new_custom_validation_error(
                                                                   std::move(custom).error(), member.value, location,
                                                                   name))));
            }
            CustomKeywordAdapterFn adapter = table.custom_keyword_adapter();
            if (adapter == nullptr) {
                return make_unexpected(located(
                    ctx, location,
                    error_into_owned(ValidationError::compile_error(
                        kinds::Custom{name, "Custom keyword '" + name + "' cannot be compiled: no adapter is installed"},
                        member.value, location))));
            }
            collected.push_back(CollectedKeyword{std::nullopt, name, adapter(name, std::move(*custom), location)});
            continue;
        }
        if (auto builtin = builtin_keyword_from_name(name)) {
            const BuiltinKeywordInfo& row = builtin_keyword_info(*builtin);
            if (exists_in(row, draft) && vocabulary_active(ctx, *builtin, row)) {
                if (KeywordCompileFn fn = table.lookup(*builtin, draft)) {
                    auto compiled = fn(ctx, object, member.value);
                    if (!compiled) {
                        return make_unexpected(
                            located(ctx, ctx.keyword_location(name), error_into_owned(std::move(compiled).error())));
                    }
                    if (*compiled) {
                        collected.push_back(CollectedKeyword{*builtin, name, std::move(*compiled)});
                        continue;
                    }
                }
            }
        }
        if (referencing::is_known_keyword(draft, name)) continue;
        if (!annotations) annotations.emplace();
        annotations->add(name, member.value);
    }
    SharedValue annotation_value;
    if (annotations && annotations->size() > 0) {
        annotation_value = std::make_shared<const Value>(std::move(*annotations).build());
    }
    return build_keywords_node(ctx, std::move(collected), std::move(fused_info), std::move(annotation_value));
}

std::string node_cache_key(const CompileContext& ctx, const Value& value) {
    std::string key;
    const auto& base = ctx.base_uri();
    key.reserve(64);
    if (base) key += base->text();
    key += '\0';
    key += ctx.location().view();
    key += '\0';
    const auto address = reinterpret_cast<std::uintptr_t>(&value);
    key.append(reinterpret_cast<const char*>(&address), sizeof(address));
    ctx.resolver().scope().for_each([&](const referencing::UriRef& u) {
        key += '\0';
        key += u->text();
    });
    return key;
}

struct CompileDepthGuard {
    explicit CompileDepthGuard(CompileState::Tables& t) : tables(t) { ++tables.compile_depth; }
    ~CompileDepthGuard() { --tables.compile_depth; }
    CompileState::Tables& tables;
};

}  // namespace

Result<CompiledNode, ValidationError> compile_schema_node(const CompileContext& ctx, const Value& value,
                                                          const referencing::UriRef* uri) {
    auto& tables = ctx.state().tables();
    std::string key = node_cache_key(ctx, value);
    if (auto it = tables.node_cache.find(key); it != tables.node_cache.end()) {
        const CachedNode entry = it->second;
        if (uri != nullptr || entry.self_contained) {
            if (entry.self_contained) return CompiledNode{entry.node, false};
            tables.shared_node_used = true;
            return CompiledNode{entry.node, entry.epoch != tables.epoch};
        }
        if (entry.epoch == tables.epoch) {
            tables.shared_node_used = true;
            return CompiledNode{entry.node, false};
        }
    }
    if (tables.compile_depth >= kMaxCompileDepth) {
        return make_unexpected(error_into_owned(ValidationError::compile_error(
            kinds::Custom{"", "Schema nesting exceeds the maximum depth of " + std::to_string(kMaxCompileDepth)},
            value, ctx.location())));
    }
    CompileDepthGuard depth(tables);

    const bool saved_flag = tables.shared_node_used;
    tables.shared_node_used = false;
    PendingNode* slot = nullptr;
    bool recorded = false;
    if (uri != nullptr) {
        slot = tables.new_slot();
        tables.in_progress[(*uri)->text()] = slot;
        recorded =
            open_target_record(tables, target_key((*uri)->text(), ctx.resolver().scope()), (*uri)->text(), ctx, value);
    }

    Result<const SchemaNode*, ValidationError> compiled = static_cast<const SchemaNode*>(nullptr);
    if (value.is_bool()) {
        compiled = tables.adopt(SchemaNode::boolean(value.as_bool(), ctx.location(), ctx.absolute_location(ctx.location())));
    } else if (value.is_object()) {
        compiled = compile_object(ctx, value);
    } else {
        compiled = make_unexpected(located(
            ctx, ctx.location(),
            error_into_owned(ValidationError::compile_error(
                type_kind_multiple(JsonTypeSet(JsonType::Boolean).with(JsonType::Object)), value, ctx.location()))));
    }

    const bool self_contained = !tables.shared_node_used;
    if (saved_flag) tables.shared_node_used = true;
    if (recorded) close_target_record(tables, compiled ? *compiled : nullptr, self_contained);
    if (!compiled) return make_unexpected(std::move(compiled).error());
    const SchemaNode* node = *compiled;
    if (uri != nullptr) {
        slot->initialise(node, true);
        tables.in_progress.erase((*uri)->text());
        tables.compiled_targets[target_key((*uri)->text(), ctx.resolver().scope())] =
            CachedNode{node, tables.epoch, self_contained};
    }
    tables.node_cache[std::move(key)] = CachedNode{node, tables.epoch, self_contained};
    return CompiledNode{node, false};
}

Result<const SchemaNode*, ValidationError> compile_subschema(const CompileContext& ctx, const Value& schema,
                                                             Draft draft) {
    std::shared_ptr<const ContextScope> scope = ctx.scope();
    const bool has_id = referencing::draft_id_of(draft, schema).has_value();
    if (has_id || draft != ctx.draft()) {
        auto derived = std::make_shared<ContextScope>(*ctx.scope());
        if (has_id) {
            auto rebased = referencing::resolve_schema_id(ctx.resolver(), schema, draft);
            if (!rebased) {
                ValidationError error = reference_error_to_validation_error(std::move(rebased).error());
                error.place_at(location_join_key(ctx.location(), draft == Draft::Draft4 ? "id" : "$id"));
                return make_unexpected(std::move(error));
            }
            derived->resolver = std::move(*rebased);
            derived->resource_offset = ctx.location().size();
        }
        if (draft != ctx.draft()) {
            derived->vocabularies = referencing::resource_vocabularies(
                derived->resolver.registry(), derived->resolver.base()->text(), draft, schema);
        }
        derived->draft = draft;
        scope = std::move(derived);
    }
    CompileContext sub(&ctx.config(), &ctx.state(), &ctx.root(), std::move(scope), ctx.location());
    auto node = compile_schema_node(sub, schema, nullptr);
    if (!node) return make_unexpected(std::move(node).error());
    return node->node;
}

Result<const SchemaNode*, ValidationError> compile_subschema(const CompileContext& ctx, const Value& schema) {
    return compile_subschema(ctx, schema, referencing::detect_draft(ctx.draft(), schema));
}

const SchemaNode* schema_node_from_validators(const CompileContext& ctx, std::vector<KeywordValidatorPtr> validators) {
    std::vector<CompiledKeyword> entries;
    entries.reserve(validators.size());
    for (std::size_t i = 0; i < validators.size(); ++i) {
        CompiledKeyword entry;
        entry.location = append_index_to_location(ctx.location(), i);
        entry.absolute_location = ctx.absolute_location(entry.location);
        entry.target_location = entry.location;
        entry.target_absolute = entry.absolute_location;
        entry.resolved_location = entry.absolute_location ? Location(*entry.absolute_location) : entry.location;
        entry.validator = std::move(validators[i]);
        entries.push_back(std::move(entry));
    }
    return ctx.state().tables().adopt(
        SchemaNode::plain(std::move(entries), ctx.location(), ctx.absolute_location(ctx.location())));
}

std::optional<ValidationError> check_required_vocabularies(const CompilerConfig& config,
                                                           const referencing::VocabularySet& vocabularies) {
    for (const auto& uri : vocabularies.custom()) {
        if (!config.supports_vocabulary(uri)) {
            return ValidationError(
                EvaluationPath{Location()},
                kinds::Custom{"", "Unknown vocabulary: '" + uri +
                                      "' is required by the meta-schema. Adjust configuration to declare support for it"},
                std::make_shared<const Value>(), Location(), Location());
        }
    }
    return std::nullopt;
}

Result<CompileContext, ValidationError> new_resource_compile_context(const CompileContext& parent,
                                                                     referencing::Resolver resolver, Draft draft,
                                                                     referencing::VocabularySet vocabularies,
                                                                     Location location) {
    if (auto error = check_required_vocabularies(parent.config(), vocabularies)) {
        return make_unexpected(std::move(*error));
    }
    auto scope = std::make_shared<ContextScope>(ContextScope{std::move(resolver), std::move(vocabularies), location, 0, draft});
    return CompileContext(&parent.config(), &parent.state(), &parent.root(), std::move(scope), std::move(location));
}

Result<Ok, ValidationError> run_compile_queue(const CompileContext& root) {
    auto& tables = root.state().tables();
    while (!tables.queue.empty()) {
        CompileJob job = std::move(tables.queue.front());
        tables.queue.pop_front();
        tables.deferred.erase(job.key);
        ++tables.epoch;
        tables.in_progress = std::move(job.in_progress);
        auto vocabularies = referencing::resource_vocabularies(job.resolver.registry(), job.resolver.base()->text(),
                                                               job.draft, *job.value);
        auto ctx = new_resource_compile_context(root, job.resolver, job.draft, std::move(vocabularies), job.location);
        if (!ctx) return make_unexpected(error_into_owned(std::move(ctx).error()));
        auto compiled = compile_schema_node(*ctx, *job.value, &job.uri);
        if (!compiled) return make_unexpected(error_into_owned(std::move(compiled).error()));
        job.pending->initialise(compiled->node, compiled->weak);
        tables.in_progress.clear();
    }
    return Ok{};
}

}  // namespace deririrore::core
