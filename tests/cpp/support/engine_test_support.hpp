#pragma once
// What every engine test needs: JSON from text, and trace events recorded with their locations.
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/location.hpp"
#include "deririrore/value/json.hpp"

namespace enginetest {

inline deririrore::value::Value json(std::string_view text) {
    auto parsed = deririrore::value::parse_json(text);
    if (!parsed) throw std::invalid_argument("bad test JSON: " + parsed.error().message + " in " + std::string(text));
    return std::move(parsed).value();
}

struct Event {
    std::string instance;
    std::string keyword;
    int outcome;
    friend bool operator==(const Event&, const Event&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Event& e) {
        return os << "{\"" << e.instance << "\", \"" << e.keyword << "\", " << e.outcome << "}";
    }
};

// Records every trace event with its locations materialised.
class RecordingTracer final : public deririrore::core::Tracer {
public:
    void call_mut(const deririrore::core::TraceEvent& event) override {
        events.push_back(Event{deririrore::core::location_from_lazy(event.instance_location).str(),
                               event.keyword_location.str(), static_cast<int>(event.outcome)});
    }
    std::vector<Event> events;
};

}  // namespace enginetest
