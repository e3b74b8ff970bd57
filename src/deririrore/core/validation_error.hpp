#pragma once
// The engine's one record of a failed check, its kinds with their messages, and the reduced
// (keyword, message) pair that evaluation output keeps.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "deririrore/core/location.hpp"
#include "deririrore/referencing/error.hpp"
#include "deririrore/value/types.hpp"
#include "deririrore/value/value.hpp"

namespace deririrore::core {

using value::JsonType;
using value::JsonTypeSet;
using value::Value;

// A keyword's canonical URI: its resource's base URI with the keyword's pointer inside that
// resource as fragment. Absent for resources under the default base "json-schema:///".
using AbsoluteLocation = std::shared_ptr<const std::string>;

class ValidationError;

namespace kinds {
// One list of errors per subschema of an applicator.
using Context = std::vector<std::vector<ValidationError>>;

struct Referencing { referencing::ReferenceError error; };
struct AdditionalItems { std::uint64_t limit; };
struct AdditionalProperties { std::vector<std::string> unexpected; };
struct AnyOf { Context context; };
struct PatternEngineError {
    enum class Stage : std::uint8_t { Parse, Compile, Execute };
    Stage stage = Stage::Compile;
    std::uint64_t position = 0;  // Parse only
    std::string description;
};
struct PatternEvaluationFailed { std::string message; };
struct Const { Value expected; };
struct Contains {};
struct ContentEncoding { std::string encoding; };
struct ContentMediaType { std::string media_type; };
struct Custom { std::string keyword; std::string message; };
struct Enum { Value options; };
struct ExclusiveMaximum { Value limit; };
struct ExclusiveMinimum { Value limit; };
struct FalseSchema {};
struct Format { std::string format; };
struct ContentNotUtf8 { std::string bytes; referencing::Utf8Error error; };
struct MaxItems { std::uint64_t limit; };
struct Maximum { Value limit; };
struct MaxLength { std::uint64_t limit; };
struct MaxProperties { std::uint64_t limit; };
struct MinItems { std::uint64_t limit; };
struct Minimum { Value limit; };
struct MinLength { std::uint64_t limit; };
struct MinProperties { std::uint64_t limit; };
struct MultipleOf { Value divisor; };
struct Not { Value schema; };
struct OneOfMultipleValid { Context context; };
struct OneOfNotValid { Context context; };
struct Pattern { std::string pattern; };
struct PropertyNames { std::shared_ptr<const ValidationError> error; };
struct Required { Value property; };
struct Type {
    bool multiple = false;  // Single(type) when false: `types` then holds exactly that one bit
    JsonTypeSet types;
};
struct UnevaluatedItems { std::vector<std::string> unexpected; };
struct UnevaluatedProperties { std::vector<std::string> unexpected; };
struct UniqueItems {};
}  // namespace kinds

// Declaration order: Referencing first, then the kinds numbered 1..35.
using ValidationErrorKind =
    std::variant<kinds::Referencing, kinds::AdditionalItems, kinds::AdditionalProperties, kinds::AnyOf,
                 kinds::PatternEngineError, kinds::PatternEvaluationFailed, kinds::Const, kinds::Contains,
                 kinds::ContentEncoding, kinds::ContentMediaType, kinds::Custom, kinds::Enum,
                 kinds::ExclusiveMaximum, kinds::ExclusiveMinimum, kinds::FalseSchema, kinds::Format,
                 kinds::ContentNotUtf8, kinds::MaxItems, kinds::Maximum, kinds::MaxLength, kinds::MaxProperties,
                 kinds::MinItems, kinds::Minimum, kinds::MinLength, kinds::MinProperties, kinds::MultipleOf,
                 kinds::Not, kinds::OneOfMultipleValid, kinds::OneOfNotValid, kinds::Pattern, kinds::PropertyNames,
                 kinds::Required, kinds::Type, kinds::UnevaluatedItems, kinds::UnevaluatedProperties,
                 kinds::UniqueItems>;

inline kinds::Type type_kind_single(JsonType t) { return kinds::Type{false, JsonTypeSet(t)}; }
inline kinds::Type type_kind_multiple(JsonTypeSet s) { return kinds::Type{true, s}; }

// The keyword name of a kind ("falseSchema" for FalseSchema; a Custom kind's own keyword).
std::string_view error_kind_keyword(const ValidationErrorKind& kind);

// What evaluation output keeps of an error.
struct ErrorDescription {
    std::string keyword;
    std::string message;
    friend bool operator==(const ErrorDescription&, const ErrorDescription&) = default;
};

// Always boxed: the handle is one pointer, so that results and optionals carrying an error stay
// small on the stack of every validator.
class ValidationError {
public:
    ValidationError(EvaluationPath evaluation_path, ValidationErrorKind kind, const Value& borrowed_instance,
                    Location instance_path, Location schema_path)
        : record_(std::make_unique<Record>(Record{std::move(evaluation_path), std::move(kind), &borrowed_instance,
                                                  nullptr, std::move(instance_path), std::move(schema_path),
                                                  nullptr})) {}
    ValidationError(EvaluationPath evaluation_path, ValidationErrorKind kind, std::shared_ptr<const Value> owned,
                    Location instance_path, Location schema_path)
        : record_(std::make_unique<Record>(Record{std::move(evaluation_path), std::move(kind), owned.get(),
                                                  std::move(owned), std::move(instance_path),
                                                  std::move(schema_path), nullptr})) {}
    ValidationError(const ValidationError& other) : record_(std::make_unique<Record>(*other.record_)) {}
    ValidationError(ValidationError&&) noexcept = default;
    ValidationError& operator=(const ValidationError& other) {
        if (this != &other) record_ = std::make_unique<Record>(*other.record_);
        return *this;
    }
    ValidationError& operator=(ValidationError&&) noexcept = default;
    ~ValidationError();

