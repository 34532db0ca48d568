#include "platform/aspi/scsi.h"

#include <algorithm>

namespace korvane::aspi::scsi {

std::array<std::uint8_t, kFixedSenseLength> FixedSense(const Sense& sense) noexcept {
    std::array<std::uint8_t, kFixedSenseLength> data{};
    data[0] = 0x70;  // current error, fixed format
    data[2] = static_cast<std::uint8_t>(sense.key & 0x0F);
    data[7] = static_cast<std::uint8_t>(kFixedSenseLength - 8);
    data[12] = sense.asc;
    data[13] = sense.ascq;
    return data;
}

std::array<std::uint8_t, kFixedSenseLength> FixedSense(const Sense& sense, std::uint32_t information) noexcept {
    auto data = FixedSense(sense);
    data[0] |= 0x80;  // VALID: the information field means something
    PutBigEndian32(data.data() + 3, information);
    return data;
}

bool SenseInformation(std::span<const std::uint8_t> senseData, std::uint32_t& information) noexcept {
    if (senseData.size() < 7 || (senseData[0] & 0x80) == 0) return false;
    const std::uint8_t code = senseData[0] & 0x7F;
    if (code != 0x70 && code != 0x71) return false;
    information = BigEndian32(senseData.data() + 3);
    return true;
}

Sense ParseSense(std::span<const std::uint8_t> senseData) noexcept {
    if (senseData.empty()) return {};
    const std::uint8_t code = senseData[0] & 0x7F;
    if (code == 0x70 || code == 0x71) {
        Sense s;
        if (senseData.size() > 2) s.key = senseData[2] & 0x0F;
        if (senseData.size() > 12) s.asc = senseData[12];
        if (senseData.size() > 13) s.ascq = senseData[13];
        return s;
    }
    if (code == 0x72 || code == 0x73) {
        if (senseData.size() < 4) return {};
        return Sense{static_cast<std::uint8_t>(senseData[1] & 0x0F), senseData[2], senseData[3]};
    }
    return {};
}

std::size_t NormaliseSense(std::span<const std::uint8_t> senseData, std::span<std::uint8_t> out) noexcept {
    if (senseData.empty() || out.empty()) return 0;
    const std::uint8_t code = senseData[0] & 0x7F;
    if (code == 0x72 || code == 0x73) {
        auto fixed = FixedSense(ParseSense(senseData));
        if (code == 0x73) fixed[0] = 0x71;  // deferred error
        const std::size_t n = std::min(out.size(), fixed.size());
        std::copy_n(fixed.begin(), n, out.begin());
        return n;
    }
    const std::size_t n = std::min(out.size(), senseData.size());
    std::copy_n(senseData.begin(), n, out.begin());
    return n;
}

}  // namespace korvane::aspi::scsi
