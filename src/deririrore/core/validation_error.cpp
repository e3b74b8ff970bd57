#include "deririrore/core/validation_error.hpp"

#include <charconv>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "deririrore/core/internal_error.hpp"
#include "deririrore/value/json.hpp"
#include "deririrore/value/overloaded.hpp"

namespace deririrore::core {

namespace {

using deririrore::value::Overloaded;

std::string json(const Value& v) { return value::to_json(v); }

const char* plural(std::uint64_t n, const char* one, const char* many) { return n == 1 ? one : many; }

void append_quoted_list(std::string& out, const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ", ";
        out += '\'';
        out += names[i];
        out += '\'';
    }
    out += names.size() == 1 ? " was unexpected)" : " were unexpected)";
}

std::string enum_message(const Value& instance, const Value& options) {
    if (!options.is_array()) throw InternalError("Enum options must be a JSON array");
    std::string out = json(instance) + " is not one of ";
    const auto& items = options.as_array();
    const std::size_t n = items.size();
    if (n == 0) return out;
    if (n == 1) return out + json(items[0]);
    if (n <= 3) {
        for (std::size_t i = 0; i < n; ++i) {
            if (i > 0) out += i + 1 == n ? " or " : ", ";
            out += json(items[i]);
        }
        return out;
    }
    out += json(items[0]);
    out += ", ";
    out += json(items[1]);
    out += " or ";
    out += std::to_string(n - 2);
    out += " other candidates";
    return out;
}

std::string type_message(const Value& instance, const kinds::Type& t) {
    if (!t.multiple) {
        return json(instance) + " is not of type \"" +
               std::string(value::json_type_name(static_cast<JsonType>(t.types.bits()))) + "\"";
    }
    if ((t.types.bits() & 0x80) != 0) {
        throw InternalError("Invalid JsonType representation: " + std::to_string(t.types.bits() & 0x80));
    }
    std::string out = json(instance) + " is not of types ";
    bool first = true;
    for (JsonType member : t.types) {
        if (!first) out += ", ";
        first = false;
        out += '"';
        out += value::json_type_name(member);
        out += '"';
    }
    return out;
}

std::string additional_items_message(const Value& instance, std::uint64_t limit) {
    if (!instance.is_array()) throw InternalError("Always valid");
    const auto& items = instance.as_array();
    std::string out = "Additional items are not allowed (";
    std::size_t listed = 0;
    for (std::size_t i = static_cast<std::size_t>(limit); i < items.size(); ++i) {
        if (listed++ > 0) out += ", ";
        out += json(items[i]);
    }
    out += listed == 1 ? " was unexpected)" : " were unexpected)";
    return out;
}

}  // namespace

std::string_view error_kind_keyword(const ValidationErrorKind& kind) {
    return std::visit(
        Overloaded{
            [](const kinds::Referencing&) -> std::string_view { return "$ref"; },
            [](const kinds::AdditionalItems&) -> std::string_view { return "additionalItems"; },
            [](const kinds::AdditionalProperties&) -> std::string_view { return "additionalProperties"; },
            [](const kinds::AnyOf&) -> std::string_view { return "anyOf"; },
            [](const kinds::PatternEngineError&) -> std::string_view { return "pattern"; },
            [](const kinds::PatternEvaluationFailed&) -> std::string_view { return "pattern"; },
            [](const kinds::Const&) -> std::string_view { return "const"; },
            [](const kinds::Contains&) -> std::string_view { return "contains"; },
            [](const kinds::ContentEncoding&) -> std::string_view { return "contentEncoding"; },
            [](const kinds::ContentMediaType&) -> std::string_view { return "contentMediaType"; },
            [](const kinds::Custom& c) -> std::string_view { return c.keyword; },
            [](const kinds::Enum&) -> std::string_view { return "enum"; },
            [](const kinds::ExclusiveMaximum&) -> std::string_view { return "exclusiveMaximum"; },
            [](const kinds::ExclusiveMinimum&) -> std::string_view { return "exclusiveMinimum"; },
            [](const kinds::FalseSchema&) -> std::string_view { return "falseSchema"; },
            [](const kinds::Format&) -> std::string_view { return "format"; },
            [](const kinds::ContentNotUtf8&) -> std::string_view { return "contentEncoding"; },
            [](const kinds::MaxItems&) -> std::string_view { return "maxItems"; },
            [](const kinds::Maximum&) -> std::string_view { return "maximum"; },
            [](const kinds::MaxLength&) -> std::string_view { return "maxLength"; },
            [](const kinds::MaxProperties&) -> std::string_view { return "maxProperties"; },
            [](const kinds::MinItems&) -> std::string_view { return "minItems"; },
            [](const kinds::Minimum&) -> std::string_view { return "minimum"; },
            [](const kinds::MinLength&) -> std::string_view { return "minLength"; },
            [](const kinds::MinProperties&) -> std::string_view { return "minProperties"; },
            [](const kinds::MultipleOf&) -> std::string_view { return "multipleOf"; },
            [](const kinds::Not&) -> std::string_view { return "not"; },
            [](const kinds::OneOfMultipleValid&) -> std::string_view { return "oneOf"; },
            [](const kinds::OneOfNotValid&) -> std::string_view { return "oneOf"; },
            [](const kinds::Pattern&) -> std::string_view { return "pattern"; },
            [](const kinds::PropertyNames&) -> std::string_view { return "propertyNames"; },
            [](const kinds::Required&) -> std::string_view { return "required"; },
            [](const kinds::Type&) -> std::string_view { return "type"; },
            [](const kinds::UnevaluatedItems&) -> std::string_view { return "unevaluatedItems"; },
            [](const kinds::UnevaluatedProperties&) -> std::string_view { return "unevaluatedProperties"; },
            [](const kinds::UniqueItems&) -> std::string_view { return "uniqueItems"; },
        },
        kind);
}

