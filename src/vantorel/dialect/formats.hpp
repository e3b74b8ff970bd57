#pragma once
// The seventeen formats the coverage core registers so that `format` asserts them under every
// draft: "binary", "byte" and "password" (any string), "uuid" and "uuid4", the number formats
// "int32", "int64", "double" and "float", and eight string formats the engine only knows from
// some draft on.
//
// Each format concerns one JSON type: the string formats strings, the number formats numbers.
// An instance of another type passes and is traced as not applicable, so that
// `{type: string, format: int64}` or a null under a nullable number does not count as a failed
// format check.
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "deririrore/core/options.hpp"

namespace vantorel::dialect {

using deririrore::core::FormatChecker;

struct RegisteredFormat {
    std::string_view name;
    std::shared_ptr<const FormatChecker> checker;
};

// In registration order; built once, shared read-only.
std::span<const RegisteredFormat> openapi_formats();

// The checker registered under `name`, or null.
std::shared_ptr<const FormatChecker> openapi_format(std::string_view name);

}  // namespace vantorel::dialect
