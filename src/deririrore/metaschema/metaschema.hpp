#pragma once
// Schema documents checked against the meta-schema of their draft before they are analysed or
// compiled. Drafts 4, 6 and 7 have checkers of their own that report the first violation with a
// literal path inside the published meta-schema; later drafts are checked by the engine against
// the embedded meta-schema documents.
#include <optional>
#include <string_view>
#include <vector>

#include "deririrore/core/validation_error.hpp"
#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::metaschema {

using core::ValidationError;
using referencing::Draft;
using value::Value;

// Deeper documents are refused with an error (never passed, never a stack overflow).
inline constexpr unsigned kMaxMetaCheckDepth = 1024;

// None for a valid document, otherwise the first violation, owning everything it refers to.
// Resources embedded under another known draft (a nested "$schema" with an identifier) are
// checked against their own draft, with instance locations from the document's root.
std::optional<ValidationError> validate_against_meta_schema(Draft draft, const Value& document);

// One draft's checker run on the whole document, without the embedded-resource split. The
// first error borrows `document`.
std::optional<ValidationError> check_meta_schema(Draft draft, const Value& document);
bool is_valid_meta_schema(Draft draft, const Value& document);
// Every error of the root node, in the checker's test order.
std::vector<ValidationError> collect_meta_schema_errors(Draft draft, const Value& document);
// Whether the draft has a checker of its own (otherwise the engine checks against the
// embedded meta-schema, with the engine's schema locations).
bool has_dedicated_checker(Draft draft) noexcept;

// Exact sign tests on a JSON number text: 1e-400 is positive, -1e-400 is negative.
bool is_positive_number(std::string_view text) noexcept;
bool is_non_negative_number(std::string_view text) noexcept;
bool is_simple_type_name(const Value& value) noexcept;
// Draft 4 counts a number as an integer only when it is written without ".", "e" or "E".
bool is_draft4_integer_text(std::string_view text) noexcept;

// Whether any object inside the value (the value itself included) has a "$schema" member.
bool contains_nested_schema_keyword(const Value& value);

}  // namespace deririrore::metaschema