std::string display_validation_error(const ValidationError& error) {
    const Value& inst = error.instance();
    return std::visit(
        Overloaded{
            [](const kinds::Referencing& k) { return k.error.message(); },
            [&](const kinds::AdditionalItems& k) { return additional_items_message(inst, k.limit); },
            [](const kinds::AdditionalProperties& k) {
                std::string out = "Additional properties are not allowed (";
                append_quoted_list(out, k.unexpected);
                return out;
            },
            [&](const kinds::AnyOf&) {
                return json(inst) + " is not valid under any of the schemas listed in the 'anyOf' keyword";
            },
            [](const kinds::PatternEngineError& k) {
                switch (k.stage) {
                    case kinds::PatternEngineError::Stage::Parse:
                        return "Parsing error at position " + std::to_string(k.position) + ": " + k.description;
                    case kinds::PatternEngineError::Stage::Compile:
                        return "Error compiling regex: " + k.description;
                    default:
                        return "Error executing regex: " + k.description;
                }
            },
            [](const kinds::PatternEvaluationFailed& k) { return k.message; },
            [](const kinds::Const& k) { return json(k.expected) + " was expected"; },
            [&](const kinds::Contains&) { return "None of " + json(inst) + " are valid under the given schema"; },
            [&](const kinds::ContentEncoding& k) {
                return json(inst) + " is not compliant with \"" + k.encoding + "\" content encoding";
            },
            [&](const kinds::ContentMediaType& k) {
                return json(inst) + " is not compliant with \"" + k.media_type + "\" media type";
            },
            [](const kinds::Custom& k) { return k.message; },
            [&](const kinds::Enum& k) { return enum_message(inst, k.options); },
            [&](const kinds::ExclusiveMaximum& k) {
                return json(inst) + " is greater than or equal to the maximum of " + json(k.limit);
            },
            [&](const kinds::ExclusiveMinimum& k) {
                return json(inst) + " is less than or equal to the minimum of " + json(k.limit);
            },
            [&](const kinds::FalseSchema&) { return "False schema does not allow " + json(inst); },
            [&](const kinds::Format& k) { return json(inst) + " is not a \"" + k.format + "\""; },
            [](const kinds::ContentNotUtf8& k) {
                if (k.error.error_len) {
                    return "invalid utf-8 sequence of " + std::to_string(*k.error.error_len) + " bytes from index " +
                           std::to_string(k.error.valid_up_to);
                }
                return "incomplete utf-8 byte sequence from index " + std::to_string(k.error.valid_up_to);
            },
            [&](const kinds::MaxItems& k) {
                return json(inst) + " has more than " + std::to_string(k.limit) + " item" + plural(k.limit, "", "s");
            },
            [&](const kinds::Maximum& k) { return json(inst) + " is greater than the maximum of " + json(k.limit); },
            [&](const kinds::MaxLength& k) {
                return json(inst) + " is longer than " + std::to_string(k.limit) + " character" +
                       plural(k.limit, "", "s");
            },
            [&](const kinds::MaxProperties& k) {
                return json(inst) + " has more than " + std::to_string(k.limit) + " propert" +
                       plural(k.limit, "y", "ies");
            },
            [&](const kinds::MinItems& k) {
                return json(inst) + " has less than " + std::to_string(k.limit) + " item" + plural(k.limit, "", "s");
            },
            [&](const kinds::Minimum& k) { return json(inst) + " is less than the minimum of " + json(k.limit); },
            [&](const kinds::MinLength& k) {
                return json(inst) + " is shorter than " + std::to_string(k.limit) + " character" +
                       plural(k.limit, "", "s");
            },
            [&](const kinds::MinProperties& k) {
                return json(inst) + " has less than " + std::to_string(k.limit) + " propert" +
                       plural(k.limit, "y", "ies");
            },
            [&](const kinds::MultipleOf& k) { return json(inst) + " is not a multiple of " + json(k.divisor); },
            [&](const kinds::Not& k) { return json(k.schema) + " is not allowed for " + json(inst); },
            [&](const kinds::OneOfMultipleValid&) {
                return json(inst) + " is valid under more than one of the schemas listed in the 'oneOf' keyword";
            },
            [&](const kinds::OneOfNotValid&) {
                return json(inst) + " is not valid under any of the schemas listed in the 'oneOf' keyword";
            },
            [&](const kinds::Pattern& k) { return json(inst) + " does not match \"" + k.pattern + "\""; },
            [](const kinds::PropertyNames& k) {
                return k.error ? display_validation_error(*k.error) : std::string();
            },
            [](const kinds::Required& k) { return json(k.property) + " is a required property"; },
            [&](const kinds::Type& k) { return type_message(inst, k); },
            [](const kinds::UnevaluatedItems& k) {
                std::string out = "Unevaluated items are not allowed (";
                append_quoted_list(out, k.unexpected);
                return out;
            },
            [](const kinds::UnevaluatedProperties& k) {
                std::string out = "Unevaluated properties are not allowed (";
                append_quoted_list(out, k.unexpected);
                return out;
            },
            [&](const kinds::UniqueItems&) { return json(inst) + " has non-unique elements"; },
        },
        error.kind());
}

