#pragma once
// Test double below the SG_IO seam: a CD drive behind the Linux kernel, as a process sees
// it through ioctl(SG_IO) on /dev/sr*. It answers what SgIoTransport would report:
// errno for commands the kernel refuses, CHECK CONDITION with sense data as the drive
// writes it, residual counts for short transfers. The disc itself (TOC, session
// information, sector contents) is a VirtualDrive, so the same images serve both.
//
// Behaviours, each scriptable between commands from any thread:
// - the kernel's command filter for a user without CAP_SYS_RAWIO: EPERM for every
//   opcode outside the read-safe list (0xD8 among them); SetRawIo(true) lifts it (root);
// - spin-up (NOT READY, becoming ready, for the next N commands), a unit attention
//   after a disc change or reset, no disc;
// - opcodes the drive does not know (ILLEGAL REQUEST, invalid command operation code);
// - per-sector behaviours: a read that reaches the sector runs it, and it may fail the
//   command (MEDIUM ERROR with the LBA in the information field) or alter the data;
// - short transfers: the next N commands of an opcode move fewer bytes than asked;
// - a flaky sector (different data on some reads, at random), a bad sector (different
//   data on every read) and a read offset (audio delivered shifted by some samples).
#include "platform/aspi/transport.h"
#include "platform/aspi/virtual_drive.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace korvane::aspi {

class SimulatedDrive final : public ScsiTransport {
public:
    // What a read meets at one sector: nullopt lets it pass (the sector's bytes, which the
    // behaviour may change in place); a sense fails the command there.
    using SectorBehaviour = std::function<std::optional<scsi::Sense>(std::uint32_t lba, std::span<std::uint8_t> sector)>;

    explicit SimulatedDrive(std::unique_ptr<VirtualDrive> disc);
    // A drive over `image` (may be null: no disc) with `identity` in INQUIRY.
    SimulatedDrive(std::unique_ptr<DiscImage> image, VirtualDrive::Identity identity);

    ScsiOutcome Execute(const ScsiRequest& request) override;

    // The kernel: false (default) is a user in the drive's group without CAP_SYS_RAWIO.
    void SetRawIo(bool rawIo);
    // The drive.
    void SpinUp(int commands);                 // NOT READY 02/04/01 for the next `commands`
    void UnitAttention(scsi::Sense sense = scsi::kMediumMayHaveChanged);  // once, on the next command
    void SetDiscPresent(bool present);         // false: NOT READY 02/3A/00
    void RejectOpcode(std::uint8_t opcode);    // ILLEGAL REQUEST 05/20/00
    void SetSectorBehaviour(std::uint32_t lba, SectorBehaviour behaviour);
    // MEDIUM ERROR 03/11/00 at `lba`, `times` reads (negative: for ever).
    void MediumErrorAt(std::uint32_t lba, int times = -1);
    // Reads of `lba` deliver altered data with probability `percent` / 100 (a sequence
    // of its own, from `seed`, so runs repeat).
    void FlakySectorAt(std::uint32_t lba, int percent, std::uint32_t seed = 1);
    // Reads of `lba` deliver different data every time.
    void BadSectorAt(std::uint32_t lba);
    // Audio reads deliver the disc shifted: drive frame g holds the disc's frame
    // g - `samples` (silence where that lies off the disc). The correction a reader
    // needs is the same number, as offset lists give it.
    void SetReadOffset(std::int32_t samples);
    // The next `times` commands of `opcode` transfer `bytesShort` bytes fewer than asked
    // and report that as the residual, with GOOD status.
    void ShortTransfer(std::uint8_t opcode, int times, std::uint32_t bytesShort);
    // The disc model, for faults of its own (VirtualDrive::FailNext, NeverComplete...).
    VirtualDrive& Disc() noexcept { return *disc_; }

    // Every CDB that reached the drive (not those the kernel refused).
    std::vector<std::vector<std::uint8_t>> CommandLog() const;

    // The opcodes the kernel lets a process without CAP_SYS_RAWIO send on a descriptor
    // opened read-only.
    static bool ReadSafe(std::uint8_t opcode) noexcept;

private:
    std::optional<ScsiOutcome> DriveCondition(std::uint8_t opcode);
    void ApplySectorBehaviours(const ScsiRequest& request, ScsiOutcome& outcome);
    void ApplyReadOffset(const ScsiRequest& request);

    std::unique_ptr<VirtualDrive> disc_;
    mutable std::mutex mutex_;
    bool rawIo_ = false;
    std::int32_t readOffset_ = 0;
    int spinUp_ = 0;
    std::optional<scsi::Sense> unitAttention_;
    bool present_ = true;
    std::set<std::uint8_t> rejected_;
    std::map<std::uint32_t, SectorBehaviour> sectors_;
    std::map<std::uint8_t, std::pair<int, std::uint32_t>> short_;
    std::vector<std::vector<std::uint8_t>> log_;
};

}  // namespace korvane::aspi
