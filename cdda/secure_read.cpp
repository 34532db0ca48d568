#include "cdda/secure_read.h"

#include "cdda/track_file.h"

#include <algorithm>
#include <cstring>

namespace korvane::cdda {
namespace {

// The different values one sector was read as, with how often each came.
class SectorTally {
public:
    // Counts `bytes`; true once some value has come twice.
    bool Add(std::span<const std::uint8_t> bytes) {
        for (Candidate& c : candidates_) {
            if (std::equal(c.bytes.begin(), c.bytes.end(), bytes.begin())) return ++c.count >= 2;
        }
        candidates_.push_back({std::vector<std::uint8_t>(bytes.begin(), bytes.end()), 1});
        return false;
    }
    // The value read most often (the earliest of equals); silence when none was read.
    void Best(std::span<std::uint8_t> out) const {
        const Candidate* best = nullptr;
        for (const Candidate& c : candidates_) {
            if (!best || c.count > best->count) best = &c;
        }
        if (best) std::copy(best->bytes.begin(), best->bytes.end(), out.begin());
        else std::fill(out.begin(), out.end(), std::uint8_t{0});
    }

private:
    struct Candidate {
        std::vector<std::uint8_t> bytes;
        int count;
    };
    std::vector<Candidate> candidates_;
};

}  // namespace

VerifiedReader::VerifiedReader(SectorDevice& device, int maxRetries, std::uint32_t readableBegin,
                               std::uint32_t readableEnd)
    : device_(device), maxRetries_(std::max(maxRetries, 0)), readableBegin_(readableBegin),
      readableEnd_(std::max(readableBegin, readableEnd)), scratch_(kBytesPerSector) {}

void VerifiedReader::Phase(VerifyPhase phase) {
    if (onPhase) onPhase(phase, stats_.rereadSectors);
}

bool VerifiedReader::ReadOnce(std::uint32_t lba, std::span<std::uint8_t> out, std::uint32_t sectorCount) {
    try {
        device_.Read(lba, out, sectorCount);
        return true;
    } catch (const SectorsUnreadable&) {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        return false;
    }
}

// Reads one sector as far from [lba, lba + sectorCount) as the readable range allows.
void VerifiedReader::DefeatCache(std::uint32_t lba, std::uint32_t sectorCount) {
    if (readableEnd_ == readableBegin_) {
        stats_.cacheNotDefeated = true;
        return;
    }
    const std::uint32_t last = readableEnd_ - 1;
    const std::uint32_t before = lba > readableBegin_ ? lba - readableBegin_ : 0;
    const std::uint32_t after = last > lba + sectorCount ? last - (lba + sectorCount) : 0;
    const std::uint32_t distant = after >= before ? last : readableBegin_;
    if (std::max(before, after) < kCacheDefeatSectors) stats_.cacheNotDefeated = true;
    if (!ReadOnce(distant, scratch_, 1)) stats_.cacheNotDefeated = true;
}

void VerifiedReader::Read(std::uint32_t lba, std::uint32_t sectorCount, std::span<std::uint8_t> out,
                          std::span<std::uint8_t> firstPass, std::span<std::uint8_t> secondPass) {
    Phase(VerifyPhase::FirstPass);
    const bool firstOk = ReadOnce(lba, firstPass, sectorCount);
    DefeatCache(lba, sectorCount);
    Phase(VerifyPhase::SecondPass);
    const bool secondOk = ReadOnce(lba, secondPass, sectorCount);
    bool rereading = false;
    for (std::uint32_t s = 0; s < sectorCount; ++s) {
        const std::size_t at = std::size_t{s} * kBytesPerSector;
        const auto first = firstPass.subspan(at, kBytesPerSector);
        const auto second = secondPass.subspan(at, kBytesPerSector);
        const auto target = out.subspan(at, kBytesPerSector);
        if (firstOk && secondOk && std::equal(first.begin(), first.end(), second.begin())) {
            std::copy(first.begin(), first.end(), target.begin());
            continue;
        }
        if (!rereading) Phase(VerifyPhase::Rereading);
        rereading = true;
        Resolve(lba + s, target, first, firstOk, second, secondOk);
    }
}

// Reads one sector until two reads agree or the retries are spent. A range whose read
// failed as a whole says nothing about each of its sectors, so the sector's first two
// reads of its own replace it.
void VerifiedReader::Resolve(std::uint32_t lba, std::span<std::uint8_t> out, std::span<const std::uint8_t> firstRead,
                             bool firstOk, std::span<const std::uint8_t> secondRead, bool secondOk) {
    ++stats_.rereadSectors;
    SectorTally tally;
    bool agreed = false;
    int readsLeft = maxRetries_;
    if (firstOk) agreed = tally.Add(firstRead);
    else ++readsLeft;
    if (secondOk) agreed = tally.Add(secondRead) || agreed;
    else ++readsLeft;
    while (!agreed && readsLeft-- > 0) {
        Phase(VerifyPhase::Rereading);  // lets the caller's window notice Cancel
        if (cancel != nullptr && cancel->load()) break;
        DefeatCache(lba, 1);
        if (ReadOnce(lba, scratch_, 1)) agreed = tally.Add(scratch_);
    }
    tally.Best(out);
    if (!agreed) stats_.suspicious.push_back(lba);
}

}  // namespace korvane::cdda
