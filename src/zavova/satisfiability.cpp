#include "zavova/satisfiability.hpp"

#include <memory>
#include <set>
#include <utility>

#include "deririrore/canonical/analysis.hpp"
#include "deririrore/canonical/describe.hpp"
#include "deririrore/metaschema/metaschema.hpp"
#include "deririrore/referencing/pointer.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/referencing/resolver.hpp"
#include "deririrore/referencing/uri.hpp"
#include "deririrore/value/json.hpp"
#include "deririrore/value/overloaded.hpp"

namespace zavova {

namespace {

namespace canonical = deririrore::canonical;
namespace ref = deririrore::referencing;
using deririrore::make_unexpected;
using deririrore::core::Location;
using deririrore::value::Overloaded;

using AnalysisOutcome = std::variant<UnsatisfiableMap, AnalysisFailure>;

class NoAnalysis final : public SatisfiabilityAnalysis {
public:
    SatisfiabilityResult analyse_satisfiability(const Value&, std::optional<Draft>) const override {
        return NotAnalysed{};
    }
    std::optional<UnsatisfiableOrigin> find_unsatisfiable_origin(const UnsatisfiableMap&, const Value&) const override {
        return std::nullopt;
    }
    UnsatisfiableCause collect_unsatisfiable_causes(std::string_view location, const UnsatisfiableCauses&, const Value&,
                                                    Draft) const override {
        return Unexplained{DescribedCause{std::string(location), {}}};
    }
};

class CanonicalAnalysis final : public SatisfiabilityAnalysis {
public:
    SatisfiabilityResult analyse_satisfiability(const Value& schema, std::optional<Draft> draft) const override {
        return std::visit([](auto&& outcome) -> SatisfiabilityResult { return std::move(outcome); },
                          zavova::analyse_satisfiability(schema, draft));
    }
    std::optional<UnsatisfiableOrigin> find_unsatisfiable_origin(const UnsatisfiableMap& map,
                                                                 const Value& schema) const override {
        return zavova::find_unsatisfiable_origin(map, schema);
    }
    UnsatisfiableCause collect_unsatisfiable_causes(std::string_view location, const UnsatisfiableCauses& causes,
                                                    const Value& schema, Draft draft) const override {
        return zavova::collect_unsatisfiable_causes(location, causes, schema, draft);
    }
};

constexpr std::string_view kNotASchema = "schema must be a boolean or object, got: ";
constexpr std::size_t kPreviewScalars = 40;
constexpr std::size_t kCutScalars = 37;
// Every branch costs a whole analysis; past this many the cause keeps its plain description.
constexpr std::size_t kMaxBranchAnalyses = 64;

canonical::Draft canonical_draft(Draft draft) noexcept {
    switch (draft) {
        case Draft::Draft4:
            return canonical::Draft::Draft4;
        case Draft::Draft6:
            return canonical::Draft::Draft6;
        case Draft::Draft7:
            return canonical::Draft::Draft7;
        case Draft::Draft201909:
            return canonical::Draft::Draft201909;
        default:
            return canonical::Draft::Draft202012;
    }
}

AnalysisFailure reference_failure(const ref::ReferenceError& error) {
    return std::visit(
        Overloaded{
            [](const ref::ReferenceError::Unretrievable& e) -> AnalysisFailure { return UnresolvableReference{e.uri}; },
            [](const ref::ReferenceError::InvalidUri& e) -> AnalysisFailure {
                return std::visit([](const auto& d) -> AnalysisFailure { return UnresolvableReference{d.uri}; },
                                  e.error.data);
            },
            [](const ref::ReferenceError::PointerToNowhere& e) -> AnalysisFailure {
                return UnresolvablePointer{e.pointer};
            },
            [](const ref::ReferenceError::InvalidPercentEncoding& e) -> AnalysisFailure {
                return UnresolvablePointer{e.pointer};
            },
            [](const ref::ReferenceError::InvalidArrayIndex& e) -> AnalysisFailure {
                return UnresolvablePointer{e.pointer};
            },
            [](const ref::ReferenceError::NoSuchAnchor& e) -> AnalysisFailure { return UnresolvableAnchor{e.anchor}; },
            [](const ref::ReferenceError::InvalidAnchor& e) -> AnalysisFailure { return UnresolvableAnchor{e.anchor}; },
            [](const ref::ReferenceError::UnknownSpecification&) -> AnalysisFailure { return Unsupported{}; },
            [](const ref::ReferenceError::CircularMetaschema&) -> AnalysisFailure { return Unsupported{}; },
        },
        error.data);
}

AnalysisFailure meta_schema_failure(const deririrore::core::ValidationError& error, const Value* checked = nullptr) {
    return InvalidSchema{
        checked != nullptr ? canonical::describe_expectation(error, *checked) : canonical::describe_expectation(error),
        error.instance_path()};
}

AnalysisFailure canonical_failure(const canonical::CanonicalError& error) {
    return std::visit(
        Overloaded{
            [](const canonical::CanonicalError::NotASchema& e) -> AnalysisFailure {
                return InvalidSchema{std::string(kNotASchema) + e.json, Location()};
            },
            [](const canonical::CanonicalError::NoValueAtPointer&) -> AnalysisFailure { return Unsupported{}; },
            [](const canonical::CanonicalError::ReferenceFailed& e) -> AnalysisFailure {
                return reference_failure(e.error);
            },
            [](const canonical::CanonicalError::SchemaInvalid& e) -> AnalysisFailure {
                return meta_schema_failure(e.error);
            },
            [](const canonical::CanonicalError::InvalidPattern& e) -> AnalysisFailure {
                return UncompilablePattern{e.pattern};
            },
        },
        error.data);
}

// Compiled patterns depend on their text alone (the options here never change), and the schemas
// of one document repeat the same patterns in every analysis: each thread keeps one cache for
// its analyses, started afresh once it holds this many.
constexpr std::size_t kKeptCompiledPatterns = 4096;

std::shared_ptr<canonical::PatternCache> analysis_pattern_cache() {
    thread_local std::shared_ptr<canonical::PatternCache> cache;
    if (cache == nullptr || cache->size() >= kKeptCompiledPatterns) cache = std::make_shared<canonical::PatternCache>();
    return cache;
}

Draft chosen_draft(const Value& schema, std::optional<Draft> given) {
    if (given) return *given;
    if (auto dialect = ref::string_member(schema, "$schema")) return ref::draft_from_url(*dialect);
    return Draft::Draft202012;
}

bool is_continuation(unsigned char c) noexcept { return (c & 0xC0) == 0x80; }

std::size_t count_scalars(std::string_view text) noexcept {
    std::size_t n = 0;
    for (char c : text) n += is_continuation(static_cast<unsigned char>(c)) ? 0 : 1;
    return n;
}

std::string preview_of(const Value& value) {
    std::string text = deririrore::value::to_json(value);
    if (count_scalars(text) <= kPreviewScalars) return text;
    if (value.is_array()) return "[...]";
    if (value.is_object()) return "{...}";
    std::size_t end = 0, scalars = 0;
    while (end < text.size()) {
        if (!is_continuation(static_cast<unsigned char>(text[end]))) {
            if (scalars == kCutScalars) break;
            ++scalars;
        }
        ++end;
    }
    text.resize(end);
    text += "...";
    return text;
}

bool starts_with_segment(std::string_view location, std::string_view prefix) {
    return location == prefix ||
           (location.starts_with(prefix) && location.size() > prefix.size() && location[prefix.size()] == '/');
}

std::vector<const CanonicalCause*> causes_of(const UnsatisfiableCauses& causes) {
    std::vector<const CanonicalCause*> out;
    if (const auto* one = std::get_if<CanonicalCause>(&causes.data)) {
        out.push_back(one);
    } else if (const auto* many = std::get_if<std::vector<CanonicalCause>>(&causes.data)) {
        for (const CanonicalCause& c : *many) out.push_back(&c);
    }
    return out;
}

// The next unsatisfiable location a cause's keyword leads to, if the map holds one.
std::optional<std::string> next_location(const CanonicalCause& cause, const Value& object,
                                         const UnsatisfiableMap& map) {
    auto known = [&](std::string candidate) -> std::optional<std::string> {
        if (map.count(candidate) != 0) return candidate;
        return std::nullopt;
    };
    for (const std::string& keyword : cause.keywords) {
        const Value* value = object.find(keyword);
        if (value == nullptr) continue;
        if (keyword == "$ref") {
            if (value->is_string() && value->as_string().starts_with('#')) {
                if (auto found = known(value->as_string().substr(1))) return found;
            }
        } else if (keyword == "items" || keyword == "contains" || keyword == "prefixItems") {
            const std::string base = cause.pointer + "/" + keyword;
            if (value->is_array()) {
                for (std::size_t i = 0; i < value->as_array().size(); ++i) {
                    if (auto found = known(base + "/" + std::to_string(i))) return found;
                }
            } else if (auto found = known(base)) {
                return found;
            }
        } else if (keyword == "required" && value->is_array()) {
            for (const Value& item : value->as_array()) {
                if (!item.is_string()) continue;
                std::string candidate = cause.pointer + "/properties/";
                ref::push_pointer_segment(candidate, item.as_string());
                if (auto found = known(std::move(candidate))) return found;
            }
        }
    }
    return std::nullopt;
}

DescribedCause describe_or_bare(const CanonicalCause& cause, const Value& schema) {
    auto described = describe_cause(cause.pointer, cause.keywords, schema);
    if (described) return std::move(*described);
    // The map always names what the schema holds; should it not, the location alone is still true.
    return DescribedCause{cause.pointer, {}};
}

// The schema one branch is checked in: the object without the alternatives, beside one branch,
// with the root's definition containers so that references into them still resolve.
Value branch_schema(const Value& object, std::string_view keyword, const Value& root) {
    Value::Array all_of;
    all_of.push_back(branch_base_members(object, keyword));
    all_of.push_back(Value::boolean(true));
    deririrore::value::ObjectBuilder builder;
    builder.add("allOf", Value::array(std::move(all_of)));
    if (root.is_object()) {
        for (std::string_view container : {"components", "definitions", "$defs"}) {
            if (const Value* found = root.find(container)) builder.add(std::string(container), *found);
        }
    }
    return std::move(builder).build();
}

bool same_cause(const CanonicalCause& a, std::string_view location, const std::vector<std::string>& keywords) {
    return a.pointer == location && a.keywords == keywords;
}

// The causes of each branch, or none when a branch fails to analyse, is compatible with the rest
// of the object or cannot be described.
std::optional<std::vector<DescribedCause>> branch_causes(const CanonicalCause& cause,
                                                         const std::vector<CanonicalCause>& explained,
                                                         const Value& schema, Draft draft, std::size_t& analyses_left) {
    const std::string& keyword = cause.keywords.front();
    const Value* object = ref::pointer_lookup(schema, cause.pointer);
    if (object == nullptr || !object->is_object()) return std::nullopt;
    const Value* branches = object->find(keyword);
    if (branches == nullptr || !branches->is_array() || branches->as_array().empty()) return std::nullopt;
    Value synthetic = branch_schema(*object, keyword, schema);
    std::vector<DescribedCause> out;
    for (std::size_t k = 0; k < branches->as_array().size(); ++k) {
        if (analyses_left == 0) return std::nullopt;
        --analyses_left;
        synthetic.find_mut("allOf")->mutable_array()[1] = branches->as_array()[k];
        auto outcome = analyse_satisfiability(synthetic, draft);
        const auto* map = std::get_if<UnsatisfiableMap>(&outcome);
        if (map == nullptr) return std::nullopt;
        auto root = map->find("");
        if (root == map->end()) return std::nullopt;
        const std::string branch = cause.pointer + "/" + keyword + "/" + std::to_string(k);
        const std::size_t before = out.size();
        for (const CanonicalCause* found : causes_of(root->second)) {
            std::string location;
            if (starts_with_segment(found->pointer, "/allOf/1")) {
                location = branch + found->pointer.substr(8);
            } else if (starts_with_segment(found->pointer, "/allOf/0")) {
                continue;
            } else if (starts_with_segment(found->pointer, "/components") ||
                       starts_with_segment(found->pointer, "/definitions") ||
                       starts_with_segment(found->pointer, "/$defs")) {
                bool known = false;
                for (const CanonicalCause& c : explained)
                    known = known || same_cause(c, found->pointer, found->keywords);
                if (known) continue;
                location = found->pointer;
            } else {
                continue;
            }
            auto described = describe_cause(location, found->keywords, schema);
            if (!described) return std::nullopt;
            out.push_back(std::move(*described));
        }
        if (out.size() == before) out.push_back(DescribedCause{branch, {}});
    }
    return out;
}

}  // namespace

const SatisfiabilityAnalysis& no_satisfiability_analysis() noexcept {
    static const NoAnalysis analysis;
    return analysis;
}

const SatisfiabilityAnalysis& canonical_satisfiability_analysis() noexcept {
    static const CanonicalAnalysis analysis;
    return analysis;
}

AnalysisOutcome analyse_satisfiability(const Value& schema, std::optional<Draft> given) {
    if (!schema.is_bool() && !schema.is_object())
        return AnalysisFailure{
            InvalidSchema{std::string(kNotASchema) + deririrore::value::to_json(schema), Location()}};
    // A given unknown draft is read as a chosen one: analysed without meta-schema or registry.
    const Draft draft = chosen_draft(schema, given);

    canonical::AnalysisRequest request;
    request.schema = &schema;
    request.pattern_options = deririrore::regex::PatternOptions::backtracking();
    request.draft = canonical_draft(draft);
    request.format_asserts = draft == Draft::Draft4 || draft == Draft::Draft6 || draft == Draft::Draft7;
    request.pattern_cache = analysis_pattern_cache();

    std::shared_ptr<const ref::Registry> registry;
    if (draft != Draft::Unknown) {
        if (auto error = deririrore::metaschema::validate_against_meta_schema(draft, schema))
            return AnalysisFailure{meta_schema_failure(*error, &schema)};
        std::string base(ref::kDefaultBaseUri);
        if (auto id = ref::draft_id_of(draft, schema)) {
            base = std::string(*id);
            while (!base.empty() && base.back() == '#') base.pop_back();
        }
        auto uri = ref::parse_uri(base);
        if (!uri) return AnalysisFailure{reference_failure(ref::ReferenceError(std::move(uri).error()))};
        auto root_uri = std::make_shared<const ref::Uri>(std::move(*uri));
        ref::RegistryOptions options = ref::registry_options_default();
        options.draft = draft;
        options.insert_resource(*root_uri, ref::RegistryInput::borrowed(schema, draft));
        auto built = ref::build_registry(std::move(options));
        if (!built) return AnalysisFailure{reference_failure(built.error())};
        registry = std::move(*built);
        request.scope.emplace(*registry, root_uri);
    }

    auto result = canonical::canonicalize_schema(request);
    if (!result) return AnalysisFailure{canonical_failure(result.error())};
    return std::move(*result);
}

std::optional<UnsatisfiableOrigin> find_unsatisfiable_origin(const UnsatisfiableMap& map, const Value& schema) {
    auto current = map.find("");
    if (current == map.end()) return std::nullopt;
    std::set<std::string> visited;
    while (true) {
        std::optional<std::string> next;
        for (const CanonicalCause* cause : causes_of(current->second)) {
            const Value* object = ref::pointer_lookup(schema, cause->pointer);
            if (object == nullptr || !object->is_object()) continue;
            if ((next = next_location(*cause, *object, map))) break;
        }
        if (!next || !visited.insert(*next).second) break;
        current = map.find(*next);
    }
    return UnsatisfiableOrigin{current->first, &current->second};
}

UnsatisfiableCause collect_unsatisfiable_causes(std::string_view location, const UnsatisfiableCauses& causes,
                                                const Value& schema, Draft draft) {
    if (const auto* one = std::get_if<CanonicalCause>(&causes.data)) return SingleCause{describe_or_bare(*one, schema)};
    const auto* many = std::get_if<std::vector<CanonicalCause>>(&causes.data);
    if (many == nullptr) return Unexplained{DescribedCause{std::string(location), {}}};
    CauseList list;
    std::size_t analyses_left = kMaxBranchAnalyses;
    for (const CanonicalCause& cause : *many) {
        const bool alternatives =
            cause.keywords.size() == 1 && (cause.keywords.front() == "oneOf" || cause.keywords.front() == "anyOf");
        if (alternatives) {
            if (auto branches = branch_causes(cause, *many, schema, draft, analyses_left)) {
                list.entries.emplace_back(BranchCauses{std::move(*branches)});
                continue;
            }
        }
        list.entries.emplace_back(PlainCause{describe_or_bare(cause, schema)});
    }
    return list;
}

deririrore::Result<DescribedCause, std::string> describe_cause(std::string_view location,
                                                               const std::vector<std::string>& keywords,
                                                               const Value& schema) {
    const Value* node = ref::pointer_lookup(schema, location);
    if (node == nullptr) return make_unexpected(std::string("a cause names a node the schema holds"));
    DescribedCause out{std::string(location), {}};
    for (const std::string& keyword : keywords) {
        const Value* value = node->is_object() ? node->find(keyword) : nullptr;
        if (value == nullptr) return make_unexpected(std::string("a cause names a keyword the node holds"));
        out.keywords.push_back(KeywordPreview{keyword, preview_of(*value)});
    }
    return out;
}

Value branch_base_members(const Value& object, std::string_view keyword) {
    deririrore::value::ObjectBuilder builder;
    if (!object.is_object()) return std::move(builder).build();
    for (const auto& member : object.as_object()) {
        if (member.key == keyword || member.key == "$defs" || member.key == "definitions" || member.key == "components")
            continue;
        builder.add(member.key, member.value);
    }
    return std::move(builder).build();
}

std::optional<UnknownDialectNote> find_unknown_dialect(const Value& schema, Draft assumed, std::string_view location) {
    const auto dialect = ref::string_member(schema, "$schema");
    if (!dialect || openapi_dialect_draft(*dialect) != Draft::Unknown) return std::nullopt;
    return UnknownDialectNote{std::string(location), std::string(*dialect), assumed};
}

}  // namespace zavova
