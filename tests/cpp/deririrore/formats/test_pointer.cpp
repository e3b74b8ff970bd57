#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/formats/openapi.hpp"
#include "deririrore/formats/pointer.hpp"

namespace f = deririrore::formats;

namespace {

struct Case {
    std::string text;
    bool valid;
};

TEST(JsonPointerFormat, TildeEscapes) {
    const std::vector<Case> cases = {
        {"", true},   {"/", true},   {"/a~0b/c~1d", true}, {"/\xc3\xbc", true}, {"//", true},
        {"a", false}, {"/~", false}, {"/~2", false},       {"/~/", false},      {"#/a", false},
    };
    for (const auto& c : cases) EXPECT_EQ(f::check_json_pointer(c.text), c.valid) << c.text;
}

TEST(RelativeJsonPointerFormat, PrefixThenPointerOrHash) {
    const std::vector<Case> cases = {
        {"0", true},   {"1", true},   {"10/a", true}, {"1/", true},  {"0#", true},  {"1#", true},
        {"120/a~1b", true},
        {"", false},   {"01", false}, {"0##", false}, {"#", false},  {"-1", false}, {"1a", false},
        {"0/~2", false}, {"0#/a", false}, {"/a", false},
    };
    for (const auto& c : cases) EXPECT_EQ(f::check_relative_json_pointer(c.text), c.valid) << c.text;
}

TEST(UuidFormat, LayoutAndVersion) {
    const std::string uuid = "0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d";
    EXPECT_TRUE(f::check_builtin_uuid(uuid));
    EXPECT_TRUE(f::check_builtin_uuid("0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D"));
    EXPECT_FALSE(f::check_builtin_uuid("0a1b2c3d4e5f6a7b8c9d0e1f2a3b4c5d"));
    EXPECT_FALSE(f::check_builtin_uuid("{" + uuid + "}"));
    EXPECT_FALSE(f::check_builtin_uuid("0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5g"));
    EXPECT_FALSE(f::check_builtin_uuid("0a1b2c3d4-e5f-6a7b-8c9d-0e1f2a3b4c5d"));
    EXPECT_FALSE(f::check_builtin_uuid(""));

    EXPECT_FALSE(f::check_uuid4(uuid));  // version 6
    EXPECT_TRUE(f::check_uuid4("0a1b2c3d-4e5f-4a7b-8c9d-0e1f2a3b4c5d"));
    EXPECT_TRUE(f::check_uuid4("0a1b2c3d-4e5f-4a7b-Bc9d-0e1f2a3b4c5d"));
    EXPECT_FALSE(f::check_uuid4("0a1b2c3d-4e5f-4a7b-cc9d-0e1f2a3b4c5d"));
    EXPECT_FALSE(f::check_uuid4("0a1b2c3d-4e5f-5a7b-8c9d-0e1f2a3b4c5d"));
}

}  // namespace
