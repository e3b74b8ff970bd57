#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/formats/openapi.hpp"

namespace f = deririrore::formats;

namespace {

struct Case {
    std::string number;
    bool int32;
    bool int64;
    bool finite;
};

TEST(OpenApiNumberFormats, ExactOnTheNumberText) {
    const std::vector<Case> cases = {
        // number                           int32  int64  finite
        {"0",                               true,  true,  true},
        {"-0",                              true,  true,  true},
        {"2147483647",                      true,  true,  true},
        {"-2147483648",                     true,  true,  true},
        {"2147483648",                      false, true,  true},
        {"-2147483649",                     false, true,  true},
        {"1.0",                             true,  true,  true},
        {"1e3",                             true,  true,  true},
        {"1.5",                             false, false, true},
        {"2147483647.0000000001",           false, false, true},
        {"2147483647.000",                  true,  true,  true},
        {"21474836.47e2",                   true,  true,  true},
        {"214748364.8e1",                   false, true,  true},
        {"0.5e1",                           true,  true,  true},
        {"1E-1",                            false, false, true},
        {"100e-2",                          true,  true,  true},
        {"9223372036854775807",             false, true,  true},
        {"9223372036854775808",             false, false, true},
        {"-9223372036854775808",            false, true,  true},
        {"-9223372036854775809",            false, false, true},
        {"9223372036854775807.0",           false, true,  true},
        {"9007199254740993",                false, true,  true},
        {"1e300",                           false, false, true},
        {"1e400",                           false, false, false},
        {"-1e400",                          false, false, false},
        {"1e-400",                          false, false, true},
        {"0e99999999999999999999",          true,  true,  true},
        {"1e99999999999999999999",          false, false, false},
        {"1e-99999999999999999999",         false, false, true},
        {"1.7976931348623157e308",          false, false, true},
        {"1.7976931348623159e308",          false, false, false},
        {"123456789012345678901234567890",  false, false, true},
        {"00",                              false, false, false},
        {"1.",                              false, false, false},
        {"+1",                              false, false, false},
        {"",                                false, false, false},
        {"NaN",                             false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(f::check_int32_text(c.number), c.int32) << "int32: " << c.number;
        EXPECT_EQ(f::check_int64_text(c.number), c.int64) << "int64: " << c.number;
        EXPECT_EQ(f::check_finite_number_text(c.number), c.finite) << "finite: " << c.number;
    }
}

}  // namespace
