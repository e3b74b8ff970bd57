// Custom keywords in node compilation: precedence over built-ins, ordering after them, factory
// errors restated at the keyword, and the draft 4/6/7 `$ref` rule coming first.
#include <atomic>

#include <gtest/gtest.h>

#include "support.hpp"

namespace deririrore::core {
namespace {

using testing::build;
using testing::json;
using testing::located;
using testing::options_for;

// Accepts numbers below 100, whatever the schema value says; counts factory calls.
class Below100 final : public CustomKeyword {
public:
    explicit Below100(Location location) : location_(std::move(location)) {}
    std::optional<ValidationError> validate(const Value& instance, const LazyLocation& path) const override {
        if (is_valid(instance)) return std::nullopt;
        return ValidationError::make(kinds::Custom{"custom", "too big"}, instance, path, location_, nullptr);
    }
    bool is_valid(const Value& instance) const override {
        return !instance.is_number() || instance.number_text().size() < 3;
    }

private:
    Location location_;
};

class Below100Factory final : public KeywordFactory {
public:
    Result<std::unique_ptr<CustomKeyword>, ValidationError> init(const Value&, const Value& value,
                                                                 const Location& location,
                                                                 std::string_view) const override {
        ++calls;
        if (value.is_string()) {
            return make_unexpected(
                ValidationError::compile_error(kinds::Custom{"whatever", "must not be a string"}, value, location));
        }
        return std::unique_ptr<CustomKeyword>(std::make_unique<Below100>(location));
    }
    mutable std::atomic<int> calls{0};
};

TEST(CustomKeywords, ReplaceTheBuiltInAndRunAfterBuiltIns) {
    auto factory = std::make_shared<Below100Factory>();
    Validator v = build(json(R"({"minimum": 1000, "type": "number"})"),
                        ValidationOptions().with_keyword("minimum", factory));
    EXPECT_EQ(factory->calls, 1);
    EXPECT_TRUE(v.is_valid(json("5")));
    EXPECT_FALSE(v.is_valid(json("500")));
    ASSERT_EQ(v.root().entries().size(), 2u);
    EXPECT_EQ(v.root().entries()[0].location.view(), "/type");
    EXPECT_EQ(v.root().entries()[1].location.view(), "/minimum");
    EXPECT_FALSE(v.root().entries()[1].pre_check);
}

TEST(CustomKeywords, FactoryErrorIsRestatedAtTheKeyword) {
    auto factory = std::make_shared<Below100Factory>();
    const Value schema = json(R"({"properties": {"a": {"nullable": "yes"}}})");
    auto built = build_validator(schema, ValidationOptions().with_keyword("nullable", factory));
    ASSERT_FALSE(built);
    EXPECT_EQ(built.error().keyword(), "nullable");
    EXPECT_EQ(built.error().message(), located("must not be a string", "/properties/a/nullable"));
    EXPECT_EQ(built.error().schema_path().view(), "/properties/a/nullable");
    EXPECT_EQ(built.error().evaluation_path().view(), "/properties/a/nullable");
    EXPECT_EQ(built.error().instance_path().view(), "");
}

TEST(CustomKeywords, RefRuleComesFirstUpToDraft7) {
    auto factory = std::make_shared<Below100Factory>();
    const Value schema = json(R"({"definitions": {"a": {"type": "string"}}, "$ref": "#/definitions/a"})");
    Validator v = build(schema, options_for(Draft::Draft7).with_keyword("$ref", factory));
    EXPECT_EQ(factory->calls, 0);
    EXPECT_FALSE(v.is_valid(json("5")));
    EXPECT_TRUE(v.is_valid(json(R"("s")")));
}

}  // namespace
}  // namespace deririrore::core
