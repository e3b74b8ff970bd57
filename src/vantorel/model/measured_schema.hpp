#pragma once
// Compiling a hydrated measured schema (a parameter's, a request body's or a response body's) into
// the validator recorded traffic is traced with. The schema is first adapted: `xml` annotations
// are dropped, the properties that cannot occur in this direction of traffic are dropped (marked
// "readOnly" for requests, "writeOnly" for responses), and `nullable` becomes a `type` that admits
// null for the compilation only. A `pattern` that is not a regular expression is taken out,
// remembered, and the compilation tried once more; the caller gets it back in the schema.
//
//   MeasuredSchemaCache cache;                                  // one per build
//   auto measured = compile_measured_schema(schema, draft, "readOnly", true, &cache);
//   if (!measured) record(measured.error());                    // "invalid_schema"
//
// Identical adapted schemas share one compiled validator through the cache, and the components
// they refer to are compiled once and shared between validators, so a component used by a
// thousand operations is compiled once. Every walk uses an explicit stack.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/referencing/draft.hpp"
#include "deririrore/value/result.hpp"
#include "deririrore/value/value.hpp"
#include "vantorel/model/problems.hpp"

namespace vantorel::model {

using deririrore::Result;
using deririrore::referencing::Draft;
using deririrore::value::Member;

inline constexpr std::string_view kReadOnlyMarker = "readOnly";
inline constexpr std::string_view kWriteOnlyMarker = "writeOnly";

// A `type` replaced by the nullable rewrite while the schema is compiled.
struct TypeRewrite {
    std::string location;  // JSON pointer of the schema object, relative to the schema
    Value saved_type;
};

// A `pattern` member left out of the validator.
struct RemovedPattern {
    std::string location;  // JSON pointer of the member; ends with "/pattern"
    Value value;
};

struct MeasuredSchema {
    deririrore::core::Validator validator;
    std::vector<RemovedPattern> removed_patterns;  // in the order removed
    // The schema as the caller holds it after the call, shared by every identical one compiled
    // through the same cache: a target may keep this instead of its own copy.
    std::shared_ptr<const Value> schema;
};

// Compiled validators of one build, keyed by the adapted schema's value with its draft and
// nullable source. Failures are kept too, so an invalid schema is compiled once as well.
class MeasuredSchemaCache {
public:
    // How many times the engine was asked to compile (retries after a removed pattern included).
    std::size_t compilations() const noexcept { return compilations_; }
    std::size_t size() const noexcept { return size_; }
    // How many references took a component another schema of the build had compiled.
    std::size_t shared_targets_reused() const noexcept {
        std::size_t total = 0;
        for (const auto& [options, shared] : shared_targets_) total += shared.reused();
        return total;
    }

private:
    friend Result<MeasuredSchema, SpecProblem> compile_measured_schema(Value&, Draft, std::string_view, bool,
                                                                       MeasuredSchemaCache*);
    friend Result<MeasuredSchema, SpecProblem> compile_shared_measured_schema(Value, Draft, std::string_view, bool,
                                                                              MeasuredSchemaCache&);
    struct Entry {
        std::shared_ptr<const Value> key;
        Draft draft;
        bool is_body;
        std::optional<deririrore::core::Validator> validator;
        std::vector<RemovedPattern> removed_patterns;  // on failure: the patterns that stay removed
        std::optional<deririrore::core::ValidationError> error;
        std::shared_ptr<const Value> checked;  // on failure: the schema as checked, where the error points
    };
    // Keyed by the schema's hash alone, so that identical schemas compiled under another draft or
    // for the other side of traffic find, and share, the value already kept.
    std::unordered_map<std::uint64_t, std::vector<Entry>> entries_;
    // Components compiled once and shared by every schema that reaches them, one table per set of
    // compile options (draft and side of the nullable rule).
    std::map<std::pair<Draft, bool>, deririrore::core::SharedTargets> shared_targets_;
    std::size_t compilations_ = 0;
    std::size_t size_ = 0;
};

// `schema` is the hydrated schema, changed in place: `xml` members and marked properties are
// removed for good; rewritten types are put back; removed patterns are put back on success and
// stay removed after a failure. `excluded_marker` is "readOnly" for parameters and request bodies,
// "writeOnly" for response bodies. `is_body` decides whether the string "null" counts as null
// for `nullable` (no for bodies). The internal unknown draft is compiled as 2020-12.
Result<MeasuredSchema, SpecProblem> compile_measured_schema(Value& schema, Draft draft,
                                                            std::string_view excluded_marker, bool is_body,
                                                            MeasuredSchemaCache* cache = nullptr);

// compile_measured_schema for a caller that hands the schema over and keeps the result's `schema`
// instead: every identical prepared schema compiled through `cache` is one shared value, kept by
// the cache and the callers alike, so a large schema is held once however often it is measured.
// On failure the schema is dropped.
Result<MeasuredSchema, SpecProblem> compile_shared_measured_schema(Value schema, Draft draft,
                                                                   std::string_view excluded_marker, bool is_body,
                                                                   MeasuredSchemaCache& cache);

// Removes `xml` members below the keywords that hold schemas (and "components"/"schemas").
void strip_xml_keywords(Value& value);

// Removes every property whose own schema sets `marker` to true, from "properties" and
// "required", wherever a schema stands: below the keywords that hold schemas, the root's
// "components"/"schemas", and the local targets of `$ref`s. Values of `enum`, `const`, `default`,
// `example`, `examples` and extensions are never touched.
void drop_marked_properties(Value& value, std::string_view marker);

// `type` T of an object whose `nullable` (else `x-nullable`) is true becomes [T, "null"], a type
// array gains "null"; a type that already admits null is left alone. Appends one TypeRewrite
// per change; `path` is the location of `value` and is restored before returning.
void rewrite_nullable_types(Value& value, std::string& path, std::vector<TypeRewrite>& rewrites);

// Puts every saved type back where its location still leads to an object.
void restore_saved_types(Value& schema, std::vector<TypeRewrite> rewrites);

}  // namespace vantorel::model
