#include "deririrore/keywords/required.hpp"

namespace deririrore::keywords {

using core::ValidationError;

namespace {

bool has_property(const Value& object, std::string_view name) noexcept { return object.find(name) != nullptr; }

template <class Keys>
std::size_t count_distinct(const Keys& keys) {
    std::size_t distinct = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        bool seen = false;
        for (std::size_t j = 0; j < i && !seen; ++j) seen = keys[j].text == keys[i].text;
        distinct += !seen;
    }
    return distinct;
}

// One walk over the properties, setting the bit of every name a property equals (every, not
// just the first, so that a repeated name is found too). Stops once all bits are set.
template <class Keys>
std::uint64_t walk_properties(const Keys& keys, bool repeated, const Value& object) {
    const std::size_t n = keys.size();
    const std::uint64_t all = n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
    std::uint64_t mask = 0;
    for (const auto& member : object.as_object()) {
        const TextWords words = text_words(member.key);
        for (std::size_t i = 0; i < n; ++i) {
            if (keys[i].matches(member.key, words)) {
                mask |= std::uint64_t{1} << i;
                if (!repeated) break;
            }
        }
        if (mask == all) break;
    }
    return mask;
}

}  // namespace

ValidationError RequiredValidatorBase::missing_error(std::string_view name, const Value& instance,
                                                     const core::LazyLocation& instance_path,
                                                     const core::RefChain* chain) const {
    return ValidationError::make(core::kinds::Required{Value::string(std::string(name))}, instance, instance_path,
                                 location_, chain);
}

void RequiredValidatorBase::push_missing(std::uint64_t present, const Value& instance,
                                         const core::LazyLocation& instance_path, const core::RefChain* chain,
                                         core::ErrorSink& sink) const {
    const std::size_t n = name_count();
    std::optional<core::EvaluationPath> evaluation_path;
    std::optional<Location> path;
    for (std::size_t i = 0; i < n; ++i) {
        if (present >> i & 1) continue;
        if (!path) {
            path = core::location_from_lazy(instance_path);
            evaluation_path = chain != nullptr ? core::evaluation_path_location(chain, location_) : core::EvaluationPath{};
        }
        sink.emplace_back(*evaluation_path, core::kinds::Required{Value::string(std::string(name_at(i)))}, instance,
                          *path, location_);
    }
}

RequiredValidatorBase::RequiredValidatorBase(Location location, std::size_t count) : location_(std::move(location)) {
    indexed_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) indexed_.push_back(core::append_index_to_location(location_, i));
}

bool RequiredValidatorBase::trace(const Value& instance, const core::LazyLocation& instance_path,
                                  core::Tracer& tracer, core::TraceContext&) const {
    if (!instance.is_object()) {
        tracer.emit(instance_path, location_, core::TraceOutcome::NotApplicable);
        return true;
    }
    bool valid = true;
    const std::size_t n = name_count();
    for (std::size_t i = 0; i < n; ++i) {
        const bool present = has_property(instance, name_at(i));
        valid = valid && present;
        tracer.emit(instance_path, indexed_[i], core::outcome_of(present));
    }
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

bool RequiredNameValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    if (!instance.is_object()) return true;
    return !instance.as_object().empty() && has_property(instance, name_);
}

std::optional<ValidationError> RequiredNameValidator::validate(const Value& instance,
                                                               const core::LazyLocation& instance_path,
                                                               const core::RefChain* chain,
                                                               core::ValidationContext& ctx) const {
    if (is_valid(instance, ctx)) return std::nullopt;
    return missing_error(name_, instance, instance_path, chain);
}

RequiredPairValidator::RequiredPairValidator(std::string first, std::string second, Location location)
    : RequiredValidatorBase(std::move(location), 2), names_{std::move(first), std::move(second)} {
    distinct_ = names_[0] == names_[1] ? 1 : 2;
}

std::uint64_t RequiredPairValidator::present_mask(const Value& object) const {
    std::uint64_t mask = 0;
    if (has_property(object, names_[0])) mask |= 1;
    if (has_property(object, names_[1])) mask |= 2;
    return mask;
}

