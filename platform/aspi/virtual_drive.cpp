#include "platform/aspi/virtual_drive.h"

#include <algorithm>
#include <cstring>

namespace korvane::aspi {
namespace {

void PutPadded(std::uint8_t* out, std::size_t width, const std::string& text) {
    std::memset(out, ' ', width);
    std::memcpy(out, text.data(), std::min(width, text.size()));
}

void CopyOut(SRB_ExecSCSICmd& srb, const std::uint8_t* data, std::size_t size, std::size_t allocation) {
    const std::size_t n = std::min({size, allocation, static_cast<std::size_t>(srb.SRB_BufLen)});
    if (n > 0) std::memcpy(srb.SRB_BufPointer, data, n);
    SetResidual(srb, n);
}

}  // namespace

VirtualDrive::VirtualDrive(std::unique_ptr<DiscImage> disc, Identity identity, std::string source)
    : disc_(std::move(disc)), identity_(std::move(identity)), source_(std::move(source)) {
    discPresent_ = disc_ != nullptr;
}

VirtualDrive::VirtualDrive(std::unique_ptr<DiscImage> disc, Identity identity)
    : VirtualDrive(nullptr, std::move(identity), std::string()) {
    source_ = disc ? disc->Source() : std::string();
    disc_ = std::move(disc);
    discPresent_ = disc_ != nullptr;
}

void VirtualDrive::RejectReadCd(bool reject) {
    std::lock_guard lock(mutex_);
    rejectReadCd_ = reject;
}
void VirtualDrive::FailNext(std::uint8_t opcode, int times, scsi::Sense sense) {
    std::lock_guard lock(mutex_);
    failures_[opcode] = {times, sense};
}
void VirtualDrive::NeverComplete(std::uint8_t opcode, bool never) {
    std::lock_guard lock(mutex_);
    if (never) never_.insert(opcode);
    else never_.erase(opcode);
}
void VirtualDrive::SetDiscPresent(bool present) {
    std::lock_guard lock(mutex_);
    discPresent_ = present && disc_ != nullptr;
}
void VirtualDrive::ClearFaults() {
    std::lock_guard lock(mutex_);
    rejectReadCd_ = false;
    failures_.clear();
    never_.clear();
    discPresent_ = disc_ != nullptr;
}
void VirtualDrive::SetProblem(std::string why) {
    std::lock_guard lock(mutex_);
    problem_ = std::move(why);
}
std::string VirtualDrive::Problem() const {
    std::lock_guard lock(mutex_);
    return problem_;
}
std::vector<std::vector<std::uint8_t>> VirtualDrive::CommandLog() const {
    std::lock_guard lock(mutex_);
    return log_;
}
void VirtualDrive::ClearCommandLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

Completion VirtualDrive::Execute(SRB_ExecSCSICmd& srb) {
    const std::uint8_t opcode = srb.CDBByte[0];
    bool present;
    {
        std::lock_guard lock(mutex_);
        log_.emplace_back(srb.CDBByte, srb.CDBByte + std::min<std::size_t>(srb.SRB_CDBLen, 16));
        if (never_.count(opcode)) return Completion::Never;
        auto it = failures_.find(opcode);
        if (it != failures_.end() && it->second.first > 0) {
            const scsi::Sense sense = it->second.second;
            if (--it->second.first == 0) failures_.erase(it);
            CompleteCheckCondition(srb, sense);
            return Completion::Done;
        }
        if (opcode == scsi::kReadCd && rejectReadCd_) {
            CompleteCheckCondition(srb, scsi::kInvalidOpcode);
            return Completion::Done;
        }
        present = discPresent_;
        if (!problem_.empty() && opcode != scsi::kInquiry) {
            CompleteCheckCondition(srb, scsi::kCannotReadMediumUnknownFormat);
            return Completion::Done;
        }
    }

    switch (opcode) {
    case scsi::kInquiry:
        Inquiry(srb);
        return Completion::Done;
    case scsi::kTestUnitReady:
        if (!present) CompleteCheckCondition(srb, scsi::kMediumNotPresent);
        else CompleteGood(srb);
        return Completion::Done;
    case scsi::kReadToc:
    case scsi::kReadCd:
    case scsi::kVendorReadAudio:
        break;
    default:
        CompleteCheckCondition(srb, scsi::kInvalidOpcode);
        return Completion::Done;
    }
    if (!present) {
        CompleteCheckCondition(srb, scsi::kMediumNotPresent);
        return Completion::Done;
    }
    const std::uint8_t* cdb = srb.CDBByte;
    if (opcode == scsi::kReadToc) {
        ReadToc(srb);
    } else if (opcode == scsi::kReadCd) {
        const std::uint8_t sectorType = (cdb[1] >> 2) & 0x07;
        // Only whole raw sectors (user data bit set) without sub-channel data.
        if ((sectorType != 0 && sectorType != 1) || (cdb[9] & 0x10) == 0 || cdb[10] != 0) {
            CompleteCheckCondition(srb, scsi::kInvalidFieldInCdb);
        } else {
            ReadAudio(srb, scsi::BigEndian32(cdb + 2), scsi::BigEndian24(cdb + 6), sectorType == 1);
        }
    } else {
        if (cdb[10] != 0) CompleteCheckCondition(srb, scsi::kInvalidFieldInCdb);
        else ReadAudio(srb, scsi::BigEndian32(cdb + 2), scsi::BigEndian32(cdb + 6), true);
    }
    return Completion::Done;
}

void VirtualDrive::Inquiry(SRB_ExecSCSICmd& srb) {
    std::uint8_t data[96] = {};
    data[0] = DTYPE_CDROM;
    data[1] = 0x80;  // removable medium
    data[2] = 0x05;  // SPC-3
    data[3] = 0x02;  // response data format
    data[4] = sizeof data - 5;
    PutPadded(data + 8, 8, identity_.vendor);
    PutPadded(data + 16, 16, identity_.product);
    PutPadded(data + 32, 4, identity_.revision);
    const std::size_t allocation = (std::size_t{srb.CDBByte[3]} << 8) | srb.CDBByte[4];
    CopyOut(srb, data, sizeof data, allocation);
    CompleteGood(srb);
}

void VirtualDrive::ReadToc(SRB_ExecSCSICmd& srb) {
    const std::uint8_t* cdb = srb.CDBByte;
    const bool msf = (cdb[1] & 0x02) != 0;
    const std::uint8_t format = cdb[2] & 0x0F;
    const std::uint8_t startTrack = cdb[6];
    const std::size_t allocation = scsi::BigEndian16(cdb + 7);
    const cue::Layout& toc = disc_->Toc();
    if (format == 1) {
        SessionInfo(srb, msf, allocation);
        return;
    }
    if (format != 0) {
        CompleteCheckCondition(srb, scsi::kInvalidFieldInCdb);
        return;
    }
    if (startTrack > toc.lastTrack && startTrack != 0xAA) {
        CompleteCheckCondition(srb, scsi::kInvalidFieldInCdb);
        return;
    }
    std::vector<std::uint8_t> data(4);
    data[2] = static_cast<std::uint8_t>(toc.firstTrack);
    data[3] = static_cast<std::uint8_t>(toc.lastTrack);
    auto descriptor = [&](std::uint8_t number, std::uint8_t control, std::uint32_t lba) {
        std::uint8_t d[8] = {};
        d[1] = static_cast<std::uint8_t>(0x10 | (control & 0x0F));  // ADR 1: current position
        d[2] = number;
        if (msf) {
            const std::uint32_t frames = lba + 150;
            d[5] = static_cast<std::uint8_t>(frames / (60 * 75));
            d[6] = static_cast<std::uint8_t>((frames / 75) % 60);
            d[7] = static_cast<std::uint8_t>(frames % 75);
        } else {
            scsi::PutBigEndian32(d + 4, lba);
        }
        data.insert(data.end(), d, d + 8);
    };
    for (const auto& t : toc.tracks)
        if (startTrack != 0xAA && t.number >= startTrack) descriptor(static_cast<std::uint8_t>(t.number), t.control, t.startLba);
    const std::uint8_t leadOutControl = toc.tracks.empty() ? 0 : toc.tracks.back().control;
    descriptor(0xAA, leadOutControl, toc.leadOutLba);
    scsi::PutBigEndian16(data.data(), static_cast<std::uint16_t>(data.size() - 2));
    CopyOut(srb, data.data(), data.size(), allocation);
    CompleteGood(srb);
}

// READ TOC format 1: the first and last session numbers and the first track of the last
// session with its start address.
void VirtualDrive::SessionInfo(SRB_ExecSCSICmd& srb, bool msf, std::size_t allocation) {
    const cue::Layout& toc = disc_->Toc();
    std::uint8_t data[12] = {};
    scsi::PutBigEndian16(data, 10);
    data[2] = 1;
    data[3] = static_cast<std::uint8_t>(toc.tracks.empty() ? 1 : toc.tracks.back().session);
    const cue::LaidOutTrack* first = toc.tracks.empty() ? nullptr : &toc.tracks.front();
    for (const auto& t : toc.tracks)
        if (t.session == data[3]) {
            first = &t;
            break;
        }
    if (first != nullptr) {
        data[5] = static_cast<std::uint8_t>(0x10 | (first->control & 0x0F));
        data[6] = static_cast<std::uint8_t>(first->number);
        if (msf) {
            const std::uint32_t frames = first->startLba + 150;
            data[9] = static_cast<std::uint8_t>(frames / (60 * 75));
            data[10] = static_cast<std::uint8_t>((frames / 75) % 60);
            data[11] = static_cast<std::uint8_t>(frames % 75);
        } else {
            scsi::PutBigEndian32(data + 8, first->startLba);
        }
    }
    CopyOut(srb, data, sizeof data, allocation);
    CompleteGood(srb);
}

void VirtualDrive::ReadAudio(SRB_ExecSCSICmd& srb, std::uint32_t lba, std::uint32_t count, bool checkTrackType) {
    const cue::Layout& toc = disc_->Toc();
    if (std::uint64_t{lba} + count > toc.leadOutLba) {
        CompleteCheckCondition(srb, scsi::kLbaOutOfRange);
        return;
    }
    if (std::uint64_t{count} * 2352 > srb.SRB_BufLen) {
        // The caller's buffer cannot take the transfer: refuse rather than overrun it.
        srb.SRB_HaStat = HASTAT_DO_DU;
        srb.SRB_TargStat = STATUS_GOOD;
        srb.SRB_Status = SS_ERR;
        return;
    }
    for (const cue::Extent& e : toc.extents) {
        // The lead-out and lead-in between two sessions cannot be read.
        if (e.fileIndex == cue::kBetweenSessions && lba < e.lba + e.sectorCount && lba + count > e.lba) {
            CompleteCheckCondition(srb, scsi::kLbaOutOfRange);
            return;
        }
    }
    if (count == 0) {
        SetResidual(srb, 0);
        CompleteGood(srb);
        return;
    }
    if (checkTrackType) {
        // Every sector must lie in an audio track.
        for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
            const std::uint32_t start = toc.tracks[i].startLba;
            const std::uint32_t end = i + 1 < toc.tracks.size() ? toc.tracks[i + 1].startLba : toc.leadOutLba;
            if ((toc.tracks[i].control & 0x04) && lba < end && lba + count > start) {
                CompleteCheckCondition(srb, scsi::kIllegalModeForTrack);
                return;
            }
        }
    }
    try {
        disc_->ReadSectors(lba, count, std::span<std::uint8_t>(srb.SRB_BufPointer, std::size_t{count} * 2352));
    } catch (const ImageReadError&) {
        CompleteCheckCondition(srb, scsi::kUnrecoveredReadError);
        return;
    }
    SetResidual(srb, std::size_t{count} * 2352);
    CompleteGood(srb);
}

}  // namespace korvane::aspi
