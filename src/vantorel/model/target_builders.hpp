#pragma once
// The entries each kind of parameter or body target registers before keyword collection: the
// constraints its serialisation guarantees (a path segment is text, a form body is an object of
// text fields, a text body is a string), and the finishing rules of a few kinds (a header the
// client library writes itself, a Swagger 2.0 file field). The compile is the caller's; this
// turns the prepared schema into the target's coverage state.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"
#include "vantorel/model/problems.hpp"
#include "zavova/coverage_state.hpp"
#include "zavova/measured_targets.hpp"

namespace vantorel::model {

enum class TargetRecipe : std::uint8_t {
    Response = 0,       // binary body entries, else the property-name string entries
    Path = 1,           // path parameters of both versions
    Parameter = 2,      // query, header and cookie parameters; Swagger 2.0 query and header
    ExplodedQuery = 3,  // a query object whose properties arrive as their own fields
    ManagedHeader = 4,  // "Host", "Content-Length", "Transfer-Encoding"
    FormData = 5,       // Swagger 2.0 formData
    FormDataFile = 6,   // Swagger 2.0 formData of type "file"
    MediaText = 7,      // request-body media types by branch
    MediaForm = 8,
    MediaXml = 9,
    MediaMultipart = 10,
    MediaOther = 11,
    BodyText = 12,  // Swagger 2.0 body parameters by branch
    BodyForm = 13,
    BodyXml = 14,
    BodyMultipart = 15,
    BodyOther = 16,
};

// Headers a client library sets by itself: every check on them can only pass.
bool is_client_managed_header(std::string_view name) noexcept;

// The branch of an OpenAPI 3 request-body media type, from the `content` key as written.
TargetRecipe media_type_recipe(std::string_view media_type);
// The branch of a Swagger 2.0 body parameter, from the consumed media type that selects it.
TargetRecipe body_parameter_recipe(const std::optional<std::string>& media_type);

// The coverage state of a target of this kind: `schema` is the prepared schema the compile
// left, `removed_patterns` the locations of the patterns it took out. `memo`, when given, is
// shared by the measures of one build.
zavova::CoverageHolder measure_target(const deririrore::value::Value& schema, deririrore::referencing::Draft draft,
                                      const std::vector<std::string>& removed_patterns, TargetRecipe recipe,
                                      zavova::KeywordWalkMemo* memo = nullptr);

// Every form field of a form or multipart body arrives as text: "/type" of an object root and the
// string-typed checks of each property, under the pointer of the root's last local reference.
void add_form_object_targets(const deririrore::value::Value& schema, zavova::EntryMap& entries);

// Swagger 2.0 keeps an array parameter's `enum` beside `type`; its values are the item values, so
// the list moves into `items` (intersected with an `enum` already there).
void move_array_enum_into_items(deririrore::value::Value& schema);

// How each field of a form or multipart body is decoded, by property name.
using FormFieldSpecs = std::map<std::string, zavova::DecodeSpec, std::less<>>;

// Every property of the (prepared) body schema: style and explode from its `encoding` member
// (form and explode by default), the types and digit-text rule from its schema. A `style` that
// is no query style or an `explode` that is no boolean is the body's problem; a property whose
// types cannot be read gets no spec.
deririrore::Result<FormFieldSpecs, SpecProblem> build_form_field_specs(const deririrore::value::Value& schema,
                                                                       const deririrore::value::Value* encoding);

}  // namespace vantorel::model
