#include "deririrore/keywords/discriminator.hpp"

#include <algorithm>
#include <vector>

#include "deririrore/referencing/resolver.hpp"
#include "deririrore/referencing/vocabulary.hpp"

namespace deririrore::keywords {

using referencing::Resolver;
using referencing::VocabularyKind;

BranchDiscriminator::BranchDiscriminator(std::string property, std::size_t branch_count)
    : property_(std::move(property)) {
    table_.reserve(branch_count);
}

std::optional<std::size_t> BranchDiscriminator::branch_of(std::string_view value) const {
    auto it = table_.find(value);
    if (it == table_.end()) return std::nullopt;
    return it->second;
}

bool BranchDiscriminator::insert(std::string value, std::size_t branch) {
    return table_.emplace(std::move(value), branch).second;
}

DiscriminatorLookup BranchDiscriminator::lookup(const Value& instance) const {
    using Kind = DiscriminatorLookup::Kind;
    if (!instance.is_object()) return {Kind::NotAnObject};
    const Value* member = instance.find(property_);
    if (member == nullptr || !member->is_string() || table_.empty()) return {Kind::NoBranch};
    auto it = table_.find(std::string_view(member->as_string()));
    if (it == table_.end()) return {Kind::NoBranch};
    return {Kind::Branch, it->second};
}

namespace {

// Facts and pinned values are only looked for this deep (references and `allOf` nesting).
constexpr int kMaxWalkDepth = 16;

// What is in force at one schema object of the walk: the resolver for its references, its draft,
// and whether the validation and applicator keywords assert there. The compiler gives every
// subschema with its own "$schema" that draft and its vocabularies, so the walk does the same:
// a `const` under a draft 4 branch, or under a meta-schema without the validation vocabulary,
// pins nothing because it checks nothing there.
struct Scope {
    Resolver resolver;
    Draft draft;
    bool validation = true;
    bool applicator = true;
};

void set_vocabulary_flags(Scope& scope, const referencing::VocabularySet& vocabularies) {
    if (scope.draft <= Draft::Draft7) {
        scope.validation = true;
        scope.applicator = true;
        return;
    }
    scope.validation = vocabularies.contains(VocabularyKind::Validation);
    scope.applicator = vocabularies.contains(VocabularyKind::Applicator);
}

// The scope of a subschema, derived the way the compiler derives its context: the draft its own
// "$schema" names, the resolver rebased on its identifier, and the vocabularies read afresh when
// the draft changes. None when the identifier does not resolve.
std::optional<Scope> enter_subschema(const Value& schema, const Scope& outer) {
    Scope scope = outer;
    scope.draft = referencing::detect_draft(outer.draft, schema);
    auto rebased = referencing::resolve_schema_id(outer.resolver, schema, scope.draft);
    if (!rebased) return std::nullopt;
    scope.resolver = std::move(*rebased);
    if (scope.draft != outer.draft) {
        set_vocabulary_flags(scope, referencing::resource_vocabularies(scope.resolver.registry(),
                                                                       scope.resolver.base()->text(), scope.draft,
                                                                       schema));
    }
    return scope;
}

struct ReferenceTarget {
    const Value* contents;
    Scope scope;
};

// A `$ref` target of the same draft, with the scope the compiler gives a reference target.
std::optional<ReferenceTarget> follow_reference(const Value& schema, const Scope& scope) {
    const Value* ref = schema.find("$ref");
    if (ref == nullptr || !ref->is_string()) return std::nullopt;
    auto found = referencing::resolver_lookup(scope.resolver, ref->as_string());
    if (!found || found->draft != scope.draft) return std::nullopt;
    ReferenceTarget target{found->contents, Scope{found->resolver, found->draft}};
    set_vocabulary_flags(target.scope,
                         referencing::resource_vocabularies(found->resolver.registry(), found->resolver.base()->text(),
                                                            found->draft, *found->contents));
    return target;
}

struct Declaration {
    const Value* properties;
    Scope scope;
};

struct Facts {
    std::vector<std::string_view> required;
    std::vector<Declaration> declarations;
};

// `scope` is already the schema's own.
void collect_facts(const Value& schema, int depth, const Scope& scope, Facts& facts) {
    if (!schema.is_object() || depth > kMaxWalkDepth) return;
    if (schema.contains("$ref")) {
        if (auto target = follow_reference(schema, scope)) {
            if (target->contents->is_object()) collect_facts(*target->contents, depth + 1, target->scope, facts);
        }
        if (scope.draft <= Draft::Draft7) return;
    }
    if (scope.validation) {
        if (const Value* required = schema.find("required"); required != nullptr && required->is_array()) {
            for (const Value& name : required->as_array()) {
                if (name.is_string()) facts.required.push_back(name.as_string());
            }
        }
    }
    if (!scope.applicator) return;
    if (const Value* properties = schema.find("properties"); properties != nullptr && properties->is_object()) {
        facts.declarations.push_back(Declaration{properties, scope});
    }
    if (const Value* all_of = schema.find("allOf"); all_of != nullptr && all_of->is_array()) {
        for (const Value& element : all_of->as_array()) {
            if (!element.is_object()) continue;
            if (auto inner = enter_subschema(element, scope)) collect_facts(element, depth + 1, *inner, facts);
        }
    }
}

// `scope` is already the subschema's own.
std::optional<std::string_view> pinned_value(const Value& schema, int depth, const Scope& scope) {
    if (!schema.is_object() || depth > kMaxWalkDepth) return std::nullopt;
    if (schema.contains("$ref")) {
        if (auto target = follow_reference(schema, scope)) {
            if (auto found = pinned_value(*target->contents, depth + 1, target->scope)) return found;
        }
        if (scope.draft <= Draft::Draft7) return std::nullopt;
    }
    if (!scope.validation) return std::nullopt;
    if (scope.draft != Draft::Draft4) {
        if (const Value* constant = schema.find("const"); constant != nullptr && constant->is_string()) {
            return std::string_view(constant->as_string());
        }
    }
    if (const Value* options = schema.find("enum"); options != nullptr && options->is_array()) {
        const auto& items = options->as_array();
        if (items.size() == 1 && items.front().is_string()) return std::string_view(items.front().as_string());
    }
    return std::nullopt;
}

using Candidates = std::unordered_map<std::string_view, std::string_view, SeededTextHash, TextEqual>;

// Required names that some declaration pins; `filter` (the first branch's candidates) limits the
// names looked at.
Candidates branch_candidates(const Facts& facts, const Candidates* filter) {
    Candidates out;
    for (std::string_view name : facts.required) {
        if (out.contains(name)) continue;
        if (filter != nullptr && !filter->contains(name)) continue;
        for (const Declaration& declaration : facts.declarations) {
            const Value* member = declaration.properties->find(name);
            if (member == nullptr) continue;
            auto member_scope = enter_subschema(*member, declaration.scope);
            if (!member_scope) continue;
            if (auto value = pinned_value(*member, 0, *member_scope)) {
                out.emplace(name, *value);
                break;
            }
        }
    }
    return out;
}

}  // namespace

std::optional<BranchDiscriminator> find_branch_discriminator(const CompileContext& ctx,
                                                             std::span<const Value* const> branches) {
    if (branches.size() < 3) return std::nullopt;
    if (ctx.draft() > Draft::Draft7) {
        if (!ctx.has_vocabulary(core::KnownVocabulary::Validation) ||
            !ctx.has_vocabulary(core::KnownVocabulary::Applicator)) {
            return std::nullopt;
        }
    }
    for (std::string_view name : {"required", "properties", "const", "enum", "allOf", "$ref"}) {
        if (ctx.is_custom_keyword(name)) return std::nullopt;
    }

    const Scope start{ctx.resolver(), ctx.draft(), true, true};
    std::vector<Candidates> candidates;
    candidates.reserve(branches.size());
    for (const Value* branch : branches) {
        Facts facts;
        if (branch->is_object()) {
            if (auto scope = enter_subschema(*branch, start)) collect_facts(*branch, 0, *scope, facts);
        }
        Candidates found = branch_candidates(facts, candidates.empty() ? nullptr : &candidates.front());
        if (found.empty()) return std::nullopt;
        candidates.push_back(std::move(found));
    }

    std::vector<std::string_view> names;
    names.reserve(candidates.front().size());
    for (const auto& [name, value] : candidates.front()) names.push_back(name);
    std::sort(names.begin(), names.end());
    for (std::string_view name : names) {
        BranchDiscriminator discriminator{std::string(name), branches.size()};
        bool distinct = true;
        for (std::size_t j = 0; j < candidates.size() && distinct; ++j) {
            auto it = candidates[j].find(name);
            distinct = it != candidates[j].end() && discriminator.insert(std::string(it->second), j);
        }
        if (distinct) return discriminator;
    }
    return std::nullopt;
}

}  // namespace deririrore::keywords
