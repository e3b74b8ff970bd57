#pragma once
// Builds schemas with the coverage core's options and records what tracing reports, so that the
// dialect's tests read as tables of (schema, instance, expectation).
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/core/compiler.hpp"
#include "deririrore/core/validator.hpp"
#include "deririrore/value/json.hpp"
#include "vantorel/dialect/options.hpp"
#include "../../support/engine_test_support.hpp"

namespace dialect_test {

namespace core = deririrore::core;
namespace value = deririrore::value;
using deririrore::core::BuiltinKeyword;
using deririrore::referencing::Draft;
using vantorel::dialect::NullableSource;

using enginetest::json;

using enginetest::Event;
using enginetest::RecordingTracer;

inline deririrore::Result<core::Validator, core::ValidationError> build(
    std::string_view schema_text, std::optional<Draft> draft, NullableSource source = NullableSource::MediaType) {
    return core::build_validator(json(schema_text), vantorel::dialect::measured_schema_options(draft, source));
}

struct Traced {
    bool valid = false;
    std::vector<Event> events;
};

inline Traced trace(const core::Validator& validator, const value::Value& instance) {
    RecordingTracer tracer;
    auto result = validator.trace(instance, tracer);
    EXPECT_TRUE(result.has_value()) << "trace stopped: " << result.error().message();
    return Traced{result.has_value() && *result, std::move(tracer.events)};
}

// The events whose keyword Location ends with `suffix` (e.g. "/nullable").
inline std::vector<Event> events_ending(const std::vector<Event>& events, std::string_view suffix) {
    std::vector<Event> out;
    for (const auto& e : events) {
        if (e.keyword.size() >= suffix.size() && e.keyword.compare(e.keyword.size() - suffix.size(), suffix.size(),
                                                                   suffix) == 0) {
            out.push_back(e);
        }
    }
    return out;
}

// The engine's keyword library is being completed; these tell which parts a test can rely on.
inline bool engine_compiles(BuiltinKeyword keyword, Draft draft = Draft::Draft202012) {
    return core::builtin_keyword_table().lookup(keyword, draft) != nullptr;
}
inline bool engine_runs_custom_keywords() { return core::builtin_keyword_table().custom_keyword_adapter() != nullptr; }

}  // namespace dialect_test

#define DIALECT_REQUIRE_CUSTOM_KEYWORDS()                                                               \
    do {                                                                                                \
        if (!::dialect_test::engine_runs_custom_keywords())                                             \
            GTEST_SKIP() << "the engine's keyword table installs no custom-keyword adapter yet";        \
    } while (0)

#define DIALECT_REQUIRE_KEYWORD(keyword)                                                                \
    do {                                                                                                \
        if (!::dialect_test::engine_compiles(::dialect_test::BuiltinKeyword::keyword))                  \
            GTEST_SKIP() << "the engine's keyword table has no `" #keyword "` compile step yet";        \
    } while (0)
