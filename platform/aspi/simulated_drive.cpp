#include "platform/aspi/simulated_drive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

namespace korvane::aspi {
namespace {

// Linux status codes as SG_IO reports them.
constexpr std::uint16_t kDidTimeOut = 0x03, kDidError = 0x07;
constexpr std::uint16_t kDriverTimeout = 0x06, kDriverSense = 0x08;

ScsiOutcome CheckCondition(const scsi::Sense& sense, std::optional<std::uint32_t> information = std::nullopt) {
    ScsiOutcome outcome;
    outcome.scsiStatus = STATUS_CHKCOND;
    outcome.driverStatus = kDriverSense;
    const auto data = information ? scsi::FixedSense(sense, *information) : scsi::FixedSense(sense);
    outcome.sense.assign(data.begin(), data.end());
    return outcome;
}

bool IsAudioRead(std::uint8_t opcode) noexcept { return opcode == scsi::kReadCd || opcode == scsi::kVendorReadAudio; }

}  // namespace

SimulatedDrive::SimulatedDrive(std::unique_ptr<VirtualDrive> disc) : disc_(std::move(disc)) {}

SimulatedDrive::SimulatedDrive(std::unique_ptr<DiscImage> image, VirtualDrive::Identity identity)
    : disc_(std::make_unique<VirtualDrive>(std::move(image), std::move(identity), "simulated")) {}

bool SimulatedDrive::ReadSafe(std::uint8_t opcode) noexcept {
    // The read-only part of the kernel's SG_IO command table that CD programs use.
    switch (opcode) {
    case 0x00:  // TEST UNIT READY
    case 0x03:  // REQUEST SENSE
    case 0x12:  // INQUIRY
    case 0x1A:  // MODE SENSE(6)
    case 0x25:  // READ CAPACITY
    case 0x28:  // READ(10)
    case 0x42:  // READ SUB-CHANNEL
    case 0x43:  // READ TOC/PMA/ATIP
    case 0x44:  // READ HEADER
    case 0x46:  // GET CONFIGURATION
    case 0x4A:  // GET EVENT STATUS NOTIFICATION
    case 0x51:  // READ DISC INFORMATION
    case 0x52:  // READ TRACK INFORMATION
    case 0x5A:  // MODE SENSE(10)
    case 0xB9:  // READ CD MSF
    case 0xBE:  // READ CD
        return true;
    default:
        return false;
    }
}

void SimulatedDrive::SetRawIo(bool rawIo) {
    std::lock_guard lock(mutex_);
    rawIo_ = rawIo;
}
void SimulatedDrive::SpinUp(int commands) {
    std::lock_guard lock(mutex_);
    spinUp_ = commands;
}
void SimulatedDrive::UnitAttention(scsi::Sense sense) {
    std::lock_guard lock(mutex_);
    unitAttention_ = sense;
}
void SimulatedDrive::SetDiscPresent(bool present) {
    std::lock_guard lock(mutex_);
    present_ = present;
}
void SimulatedDrive::RejectOpcode(std::uint8_t opcode) {
    std::lock_guard lock(mutex_);
    rejected_.insert(opcode);
}
void SimulatedDrive::SetSectorBehaviour(std::uint32_t lba, SectorBehaviour behaviour) {
    std::lock_guard lock(mutex_);
    sectors_[lba] = std::move(behaviour);
}
void SimulatedDrive::MediumErrorAt(std::uint32_t lba, int times) {
    auto left = std::make_shared<int>(times);
    SetSectorBehaviour(lba, [left](std::uint32_t, std::span<std::uint8_t>) -> std::optional<scsi::Sense> {
        if (*left == 0) return std::nullopt;
        if (*left > 0) --*left;
        return scsi::kUnrecoveredReadError;
    });
}
void SimulatedDrive::FlakySectorAt(std::uint32_t lba, int percent, std::uint32_t seed) {
    auto rng = std::make_shared<std::mt19937>(seed ^ lba);
    SetSectorBehaviour(lba, [rng, percent](std::uint32_t, std::span<std::uint8_t> sector) -> std::optional<scsi::Sense> {
        if (static_cast<int>((*rng)() % 100) < percent) sector[(*rng)() % sector.size()] ^= 0x5A;
        return std::nullopt;
    });
}
void SimulatedDrive::BadSectorAt(std::uint32_t lba) {
    auto reads = std::make_shared<std::uint32_t>(0);
    SetSectorBehaviour(lba, [reads](std::uint32_t, std::span<std::uint8_t> sector) -> std::optional<scsi::Sense> {
        const std::uint32_t n = ++*reads;
        for (std::size_t i = 0; i < sector.size(); i += 64) sector[i] ^= static_cast<std::uint8_t>(n * 37 + i);
        sector[0] = static_cast<std::uint8_t>(n);  // never the same twice in 256 reads
        return std::nullopt;
    });
}
void SimulatedDrive::SetReadOffset(std::int32_t samples) {
    std::lock_guard lock(mutex_);
    readOffset_ = samples;
}
void SimulatedDrive::ShortTransfer(std::uint8_t opcode, int times, std::uint32_t bytesShort) {
    std::lock_guard lock(mutex_);
    short_[opcode] = {times, bytesShort};
}
std::vector<std::vector<std::uint8_t>> SimulatedDrive::CommandLog() const {
    std::lock_guard lock(mutex_);
    return log_;
}

std::optional<ScsiOutcome> SimulatedDrive::DriveCondition(std::uint8_t opcode) {
    // INQUIRY and REQUEST SENSE are answered whatever state the drive is in.
    if (opcode == scsi::kInquiry || opcode == scsi::kRequestSense) return std::nullopt;
    if (unitAttention_) {
        const scsi::Sense sense = *unitAttention_;
        unitAttention_.reset();
        return CheckCondition(sense);
    }
    if (spinUp_ > 0) {
        --spinUp_;
        return CheckCondition(scsi::kBecomingReady);
    }
    if (!present_) return CheckCondition(scsi::kMediumNotPresent);
    if (rejected_.count(opcode)) return CheckCondition(scsi::kInvalidOpcode);
    return std::nullopt;
}

ScsiOutcome SimulatedDrive::Execute(const ScsiRequest& request) {
    const std::uint8_t opcode = request.cdb.empty() ? 0 : request.cdb[0];
    std::pair<int, std::uint32_t> shortNow{0, 0};
    {
        std::lock_guard lock(mutex_);
        if (!rawIo_ && !ReadSafe(opcode)) {
            ScsiOutcome refused;
            refused.systemError = EPERM;
            return refused;
        }
        log_.emplace_back(request.cdb.begin(), request.cdb.end());
        if (auto condition = DriveCondition(opcode)) return *condition;
        if (auto it = short_.find(opcode); it != short_.end() && it->second.first > 0) {
            --it->second.first;
            shortNow = {1, it->second.second};
        }
    }

    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Flags = SRB_DIR_IN | SRB_ENABLE_RESIDUAL_COUNT;
    srb.SRB_BufLen = static_cast<std::uint32_t>(request.data.size());
    srb.SRB_BufPointer = request.data.empty() ? nullptr : request.data.data();
    srb.SRB_SenseLen = sizeof srb.SenseArea;
    srb.SRB_CDBLen = static_cast<std::uint8_t>(std::min<std::size_t>(request.cdb.size(), sizeof srb.CDBByte));
    std::copy_n(request.cdb.begin(), srb.SRB_CDBLen, srb.CDBByte);

    ScsiOutcome outcome;
    if (disc_->Execute(srb) == Completion::Never) {
        // The kernel gives up on the command when its time-out expires.
        outcome.hostStatus = kDidTimeOut;
        outcome.driverStatus = kDriverTimeout;
        return outcome;
    }
    if (srb.SRB_TargStat == STATUS_CHKCOND)
        return CheckCondition(scsi::ParseSense(std::span<const std::uint8_t>(srb.SenseArea, sizeof srb.SenseArea)));
    if (srb.SRB_Status != SS_COMP) {
        outcome.hostStatus = kDidError;
        return outcome;
    }
    outcome.residual = static_cast<std::int32_t>(srb.SRB_BufLen);
    if (IsAudioRead(opcode)) {
        ApplyReadOffset(request);
        ApplySectorBehaviours(request, outcome);
    }
    if (shortNow.first && outcome.scsiStatus == STATUS_GOOD) {
        // The tail of the buffer is never written: whatever was there stays.
        const std::uint32_t missing = std::min<std::uint32_t>(shortNow.second, static_cast<std::uint32_t>(request.data.size()));
        std::fill(request.data.end() - missing, request.data.end(), std::uint8_t{0xA5});
        outcome.residual += static_cast<std::int32_t>(missing);
    }
    return outcome;
}

// Replaces the sectors the disc model delivered by the disc's frames `readOffset_`
// earlier, read from the image itself.
void SimulatedDrive::ApplyReadOffset(const ScsiRequest& request) {
    std::int32_t offset;
    {
        std::lock_guard lock(mutex_);
        offset = readOffset_;
    }
    DiscImage* image = disc_->Image();
    if (offset == 0 || image == nullptr || request.cdb.size() < 10) return;
    constexpr std::int64_t kFrames = 588;
    const std::uint8_t* cdb = request.cdb.data();
    const std::int64_t lba = scsi::BigEndian32(cdb + 2);
    const std::int64_t count = cdb[0] == scsi::kReadCd ? scsi::BigEndian24(cdb + 6) : scsi::BigEndian32(cdb + 6);
    const std::int64_t firstFrame = lba * kFrames - offset;  // the disc's frame at the buffer's start
    const std::int64_t firstSector = firstFrame >= 0 ? firstFrame / kFrames : -((-firstFrame + kFrames - 1) / kFrames);
    const std::int64_t sectors = count + 1;
    const std::int64_t lo = std::clamp<std::int64_t>(firstSector, 0, image->Toc().leadOutLba);
    const std::int64_t hi = std::clamp<std::int64_t>(firstSector + sectors, 0, image->Toc().leadOutLba);
    std::vector<std::uint8_t> disc(static_cast<std::size_t>(sectors) * 2352, 0);
    if (hi > lo) {
        try {
            image->ReadSectors(static_cast<std::uint32_t>(lo), static_cast<std::uint32_t>(hi - lo),
                               std::span<std::uint8_t>(disc).subspan(static_cast<std::size_t>(lo - firstSector) * 2352,
                                                                     static_cast<std::size_t>(hi - lo) * 2352));
        } catch (const ImageReadError&) {
            return;  // the unshifted data stays
        }
    }
    const std::size_t skip = static_cast<std::size_t>(firstFrame - firstSector * kFrames) * 4;
    const std::size_t bytes = std::min(request.data.size(), static_cast<std::size_t>(count) * 2352);
    std::copy_n(disc.begin() + static_cast<std::ptrdiff_t>(skip), bytes, request.data.begin());
}

void SimulatedDrive::ApplySectorBehaviours(const ScsiRequest& request, ScsiOutcome& outcome) {
    const std::uint8_t* cdb = request.cdb.data();
    if (request.cdb.size() < 10) return;
    const std::uint32_t lba = scsi::BigEndian32(cdb + 2);
    const std::uint32_t count = cdb[0] == scsi::kReadCd ? scsi::BigEndian24(cdb + 6) : scsi::BigEndian32(cdb + 6);
    std::lock_guard lock(mutex_);
    for (auto it = sectors_.lower_bound(lba); it != sectors_.end() && it->first < lba + count; ++it) {
        const std::size_t offset = std::size_t{it->first - lba} * 2352;
        if (offset + 2352 > request.data.size()) break;
        if (const auto sense = it->second(it->first, request.data.subspan(offset, 2352))) {
            outcome = CheckCondition(*sense, it->first);
            outcome.residual = static_cast<std::int32_t>(request.data.size() - offset);
            return;
        }
    }
}

}  // namespace korvane::aspi
