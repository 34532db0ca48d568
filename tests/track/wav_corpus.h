#pragma once
// WAV files built byte by byte for the import tests: good ones with the chunk layouts
// found in the wild, and deliberately broken ones.
#include "tests/export/export_fixtures.h"

#include <optional>
#include <string>
#include <vector>

namespace korvane::testing {

struct WavChunk {
    std::string id;
    std::vector<std::byte> body{};  // an odd size gets its pad byte
};

struct WavSpec {
    std::uint16_t formatTag = 1;
    std::uint16_t channels = 2;
    std::uint32_t rateHz = 44100;
    std::uint16_t bitsPerSample = 16;
    std::optional<std::uint16_t> blockAlign{};  // default channels * bits / 8
    std::uint32_t fmtBytes = 16;              // 16, 18 (cbSize 0) or more (zero filled)
    std::vector<std::int16_t> samples{};      // interleaved
    std::vector<WavChunk> before{}, after{};  // extra chunks around fmt/data
    std::optional<std::uint32_t> riffSize{}, dataSize{};
    bool omitFmt = false, omitData = false;
    std::optional<std::size_t> truncateTo{};
};

inline std::vector<std::byte> BuildWav(const WavSpec& spec) {
    std::vector<std::byte> body;
    auto chunk = [&](const std::string& id, const std::vector<std::byte>& bytes, std::optional<std::uint32_t> size) {
        PutText(body, id);
        Put32(body, size.value_or(static_cast<std::uint32_t>(bytes.size())));
        body.insert(body.end(), bytes.begin(), bytes.end());
        if (bytes.size() % 2 != 0) body.push_back(std::byte{0});
    };
    for (const auto& c : spec.before) chunk(c.id, c.body, std::nullopt);
    if (!spec.omitFmt) {
        std::vector<std::byte> fmt;
        const std::uint16_t align = spec.blockAlign.value_or(static_cast<std::uint16_t>(spec.channels * spec.bitsPerSample / 8));
        Put16(fmt, spec.formatTag);
        Put16(fmt, spec.channels);
        Put32(fmt, spec.rateHz);
        Put32(fmt, spec.rateHz * align);
        Put16(fmt, align);
        Put16(fmt, spec.bitsPerSample);
        fmt.resize(spec.fmtBytes, std::byte{0});
        chunk("fmt ", fmt, std::nullopt);
    }
    if (!spec.omitData) {
        std::vector<std::byte> data;
        for (auto s : spec.samples) Put16(data, static_cast<std::uint16_t>(s));
        chunk("data", data, spec.dataSize);
    }
    for (const auto& c : spec.after) chunk(c.id, c.body, std::nullopt);
    std::vector<std::byte> out;
    PutText(out, "RIFF");
    Put32(out, spec.riffSize.value_or(static_cast<std::uint32_t>(4 + body.size())));
    PutText(out, "WAVE");
    out.insert(out.end(), body.begin(), body.end());
    if (spec.truncateTo) out.resize(*spec.truncateTo);
    return out;
}

}  // namespace korvane::testing
