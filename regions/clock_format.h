#pragma once
// Lengths shown as "h:mm:ss.ss" (region list lines, the Track box lines).
//
// The length is rounded to hundredths of a second first and only then split into
// hours, minutes and seconds, so a length just below a whole minute reads "0:06:00.00"
// and never "0:05:60.00".
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace korvane::units {

struct ClockTime {
    std::int64_t hours = 0;
    int minutes = 0;
    int hundredths = 0;  // of the seconds within the minute, 0 .. 5999
};

// Negative and NaN lengths count as 0.
inline ClockTime ClockFromSeconds(double seconds) noexcept {
    const std::int64_t total = seconds > 0.0 ? std::llround(seconds * 100.0) : 0;
    ClockTime t;
    t.hours = total / 360000;
    t.minutes = static_cast<int>(total / 6000 % 60);
    t.hundredths = static_cast<int>(total % 6000);
    return t;
}

// "h:mm:ss.ss" of a length in seconds.
inline std::string FormatClock(double seconds) {
    const ClockTime t = ClockFromSeconds(seconds);
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02d:%02d.%02d", static_cast<long long>(t.hours), t.minutes,
                  t.hundredths / 100, t.hundredths % 100);
    return text;
}

}  // namespace korvane::units
