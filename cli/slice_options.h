#pragma once
// The slicing parameters every command of korvane-cli takes, as the slice tool window
// has them: --threshold in 0.1 dB steps from -96.0 to 0.0, --release in whole
// milliseconds from 5 to 2500, both defaulting to the application's first-start settings
// (-36.0 dB, 750 ms); --settings takes the values the application stored last instead
// (an option given beside it still wins).
#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace korvane::cli {

struct SliceSettings {
    double thresholdDb = -36.0;
    int releaseMs = 750;
};

struct SliceOptions {
    std::optional<double> thresholdDb;
    std::optional<int> releaseMs;
    bool stored = false;  // --settings
};

void AddSliceOptions(CLI::App& command, SliceOptions& options);

// The settings to slice with. Reads the application's settings from the machine's
// registry for --settings (missing values: the first-start ones; nothing is written).
SliceSettings ResolveSliceSettings(const SliceOptions& options);

// "-36.0 dB", "750 ms", "-36.0 dB / 750 ms": the numbers as the application shows them.
std::string FormatThreshold(double thresholdDb);
std::string FormatRelease(int releaseMs);
std::string FormatSliceSettings(const SliceSettings& settings);

}  // namespace korvane::cli
