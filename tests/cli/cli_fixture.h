#pragma once
// korvane-cli run in a temporary folder of its own, on a machine whose drive holds a
// generated disc image (tests/support/test_disc.h).
#include "tests/support/audio_files.h"
#include "tests/support/run_program.h"
#include "tests/support/test_disc.h"

#include <gtest/gtest.h>

#include <cstring>

namespace korvane::testing {

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        // A data track between audio tracks, and one at the end, as on a CD-Extra.
        cue = WriteCueBin(dir.Path(), "album", {{30}, {75}, {20, true}, {49}, {1}, {24}, {10, true}}, &image);
        SetDiscs(cue.string());
    }
    void SetDiscs(const std::string& discs) {
        env = {"KORVANE_ROOT=" + (dir.Path() / "root").string(), "KORVANE_REAL_DRIVES=0", "KORVANE_DISC=" + discs};
    }
    // Runs korvane-cli in the test's folder (`args` are shell words), with the drive
    // faults of KORVANE_ASPI_FAULTS when given, under the command `under` when given.
    ProgramRun Run(const std::string& args, const std::string& faults = "", const std::string& under = "") {
        auto withFaults = env;
        if (!faults.empty()) withFaults.push_back("KORVANE_ASPI_FAULTS=" + faults);
        const std::string cli = under + " " KORVANE_BIN_DIR "/korvane-cli " + args;
        return RunProgram("/bin/sh", {"-c", "cd " + ShellQuoted(dir.Path().string()) + " && exec " + cli}, dir.Path(),
                          withFaults);
    }
    // The raw audio of disc sectors [first, first + count).
    std::string Audio(std::size_t first, std::size_t count) const {
        return std::string(image.begin() + first * 2352, image.begin() + (first + count) * 2352);
    }
    static std::vector<std::int16_t> Samples(const std::string& audio) {
        std::vector<std::int16_t> samples(audio.size() / 2);
        std::memcpy(samples.data(), audio.data(), audio.size());
        return samples;
    }
    // The WAV file of raw audio as an export writes it.
    static std::string Wav(const std::string& audio) {
        const auto wav = ExpectedWav(Samples(audio));
        return std::string(reinterpret_cast<const char*>(wav.data()), wav.size());
    }
    // The track file of audio track `t` (from 0): its audio, then the overview of it.
    std::string TrackFile(std::size_t t) const {
        const auto [first, count] = kAudioTracks[t];
        const auto overview = IndependentOverview(std::span(image).subspan(first * 2352, count * 2352));
        return Audio(first, count) + std::string(overview.begin(), overview.end());
    }
    // Start and length of the audio tracks, in sectors.
    static constexpr std::pair<std::size_t, std::size_t> kAudioTracks[] = {{0, 30}, {30, 75}, {125, 49}, {174, 1}, {175, 24}};
    TempDir dir;
    std::filesystem::path cue;
    std::vector<std::uint8_t> image;
    std::vector<std::string> env;
};

}  // namespace korvane::testing
