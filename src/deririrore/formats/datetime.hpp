#pragma once
// RFC 3339 date, time, date-time and duration checks over UTF-8 text.
#include <string_view>

namespace deririrore::formats {

// full-date: YYYY-MM-DD with the month's real length (leap years included).
bool check_date(std::string_view text) noexcept;
// full-time: HH:MM:SS[.frac] followed by "Z", "z" or +HH:MM / -HH:MM; a leap
// second only at 23:59 UTC.
bool check_time(std::string_view text) noexcept;
// full-date, "T" or "t", full-time.
bool check_date_time(std::string_view text) noexcept;
// The duration grammar of RFC 3339 Appendix A, upper-case designators only.
bool check_duration(std::string_view text) noexcept;

}  // namespace deririrore::formats
