// korvane-cli play end to end on the fallback device (KORVANE_AUDIO=null).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct CliRun {
    int exitCode;
    std::string output;
};

CliRun Cli(const std::string& arguments) {
    const std::string command = "KORVANE_AUDIO=null " KORVANE_BIN_DIR "/korvane-cli play " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return {-1, "popen failed"};
    std::string output;
    char chunk[512];
    while (std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

void Put16(std::ofstream& out, std::uint16_t v) { out.put(char(v & 0xFF)).put(char(v >> 8)); }
void Put32(std::ofstream& out, std::uint32_t v) {
    Put16(out, std::uint16_t(v & 0xFFFF));
    Put16(out, std::uint16_t(v >> 16));
}

// Two 0.15 s tones with 0.4 s of silence after each: two regions at -30 dB / 250 ms.
void WriteNotes(const fs::path& path, std::uint16_t channels = 2) {
    std::vector<std::int16_t> frames;
    for (int note = 0; note < 2; ++note) {
        for (int i = 0; i < 6615; ++i) {
            const auto v = std::int16_t(12000 * std::sin(2 * M_PI * 330 * (note + 1) * i / 44100.0));
            for (int c = 0; c < channels; ++c) frames.push_back(v);
        }
        frames.insert(frames.end(), std::size_t(17640) * channels, 0);
    }
    std::ofstream out(path, std::ios::binary);
    const auto bytes = std::uint32_t(frames.size() * 2);
    out.write("RIFF", 4);
    Put32(out, 36 + bytes);
    out.write("WAVEfmt ", 8);
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, channels);
    Put32(out, 44100);
    Put32(out, 44100 * 2 * channels);
    Put16(out, std::uint16_t(2 * channels));
    Put16(out, 16);
    out.write("data", 4);
    Put32(out, bytes);
    out.write(reinterpret_cast<const char*>(frames.data()), bytes);
}

class CliPlay : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("korvane-cli-play-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(CliPlay, PlaysARegionOfAWavFileAndRefusesMissingOnes) {
    const fs::path wav = dir_ / "notes.wav";
    WriteNotes(wav);
    const CliRun played = Cli("--wav " + wav.string() + " --region 2");
    EXPECT_EQ(played.exitCode, 0) << played.output;
    EXPECT_NE(played.output.find("Playing region #2 of 2"), std::string::npos) << played.output;
    EXPECT_NE(played.output.find("Done."), std::string::npos) << played.output;

    const CliRun missing = Cli("--wav " + wav.string() + " --region 3");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.output.find("the track has 2 region(s)"), std::string::npos) << missing.output;

    const fs::path mono = dir_ / "mono.wav";
    WriteNotes(mono, 1);
    const CliRun monoPlayed = Cli("--wav " + mono.string() + " --region 2");
    EXPECT_EQ(monoPlayed.exitCode, 0) << monoPlayed.output;
    EXPECT_NE(monoPlayed.output.find("Playing region #2 of 2"), std::string::npos) << monoPlayed.output;

    std::ofstream(dir_ / "text.wav") << "not audio";
    const CliRun refused = Cli("--wav " + (dir_ / "text.wav").string() + " --region 1");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("not an audio file"), std::string::npos) << refused.output;

    std::ofstream(dir_ / "odd.tmp") << "not a track file";
    const CliRun odd = Cli("--track-file " + (dir_ / "odd.tmp").string() + " --region 1");
    EXPECT_EQ(odd.exitCode, 1);
    EXPECT_NE(odd.output.find("not a track file"), std::string::npos) << odd.output;
}

}  // namespace
