#include "regions/wav_reader.h"

#include <algorithm>
#include <cstring>

namespace korvane::wavread {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// Bytes 2..15 of the KSDATAFORMAT_SUBTYPE GUIDs (the first two hold the format tag).
constexpr uint8_t kSubformatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t U16(const uint8_t* p) noexcept { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) noexcept {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
bool Is(const uint8_t* p, const char (&id)[5]) noexcept { return std::memcmp(p, id, 4) == 0; }

bool LooksLikeId(const uint8_t* id) noexcept {
    return std::all_of(id, id + 4, [](uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

std::string Printable(const uint8_t* id) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += (id[i] >= 0x20 && id[i] < 0x7F) ? char(id[i]) : '?';
    return s;
}

struct Format {
    bool seen = false;
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;
};

Format ParseFormat(const uint8_t* p, uint64_t size) {
    if (size < 16) throw WavError("broken WAV file: format chunk of " + std::to_string(size) + " bytes");
    Format f;
    f.seen = true;
    f.tag = U16(p);
    f.channels = U16(p + 2);
    f.rate = U32(p + 4);
    f.blockAlign = U16(p + 12);
    f.bits = U16(p + 14);
    if (f.tag == kFormatExtensible) {
        if (size < 40) throw WavError("broken WAV file: extensible format chunk too short");
        const uint8_t* guid = p + 24;
        if (!std::equal(std::begin(kSubformatTail), std::end(kSubformatTail), guid + 2)) {
            throw WavError("unsupported WAV format: unknown extensible subformat");
        }
        const uint16_t sub = U16(guid);
        if (sub != kFormatPcm) {
            throw WavError("unsupported WAV format: extensible subformat " + std::to_string(sub) +
                           " (only 16-bit PCM is supported)");
        }
    } else if (f.tag != kFormatPcm) {
        throw WavError("unsupported WAV format: format tag " + std::to_string(f.tag) +
                       (f.tag == 3 ? " (floating point)" : "") + "; only 16-bit PCM is supported");
    }
    if (f.bits != 16) {
        throw WavError("unsupported WAV format: " + std::to_string(f.bits) +
                       "-bit samples; only 16-bit PCM is supported");
    }
    if (f.channels != 1 && f.channels != 2) {
        throw WavError("unsupported WAV format: " + std::to_string(f.channels) +
                       " channels; only mono and stereo are supported");
    }
    if (f.blockAlign != f.channels * 2) {
        throw WavError("broken WAV file: block alignment " + std::to_string(f.blockAlign) + " for " +
                       std::to_string(f.channels) + " channel(s) of 16 bits");
    }
    if (f.rate == 0) throw WavError("broken WAV file: sample rate 0");
    return f;
}

}  // namespace

WavInfo ParseWav(std::span<const uint8_t> bytes) {
    const uint8_t* b = bytes.data();
    const uint64_t size = bytes.size();
    if (size < 12) throw WavError("not a WAV file: only " + std::to_string(size) + " bytes");
    if (Is(b, "RIFX") || Is(b, "RF64")) {
        throw WavError("unsupported WAV variant '" + Printable(b) + "'; only little-endian RIFF is supported");
    }
    if (!Is(b, "RIFF")) throw WavError("not a WAV file: no RIFF header");
    if (!Is(b + 8, "WAVE")) throw WavError("not a WAV file: RIFF form '" + Printable(b + 8) + "'");

    Format format;
    bool haveData = false;
    uint64_t dataOffset = 0;
    uint64_t dataDeclared = 0;
    uint64_t pos = 12;
    while (size - pos >= 8) {
        const uint8_t* header = b + pos;
        const uint64_t chunkSize = U32(header + 4);
        const uint64_t body = pos + 8;
        const uint64_t inBuffer = std::min(chunkSize, size - body);
        if (Is(header, "fmt ")) {
            if (inBuffer < chunkSize) throw WavError("truncated WAV file: format chunk cut off");
            format = ParseFormat(b + body, chunkSize);
        } else if (Is(header, "data") && !haveData) {
            haveData = true;
            dataOffset = body;
            dataDeclared = chunkSize;
            if (format.seen) break;  // everything needed is known
        }
        // Chunks are padded to even sizes; some writers forget the pad byte,
        // so an odd-sized chunk followed directly by a plausible id is taken as such.
        uint64_t next = body + chunkSize + (chunkSize & 1);
        if ((chunkSize & 1) && next + 4 <= size && !LooksLikeId(b + next) && LooksLikeId(b + next - 1)) {
            --next;
        }
        if (next > size) break;
        pos = next;
    }
    if (!format.seen) throw WavError("broken WAV file: no format chunk");
    if (!haveData) throw WavError("broken WAV file: no data chunk");

    WavInfo info;
    info.formatTag = format.tag;
    info.channelCount = format.channels;
    info.sampleRateHz = format.rate;
    info.bitsPerSample = format.bits;
    info.blockAlign = format.blockAlign;
    info.dataOffset = dataOffset;
    info.declaredDataBytes = dataDeclared;
    info.availableDataBytes = std::min(dataDeclared, size - dataOffset);
    info.frameCount = info.availableDataBytes / format.blockAlign;
    return info;
}

std::vector<int16_t> DecodeSamples(std::span<const uint8_t> bytes, const WavInfo& info) {
    const uint64_t count = info.frameCount * info.channelCount;
    if (info.dataOffset > bytes.size() || count * 2 > bytes.size() - info.dataOffset) {
        throw WavError("WAV data outside the buffer");
    }
    std::vector<int16_t> samples(count);
    const uint8_t* p = bytes.data() + info.dataOffset;
    for (uint64_t i = 0; i < count; ++i) samples[i] = int16_t(U16(p + 2 * i));
    return samples;
}

}  // namespace korvane::wavread