bool RequiredPairValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    if (!instance.is_object()) return true;
    if (instance.as_object().size() < distinct_) return false;
    return has_property(instance, names_[0]) && has_property(instance, names_[1]);
}

std::optional<ValidationError> RequiredPairValidator::validate(const Value& instance,
                                                               const core::LazyLocation& instance_path,
                                                               const core::RefChain* chain,
                                                               core::ValidationContext&) const {
    if (!instance.is_object()) return std::nullopt;
    for (const auto& name : names_) {
        if (!has_property(instance, name)) return missing_error(name, instance, instance_path, chain);
    }
    return std::nullopt;
}

void RequiredPairValidator::iter_errors(const Value& instance, const core::LazyLocation& instance_path,
                                        const core::RefChain* chain, core::ValidationContext&,
                                        core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    push_missing(present_mask(instance), instance, instance_path, chain, sink);
}

RequiredTripleValidator::RequiredTripleValidator(std::array<FastStringKey, 3> keys, Location location)
    : RequiredValidatorBase(std::move(location), keys.size()), keys_(std::move(keys)) {
    distinct_ = count_distinct(keys_);
    repeated_ = distinct_ != keys_.size();
}

std::uint64_t RequiredTripleValidator::find_present_names(const Value& object) const {
    if (object.as_object().size() > 6) {
        std::uint64_t mask = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            if (has_property(object, keys_[i].text)) mask |= std::uint64_t{1} << i;
        }
        return mask;
    }
    return walk_properties(keys_, repeated_, object);
}

bool RequiredTripleValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    if (!instance.is_object()) return true;
    const std::size_t k = instance.as_object().size();
    if (k < distinct_) return false;
    if (k <= 6) return find_present_names(instance) == 7;
    for (const auto& key : keys_) {
        if (!has_property(instance, key.text)) return false;
    }
    return true;
}

std::optional<ValidationError> RequiredTripleValidator::validate(const Value& instance,
                                                                 const core::LazyLocation& instance_path,
                                                                 const core::RefChain* chain,
                                                                 core::ValidationContext&) const {
    if (!instance.is_object()) return std::nullopt;
    const std::uint64_t present = find_present_names(instance);
    for (std::size_t i = 0; i < 3; ++i) {
        if (!(present >> i & 1)) return missing_error(keys_[i].text, instance, instance_path, chain);
    }
    return std::nullopt;
}

void RequiredTripleValidator::iter_errors(const Value& instance, const core::LazyLocation& instance_path,
                                          const core::RefChain* chain, core::ValidationContext&,
                                          core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    push_missing(find_present_names(instance), instance, instance_path, chain, sink);
}

RequiredListValidator::RequiredListValidator(std::vector<FastStringKey> keys, Location location)
    : RequiredValidatorBase(std::move(location), keys.size()), keys_(std::move(keys)) {
    distinct_ = count_distinct(keys_);
    repeated_ = distinct_ != keys_.size();
}

std::optional<std::uint64_t> RequiredListValidator::has_all_names(const Value& object) const {
    const std::size_t n = keys_.size();
    if (n > 16 || object.as_object().size() > 2 * n) return std::nullopt;
    return walk_properties(keys_, repeated_, object);
}

bool RequiredListValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    if (!instance.is_object()) return true;
    const std::size_t n = keys_.size();
    if (instance.as_object().size() < distinct_) return false;
    if (n == 0) return true;
    if (auto mask = has_all_names(instance)) return *mask == (std::uint64_t{1} << n) - 1;
    for (const auto& key : keys_) {
        if (!has_property(instance, key.text)) return false;
    }
    return true;
}

std::optional<ValidationError> RequiredListValidator::validate(const Value& instance,
                                                               const core::LazyLocation& instance_path,
                                                               const core::RefChain* chain,
                                                               core::ValidationContext&) const {
    if (!instance.is_object()) return std::nullopt;
    if (auto mask = has_all_names(instance)) {
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (!(*mask >> i & 1)) return missing_error(keys_[i].text, instance, instance_path, chain);
        }
        return std::nullopt;
    }
    for (const auto& key : keys_) {
        if (!has_property(instance, key.text)) return missing_error(key.text, instance, instance_path, chain);
    }
    return std::nullopt;
}

