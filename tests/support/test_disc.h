#pragma once
// Disc images for tests: a cue sheet and its raw image file, written into a fresh
// temporary folder. Audio sectors hold a staircase (every 16-bit value differs from its
// neighbours and encodes its position), so an offset or byte-order error shows at once.
#include "tests/support/temp_dir.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <string>
#include <unistd.h>
#include <vector>

namespace korvane::testing {

struct TestTrack {
    std::uint32_t sectorCount = 0;
    bool data = false;
    int session = 0;  // when set, a "REM SESSION nn" line comes before the track
};

// The 16-bit value k of disc sector `lba` (k counts values in the sector, 0..1175).
inline std::int16_t StaircaseValue(std::uint32_t lba, std::uint32_t k) {
    const std::uint32_t n = lba * 1176u + k;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((n * 2654435761u) >> 16));
}

// Writes "<dir>/<name>.bin" (raw sectors, staircase audio, data tracks filled with
// 0xDA) and "<dir>/<name>.cue" with one FILE and consecutive tracks. Returns the cue
// path; `image` receives the bin bytes when given.
inline std::filesystem::path WriteCueBin(const std::filesystem::path& dir, const std::string& name,
                                         const std::vector<TestTrack>& tracks, std::vector<std::uint8_t>* image = nullptr) {
    const auto bin = dir / (name + ".bin");
    const auto cue = dir / (name + ".cue");
    std::ofstream binOut(bin, std::ios::binary);
    std::ofstream cueOut(cue);
    cueOut << "FILE \"" << name << ".bin\" BINARY\n";
    std::uint32_t lba = 0;
    std::vector<std::uint8_t> sector(2352);
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        char header[64];
        if (tracks[t].session > 0) {
            std::snprintf(header, sizeof header, "REM SESSION %02d\n", tracks[t].session);
            cueOut << header;
        }
        std::snprintf(header, sizeof header, "  TRACK %02zu %s\n", t + 1, tracks[t].data ? "MODE1/2352" : "AUDIO");
        cueOut << header;
        std::snprintf(header, sizeof header, "    INDEX 01 %02u:%02u:%02u\n", lba / 4500, (lba / 75) % 60, lba % 75);
        cueOut << header;
        for (std::uint32_t s = 0; s < tracks[t].sectorCount; ++s, ++lba) {
            for (std::uint32_t k = 0; k < 1176; ++k) {
                const auto v = static_cast<std::uint16_t>(tracks[t].data ? 0xDADA : StaircaseValue(lba, k));
                sector[2 * k] = static_cast<std::uint8_t>(v & 0xFF);
                sector[2 * k + 1] = static_cast<std::uint8_t>(v >> 8);
            }
            binOut.write(reinterpret_cast<const char*>(sector.data()), static_cast<std::streamsize>(sector.size()));
            if (image) image->insert(image->end(), sector.begin(), sector.end());
        }
    }
    return cue;
}

// The bytes of a file (empty when it cannot be read).
inline std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The overview of little-endian CD audio, computed independently of the product: per
// group of 4 frames, each frame's channels halved (towards zero) and added, the four sums
// averaged (towards zero); one little-endian 16-bit value per group.
inline std::vector<std::uint8_t> IndependentOverview(std::span<const std::uint8_t> audio) {
    std::vector<std::uint8_t> out;
    for (std::size_t g = 0; g + 16 <= audio.size(); g += 16) {
        int sum = 0;
        for (int f = 0; f < 4; ++f) {
            const std::uint8_t* p = audio.data() + g + 4 * f;
            const int l = static_cast<std::int16_t>(p[0] | p[1] << 8), r = static_cast<std::int16_t>(p[2] | p[3] << 8);
            sum += static_cast<std::int16_t>(l / 2 + r / 2);
        }
        const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(sum / 4));
        out.push_back(static_cast<std::uint8_t>(v & 0xFF));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    return out;
}

}  // namespace korvane::testing
