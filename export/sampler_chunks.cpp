#include "export/sampler_chunks.h"

namespace korvane::sampler {
namespace {

void Put32(std::vector<std::byte>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(std::byte((v >> (8 * i)) & 0xFF));
}

void PutText(std::vector<std::byte>& out, std::string_view text) {
    for (char c : text) out.push_back(std::byte(static_cast<unsigned char>(c)));
}

}  // namespace

std::vector<std::byte> SmplChunk(int unityNote, std::span<const SampleLoop> loops) {
    std::vector<std::byte> out;
    out.reserve(36 + 24 * loops.size());
    Put32(out, 0);  // manufacturer
    Put32(out, 0);  // product
    Put32(out, kSamplePeriodNs);
    Put32(out, static_cast<std::uint32_t>(unityNote));
    Put32(out, 0);  // pitch fraction
    Put32(out, 0);  // SMPTE format
    Put32(out, 0);  // SMPTE offset
    Put32(out, static_cast<std::uint32_t>(loops.size()));
    Put32(out, 0);  // sampler data bytes
    for (std::size_t k = 0; k < loops.size(); ++k) {
        Put32(out, static_cast<std::uint32_t>(k));  // cue point id
        Put32(out, 0);                              // forward loop
        Put32(out, loops[k].firstFrame);
        Put32(out, loops[k].lastFrame);
        Put32(out, 0);  // fraction
        Put32(out, 0);  // play count: endless
    }
    return out;
}

std::vector<std::byte> CueChunk(std::span<const std::uint32_t> frames) {
    std::vector<std::byte> out;
    out.reserve(4 + 24 * frames.size());
    Put32(out, static_cast<std::uint32_t>(frames.size()));
    for (std::size_t k = 0; k < frames.size(); ++k) {
        Put32(out, static_cast<std::uint32_t>(k + 1));  // id
        Put32(out, frames[k]);                           // play order position
        PutText(out, "data");
        Put32(out, 0);  // chunk start
        Put32(out, 0);  // block start
        Put32(out, frames[k]);
    }
    return out;
}

std::vector<std::byte> LabelListChunk(std::span<const std::string> names) {
    std::vector<std::byte> out;
    PutText(out, "adtl");
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::size_t size = 4 + names[k].size() + 1;
        PutText(out, "labl");
        Put32(out, static_cast<std::uint32_t>(size));
        Put32(out, static_cast<std::uint32_t>(k + 1));
        PutText(out, names[k]);
        out.push_back(std::byte{0});
        if (size % 2 != 0) out.push_back(std::byte{0});
    }
    return out;
}

}  // namespace korvane::sampler
