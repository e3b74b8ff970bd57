#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "vantorel/reports/text_table.hpp"

namespace {

using vantorel::reports::Align;
using vantorel::reports::display_width;
using vantorel::reports::TextTable;

TEST(DisplayWidth, CountsColumnsNotBytes) {
    const struct {
        std::string_view text;
        std::size_t width;
    } cases[] = {
        {"abc", 3},
        {"", 0},
        {"日本", 4},               // wide
        {"ＡＢ", 4},               // fullwidth
        {"e\xCC\x81", 1},          // e and a combining acute accent
        {"\x1b[31m12\x1b[0m", 2},  // colour codes take no room
        {"a\x07"
         "b",
         2},              // a C0 control
        {"\xC2\x85", 0},  // a C1 control
        {"a\xE2\x80\x8B"
         "b",
         2},                  // zero-width space
        {"\xff", 1},          // a stray byte shows as one mark
        {"\xE2\x94\x80", 1},  // box drawing is narrow
    };
    for (const auto& c : cases) EXPECT_EQ(display_width(c.text), c.width) << c.text;
}

TEST(TerminalSafe, WritesControlsAsVisibleEscapes) {
    const struct {
        std::string_view text;
        std::string_view safe;
    } cases[] = {
        {"/pets/{id}", "/pets/{id}"},
        {"/a\x1b]0;title\x07/b", "/a\\x1b]0;title\\x07/b"},
        {"/x\x1b[2J", "/x\\x1b[2J"},
        {"line\nbreak\r", "line\\x0abreak\\x0d"},
        {"\x7f", "\\x7f"},
        {"\xC2\x9b"
         "31m",
         "\\u009b31m"},                                       // the one-byte CSI of C1
        {"/users/\xE2\x80\xAEnimda", "/users/\\u202enimda"},  // right-to-left override
        {"bad\xff", "bad\xEF\xBF\xBD"},
        {"日本", "日本"},
    };
    for (const auto& c : cases) EXPECT_EQ(vantorel::reports::terminal_safe(c.text), c.safe) << c.text;
}

TEST(ShortenOperationLabel, KeepsTheMethodAndTheLastSegmentsThatFit) {
    const struct {
        std::string_view label;
        std::size_t columns;
        std::string_view shortened;
    } cases[] = {
        {"GET /api/v1/organizations/{org}/members/{member}/roles", 30, "GET .../members/{member}/roles"},
        // No "/" leaves a tail within two columns of room: the last half of B instead.
        {"GET /users/{id}", 9, "GET...id}"},
        {"TOTAL-ish-label-without-slash", 9, "TOT...ash"},
        // Wide characters are never split.
        {"GET /日本語/日本語日本語日本語", 20, "GET /日本...語日本語"},
    };
    for (const auto& c : cases) {
        const std::string out = vantorel::reports::shorten_operation_label(c.label, c.columns);
        EXPECT_EQ(out, c.shortened) << c.label;
        EXPECT_LE(display_width(out), c.columns) << c.label;
    }
}

TEST(TextTable, PadsColumnsAndDrawsRulesAcrossTheWidth) {
    TextTable table({{Align::Left, 0}, {Align::Right, 3}});
    table.set_header({"Name", "N"});
    table.add_row({"日本", "\x1b[32m10\x1b[0m"});
    table.add_row({"x", "2"});
    table.add_rule_before(0);
    table.add_rule_before(1);
    table.add_rule_before(1);  // asked twice, drawn once
    EXPECT_EQ(table.width(), 9u);
    EXPECT_EQ(table.render(),
              "Name    N\n"
              "---------\n"
              "日本   \x1b[32m10\x1b[0m\n"
              "---------\n"
              "x       2");
}

}  // namespace