    // The usual constructor of keyword validators: evaluation path from the chain, instance
    // path materialised from the lazy location, the instance borrowed.
    static ValidationError make(ValidationErrorKind kind, const Value& instance, const LazyLocation& instance_path,
                                const Location& schema_path, const RefChain* chain);
    // The same with an already built instance location (evaluate paths).
    static ValidationError make_at(ValidationErrorKind kind, const Value& instance, Location instance_path,
                                   const Location& schema_path, const RefChain* chain);
    // A compile error about the schema itself: the offending keyword value as (borrowed)
    // instance, an empty instance path, the keyword Location as schema and evaluation path.
    static ValidationError compile_error(ValidationErrorKind kind, const Value& keyword_value,
                                         const Location& keyword_location);

    const EvaluationPath& evaluation_path_parts() const noexcept { return record_->evaluation_path; }
    Location evaluation_path() const { return join_evaluation_path(record_->evaluation_path, record_->schema_path); }
    const ValidationErrorKind& kind() const noexcept { return record_->kind; }
    ValidationErrorKind& kind() noexcept { return record_->kind; }
    const Value& instance() const noexcept { return *record_->borrowed; }
    bool owns_instance() const noexcept { return record_->owned != nullptr; }
    const Location& instance_path() const noexcept { return record_->instance_path; }
    const Location& schema_path() const noexcept { return record_->schema_path; }
    const AbsoluteLocation& absolute_keyword_location() const noexcept { return record_->absolute; }

    void set_evaluation_path(EvaluationPath path) { record_->evaluation_path = std::move(path); }
    // Stores the URI unless the error already has one.
    void attach_absolute_location(const AbsoluteLocation& uri) {
        if (!record_->absolute && uri) record_->absolute = uri;
    }
    void set_absolute_location(AbsoluteLocation uri) { record_->absolute = std::move(uri); }

    // Gives an error raised where its keyword was not known (a reference error, say) the Location
    // of the keyword at fault, as schema and evaluation path; an error with a location keeps it.
    void place_at(const Location& keyword_location);
    // An error that ended a build: its message names the keyword's schema location, so that the
    // one bad keyword can be found in a large document.
    bool is_schema_error() const noexcept { return record_->schema_error; }
    void mark_schema_error() noexcept { record_->schema_error = true; }

    // The message users see; a build's error ends with ` (at schema location "<pointer>")`, or
    // ` (at schema location "<pointer>", "<absolute URI>")` when the keyword's resource has one.
    std::string message() const;
    std::string_view keyword() const { return error_kind_keyword(record_->kind); }

private:
    struct Record {
        EvaluationPath evaluation_path;
        ValidationErrorKind kind;
        const Value* borrowed;
        std::shared_ptr<const Value> owned;
        Location instance_path;
        Location schema_path;
        AbsoluteLocation absolute;
        bool schema_error = false;
    };
    std::unique_ptr<Record> record_;
};

using ErrorSink = std::vector<ValidationError>;

std::string display_validation_error(const ValidationError& error);
ErrorDescription error_keyword_and_message(const ValidationError& error);
std::vector<ErrorDescription> collect_error_descriptions(const std::vector<ValidationError>& errors);

// The error made independent of the instance it borrowed: instance deep-copied, evaluation path
// joined into one Location, absolute location kept. The errors of its branch lists are made
// owned too, sharing that one copy wherever they borrowed inside the same instance (found by
// their instance paths), so the cost is linear in the error's size. An error that owns its
// instance is taken to own everything it holds.
ValidationError error_into_owned(ValidationError error);
// Every error of the branch lists made owned, those that borrow inside `instance` (at
// `instance_path`) sharing one copy of it.
void context_into_owned(kinds::Context& context, const Value& instance, const LazyLocation& instance_path);

// Gives every error without an absolute keyword location the URI.
void fill_missing_absolute_location(ErrorSink& errors, std::size_t from, const AbsoluteLocation& uri);

// A keyword factory rejected its schema value: restated at the keyword's Location.
ValidationError new_custom_validation_error(ValidationError factory_error, const Value& schema_value,
                                            const Location& keyword_location, std::string_view keyword_name);

// A ReferenceError as a validation error: instance null, every Location empty.
ValidationError reference_error_to_validation_error(referencing::ReferenceError error);

// The FalseSchema error of a false node at `schema_location`.
ValidationError false_schema_error(const Location& schema_location, const Value& instance,
                                   const LazyLocation& instance_path, const RefChain* chain);

// The shared JSON null used as the instance of errors that have no instance.
const Value& null_value();

}  // namespace deririrore::core
