#pragma once
// Builds WAV files byte by byte for tests, good and deliberately broken.
#include <cstdint>
#include <string>
#include <vector>

namespace korvane::test {

class WavBuilder {
public:
    WavBuilder& Chunk(const std::string& id, const std::vector<uint8_t>& body, bool pad = true) {
        Append(id);
        U32(uint32_t(body.size()));
        bytes_.insert(bytes_.end(), body.begin(), body.end());
        if (pad && (body.size() & 1)) bytes_.push_back(0);
        return *this;
    }
    // A chunk header whose declared size need not match what follows.
    WavBuilder& Header(const std::string& id, uint32_t declaredSize) {
        Append(id);
        U32(declaredSize);
        return *this;
    }
    WavBuilder& Raw(const std::vector<uint8_t>& body) {
        bytes_.insert(bytes_.end(), body.begin(), body.end());
        return *this;
    }
    // The finished file; the RIFF size is set from the content unless given.
    std::vector<uint8_t> Bytes(const std::string& riff = "RIFF", const std::string& form = "WAVE",
                               int64_t riffSize = -1) const {
        std::vector<uint8_t> out(riff.begin(), riff.end());
        const auto size = uint32_t(riffSize < 0 ? bytes_.size() + 4 : uint64_t(riffSize));
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(size >> (8 * i)));
        out.insert(out.end(), form.begin(), form.end());
        out.insert(out.end(), bytes_.begin(), bytes_.end());
        return out;
    }

    static std::vector<uint8_t> Format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                                       int blockAlign = -1) {
        std::vector<uint8_t> f;
        auto u16 = [&f](uint16_t v) { f.push_back(uint8_t(v)); f.push_back(uint8_t(v >> 8)); };
        auto u32 = [&f](uint32_t v) { for (int i = 0; i < 4; ++i) f.push_back(uint8_t(v >> (8 * i))); };
        const uint16_t align = blockAlign < 0 ? uint16_t(channels * bits / 8) : uint16_t(blockAlign);
        u16(tag);
        u16(channels);
        u32(rate);
        u32(rate * align);
        u16(align);
        u16(bits);
        return f;
    }
    static std::vector<uint8_t> Extensible(uint16_t channels, uint32_t rate, uint16_t subformat) {
        auto f = Format(0xFFFE, channels, rate, 16);
        const uint8_t tail[] = {0x16, 0x00, 0x10, 0x00, 0x03, 0x00, 0x00, 0x00};  // cbSize, valid bits, mask
        f.insert(f.end(), std::begin(tail), std::end(tail));
        f.push_back(uint8_t(subformat));
        f.push_back(uint8_t(subformat >> 8));
        const uint8_t guid[] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        f.insert(f.end(), std::begin(guid), std::end(guid));
        return f;
    }
    static std::vector<uint8_t> Pcm(const std::vector<int16_t>& samples) {
        std::vector<uint8_t> d;
        for (int16_t s : samples) {
            d.push_back(uint8_t(uint16_t(s)));
            d.push_back(uint8_t(uint16_t(s) >> 8));
        }
        return d;
    }

private:
    void Append(const std::string& id) { bytes_.insert(bytes_.end(), id.begin(), id.end()); }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(uint8_t(v >> (8 * i)));
    }
    std::vector<uint8_t> bytes_;
};

}  // namespace korvane::test
