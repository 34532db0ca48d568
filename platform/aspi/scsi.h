#pragma once
// SCSI/MMC vocabulary shared by the drive back ends: operation codes, sense keys and
// the fixed-format sense data the request block carries. Pure helpers, no I/O.
#include <array>
#include <cstdint>
#include <span>

namespace korvane::aspi::scsi {

inline constexpr std::uint8_t kTestUnitReady = 0x00;
inline constexpr std::uint8_t kRequestSense = 0x03;
inline constexpr std::uint8_t kInquiry = 0x12;
inline constexpr std::uint8_t kReadToc = 0x43;
inline constexpr std::uint8_t kReadCd = 0xBE;
inline constexpr std::uint8_t kVendorReadAudio = 0xD8;

inline constexpr std::uint8_t kSenseNoSense = 0x0;
inline constexpr std::uint8_t kSenseNotReady = 0x2;
inline constexpr std::uint8_t kSenseMediumError = 0x3;
inline constexpr std::uint8_t kSenseHardwareError = 0x4;
inline constexpr std::uint8_t kSenseIllegalRequest = 0x5;
inline constexpr std::uint8_t kSenseUnitAttention = 0x6;

struct Sense {
    std::uint8_t key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    friend bool operator==(const Sense&, const Sense&) = default;
};

// Frequently used conditions.
inline constexpr Sense kMediumNotPresent{kSenseNotReady, 0x3A, 0x00};
inline constexpr Sense kInvalidOpcode{kSenseIllegalRequest, 0x20, 0x00};
inline constexpr Sense kLbaOutOfRange{kSenseIllegalRequest, 0x21, 0x00};
inline constexpr Sense kInvalidFieldInCdb{kSenseIllegalRequest, 0x24, 0x00};
inline constexpr Sense kIllegalModeForTrack{kSenseIllegalRequest, 0x64, 0x00};
inline constexpr Sense kUnrecoveredReadError{kSenseMediumError, 0x11, 0x00};
inline constexpr Sense kBecomingReady{kSenseNotReady, 0x04, 0x01};
inline constexpr Sense kCannotReadMediumUnknownFormat{kSenseNotReady, 0x30, 0x01};
inline constexpr Sense kMediumMayHaveChanged{kSenseUnitAttention, 0x28, 0x00};
inline constexpr Sense kPowerOnReset{kSenseUnitAttention, 0x29, 0x00};
inline constexpr Sense kInternalTargetFailure{kSenseHardwareError, 0x44, 0x00};

inline constexpr std::size_t kFixedSenseLength = 18;

// Fixed-format sense data (response code 0x70): key in byte 2, additional length 10,
// ASC in byte 12, ASCQ in byte 13.
std::array<std::uint8_t, kFixedSenseLength> FixedSense(const Sense& sense) noexcept;
// The same with the VALID bit and `information` (e.g. the failing LBA) in bytes 3-6.
std::array<std::uint8_t, kFixedSenseLength> FixedSense(const Sense& sense, std::uint32_t information) noexcept;
// The information field of fixed-format sense when its VALID bit is set.
bool SenseInformation(std::span<const std::uint8_t> senseData, std::uint32_t& information) noexcept;

// Key/ASC/ASCQ from sense data in fixed (0x70/0x71) or descriptor (0x72/0x73) format;
// {0,0,0} when the buffer is too short or holds no recognisable sense.
Sense ParseSense(std::span<const std::uint8_t> senseData) noexcept;

// Descriptor-format sense is rewritten as fixed format so that every request block
// carries the same layout; fixed format is copied unchanged. Returns the bytes to place
// in the request block's sense area (at most `out.size()`), and how many were written.
std::size_t NormaliseSense(std::span<const std::uint8_t> senseData, std::span<std::uint8_t> out) noexcept;

constexpr std::uint32_t BigEndian32(const std::uint8_t* p) noexcept {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
constexpr std::uint32_t BigEndian24(const std::uint8_t* p) noexcept {
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}
constexpr std::uint16_t BigEndian16(const std::uint8_t* p) noexcept {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
constexpr void PutBigEndian32(std::uint8_t* p, std::uint32_t v) noexcept {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}
constexpr void PutBigEndian16(std::uint8_t* p, std::uint16_t v) noexcept {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

}  // namespace korvane::aspi::scsi
