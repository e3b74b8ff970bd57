#include "vantorel/dialect/options.hpp"

#include <memory>

#include "vantorel/dialect/formats.hpp"
#include "vantorel/dialect/keywords.hpp"

namespace vantorel::dialect {

namespace {

std::shared_ptr<const deririrore::referencing::Retriever> disabled_retriever() {
    static const auto retriever = std::make_shared<const DisabledRetriever>();
    return retriever;
}

}  // namespace

deririrore::Result<deririrore::value::Value, deririrore::referencing::ErrorSource> DisabledRetriever::retrieve(
    const deririrore::referencing::Uri& uri) const {
    return deririrore::make_unexpected(deririrore::referencing::ErrorSource::text(
        "Retrieval is disabled, cannot fetch " + std::string(uri.view())));
}

ValidationOptions openapi_validation_options(std::optional<Draft> draft) {
    ValidationOptions options = deririrore::core::default_validation_options();
    if (draft) options.with_draft(*draft);
    options.with_retriever(disabled_retriever());
    options.with_validate_formats(true);
    for (const auto& format : openapi_formats()) options.with_format(std::string(format.name), format.checker);
    options.with_keyword("example", example_keyword_factory());
    options.with_keyword("default", example_keyword_factory());
    deririrore::core::PatternOptions patterns;
    patterns.engine = deririrore::core::PatternOptions::Engine::Backtracking;
    patterns.backtrack_limit = kBacktrackLimit;
    patterns.size_limit = kPatternSizeLimit;
    patterns.dfa_size_limit = kPatternDfaSizeLimit;
    options.with_pattern_options(patterns);
    // Draft 4 has no "examples"; there it stays an unknown keyword.
    if (draft != Draft::Draft4) options.with_keyword("examples", examples_keyword_factory());
    return options;
}

ValidationOptions register_nullable_keyword(ValidationOptions options, std::string name) {
    options.with_keyword(std::move(name), nullable_keyword_factory(true));
    return options;
}

ValidationOptions measured_schema_options(std::optional<Draft> draft, NullableSource source) {
    ValidationOptions options = openapi_validation_options(draft);
    const auto factory = nullable_keyword_factory(source == NullableSource::Parameter);
    options.with_keyword("nullable", factory);
    options.with_keyword("x-nullable", factory);
    return options;
}

}  // namespace vantorel::dialect
