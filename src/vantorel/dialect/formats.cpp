#include "vantorel/dialect/formats.hpp"

#include <array>

#include "deririrore/formats/formats.hpp"

namespace vantorel::dialect {

namespace {

using deririrore::formats::BuiltinFormat;
using deririrore::value::Value;

class AnyStringFormat final : public FormatChecker {
public:
    bool check(const Value&) const override { return true; }
    bool applies_to(const Value& instance) const override { return instance.is_string(); }
};

class UuidFormat final : public FormatChecker {
public:
    explicit UuidFormat(bool version4) : version4_(version4) {}
    bool check(const Value& instance) const override {
        if (!instance.is_string()) return true;
        const std::string_view text = instance.as_string();
        return version4_ ? deririrore::formats::check_uuid4(text) : deririrore::formats::check_builtin_uuid(text);
    }
    bool applies_to(const Value& instance) const override { return instance.is_string(); }

private:
    bool version4_;
};

// Decided on the number's source text, by exact value: 1e3 and 1.0 are integers, and
// 2147483647.0000000001 is not an int32 although its nearest double is.
class NumberFormat final : public FormatChecker {
public:
    using TextCheck = bool (*)(std::string_view) noexcept;
    explicit NumberFormat(TextCheck check) : check_(check) {}
    bool check(const Value& instance) const override {
        return !instance.is_number() || check_(instance.number_text());
    }
    bool applies_to(const Value& instance) const override { return instance.is_number(); }

private:
    TextCheck check_;
};

// The engine's own check of a format it knows only from some draft on, applied in every draft.
class BuiltinStringFormat final : public FormatChecker {
public:
    explicit BuiltinStringFormat(BuiltinFormat format) : format_(format) {}
    bool check(const Value& instance) const override {
        return !instance.is_string() || deririrore::formats::check_builtin(format_, instance.as_string());
    }
    bool applies_to(const Value& instance) const override { return instance.is_string(); }

private:
    BuiltinFormat format_;
};

using Table = std::array<RegisteredFormat, 17>;

const Table& table() {
    static const Table formats = [] {
        namespace f = deririrore::formats;
        auto any_string = std::make_shared<const AnyStringFormat>();
        auto finite = std::make_shared<const NumberFormat>(&f::check_finite_number_text);
        auto builtin = [](BuiltinFormat format) { return std::make_shared<const BuiltinStringFormat>(format); };
        return Table{{
            {"binary", any_string},
            {"byte", any_string},
            {"password", any_string},
            {"uuid", std::make_shared<const UuidFormat>(false)},
            {"uuid4", std::make_shared<const UuidFormat>(true)},
            {"int64", std::make_shared<const NumberFormat>(&f::check_int64_text)},
            {"int32", std::make_shared<const NumberFormat>(&f::check_int32_text)},
            {"double", finite},
            {"float", finite},
            {"duration", builtin(BuiltinFormat::Duration)},
            {"idn-hostname", builtin(BuiltinFormat::IdnHostname)},
            {"iri", builtin(BuiltinFormat::Iri)},
            {"iri-reference", builtin(BuiltinFormat::IriReference)},
            {"json-pointer", builtin(BuiltinFormat::JsonPointer)},
            {"relative-json-pointer", builtin(BuiltinFormat::RelativeJsonPointer)},
            {"uri-reference", builtin(BuiltinFormat::UriReference)},
            {"uri-template", builtin(BuiltinFormat::UriTemplate)},
        }};
    }();
    return formats;
}

}  // namespace

std::span<const RegisteredFormat> openapi_formats() { return table(); }

std::shared_ptr<const FormatChecker> openapi_format(std::string_view name) {
    for (const auto& entry : table()) {
        if (entry.name == name) return entry.checker;
    }
    return nullptr;
}

}  // namespace vantorel::dialect
