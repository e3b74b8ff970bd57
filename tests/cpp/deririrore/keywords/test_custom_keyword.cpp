// Custom keywords registered through ValidationOptions: they replace built-in keywords of the same
// name, run after every built-in keyword of their schema object, have their errors restated at
// the compiled schema's locations, and an advisory one fails only in the trace.
#include <gtest/gtest.h>

#include <variant>

#include "keyword_test_support.hpp"
#include "deririrore/core/options.hpp"

namespace {

using namespace kwtest;
using deririrore::core::CustomKeyword;
using deririrore::core::KeywordFactory;
using deririrore::core::LazyLocation;
using deririrore::core::Location;

enum class ErrorStyle { Custom, Type };

// Accepts even integers. Its errors carry made-up paths and keyword names, which the adapter must
// replace.
class EvenKeyword final : public CustomKeyword {
public:
    EvenKeyword(bool advisory, ErrorStyle style) : advisory_(advisory), style_(style) {}

    bool is_valid(const Value& instance) const override {
        if (!instance.is_number()) return false;
        const std::string_view text = instance.number_text();
        return text.find_first_of(".eE") == std::string_view::npos && (text.back() - '0') % 2 == 0;
    }
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation&) const override {
        if (is_valid(instance)) return std::nullopt;
        return make_error(instance, "not even");
    }
    std::vector<ValidationError> iter_errors(const Value& instance, const LazyLocation&) const override {
        std::vector<ValidationError> out;
        if (!is_valid(instance)) {
            out.push_back(make_error(instance, "not even"));
            out.push_back(make_error(instance, "still not even"));
        }
        return out;
    }
    bool is_advisory() const override { return advisory_; }

private:
    ValidationError make_error(const Value&, const char* message) const {
        static const Value decoy = Value::string("decoy");
        static const LazyLocation root;
        const LazyLocation elsewhere = root.push("elsewhere");
        if (style_ == ErrorStyle::Type) {
            return ValidationError::make(deririrore::core::type_kind_single(deririrore::value::JsonType::Integer),
                                         decoy, elsewhere, Location("/bogus"), nullptr);
        }
        return ValidationError::make(deririrore::core::kinds::Custom{"someName", message}, decoy, elsewhere,
                                     Location("/bogus"), nullptr);
    }

    bool advisory_;
    ErrorStyle style_;
};

class EvenFactory final : public KeywordFactory {
public:
    explicit EvenFactory(bool advisory = false, ErrorStyle style = ErrorStyle::Custom)
        : advisory_(advisory), style_(style) {}

    deririrore::Result<std::unique_ptr<CustomKeyword>, ValidationError> init(const Value&, const Value& value,
                                                                             const Location& location,
                                                                             std::string_view) const override {
        if (value.is_string()) {
            return deririrore::make_unexpected(ValidationError::make(
                deririrore::core::kinds::Custom{"factory", "bad keyword value"}, value, LazyLocation(), location,
                nullptr));
        }
        return std::unique_ptr<CustomKeyword>(std::make_unique<EvenKeyword>(advisory_, style_));
    }

private:
    bool advisory_;
    ErrorStyle style_;
};

ValidationOptions with_even(std::string name, bool advisory = false, ErrorStyle style = ErrorStyle::Custom) {
    return options_for(Draft::Draft202012).with_keyword(std::move(name), std::make_shared<EvenFactory>(advisory, style));
}

TEST(CustomKeyword, RunsLastInItsSchemaObject) {
    // "aEven" sorts before every other member but runs after the built-in keywords.
    Validator v = build(R"({"aEven": true, "minimum": 0, "type": "number", "if": true, "then": true})",
                        with_even("aEven"));
    Traced t = trace(v, json("3"));
    EXPECT_FALSE(t.valid);
    EXPECT_EQ(t.events, (std::vector<Event>{{"", "/type", 0},
                                            {"", "/minimum", 0},
                                            {"", "/if", 0},
                                            {"", "/then", 0},
                                            {"", "/aEven", 1}}));
    const Value instance = json("-3");
    auto errors = v.iter_errors(instance);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].schema_path().str(), "/minimum");
    EXPECT_EQ(errors[1].schema_path().str(), "/aEven");
}

TEST(CustomKeyword, ReplacesTheBuiltInKeyword) {
    Validator v = build(R"({"enum": [1, 3]})", with_even("enum"));
    const Value one = json("1");
    const Value two = json("2");
    EXPECT_FALSE(v.is_valid(one));
    EXPECT_TRUE(v.is_valid(two));
    auto e = v.validate(one);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->message(), "not even");
    EXPECT_EQ(e->keyword(), "enum");
    EXPECT_EQ(e->schema_path().str(), "/enum");
}

TEST(CustomKeyword, CustomErrorsAreRestatedAtTheAdaptersLocations) {
    Validator v = build(R"({"items": {"even": 1}})", with_even("even"));
    const Value instance = json("[2, 5]");
    auto errors = v.iter_errors(instance);
    ASSERT_EQ(errors.size(), 2u);
    for (const auto& e : errors) {
        EXPECT_EQ(e.keyword(), "even");
        EXPECT_EQ(e.instance_path().str(), "/1");
        EXPECT_EQ(e.schema_path().str(), "/items/even");
        EXPECT_EQ(deririrore::value::to_json(e.instance()), "5");
        EXPECT_TRUE(e.owns_instance());
    }
    EXPECT_EQ(errors[0].message(), "not even");
    EXPECT_EQ(errors[1].message(), "still not even");
    auto unit = v.evaluate(instance);
    EXPECT_FALSE(unit.valid);
}

TEST(CustomKeyword, OtherKindsKeepKindAndPayload) {
    Validator v = build(R"({"even": 1})", with_even("even", false, ErrorStyle::Type));
    const Value instance = json("7");
    auto e = v.validate(instance);
    ASSERT_TRUE(e.has_value());
    EXPECT_TRUE(std::holds_alternative<deririrore::core::kinds::Type>(e->kind()));
    EXPECT_EQ(e->message(), "7 is not of type \"integer\"");
    EXPECT_EQ(e->schema_path().str(), "/even");
    EXPECT_EQ(e->instance_path().str(), "");
}

TEST(CustomKeyword, AdvisoryFailsOnlyInTheTrace) {
    Validator v = build(R"({"even": 1})", with_even("even", true));
    const Value odd = json("3");
    EXPECT_TRUE(v.is_valid(odd));
    EXPECT_FALSE(v.validate(odd).has_value());
    EXPECT_TRUE(v.iter_errors(odd).empty());
    EXPECT_TRUE(v.evaluate(odd).valid);
    Traced t = trace(v, odd);
    EXPECT_TRUE(t.valid);
    EXPECT_EQ(t.events, (std::vector<Event>{{"", "/even", 1}}));
    EXPECT_EQ(trace(v, json("\"x\"")).events, (std::vector<Event>{{"", "/even", 1}}));
}

TEST(CustomKeyword, FactoryErrorFailsTheBuild) {
    auto built = deririrore::core::build_validator(json(R"({"properties": {"a": {"even": "no"}}})"),
                                                   with_even("even"));
    ASSERT_FALSE(built.has_value());
    EXPECT_EQ(built.error().message(), kwtest::located("bad keyword value", "/properties/a/even"));
    EXPECT_EQ(built.error().keyword(), "even");
    EXPECT_EQ(built.error().schema_path().str(), "/properties/a/even");
    EXPECT_EQ(built.error().instance_path().str(), "");
}

}  // namespace
