#include "export/instrument.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

namespace korvane::sampler {
namespace {

void PutText(std::vector<std::byte>& out, std::string_view text) {
    for (char c : text) out.push_back(std::byte(static_cast<unsigned char>(c)));
}

void PutBigEndian(std::vector<std::byte>& out, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(std::byte((v >> (8 * i)) & 0xFF));
}

// A MIDI variable-length quantity: 7 bits a byte, most significant first.
void PutVarLength(std::vector<std::byte>& out, std::uint32_t v) {
    std::byte groups[5];
    int n = 0;
    do {
        groups[n++] = std::byte(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    while (n-- > 0) out.push_back(n > 0 ? (groups[n] | std::byte{0x80}) : groups[n]);
}

std::string Fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

std::string SfzText(std::span<const std::filesystem::path> files, const std::filesystem::path& folder,
                    const SamplerOptions& options, const InstrumentSource& source) {
    std::string text = "// Korvane instrument: " + std::to_string(files.size()) + " regions of " + source.source + "\n";
    text += "// slicing: threshold " + Fixed(source.thresholdDb, 1) + " dB, release " +
            std::to_string(source.releaseMs) + " ms; trim " + (options.trim ? "on" : "off") + ", zero crossings " +
            std::to_string(options.zeroCrossMs) + " ms, linear fades in " + std::to_string(options.fadeInMs) +
            " ms / out " + std::to_string(options.fadeOutMs) + " ms\n";
    const char* loopMode = options.smpl ? "loop_continuous" : "one_shot";
    for (std::size_t k = 0; k < files.size(); ++k) {
        const std::string key = std::to_string(KeyOf(options, k));
        const std::string sample = files[k].lexically_relative(folder).generic_string();
        text += "<region> sample=" + sample + " lokey=" + key + " hikey=" + key + " pitch_keycenter=" + key +
                " loop_mode=" + loopMode + "\n";
    }
    return text;
}

std::uint64_t TickOfFrame(std::uint64_t frame, double bpm) noexcept {
    return static_cast<std::uint64_t>(std::llround(double(frame) / 44'100.0 * kTicksPerQuarter * bpm / 60.0));
}

std::vector<std::byte> GrooveMidi(std::span<const FrameSpan> regions, const SamplerOptions& options) {
    // (tick, on?, key): offs sort before ons of the same tick.
    std::vector<std::tuple<std::uint64_t, bool, int>> events;
    for (std::size_t k = 0; k < regions.size(); ++k) {
        const std::uint64_t on = TickOfFrame(regions[k].first, options.bpm);
        const std::uint64_t off = std::max(on + 1, TickOfFrame(regions[k].End(), options.bpm));
        events.emplace_back(on, true, KeyOf(options, k));
        events.emplace_back(off, false, KeyOf(options, k));
    }
    std::stable_sort(events.begin(), events.end());

    std::vector<std::byte> track;
    PutVarLength(track, 0);
    track.insert(track.end(), {std::byte{0xFF}, std::byte{0x51}, std::byte{0x03}});
    PutBigEndian(track, static_cast<std::uint32_t>(std::llround(60'000'000.0 / options.bpm)), 3);
    std::uint64_t now = 0;
    for (const auto& [tick, on, key] : events) {
        PutVarLength(track, static_cast<std::uint32_t>(std::min<std::uint64_t>(tick - now, 0x0FFFFFFF)));
        now = tick;
        track.push_back(on ? std::byte{0x90} : std::byte{0x80});
        track.push_back(std::byte(key));
        track.push_back(on ? std::byte{127} : std::byte{64});
    }
    PutVarLength(track, 0);
    track.insert(track.end(), {std::byte{0xFF}, std::byte{0x2F}, std::byte{0x00}});

    std::vector<std::byte> out;
    PutText(out, "MThd");
    PutBigEndian(out, 6, 4);
    PutBigEndian(out, 0, 2);  // format 0
    PutBigEndian(out, 1, 2);  // one track
    PutBigEndian(out, kTicksPerQuarter, 2);
    PutText(out, "MTrk");
    PutBigEndian(out, static_cast<std::uint32_t>(track.size()), 4);
    out.insert(out.end(), track.begin(), track.end());
    return out;
}

std::filesystem::path CompanionPath(const std::filesystem::path& chosen, const char* extension) {
    std::filesystem::path path = chosen;
    return path.replace_extension(extension);
}

}  // namespace korvane::sampler