ValidationError::~ValidationError() = default;

std::string ValidationError::message() const {
    std::string text = display_validation_error(*this);
    if (!record_->schema_error) return text;
    text += " (at schema location ";
    value::append_json_string(text, record_->schema_path.view());
    if (record_->absolute) {
        text += ", ";
        value::append_json_string(text, *record_->absolute);
    }
    text += ')';
    return text;
}

void ValidationError::place_at(const Location& keyword_location) {
    if (!record_->schema_path.empty()) return;
    record_->schema_path = keyword_location;
    record_->evaluation_path = EvaluationPath{keyword_location};
}

ValidationError ValidationError::make(ValidationErrorKind kind, const Value& instance,
                                      const LazyLocation& instance_path, const Location& schema_path,
                                      const RefChain* chain) {
    return ValidationError(evaluation_path_location(chain, schema_path), std::move(kind), instance,
                           location_from_lazy(instance_path), schema_path);
}

ValidationError ValidationError::make_at(ValidationErrorKind kind, const Value& instance, Location instance_path,
                                         const Location& schema_path, const RefChain* chain) {
    return ValidationError(evaluation_path_location(chain, schema_path), std::move(kind), instance,
                           std::move(instance_path), schema_path);
}

ValidationError ValidationError::compile_error(ValidationErrorKind kind, const Value& keyword_value,
                                               const Location& keyword_location) {
    return ValidationError(EvaluationPath{keyword_location}, std::move(kind), keyword_value, Location(),
                           keyword_location);
}

ErrorDescription error_keyword_and_message(const ValidationError& error) {
    return ErrorDescription{std::string(error.keyword()), error.message()};
}

std::vector<ErrorDescription> collect_error_descriptions(const std::vector<ValidationError>& errors) {
    std::vector<ErrorDescription> out;
    out.reserve(errors.size());
    for (const auto& e : errors) out.push_back(error_keyword_and_message(e));
    return out;
}

namespace {

// The nodes of a value's copy, found for an error by its instance path relative to the value's
// own: the same steps taken in the original and in the copy, the original's node compared with the
// address the error borrows. No table is built, so sharing costs only the path's length.
class CopyIndex {
public:
    CopyIndex(const Value& original, std::shared_ptr<const Value> copy, Location path)
        : original_(&original), copy_(std::move(copy)), path_(std::move(path)) {}

