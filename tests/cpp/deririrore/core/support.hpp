#pragma once
// Shared helpers of the compiler core tests.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "deririrore/core/validator.hpp"
#include "deririrore/value/json.hpp"

#include "../../support/engine_test_support.hpp"

namespace deririrore::core::testing {

using enginetest::json;

inline ValidationOptions options_for(std::optional<Draft> draft) {
    ValidationOptions options;
    if (draft) options.with_draft(*draft);
    return options;
}

inline Validator build(const value::Value& schema, const ValidationOptions& options = ValidationOptions()) {
    auto built = build_validator(schema, options);
    if (!built) throw std::runtime_error("schema did not compile: " + built.error().message());
    return std::move(*built);
}

// A build error's full message: the wording followed by the keyword's schema location.
inline std::string located(std::string_view wording, std::string_view pointer) {
    return std::string(wording) + " (at schema location \"" + std::string(pointer) + "\")";
}

using enginetest::Event;
using enginetest::RecordingTracer;

}  // namespace deririrore::core::testing
