#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deririrore/formats/datetime.hpp"

namespace f = deririrore::formats;

namespace {

struct Case {
    std::string text;
    bool valid;
};

void expect_all(bool (*check)(std::string_view) noexcept, const std::vector<Case>& cases, const char* what) {
    for (const auto& c : cases) {
        EXPECT_EQ(check(c.text), c.valid) << what << ": \"" << c.text << "\"";
    }
}

TEST(DateFormat, CalendarRules) {
    expect_all(f::check_date,
               {
                   {"2020-02-29", true},  {"2019-02-29", false}, {"1900-02-29", false},
                   {"2000-02-29", true},  {"0000-01-01", true},  {"9999-12-31", true},
                   {"2020-13-01", false}, {"2020-00-10", false}, {"2020-01-00", false},
                   {"2020-04-31", false}, {"2020-04-30", true},  {"2020-12-31", true},
                   {"2020-1-01", false},  {"2020-0a-01", false}, {"20x0-01-01", false},
                   {"2020-01-01 ", false}, {"", false},          {"2020/01/01", false},
                   {"\xd9\xa2" "020-01-01", false},
               },
               "date");
}

TEST(TimeFormat, FieldsOffsetsAndFractions) {
    expect_all(f::check_time,
               {
                   {"12:00:00Z", true},
                   {"12:00:00z", true},
                   {"12:00:00.5+05:30", true},
                   {"12:00:00.123456789-08:00", true},
                   {"00:00:00+23:59", true},
                   {"12:00:00", false},
                   {"12:00:00.Z", false},
                   {"12:00:00.5", false},
                   {"12:00:00+0530", false},
                   {"12:00:00+05:30:00", false},
                   {"12:00:00+05:3", false},
                   {"24:00:00Z", false},
                   {"12:60:00Z", false},
                   {"12:00:61Z", false},
                   {"12:00:00+24:00", false},
                   {"12:00:00+05:60", false},
                   {"12:00:00ZZ", false},
                   {"12:00:00 Z", false},
                   {"1:00:00Z", false},
               },
               "time");
}

TEST(TimeFormat, LeapSecondOnlyAtLastUtcMinute) {
    expect_all(f::check_time,
               {
                   {"23:59:60Z", true},
                   {"22:59:60Z", false},
                   {"23:58:60Z", false},
                   {"15:59:60-08:00", true},
                   {"15:59:60+08:00", false},
                   {"00:59:60+01:00", true},
                   {"23:59:60+01:00", false},
                   {"23:59:60.999z", true},
               },
               "leap second");
}

TEST(DateTimeFormat, SeparatorAndParts) {
    expect_all(f::check_date_time,
               {
                   {"2020-01-01T12:00:00Z", true},
                   {"2020-01-01t12:00:00z", true},
                   {"2016-12-31T23:59:60Z", true},
                   {"2020-01-01 12:00:00Z", false},
                   {"T12:00:00Z", false},
                   {"2020-01-01T", false},
                   {"2020-02-30T12:00:00Z", false},
                   {"2020-01-01T12:00:00", false},
                   {"2020-01-01TT12:00:00Z", false},
               },
               "date-time");
}

TEST(DurationFormat, Grammar) {
    expect_all(f::check_duration,
               {
                   {"P1D", true},     {"P1Y2M3DT4H5M6S", true}, {"PT1M", true},  {"P4W", true},
                   {"P0D", true},     {"P1Y", true},            {"P1M", true},   {"P1Y2M", true},
                   {"P2M3D", true},   {"PT36H", true},          {"PT1H1M", true}, {"PT1M1S", true},
                   {"P0001Y", true},  {"P1DT1S", true},
                   {"P", false},      {"PT", false},      {"P1DT", false},  {"P1Y1D", false},
                   {"PT1H1S", false}, {"P1M1Y", false},   {"P1D1D", false}, {"P1W1D", false},
                   {"P1WT1H", false}, {"PT1.5S", false},  {"p1d", false},   {"P1", false},
                   {"P1D2", false},   {"PT1D", false},    {"P1H", false},   {"PTT1H", false},
                   {"P1DT1HT1M", false}, {"", false},     {"1D", false},    {"P-1D", false},
                   {"PT1S1M", false},  {"P1W1W", false},  {"P1Y2W", false},
               },
               "duration");
}

}  // namespace
