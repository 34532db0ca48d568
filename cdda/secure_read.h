#pragma once
// Verified ("secure") reading of raw audio sectors. Every range is read twice with the
// drive's cache defeated in between (a read of a distant sector, so the second read
// comes from the disc and not from the drive's memory). Sectors whose two reads agree
// are taken; the others are read again, one at a time with the cache defeated before
// each read, until two reads agree or `maxRetries` further reads are spent. A sector
// that never gets two agreeing reads keeps the value read most often (silence when no
// read succeeded) and is reported as suspicious. A read the drive fails for the disc's
// sake (a medium error) counts as a read without a value and is retried the same way.
//
// Thread contract: the thread that owns the SectorDevice (the UI thread for a
// CDReader); blocks it for the reads.
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <vector>

namespace korvane::cdda {

inline constexpr int kDefaultMaxRetries = 16;

// Sectors apart that a read must lie to push a range out of a drive's cache (about
// 3.5 MB: more than drives keep).
inline constexpr std::uint32_t kCacheDefeatSectors = 1'500;

// How a track is read: verification and the drive's read offset (in samples, the sign
// of the common offset lists: +N means the output starts N samples later in the
// drive's stream). The defaults read the drive's bytes as they come.
struct SecureReadSettings {
    bool verify = false;
    int maxRetries = kDefaultMaxRetries;
    std::int32_t offsetSamples = 0;
};

// Thrown by a SectorDevice when the drive could not read the sectors this time (a
// medium error): worth reading again. Other failures pass as they are.
class SectorsUnreadable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where raw sectors come from: the CD layer, or a script in tests.
class SectorDevice {
public:
    virtual ~SectorDevice() = default;
    // Reads `sectorCount` sectors at `lba` into `out` (sectorCount * 2352 bytes).
    virtual void Read(std::uint32_t lba, std::span<std::uint8_t> out, std::uint32_t sectorCount) = 0;
};

// What verification found so far.
struct VerifyStats {
    std::uint32_t rereadSectors = 0;          // sectors whose first two reads did not agree
    std::vector<std::uint32_t> suspicious;    // LBAs never read the same twice
    bool cacheNotDefeated = false;            // no distant sector could be read
};

// Verification phases, for progress: the two passes, then re-reading.
enum class VerifyPhase { FirstPass = 1, SecondPass = 2, Rereading = 3 };

class VerifiedReader {
public:
    // Reads from `device`; distant sectors are chosen inside [readableBegin, readableEnd).
    VerifiedReader(SectorDevice& device, int maxRetries, std::uint32_t readableBegin, std::uint32_t readableEnd);

    // Reads sectors [lba, lba + sectorCount) into `out`, and each pass's own bytes (a
    // failed read leaves silence) into `firstPass` and `secondPass`; all three are
    // sectorCount * 2352 bytes.
    void Read(std::uint32_t lba, std::uint32_t sectorCount, std::span<std::uint8_t> out,
              std::span<std::uint8_t> firstPass, std::span<std::uint8_t> secondPass);

    const VerifyStats& Stats() const noexcept { return stats_; }
    // Called as each phase of a range begins, and before every re-read of a sector, with
    // the re-read count so far.
    std::function<void(VerifyPhase, std::uint32_t rereadSectors)> onPhase;
    // When it becomes true, a sector's re-reads stop (the read is being cancelled).
    const std::atomic<bool>* cancel = nullptr;

private:
    bool ReadOnce(std::uint32_t lba, std::span<std::uint8_t> out, std::uint32_t sectorCount);
    void DefeatCache(std::uint32_t lba, std::uint32_t sectorCount);
    void Resolve(std::uint32_t lba, std::span<std::uint8_t> out, std::span<const std::uint8_t> firstRead,
                 bool firstOk, std::span<const std::uint8_t> secondRead, bool secondOk);
    void Phase(VerifyPhase phase);

    SectorDevice& device_;
    int maxRetries_;
    std::uint32_t readableBegin_;
    std::uint32_t readableEnd_;
    VerifyStats stats_;
    std::vector<std::uint8_t> scratch_;
};

}  // namespace korvane::cdda
