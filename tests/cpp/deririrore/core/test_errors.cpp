// Validation error messages, keyword names, owned forms and restated factory errors.
#include <gtest/gtest.h>

#include "deririrore/core/validation_error.hpp"
#include "deririrore/value/json.hpp"

namespace deririrore::core {
namespace {

Value json(std::string_view text) { return std::move(*value::parse_json(text)); }

ValidationError error_on(const Value& instance, ValidationErrorKind kind) {
    return ValidationError::make(std::move(kind), instance, LazyLocation(), Location("/k"), nullptr);
}

TEST(Messages, EveryPluralAndListRule) {
    const Value obj = json(R"({"a": 1})");
    const Value five = json("5");
    const Value arr = json("[1, 2, 3]");
    struct Case {
        const Value* instance;
        ValidationErrorKind kind;
        const char* keyword;
        const char* message;
    };
    const Value options3 = json(R"([1, "a", null])");
    const Value options5 = json("[1, 2, 3, 4, 5]");
    const Value none = json("[]");
    const Case cases[] = {
        {&obj, kinds::Required{Value::string("say \"hi\"")}, "required", R"("say \"hi\"" is a required property)"},
        {&obj, kinds::MaxProperties{1}, "maxProperties", R"({"a":1} has more than 1 property)"},
        {&obj, kinds::MaxProperties{2}, "maxProperties", R"({"a":1} has more than 2 properties)"},
        {&arr, kinds::MinItems{1}, "minItems", "[1,2,3] has less than 1 item"},
        {&arr, kinds::MinItems{0}, "minItems", "[1,2,3] has less than 0 items"},
        {&five, kinds::Enum{options3}, "enum", R"(5 is not one of 1, "a" or null)"},
        {&five, kinds::Enum{options5}, "enum", "5 is not one of 1, 2 or 3 other candidates"},
        {&five, kinds::Enum{none}, "enum", "5 is not one of "},
        {&five, type_kind_multiple(JsonTypeSet(JsonType::String).with(JsonType::Integer)), "type",
         R"(5 is not of types "integer", "string")"},
        {&five, type_kind_single(JsonType::String), "type", R"(5 is not of type "string")"},
        {&obj, kinds::AdditionalProperties{{"x"}}, "additionalProperties",
         "Additional properties are not allowed ('x' was unexpected)"},
        {&obj, kinds::AdditionalProperties{{"x", "y"}}, "additionalProperties",
         "Additional properties are not allowed ('x', 'y' were unexpected)"},
        {&obj, kinds::AdditionalProperties{{}}, "additionalProperties",
         "Additional properties are not allowed ( were unexpected)"},
        {&arr, kinds::AdditionalItems{2}, "additionalItems", "Additional items are not allowed (3 was unexpected)"},
        {&arr, kinds::AdditionalItems{1}, "additionalItems", "Additional items are not allowed (2, 3 were unexpected)"},
        {&five, kinds::FalseSchema{}, "falseSchema", "False schema does not allow 5"},
        {&five, kinds::Custom{"nullable", "custom text"}, "nullable", "custom text"},
        {&five, kinds::PatternEngineError{kinds::PatternEngineError::Stage::Parse, 3, "bad"}, "pattern",
         "Parsing error at position 3: bad"},
        {&five, kinds::ContentNotUtf8{"\xff", referencing::Utf8Error{2, std::uint8_t{1}}}, "contentEncoding",
         "invalid utf-8 sequence of 1 bytes from index 2"},
        {&five, kinds::ContentNotUtf8{"\xe2", referencing::Utf8Error{0, std::nullopt}}, "contentEncoding",
         "incomplete utf-8 byte sequence from index 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        ValidationError error = error_on(*c.instance, c.kind);
        EXPECT_EQ(error.message(), c.message);
        EXPECT_EQ(error.keyword(), c.keyword);
        EXPECT_EQ(error_keyword_and_message(error), (ErrorDescription{c.keyword, c.message}));
    }
}

TEST(Messages, PropertyNamesShowsTheInnerMessageOnly) {
    const Value name = Value::string("bad");
    auto inner = std::make_shared<const ValidationError>(error_on(name, type_kind_single(JsonType::Integer)));
    const Value obj = json(R"({"bad": 1})");
    EXPECT_EQ(error_on(obj, kinds::PropertyNames{inner}).message(), R"("bad" is not of type "integer")");
}

TEST(Messages, ReferencingShowsTheReferenceErrorText) {
    ValidationError error =
        reference_error_to_validation_error(referencing::ReferenceError(referencing::ReferenceError::NoSuchAnchor{""}));
    EXPECT_EQ(error.message(), "Anchor '' does not exist");
    EXPECT_EQ(error.keyword(), "$ref");
    EXPECT_TRUE(error.instance().is_null());
    EXPECT_EQ(error.schema_path().view(), "");
}

TEST(OwnedErrors, JoinedPathBecomesOneLocationAndTheInstanceIsCopied) {
    const Location ref("/properties/a/$ref");
    const Location target("/$defs/a");
    RefChain hop(ref, target, nullptr);
    auto owned = [&] {
        const Value instance = json(R"({"deep": [1, 2]})");
        ValidationError error = ValidationError::make(kinds::FalseSchema{}, instance, LazyLocation(),
                                                      Location("/$defs/a"), &hop);
        EXPECT_FALSE(error.owns_instance());
        return error_into_owned(std::move(error));
    }();
    EXPECT_TRUE(owned.owns_instance());
    EXPECT_EQ(value::to_json(owned.instance()), R"({"deep":[1,2]})");
    EXPECT_EQ(owned.evaluation_path().view(), "/properties/a/$ref");
    EXPECT_EQ(owned.evaluation_path_parts().data.index(), 1u);
}

TEST(OwnedErrors, NoChainMeansTheSchemaPath) {
    const Value five = json("5");
    ValidationError error = error_on(five, kinds::FalseSchema{});
    EXPECT_TRUE(error.evaluation_path_parts().is_none());
    EXPECT_EQ(error.evaluation_path().view(), "/k");
}

TEST(FactoryErrors, RestatedAtTheKeyword) {
    const Value factory_instance = json("1");
    const Value schema_value = json("\"yes\"");
    ValidationError from_factory = ValidationError::make(kinds::Custom{"whatever", "must be a boolean"},
                                                         factory_instance, LazyLocation().push(std::uint64_t{3}),
                                                         Location("/elsewhere"), nullptr);
    const Location keyword("/properties/a/nullable");
    ValidationError restated = new_custom_validation_error(std::move(from_factory), schema_value, keyword, "nullable");
    EXPECT_EQ(restated.keyword(), "nullable");
    EXPECT_EQ(restated.message(), "must be a boolean");
    EXPECT_EQ(restated.instance_path().view(), "");
    EXPECT_EQ(restated.schema_path().view(), "/properties/a/nullable");
    EXPECT_EQ(restated.evaluation_path().view(), "/properties/a/nullable");
    EXPECT_EQ(&restated.instance(), &schema_value);
    EXPECT_FALSE(restated.absolute_keyword_location());
}

TEST(AbsoluteLocations, AttachedOnlyWhenMissing) {
    const Value five = json("5");
    ErrorSink sink;
    sink.push_back(error_on(five, kinds::FalseSchema{}));
    sink.push_back(error_on(five, kinds::FalseSchema{}));
    sink[1].set_absolute_location(std::make_shared<const std::string>("urn:kept"));
    fill_missing_absolute_location(sink, 0, std::make_shared<const std::string>("urn:given"));
    EXPECT_EQ(*sink[0].absolute_keyword_location(), "urn:given");
    EXPECT_EQ(*sink[1].absolute_keyword_location(), "urn:kept");
}

}  // namespace
}  // namespace deririrore::core
