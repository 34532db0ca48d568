#include "track/wav_layout.h"

#include "regions/wav_reader.h"

#include <algorithm>
#include <vector>

namespace korvane::track {
namespace {

// The header is parsed from a prefix of the file that grows until it holds the format
// and data chunk headers. Files whose audio starts later than this are refused, so a
// broken chunk size never makes the import read a whole large file into memory.
constexpr std::uint64_t kFirstPrefixBytes = 64 * 1024;
constexpr std::uint64_t kMaxPrefixBytes = 64 * 1024 * 1024;

}  // namespace

WavLayoutResult ReadWavLayout(platform::ByteSource& source) {
    WavLayoutResult result;
    const std::uint64_t fileBytes = source.Size();
    std::vector<std::uint8_t> prefix;
    for (std::uint64_t want = std::min(kFirstPrefixBytes, fileBytes);; want = std::min(want * 2, fileBytes)) {
        const std::size_t had = prefix.size();
        prefix.resize(static_cast<std::size_t>(want));
        source.ReadAt(had, std::as_writable_bytes(std::span(prefix).subspan(had)));
        try {
            const wavread::WavInfo info = wavread::ParseWav(prefix);
            result.layout = {.formatTag = kWavFormatPcm,
                             .channels = info.channelCount,
                             .sampleRateHz = info.sampleRateHz,
                             .blockAlign = info.blockAlign,
                             .bitsPerSample = info.bitsPerSample,
                             .dataOffset = info.dataOffset,
                             .dataBytes = info.declaredDataBytes};
            break;
        } catch (const wavread::WavError& e) {
            // More of the file may hold the missing chunks.
            if (want < fileBytes && want < kMaxPrefixBytes) continue;
            const std::string what = e.what();
            result.error = what;
            result.malformed = !what.starts_with("unsupported");
            result.unsupportedChannels = !result.malformed && what.find(" channels") != std::string::npos;
            if (want >= kMaxPrefixBytes && want < fileBytes)
                result.error += " in the first " + std::to_string(kMaxPrefixBytes / (1024 * 1024)) + " MiB";
            return result;
        }
    }
    const auto& layout = result.layout;
    if (layout.dataOffset > fileBytes || layout.dataBytes > fileBytes - layout.dataOffset) {
        result.malformed = true;
        result.error = "truncated WAV file: the data chunk declares " + std::to_string(layout.dataBytes) +
                       " bytes, the file holds " +
                       std::to_string(fileBytes - std::min(layout.dataOffset, fileBytes)) + " of them";
    }
    return result;
}

}  // namespace korvane::track