    // The copy's node for an error borrowing inside the original, sharing the copy; null otherwise.
    std::shared_ptr<const Value> find(const ValidationError& error) const {
        const Value* wanted = &error.instance();
        if (wanted == original_) return copy_;
        std::string_view base = path_.view();
        std::string_view full = error.instance_path().view();
        if (full.size() <= base.size() || full.substr(0, base.size()) != base || full[base.size()] != '/')
            return nullptr;
        std::string_view rest = full.substr(base.size());
        const Value* from = original_;
        const Value* to = copy_.get();
        std::string segment;
        while (!rest.empty()) {
            rest.remove_prefix(1);
            std::size_t slash = rest.find('/');
            std::string_view raw = rest.substr(0, slash);
            rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
            segment.clear();
            for (std::size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] == '~' && i + 1 < raw.size()) {
                    segment += raw[i + 1] == '1' ? '/' : '~';
                    ++i;
                } else {
                    segment += raw[i];
                }
            }
            if (from->is_object()) {
                from = from->find(segment);
                to = to->find(segment);
            } else if (from->is_array()) {
                std::size_t index = 0;
                auto [end, ec] = std::from_chars(segment.data(), segment.data() + segment.size(), index);
                if (ec != std::errc() || end != segment.data() + segment.size() || index >= from->as_array().size())
                    return nullptr;
                from = &from->as_array()[index];
                to = &to->as_array()[index];
            } else {
                return nullptr;
            }
            if (from == nullptr || to == nullptr) return nullptr;
        }
        if (from != wanted) return nullptr;
        return std::shared_ptr<const Value>(copy_, to);
    }

private:
    const Value* original_;
    std::shared_ptr<const Value> copy_;
    Location path_;
};

ValidationError with_owned_instance(ValidationError error, std::shared_ptr<const Value> owned) {
    ValidationError out(error.evaluation_path_parts(), std::move(error.kind()), std::move(owned),
                        error.instance_path(), error.schema_path());
    out.set_absolute_location(error.absolute_keyword_location());
    if (error.is_schema_error()) out.mark_schema_error();
    return out;
}

ValidationError own_error(ValidationError error, CopyIndex* enclosing);

kinds::Context* nested_context(ValidationErrorKind& kind) {
    if (auto* any = std::get_if<kinds::AnyOf>(&kind)) return &any->context;
    if (auto* none = std::get_if<kinds::OneOfNotValid>(&kind)) return &none->context;
    if (auto* many = std::get_if<kinds::OneOfMultipleValid>(&kind)) return &many->context;
    return nullptr;
}

// An error that owns its instance owns everything it holds (only this function makes one that
// holds other errors), so it is taken as it is, never walked again.
ValidationError own_error(ValidationError error, CopyIndex* enclosing) {
    Location evaluation = error.evaluation_path();
    error.set_evaluation_path(EvaluationPath{std::move(evaluation)});
    if (error.owns_instance()) return error;
    std::shared_ptr<const Value> shared = enclosing != nullptr ? enclosing->find(error) : nullptr;
    std::optional<CopyIndex> own_index;
    CopyIndex* index = enclosing;
    if (shared == nullptr) {
        shared = std::make_shared<const Value>(error.instance());
        own_index.emplace(error.instance(), shared, error.instance_path());
        index = &*own_index;
    }
    if (kinds::Context* context = nested_context(error.kind())) {
        for (auto& branch : *context)
            for (auto& nested : branch) nested = own_error(std::move(nested), index);
    }
    return with_owned_instance(std::move(error), std::move(shared));
}

}  // namespace

ValidationError error_into_owned(ValidationError error) { return own_error(std::move(error), nullptr); }

void context_into_owned(kinds::Context& context, const Value& instance, const LazyLocation& instance_path) {
    std::optional<CopyIndex> index;
    for (auto& branch : context) {
        for (auto& error : branch) {
            if (!index && !error.owns_instance())
                index.emplace(instance, std::make_shared<const Value>(instance), location_from_lazy(instance_path));
            error = own_error(std::move(error), index ? &*index : nullptr);
        }
    }
}

void fill_missing_absolute_location(ErrorSink& errors, std::size_t from, const AbsoluteLocation& uri) {
    if (!uri) return;
    for (std::size_t i = from; i < errors.size(); ++i) errors[i].attach_absolute_location(uri);
}

ValidationError new_custom_validation_error(ValidationError factory_error, const Value& schema_value,
                                            const Location& keyword_location, std::string_view keyword_name) {
    ValidationErrorKind kind = std::move(factory_error.kind());
    if (auto* custom = std::get_if<kinds::Custom>(&kind)) custom->keyword = std::string(keyword_name);
    return ValidationError(EvaluationPath{keyword_location}, std::move(kind), schema_value, Location(),
                           keyword_location);
}

const Value& null_value() {
    static const Value null;
    return null;
}

ValidationError reference_error_to_validation_error(referencing::ReferenceError error) {
    return ValidationError(EvaluationPath{Location()}, kinds::Referencing{std::move(error)}, null_value(), Location(),
                           Location());
}

ValidationError false_schema_error(const Location& schema_location, const Value& instance,
                                   const LazyLocation& instance_path, const RefChain* chain) {
    return ValidationError::make(kinds::FalseSchema{}, instance, instance_path, schema_location, chain);
}

}  // namespace deririrore::core
