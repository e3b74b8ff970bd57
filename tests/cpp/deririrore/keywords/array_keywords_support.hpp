#pragma once
// Helpers for the tests of the array, conditional and dependency keywords: building a validator
// from JSON text, recording trace events as plain values, and short event tables.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/value/json.hpp"

namespace kwtest {

using deririrore::core::Draft;
using deririrore::core::ValidationError;
using deririrore::core::ValidationOptions;
using deririrore::core::Validator;
using deririrore::value::Value;

inline Value json(std::string_view text) {
    auto parsed = deririrore::value::parse_json(text);
    if (!parsed) throw std::runtime_error("bad test JSON: " + std::string(text));
    return std::move(*parsed);
}

struct Event {
    std::string instance;
    std::string keyword;
    int outcome;
    friend bool operator==(const Event&, const Event&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const Event& e) {
    return os << "{" << (e.instance.empty() ? "\"\"" : e.instance) << ", " << e.keyword << ", " << e.outcome << "}";
}

class RecordingTracer final : public deririrore::core::Tracer {
public:
    void call_mut(const deririrore::core::TraceEvent& event) override {
        events.push_back(Event{deririrore::core::location_from_lazy(event.instance_location).str(),
                               event.keyword_location.str(), static_cast<int>(event.outcome)});
    }
    std::vector<Event> events;
};

inline ValidationOptions options_for(Draft draft) { return ValidationOptions().with_draft(draft); }

// The schema must compile; the test fails at the call site otherwise.
inline Validator build(std::string_view schema, const ValidationOptions& options) {
    auto built = deririrore::core::build_validator(json(schema), options);
    if (!built) throw std::runtime_error("schema did not compile: " + built.error().message());
    return std::move(*built);
}

inline Validator build(std::string_view schema, Draft draft = Draft::Draft202012) {
    return build(schema, options_for(draft));
}

// The compile error of a schema that must not compile.
inline ValidationError compile_error(std::string_view schema, Draft draft = Draft::Draft202012) {
    auto built = deririrore::core::build_validator(json(schema), options_for(draft));
    if (built) throw std::runtime_error("schema compiled: " + std::string(schema));
    return std::move(built).error();
}

struct Traced {
    bool valid;
    std::vector<Event> events;
};

inline Traced trace(const Validator& v, const Value& instance) {
    RecordingTracer tracer;
    auto result = v.trace(instance, tracer);
    if (!result) throw std::runtime_error("trace cut short: " + result.error().message());
    return Traced{*result, std::move(tracer.events)};
}

// Checks that every answer agrees: trace and is_valid, validate and iter_errors, evaluation.
inline void expect_consistent(const Validator& v, const Value& instance) {
    const bool valid = v.is_valid(instance);
    EXPECT_EQ(trace(v, instance).valid, valid);
    EXPECT_EQ(!v.validate(instance).has_value(), valid);
    auto errors = v.iter_errors(instance);
    EXPECT_EQ(errors.empty(), valid);
    if (auto first = v.validate(instance); first && !errors.empty()) {
        EXPECT_EQ(first->message(), errors.front().message());
        EXPECT_EQ(first->schema_path().str(), errors.front().schema_path().str());
    }
    EXPECT_EQ(v.evaluate(instance).valid, valid);
}

}  // namespace kwtest

namespace kwtest {

// The keyword unit directly under the root unit whose evaluation path is `path`; null if none.
inline const deririrore::core::EvaluationNode* keyword_unit(const deririrore::core::Evaluation& e,
                                                             std::string_view path) {
    using deririrore::core::kNoNode;
    for (std::uint32_t id = e.root_node().first_child; id != kNoNode; id = e.output.at(id).next_sibling) {
        if (e.output.at(id).evaluation_path.view() == path) return &e.output.at(id);
    }
    return nullptr;
}

// The units of a sibling chain starting at `first`.
inline std::vector<const deririrore::core::EvaluationNode*> sibling_units(const deririrore::core::Evaluation& e,
                                                                          std::uint32_t first) {
    std::vector<const deririrore::core::EvaluationNode*> out;
    for (std::uint32_t id = first; id != deririrore::core::kNoNode; id = e.output.at(id).next_sibling) {
        out.push_back(&e.output.at(id));
    }
    return out;
}

inline std::string annotation_json(const deririrore::core::SharedValue& v) {
    return v ? deririrore::value::to_json(*v) : std::string("<none>");
}

}  // namespace kwtest
