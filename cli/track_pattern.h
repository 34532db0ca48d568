#pragma once
// Output name patterns of `korvane-cli read` for several tracks: "track%02d.wav" holds
// one number conversion (%d, optionally with a 0 flag and a width: %2d, %02d); "%%" is
// a percent sign. Nothing else after a '%' is allowed, so a pattern never reaches printf.
#include <string>

namespace korvane::cli {

// Whether `pattern` is a well-formed pattern with one number conversion; a name that is
// not ("50%.wav") is a plain file name.
bool IsTrackPattern(const std::string& pattern);

// `pattern` with its conversion replaced by `number` and "%%" by "%". Throws UsageError
// when it is malformed (an unknown or second conversion, a lone '%').
std::string ExpandTrackPattern(const std::string& pattern, int number);

}  // namespace korvane::cli
