#include "deririrore/keywords/unique_items.hpp"

#include "deririrore/value/cmp.hpp"

namespace deririrore::keywords {

bool UniqueItemsValidator::is_valid(const Value& instance, core::ValidationContext&) const {
    return !instance.is_array() || value::is_unique_array(instance.as_array());
}

std::optional<core::ValidationError> UniqueItemsValidator::validate(const Value& instance,
                                                                    const core::LazyLocation& instance_path,
                                                                    const core::RefChain* chain,
                                                                    core::ValidationContext& ctx) const {
    if (is_valid(instance, ctx)) return std::nullopt;
    return core::ValidationError::make(core::kinds::UniqueItems{}, instance, instance_path, location_, chain);
}

bool UniqueItemsValidator::trace(const Value& instance, const core::LazyLocation& instance_path,
                                 core::Tracer& tracer, core::TraceContext& ctx) const {
    if (!instance.is_array()) {
        tracer.emit(instance_path, location_, core::TraceOutcome::NotApplicable);
        return true;
    }
    const bool valid = is_valid(instance, ctx);
    tracer.emit(instance_path, location_, core::outcome_of(valid));
    return valid;
}

KeywordCompileResult compile_unique_items(const CompileContext& ctx, const Value&, const Value& value) {
    if (!value.is_bool() || !value.as_bool()) return core::no_validator();
    return std::make_unique<UniqueItemsValidator>(ctx.keyword_location("uniqueItems"));
}

}  // namespace deririrore::keywords
