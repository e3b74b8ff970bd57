#pragma once
// Helpers for the tests of the object keywords: building validators from JSON text, recording
// trace events as plain values, and checking that every operation tells the same story.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/core/validator.hpp"
#include "deririrore/value/json.hpp"

namespace objtest {

using deririrore::core::Draft;
using deririrore::core::ValidationError;
using deririrore::core::ValidationOptions;
using deririrore::core::Validator;
using deririrore::value::Value;
namespace core = deririrore::core;

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
    return os << "{\"" << e.instance << "\", \"" << e.keyword << "\", " << e.outcome << "}";
}

class RecordingTracer final : public core::Tracer {
public:
    void call_mut(const core::TraceEvent& event) override {
        events.push_back(Event{core::location_from_lazy(event.instance_location).str(), event.keyword_location.str(),
                               static_cast<int>(event.outcome)});
    }
    std::vector<Event> events;
};

inline ValidationOptions options_for(Draft draft) { return ValidationOptions().with_draft(draft); }

inline Validator build(std::string_view schema, const ValidationOptions& options) {
    auto built = core::build_validator(json(schema), options);
    if (!built) throw std::runtime_error("schema did not compile: " + built.error().message());
    return std::move(*built);
}

inline Validator build(std::string_view schema, Draft draft = Draft::Draft202012) {
    return build(schema, options_for(draft));
}

inline ValidationError compile_error(std::string_view schema, const ValidationOptions& options) {
    auto built = core::build_validator(json(schema), options);
    if (built) throw std::runtime_error("schema compiled: " + std::string(schema));
    return std::move(built).error();
}

inline ValidationError compile_error(std::string_view schema, Draft draft = Draft::Draft202012) {
    return compile_error(schema, options_for(draft));
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

inline std::vector<std::string> messages(const std::vector<ValidationError>& errors) {
    std::vector<std::string> out;
    for (const auto& e : errors) out.push_back(e.message());
    return out;
}

// "instance path @ schema path: message" of every error, in order.
inline std::vector<std::string> described(const std::vector<ValidationError>& errors) {
    std::vector<std::string> out;
    for (const auto& e : errors) {
        out.push_back(e.instance_path().str() + " @ " + e.schema_path().str() + ": " + e.message());
    }
    return out;
}

// is_valid, validate, iter_errors, trace and evaluate agree on the validity; the first error of
// iter_errors is validate's unless `same_first` is false.
inline void expect_consistent(const Validator& v, const Value& instance, bool same_first = true) {
    const bool valid = v.is_valid(instance);
    EXPECT_EQ(trace(v, instance).valid, valid);
    auto first = v.validate(instance);
    EXPECT_EQ(!first.has_value(), valid);
    auto errors = v.iter_errors(instance);
    EXPECT_EQ(errors.empty(), valid);
    if (same_first && first && !errors.empty()) {
        EXPECT_EQ(first->message(), errors.front().message());
    }
    EXPECT_EQ(v.evaluate(instance).valid, valid);
}

// The keyword unit directly under the root unit whose evaluation path is `path`; null if none.
inline const core::EvaluationNode* keyword_unit(const core::Evaluation& e, std::string_view path) {
    for (std::uint32_t id = e.root_node().first_child; id != core::kNoNode; id = e.output.at(id).next_sibling) {
        if (e.output.at(id).evaluation_path.view() == path) return &e.output.at(id);
    }
    return nullptr;
}

inline std::vector<const core::EvaluationNode*> children_of(const core::Evaluation& e, const core::EvaluationNode& n) {
    std::vector<const core::EvaluationNode*> out;
    for (std::uint32_t id = n.first_child; id != core::kNoNode; id = e.output.at(id).next_sibling) {
        out.push_back(&e.output.at(id));
    }
    return out;
}

inline std::string annotation_json(const core::SharedValue& v) {
    return v ? deririrore::value::to_json(*v) : std::string("<none>");
}

// A custom keyword that counts how often schema objects holding it are compiled.
class CountingFactory final : public core::KeywordFactory {
public:
    class Keyword final : public core::CustomKeyword {
    public:
        std::optional<ValidationError> validate(const Value&, const core::LazyLocation&) const override {
            return std::nullopt;
        }
        bool is_valid(const Value&) const override { return true; }
    };
    deririrore::Result<std::unique_ptr<core::CustomKeyword>, ValidationError> init(const Value&, const Value&,
                                                                                   const core::Location&,
                                                                                   std::string_view) const override {
        ++count;
        return std::unique_ptr<core::CustomKeyword>(std::make_unique<Keyword>());
    }
    mutable std::atomic<int> count{0};
};

}  // namespace objtest