void RequiredListValidator::iter_errors(const Value& instance, const core::LazyLocation& instance_path,
                                        const core::RefChain* chain, core::ValidationContext&,
                                        core::ErrorSink& sink) const {
    if (!instance.is_object()) return;
    if (auto mask = has_all_names(instance)) {
        push_missing(*mask, instance, instance_path, chain, sink);
        return;
    }
    // More than 64 names do not fit one mask: report name by name.
    std::optional<core::EvaluationPath> evaluation_path;
    std::optional<Location> path;
    for (const auto& key : keys_) {
        if (has_property(instance, key.text)) continue;
        if (!path) {
            path = core::location_from_lazy(instance_path);
            evaluation_path = chain != nullptr ? core::evaluation_path_location(chain, location_) : core::EvaluationPath{};
        }
        sink.emplace_back(*evaluation_path, core::kinds::Required{Value::string(key.text)}, instance, *path, location_);
    }
}

KeywordCompileResult compile_required_list(const Value& value, const Location& location) {
    if (!value.is_array()) {
        return make_unexpected(
            ValidationError::compile_error(core::type_kind_single(core::JsonType::Array), value, location));
    }
    const Value::Array& items = value.as_array();
    for (const Value& item : items) {
        if (!item.is_string()) {
            return make_unexpected(
                ValidationError::compile_error(core::type_kind_single(core::JsonType::String), item, location));
        }
    }
    switch (items.size()) {
        case 1: return std::make_unique<RequiredNameValidator>(items[0].as_string(), location);
        case 2: return std::make_unique<RequiredPairValidator>(items[0].as_string(), items[1].as_string(), location);
        case 3:
            return std::make_unique<RequiredTripleValidator>(
                std::array<FastStringKey, 3>{make_fast_string_key(items[0].as_string()),
                                             make_fast_string_key(items[1].as_string()),
                                             make_fast_string_key(items[2].as_string())},
                location);
        default: break;
    }
    std::vector<FastStringKey> keys;
    keys.reserve(items.size());
    for (const Value& item : items) keys.push_back(make_fast_string_key(item.as_string()));
    return std::make_unique<RequiredListValidator>(std::move(keys), location);
}

namespace {

// Whether a sibling's fused validator checks these names (properties with additionalProperties
// false for one name; a small properties for two).
bool stands_back(const CompileContext& ctx, const Value& parent, const Value& value) {
    if (!value.is_array()) return false;
    if (ctx.draft() > referencing::Draft::Draft7 && !ctx.has_vocabulary(core::KnownVocabulary::Applicator)) {
        return false;
    }
    const Value::Array& names = value.as_array();
    const Value* properties = parent.find("properties");
    const Value* additional = parent.find("additionalProperties");
    const bool has_patterns = parent.contains("patternProperties");
    if (properties == nullptr || has_patterns) return false;
    if (names.size() == 1 && names[0].is_string()) {
        return additional != nullptr && additional->is_bool() && !additional->as_bool() &&
               !ctx.is_custom_keyword("additionalProperties");
    }
    if (names.size() == 2 && names[0].is_string() && names[1].is_string()) {
        const bool additional_takes_over =
            additional != nullptr && (additional->is_object() || (additional->is_bool() && !additional->as_bool()));
        return properties->is_object() && properties->as_object().size() <= 14 && !ctx.is_custom_keyword("properties") &&
               !additional_takes_over;
    }
    return false;
}

}  // namespace

KeywordCompileResult compile_required(const CompileContext& ctx, const Value& parent, const Value& value) {
    if (stands_back(ctx, parent, value)) return core::no_validator();
    return compile_required_list(value, ctx.keyword_location("required"));
}

const core::SchemaNode* build_required_names_validator(const CompileContext& ctx,
                                                       std::vector<core::KeywordValidatorPtr> validators) {
    return core::schema_node_from_validators(ctx, std::move(validators));
}

}  // namespace deririrore::keywords
