#pragma once
// The options with which the coverage core builds the validator of every measured parameter,
// body and response schema: the engine's defaults plus the OpenAPI formats and keywords,
// formats asserted under every draft, patterns on the backtracking engine with finite limits,
// and a retriever that refuses to fetch anything.
//
//   auto options = measured_schema_options(Draft::Draft4, NullableSource::Parameter);
//   auto built = deririrore::core::build_validator(schema, options);
//
// The options are a plain value, built afresh per build and owned by the caller; a compiled
// validator keeps shared references to the checkers and keyword data it uses, not to the options.
#include <cstdint>
#include <optional>
#include <string>

#include "deririrore/core/options.hpp"
#include "deririrore/referencing/registry.hpp"
#include "deririrore/regex/engine.hpp"

namespace vantorel::dialect {

using deririrore::core::ValidationOptions;
using deririrore::referencing::Draft;

// A hostile pattern in an API document must not hang recording while the map is locked: the
// backtracking engine keeps its own finite match limit (and its fixed depth limit), and a match
// that reaches one ends with an engine error.
inline constexpr std::uint64_t kBacktrackLimit = deririrore::regex::kDefaultBacktrackLimit;
inline constexpr std::uint64_t kPatternSizeLimit = 134217728;
inline constexpr std::uint64_t kPatternDfaSizeLimit = 134217728;

// Refuses every fetch: a measured schema is built from the API document alone.
class DisabledRetriever final : public deririrore::referencing::Retriever {
public:
    deririrore::Result<deririrore::value::Value, deririrore::referencing::ErrorSource> retrieve(
        const deririrore::referencing::Uri& uri) const override;
};

// The options for `draft`; unset leaves the draft to the schema (and registers "examples").
// Given the internal unknown draft it stops with the engine's invariant error.
// "nullable" and "x-nullable" are the caller's to add, by where the schema stands.
ValidationOptions openapi_validation_options(std::optional<Draft> draft);

// Registers the nullable keyword under `name` with the string "null" counting as null, as for a
// parameter decoded from text; replaces any keyword of that name.
ValidationOptions register_nullable_keyword(ValidationOptions options, std::string name);

// Where a measured schema stands decides whether the string "null" counts as null: yes for a
// parameter (path, query, header, cookie, Swagger 2.0 formData), no for anything read through a
// media type (request and response bodies, Swagger 2.0 body parameters, querystring content).
enum class NullableSource : std::uint8_t { Parameter, MediaType };

// openapi_validation_options with "nullable" and "x-nullable" registered for the source.
ValidationOptions measured_schema_options(std::optional<Draft> draft, NullableSource source);

}  // namespace vantorel::dialect
