#pragma once
// Shared by the keyword tests: building validators from JSON text, recording trace events as
// plain values, checking that every operation tells the same story, and reading evaluation units.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "deririrore/core/keyword.hpp"
#include "deririrore/core/node.hpp"
#include "deririrore/core/options.hpp"
#include "deririrore/core/validator.hpp"
#include "deririrore/value/json.hpp"
#include "../../support/engine_test_support.hpp"

namespace kwtest {

using deririrore::core::Draft;
using deririrore::core::TraceOutcome;
using deririrore::core::ValidationError;
using deririrore::core::ValidationOptions;
using deririrore::core::Validator;
using deririrore::value::Value;
namespace core = deririrore::core;
namespace value = deririrore::value;

using enginetest::json;

using enginetest::Event;
using enginetest::RecordingTracer;

// The keyword tests probe the compiler's own refusals, which a meta-schema check would answer first.
inline ValidationOptions options_for(Draft draft) {
    return ValidationOptions().with_draft(draft).with_validate_schema(false);
}

// The compile error of the schema, or none when it compiles.
inline std::optional<ValidationError> build_error(std::string_view schema, const ValidationOptions& options) {
    auto built = core::build_validator(json(schema), options);
    if (built) return std::nullopt;
    return std::move(built).error();
}

// The schema must compile; the test fails at the call site otherwise.
inline Validator build(std::string_view schema, const ValidationOptions& options) {
    auto built = core::build_validator(json(schema), options);
    if (!built) throw std::runtime_error("schema did not compile: " + built.error().message());
    return std::move(built).value();
}

inline Validator build(std::string_view schema, Draft draft = Draft::Draft202012) {
    return build(schema, options_for(draft));
}

// The compile error of a schema that must not compile.
inline ValidationError compile_error(std::string_view schema, const ValidationOptions& options) {
    auto error = build_error(schema, options);
    if (!error) throw std::runtime_error("schema compiled: " + std::string(schema));
    return std::move(*error);
}

inline ValidationError compile_error(std::string_view schema, Draft draft = Draft::Draft202012) {
    return compile_error(schema, options_for(draft));
}

// The wording of the compile error the schema gives, or none when it compiles: the full message
// ends with the keyword's schema location, which the location tests check on their own.
inline std::optional<std::string> compile_message(std::string_view schema, const ValidationOptions& options) {
    auto error = build_error(schema, options);
    if (!error) return std::nullopt;
    return core::display_validation_error(*error);
}

// A build error's full message: the wording followed by the keyword's schema location.
inline std::string located(std::string_view wording, std::string_view pointer) {
    return std::string(wording) + " (at schema location \"" + std::string(pointer) + "\")";
}

inline std::optional<std::string> compile_message(std::string_view schema, Draft draft) {
    return compile_message(schema, options_for(draft));
}

// The schema path of the compile error the schema gives, or none when it compiles.
inline std::optional<std::string> compile_error_path(std::string_view schema, Draft draft) {
    auto error = build_error(schema, options_for(draft));
    if (!error) return std::nullopt;
    return error->schema_path().str();
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
        EXPECT_EQ(first->schema_path().str(), errors.front().schema_path().str());
    }
    EXPECT_EQ(v.evaluate(instance).valid, valid);
}

// The trace of `instance` gives this verdict and these events, and every other operation agrees.
inline void expect_trace(std::string_view schema, Draft draft, std::string_view instance, bool valid,
                         const std::vector<Event>& events) {
    Validator v = build(schema, draft);
    const Value parsed = json(instance);
    Traced t = trace(v, parsed);
    EXPECT_EQ(t.valid, valid);
    EXPECT_EQ(t.events, events);
    expect_consistent(v, parsed);
}

// A named row of a trace table, for parameterised tests.
struct TraceCase {
    const char* name;
    const char* schema;
    Draft draft;
    const char* instance;
    bool valid;
    std::vector<Event> events;
};

inline void expect_trace(const TraceCase& c) { expect_trace(c.schema, c.draft, c.instance, c.valid, c.events); }

// Names parameterised cases after their `name` member.
struct CaseName {
    template <class Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
        return std::string(info.param.name);
    }
};

// A row of a trace table that reads the schema under 2020-12 options.
struct TraceSequence {
    std::string schema;
    std::string instance;
    bool valid;
    std::vector<Event> events;
};

inline void check_trace_sequences(const std::vector<TraceSequence>& cases,
                                  const ValidationOptions& options = options_for(Draft::Draft202012)) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.schema + " on " + c.instance);
        Validator v = build(c.schema, options);
        Traced t = trace(v, json(c.instance));
        EXPECT_EQ(t.valid, c.valid);
        EXPECT_EQ(t.events, c.events);
        EXPECT_EQ(v.is_valid(json(c.instance)), c.valid);
    }
}

// The root's keyword validator at "/<keyword>", if it is a T; null otherwise.
template <class T>
const T* root_keyword(const Validator& v, std::string_view keyword) {
    for (const auto& entry : v.root().entries()) {
        const std::string_view location = entry.location.view();
        if (location.size() == keyword.size() + 1 && location.substr(1) == keyword) {
            return dynamic_cast<const T*>(entry.validator.get());
        }
    }
    return nullptr;
}

