#pragma once
// Shared helpers of the compiler core tests.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "deririrore/core/validator.hpp"
#include "deririrore/value/json.hpp"

namespace deririrore::core::testing {

inline value::Value json(std::string_view text) {
    auto parsed = value::parse_json(text);
    if (!parsed) throw std::runtime_error("bad test JSON: " + parsed.error().message + " in " + std::string(text));
    return std::move(*parsed);
}

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

struct Event {
    std::string instance;
    std::string keyword;
    int outcome;
    friend bool operator==(const Event&, const Event&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const Event& e) {
    return os << "{" << e.instance << ", " << e.keyword << ", " << e.outcome << "}";
}

// Records every trace event with its locations materialised.
class RecordingTracer final : public Tracer {
public:
    void call_mut(const TraceEvent& event) override {
        events.push_back(Event{location_from_lazy(event.instance_location).str(), event.keyword_location.str(),
                               static_cast<int>(event.outcome)});
    }
    std::vector<Event> events;
};

}  // namespace deririrore::core::testing
