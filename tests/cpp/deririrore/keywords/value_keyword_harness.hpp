#pragma once
// Compiles a schema text under a draft and runs the keyword operations on instance texts, so
// that value-keyword tests read as tables of (schema, instance, expectation).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/core/options.hpp"
#include "deririrore/core/validator.hpp"
#include "deririrore/value/json.hpp"

namespace kwtest {

using deririrore::core::TraceOutcome;
using deririrore::referencing::Draft;
namespace core = deririrore::core;
namespace value = deririrore::value;

inline value::Value json(std::string_view text) {
    auto parsed = value::parse_json(text);
    if (!parsed) throw std::invalid_argument("bad JSON in test: " + std::string(text));
    return std::move(parsed).value();
}

struct Event {
    std::string instance;
    std::string keyword;
    int outcome;
    friend bool operator==(const Event&, const Event&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Event& e) {
        return os << "{" << e.instance << ", " << e.keyword << ", " << e.outcome << "}";
    }
};

class RecordingTracer final : public core::Tracer {
public:
    void call_mut(const core::TraceEvent& event) override {
        events.push_back(Event{core::location_from_lazy(event.instance_location).str(),
                               event.keyword_location.str(), static_cast<int>(event.outcome)});
    }
    std::vector<Event> events;
};

inline core::ValidationOptions options_for(Draft draft) {
    core::ValidationOptions options;
    options.with_draft(draft).with_validate_schema(false);
    return options;
}

// A compiled schema and the keyword operations on instances.
class Compiled {
public:
    Compiled(std::string_view schema_text, Draft draft) : Compiled(schema_text, options_for(draft)) {}
    Compiled(std::string_view schema_text, const core::ValidationOptions& options) {
        const value::Value schema = json(schema_text);
        auto built = core::build_validator(schema, options);
        if (!built) {
            ADD_FAILURE() << "schema " << schema_text << " does not compile: " << built.error().message();
            return;
        }
        validator_.emplace(std::move(built).value());
    }

    bool ok() const { return validator_.has_value(); }

    bool is_valid(const value::Value& instance) const { return validator_->is_valid(instance); }
    bool is_valid(std::string_view instance_text) const { return is_valid(json(instance_text)); }

    // Errors are made independent of the instance, so that a temporary instance may be passed.
    std::optional<core::ValidationError> first_error(const value::Value& instance) const {
        auto error = validator_->validate(instance);
        if (!error) return std::nullopt;
        return core::error_into_owned(std::move(*error));
    }
    std::vector<core::ValidationError> errors(const value::Value& instance) const {
        std::vector<core::ValidationError> out;
        for (auto& e : validator_->iter_errors(instance)) out.push_back(core::error_into_owned(std::move(e)));
        return out;
    }
    // Messages of iter_errors, in order.
    std::vector<std::string> messages(const value::Value& instance) const {
        std::vector<std::string> out;
        for (const auto& e : errors(instance)) out.push_back(e.message());
        return out;
    }
    std::vector<std::string> messages(std::string_view instance_text) const { return messages(json(instance_text)); }

    // The trace events and the validity trace returned.
    std::pair<std::vector<Event>, bool> trace(const value::Value& instance) const {
        RecordingTracer tracer;
        auto valid = validator_->trace(instance, tracer);
        if (!valid) ADD_FAILURE() << "trace stopped: " << valid.error().message();
        return {std::move(tracer.events), valid && *valid};
    }
    std::pair<std::vector<Event>, bool> trace(std::string_view instance_text) const {
        return trace(json(instance_text));
    }

    // The evaluation output and the units of the root's keyword entries, in order.
    struct Evaluated {
        core::Evaluation evaluation;
        std::vector<const core::EvaluationNode*> entries() const {
            std::vector<const core::EvaluationNode*> out;
            for (std::uint32_t id = evaluation.root_node().first_child; id != core::kNoNode;
                 id = evaluation.output.at(id).next_sibling) {
                out.push_back(&evaluation.output.at(id));
            }
            return out;
        }
        const core::EvaluationNode& node(std::uint32_t id) const { return evaluation.output.at(id); }
    };
    std::unique_ptr<Evaluated> evaluate(const value::Value& instance) const {
        auto out = std::make_unique<Evaluated>();
        out->evaluation = validator_->evaluate(instance);
        return out;
    }

private:
    std::optional<core::Validator> validator_;
};

// The message of the compile error the schema gives, or none when it compiles.
inline std::optional<std::string> compile_error(std::string_view schema_text, Draft draft) {
    const value::Value schema = json(schema_text);
    auto built = core::build_validator(schema, options_for(draft));
    if (built) return std::nullopt;
    return built.error().message();
}

// The schema path of the compile error the schema gives, or none when it compiles.
inline std::optional<std::string> compile_error_path(std::string_view schema_text, Draft draft) {
    const value::Value schema = json(schema_text);
    auto built = core::build_validator(schema, options_for(draft));
    if (built) return std::nullopt;
    return built.error().schema_path().str();
}

}  // namespace kwtest