template <class T>
bool is_built_as(const Validator& v, std::string_view keyword) {
    return root_keyword<T>(v, keyword) != nullptr;
}

// The root's first keyword validator that is a T; null if none.
template <class T>
const T* root_keyword(const Validator& v) {
    for (const auto& entry : v.root().entries()) {
        if (auto* found = dynamic_cast<const T*>(entry.validator.get())) return found;
    }
    return nullptr;
}

// The units of a sibling chain starting at `first`.
inline std::vector<const core::EvaluationNode*> sibling_units(const core::Evaluation& e, std::uint32_t first) {
    std::vector<const core::EvaluationNode*> out;
    for (std::uint32_t id = first; id != core::kNoNode; id = e.output.at(id).next_sibling) {
        out.push_back(&e.output.at(id));
    }
    return out;
}

inline std::vector<const core::EvaluationNode*> children_of(const core::Evaluation& e, const core::EvaluationNode& n) {
    return sibling_units(e, n.first_child);
}

// The keyword unit directly under the root unit whose evaluation path is `path`; null if none.
inline const core::EvaluationNode* keyword_unit(const core::Evaluation& e, std::string_view path) {
    for (const auto* unit : sibling_units(e, e.root_node().first_child)) {
        if (unit->evaluation_path.view() == path) return unit;
    }
    return nullptr;
}

inline std::string annotation_json(const core::SharedValue& v) {
    return v ? value::to_json(*v) : std::string("<none>");
}

// {"p00": {"type": "integer"}, ..., "p<n-1>": ...}
inline std::string declared(int n) {
    std::string out = "{";
    for (int i = 0; i < n; ++i) {
        if (i) out += ", ";
        out += "\"p" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "\": {\"type\": \"integer\"}";
    }
    return out + "}";
}

// A compiled schema and the keyword operations on instances; a schema that does not compile
// fails the test and leaves `ok()` false.
class Compiled {
public:
    Compiled(std::string_view schema_text, Draft draft) : Compiled(schema_text, options_for(draft)) {}
    Compiled(std::string_view schema_text, const ValidationOptions& options) {
        auto built = core::build_validator(json(schema_text), options);
        if (!built) {
            ADD_FAILURE() << "schema " << schema_text << " does not compile: " << built.error().message();
            return;
        }
        validator_.emplace(std::move(built).value());
    }

    bool ok() const { return validator_.has_value(); }

    bool is_valid(const Value& instance) const { return validator_->is_valid(instance); }
    bool is_valid(std::string_view instance_text) const { return is_valid(json(instance_text)); }

    // Errors are made independent of the instance, so that a temporary instance may be passed.
    std::optional<ValidationError> first_error(const Value& instance) const {
        auto error = validator_->validate(instance);
        if (!error) return std::nullopt;
        return core::error_into_owned(std::move(*error));
    }
    std::vector<ValidationError> errors(const Value& instance) const {
        std::vector<ValidationError> out;
        for (auto& e : validator_->iter_errors(instance)) out.push_back(core::error_into_owned(std::move(e)));
        return out;
    }
    // Messages of iter_errors, in order.
    std::vector<std::string> messages(const Value& instance) const { return kwtest::messages(errors(instance)); }
    std::vector<std::string> messages(std::string_view instance_text) const { return messages(json(instance_text)); }

    // The trace events and the validity trace returned.
    std::pair<std::vector<Event>, bool> trace(const Value& instance) const {
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
            return sibling_units(evaluation, evaluation.root_node().first_child);
        }
        const core::EvaluationNode& node(std::uint32_t id) const { return evaluation.output.at(id); }
    };
    std::unique_ptr<Evaluated> evaluate(const Value& instance) const {
        auto out = std::make_unique<Evaluated>();
        out->evaluation = validator_->evaluate(instance);
        return out;
    }

private:
    std::optional<Validator> validator_;
};

// is_valid gives `valid`, and trace agrees with one event whose outcome matches.
inline void expect_one_event_verdict(const Compiled& compiled, std::string_view instance, bool valid) {
    EXPECT_EQ(compiled.is_valid(instance), valid) << instance;
    auto [events, traced] = compiled.trace(instance);
    EXPECT_EQ(traced, valid);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].outcome, valid ? 0 : 1);
}

// The instance is valid exactly when `message` is empty; otherwise `keyword` reports that one
// message among the errors of iter_errors.
inline void expect_keyword_message(const Compiled& v, std::string_view keyword, std::string_view instance_text,
                                   std::string_view message) {
    const Value instance = json(instance_text);
    EXPECT_EQ(v.is_valid(instance), message.empty());
    std::vector<std::string> ours;
    for (const auto& e : v.errors(instance)) {
        if (e.keyword() == keyword) ours.push_back(e.message());
    }
    if (message.empty()) {
        EXPECT_TRUE(ours.empty());
    } else {
        EXPECT_EQ(ours, std::vector<std::string>{std::string(message)});
    }
}

// A custom keyword that accepts every instance; the factory counts how often schema objects
// holding it are compiled.
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

}  // namespace kwtest
