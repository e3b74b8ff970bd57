#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "deririrore/canonical/describe.hpp"
#include "deririrore/value/json.hpp"

namespace deririrore {
namespace {

using value::Value;

Value json_value(std::string_view text) {
    auto parsed = value::parse_json(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed.has_value() ? std::move(*parsed) : Value();
}

TEST(DescribeSubject, NamesAreUnescapedAndIndexesAreReadFromTheInstance) {
    struct Case {
        const char* root;  // null: the location alone
        const char* pointer;
        const char* expected;
    };
    const Case cases[] = {
        {nullptr, "/a~1b", "`a/b` must be at most 1; found 5"},
        {nullptr, "/t~0x/0", "`t~x` must be at most 1; found 5"},
        {nullptr, "/responses/200", "`responses` must be at most 1; found 5"},
        {R"({"responses": {"200": 5}})", "/responses/200", "`200` must be at most 1; found 5"},
        {R"({"pets": [5]})", "/pets/0", "`pets` must be at most 1; found 5"},
        {R"({"a/b": {"7": [5]}})", "/a~1b/7/0", "`7` must be at most 1; found 5"},
        {R"([5])", "/0", "The value must be at most 1; found 5"},
        {R"({})", "/missing/3", "`missing` must be at most 1; found 5"},
    };
    for (const auto& c : cases) {
        core::ValidationError error(core::EvaluationPath{}, core::kinds::Maximum{json_value("1")},
                                    std::make_shared<const Value>(json_value("5")), core::Location(c.pointer),
                                    core::Location(""));
        std::string got = c.root == nullptr ? canonical::describe_expectation(error)
                                            : canonical::describe_expectation(error, json_value(c.root));
        EXPECT_EQ(got, c.expected) << c.pointer;
    }
}

}  // namespace
}  // namespace deririrore
