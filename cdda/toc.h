#pragma once
// The table of contents as READ TOC/PMA/ATIP (format 0, LBA addresses) returns it, and
// the Track box lines made from it. Pure functions over the 804-byte buffer.
//
// Layout: bytes 0-1 data length, byte 2 first track, byte 3 last track, then one 8-byte
// descriptor per track and the lead-out: byte 1 ADR (high nibble) and CONTROL (low),
// byte 2 track number, bytes 4-7 start address (big-endian LBA). CONTROL bit 2 marks a
// data track.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvane::cdda {

inline constexpr std::size_t kTocBytes = 804;  // header + 100 descriptors
inline constexpr std::size_t kTocDescriptorBytes = 8;
inline constexpr int kMaxTocTracks = 99;
using TocBuffer = std::array<std::uint8_t, kTocBytes>;

// The unsigned value of four bytes, most significant first.
constexpr std::uint32_t ReadBigEndian32(const std::uint8_t* bytes) noexcept {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           bytes[3];
}

// n = last track - first track + 1, the number of track descriptors before the
// lead-out. Limited to 0..99 so that descriptor n (the lead-out) always lies inside the
// buffer, whatever a drive returned.
int TocTrackCount(const TocBuffer& toc) noexcept;

struct TocDescriptor {
    std::uint8_t control = 0;
    std::uint8_t trackNumber = 0;
    std::uint32_t lba = 0;
    bool IsData() const noexcept { return (control & 0x04) != 0; }
};
// Descriptor i (0 .. TocTrackCount); i == TocTrackCount is the lead-out.
TocDescriptor DescriptorAt(const TocBuffer& toc, int index) noexcept;

struct AudioTrack {
    int runningNumber = 0;    // 1 for the first audio track, counting audio tracks only
    int descriptorIndex = 0;  // position in the TOC
    std::uint8_t trackNumber = 0;
    std::uint32_t startLba = 0;
    // Next descriptor's address minus this one's, as unsigned 32-bit arithmetic.
    std::uint32_t sectorCount = 0;
};

// What READ TOC format 1 tells about the sessions; all zero when unknown (a drive that
// does not answer it is taken to hold one session).
struct SessionInfo {
    std::uint8_t firstSession = 0, lastSession = 0;
    std::uint8_t lastSessionFirstTrack = 0;  // track number
    std::uint32_t lastSessionStart = 0;      // its start address
    bool MultiSession() const noexcept { return lastSession > firstSession && lastSessionFirstTrack != 0; }
};
// From the 12 bytes READ TOC format 1 returns.
SessionInfo ParseSessionInfo(const std::uint8_t* data) noexcept;

// Lead-out (6,750), lead-in (4,500) and pregap (150) between the end of one session and
// the first track of the next.
inline constexpr std::uint32_t kSessionGapSectors = 11'400;

// The audio tracks in disc order; data tracks are skipped wherever they stand. On a
// multi-session disc the track before the last session's first track ends
// kSessionGapSectors before it, not at it.
std::vector<AudioTrack> ListAudioTracks(const TocBuffer& toc, const SessionInfo& sessions = {});

// "Track #n - h:mm:ss.ss": running number and the length of sectorCount / 75 seconds,
// rounded to hundredths before it is split (units::FormatClock), so no line reads 60.00
// seconds.
std::string FormatTrackLine(int runningNumber, std::uint32_t sectorCount);

// One line per audio track, in order: the Track box.
std::vector<std::string> TrackLines(const TocBuffer& toc, const SessionInfo& sessions = {});

}  // namespace korvane::cdda
