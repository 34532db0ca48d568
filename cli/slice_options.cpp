#include "cli/slice_options.h"

#include "cli/console.h"
#include "platform/paths/paths.h"
#include "platform/registry/registry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace korvane::cli {
namespace {

constexpr double kMinThresholdDb = -96.0;
constexpr int kMinReleaseMs = 5;
constexpr int kMaxReleaseMs = 2500;
constexpr char kSettingsKey[] = "Software\\Quorvix\\Korvane";

// Accepts a number from -96 to 0 and rounds it to the slider's 0.1 dB step.
std::string CheckThreshold(std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value))
        return text + " is not a number of decibels";
    if (value < kMinThresholdDb || value > 0.0) return text + " is outside -96.0 to 0.0 dB";
    text = std::to_string(std::round(value * 10.0) / 10.0);
    return {};
}

std::string CheckRelease(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size())
        return text + " is not a whole number of milliseconds";
    if (value < kMinReleaseMs || value > kMaxReleaseMs) return text + " is outside 5 to 2500 ms";
    return {};
}

// The application's stored slicing parameters, clamped as its slider clamps them.
SliceSettings StoredSettings() {
    SliceSettings settings;
    const auto file = platform::MachineRoot::FromEnvironment().RegistryFile();
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
        Detail("no stored settings (" + file.string() + " does not exist); using the first-start ones");
        return settings;
    }
    auto store = platform::RegistryStore::Open(file);
    const auto key = store->OpenKey(platform::RootKey::LocalMachine, kSettingsKey);
    if (!key) return settings;
    if (const auto tenths = key->QueryDword("last_Threshold"))
        settings.thresholdDb = std::max(kMinThresholdDb, static_cast<double>(*tenths) * -0.1);
    if (const auto ms = key->QueryDword("last_RlsTime"))
        settings.releaseMs = static_cast<int>(std::clamp<std::uint32_t>(*ms, kMinReleaseMs, kMaxReleaseMs));
    return settings;
}

}  // namespace

void AddSliceOptions(CLI::App& command, SliceOptions& options) {
    command.add_option("--threshold", options.thresholdDb,
                       "slicing threshold in dB, -96.0 to 0.0 in steps of 0.1 (default -36.0)")
        ->check(CLI::Validator(CheckThreshold, "DB", "threshold"));
    command.add_option("--release", options.releaseMs, "release time in whole ms, 5 to 2500 (default 750)")
        ->check(CLI::Validator(CheckRelease, "MS", "release"));
    command.add_flag("--settings", options.stored,
                     "slice with the threshold and release time the application stored last");
}

SliceSettings ResolveSliceSettings(const SliceOptions& options) {
    SliceSettings settings = options.stored ? StoredSettings() : SliceSettings{};
    if (options.thresholdDb) settings.thresholdDb = *options.thresholdDb;
    if (options.releaseMs) settings.releaseMs = *options.releaseMs;
    return settings;
}

std::string FormatThreshold(double thresholdDb) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dB", thresholdDb);
    return text;
}

std::string FormatRelease(int releaseMs) { return std::to_string(releaseMs) + " ms"; }

std::string FormatSliceSettings(const SliceSettings& settings) {
    return FormatThreshold(settings.thresholdDb) + " / " + FormatRelease(settings.releaseMs);
}

}  // namespace korvane::cli
