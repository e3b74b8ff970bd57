#include "deririrore/formats/datetime.hpp"

#include <cstddef>
#include <cstdint>

namespace deririrore::formats {
namespace {

constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Two digits at `pos`, or -1 when either is not a digit.
int two_digits(std::string_view t, std::size_t pos) noexcept {
    const char a = t[pos];
    const char b = t[pos + 1];
    if (!is_digit(a) || !is_digit(b)) return -1;
    return (a - '0') * 10 + (b - '0');
}

constexpr bool is_leap_year(int year) noexcept {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) noexcept {
    switch (month) {
        case 2: return is_leap_year(year) ? 29 : 28;
        case 4: case 6: case 9: case 11: return 30;
        default: return 31;
    }
}

}  // namespace

bool check_date(std::string_view t) noexcept {
    if (t.size() != 10 || t[4] != '-' || t[7] != '-') return false;
    const int century = two_digits(t, 0);
    const int year_low = two_digits(t, 2);
    const int month = two_digits(t, 5);
    const int day = two_digits(t, 8);
    if (century < 0 || year_low < 0 || month < 0 || day < 0) return false;
    if (month < 1 || month > 12 || day < 1) return false;
    return day <= days_in_month(century * 100 + year_low, month);
}

bool check_time(std::string_view t) noexcept {
    if (t.size() < 9 || t[2] != ':' || t[5] != ':') return false;
    const int hour = two_digits(t, 0);
    const int minute = two_digits(t, 3);
    const int second = two_digits(t, 6);
    if (hour < 0 || minute < 0 || second < 0) return false;
    if (hour > 23 || minute > 59 || second > 60) return false;

    std::size_t p = 8;
    if (t[p] == '.') {
        ++p;
        const std::size_t digits_start = p;
        while (p < t.size() && is_digit(t[p])) ++p;
        // An empty fraction is invalid, and so is a text ending in the fraction.
        if (p == digits_start || p == t.size()) return false;
    }

    // Local time minus UTC, in minutes.
    int offset = 0;
    const char sign = t[p];
    if (sign == 'Z' || sign == 'z') {
        if (p + 1 != t.size()) return false;
    } else if (sign == '+' || sign == '-') {
        if (t.size() - p != 6 || t[p + 3] != ':') return false;
        const int off_hour = two_digits(t, p + 1);
        const int off_minute = two_digits(t, p + 4);
        if (off_hour < 0 || off_minute < 0 || off_hour > 23 || off_minute > 59) return false;
        offset = off_hour * 60 + off_minute;
        if (sign == '-') offset = -offset;
    } else {
        return false;
    }

    if (second == 60) {
        const int day = 24 * 60;
        const int utc = ((hour * 60 + minute - offset) % day + day) % day;
        return utc == day - 1;
    }
    return true;
}

bool check_date_time(std::string_view t) noexcept {
    std::size_t sep = 0;
    while (sep < t.size() && t[sep] != 'T' && t[sep] != 't') ++sep;
    if (sep == t.size() || sep == 0) return false;
    return check_date(t.substr(0, sep)) && check_time(t.substr(sep + 1));
}

bool check_duration(std::string_view t) noexcept {
    if (t.size() < 2 || t[0] != 'P') return false;

    // Bits of the designators read so far, per part.
    enum : uint8_t { Y = 1, Mo = 2, D = 4, W = 8 };
    enum : uint8_t { H = 1, Mi = 2, S = 4 };
    uint8_t date_seen = 0;
    uint8_t time_seen = 0;
    bool in_time = false;
    // Highest rank read in the current part; a designator must rank higher.
    int last_rank = 0;

    std::size_t p = 1;
    while (p < t.size()) {
        if (t[p] == 'T') {
            if (in_time || (date_seen & W)) return false;
            ++p;
            if (p == t.size() || t[p] == 'T') return false;
            in_time = true;
            last_rank = 0;
        }
        if (date_seen & W) return false;
        const std::size_t digits_start = p;
        while (p < t.size() && is_digit(t[p])) ++p;
        if (p == digits_start || p == t.size()) return false;
        const char designator = t[p++];
        int rank = 0;
        if (!in_time) {
            switch (designator) {
                case 'Y': rank = 1; date_seen |= Y; break;
                case 'M': rank = 2; date_seen |= Mo; break;
                case 'D': rank = 3; date_seen |= D; break;
                case 'W':
                    // A week stands alone, as the only component.
                    if (date_seen != 0) return false;
                    rank = 4;
                    date_seen |= W;
                    break;
                default: return false;
            }
        } else {
            switch (designator) {
                case 'H': rank = 1; time_seen |= H; break;
                case 'M': rank = 2; time_seen |= Mi; break;
                case 'S': rank = 3; time_seen |= S; break;
                default: return false;
            }
        }
        if (rank <= last_rank) return false;
        last_rank = rank;
    }

    if (in_time && time_seen == 0) return false;
    if ((date_seen & Y) && (date_seen & D) && !(date_seen & Mo)) return false;
    if ((time_seen & H) && (time_seen & S) && !(time_seen & Mi)) return false;
    return true;
}

}  // namespace deririrore::formats
