#pragma once
// A CD-ROM drive that serves a disc image. It answers TEST UNIT READY, INQUIRY, READ
// TOC/PMA/ATIP (format 0, and format 1 session information; LBA or MSF addresses), READ CD (0xBE) and the vendor read
// 0xD8 as a drive would, byte for byte, and can be told to misbehave in tests.
#include "platform/aspi/device.h"
#include "platform/aspi/disc_image.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace korvane::aspi {

class VirtualDrive final : public Device {
public:
    struct Identity {
        std::string vendor = "KORVANE";          // padded to 8 with blanks
        std::string product = "Virtual CD-ROM";  // padded to 16
        std::string revision = "1.0";            // padded to 4
    };

    // `disc` may be null: a drive without a disc (NOT READY, MEDIUM NOT PRESENT).
    VirtualDrive(std::unique_ptr<DiscImage> disc, Identity identity, std::string source);
    VirtualDrive(std::unique_ptr<DiscImage> disc, Identity identity);

    std::uint8_t DeviceType() const noexcept override { return DTYPE_CDROM; }
    std::string Source() const override { return source_; }
    std::string Problem() const override;
    bool AnswersAtOnce() const noexcept override { return true; }
    Completion Execute(SRB_ExecSCSICmd& srb) override;

    // Fault injection. All may be changed between requests from any thread.
    void RejectReadCd(bool reject);               // 0xBE answers INVALID COMMAND OPERATION CODE
    void FailNext(std::uint8_t opcode, int times, scsi::Sense sense = scsi::kUnrecoveredReadError);
    void NeverComplete(std::uint8_t opcode, bool never);  // requests of this opcode stay pending
    void SetDiscPresent(bool present);            // false: NOT READY, MEDIUM NOT PRESENT
    void ClearFaults();
    // The disc image could not be used (`why`: the parse message with its line): the
    // drive answers NOT READY, CANNOT READ MEDIUM - UNKNOWN FORMAT, and Problem() says why.
    void SetProblem(std::string why);

    // Every CDB executed (including failed ones), for tests. Thread-safe.
    std::vector<std::vector<std::uint8_t>> CommandLog() const;
    void ClearCommandLog();

private:
    void Inquiry(SRB_ExecSCSICmd& srb);
    void ReadToc(SRB_ExecSCSICmd& srb);
    void SessionInfo(SRB_ExecSCSICmd& srb, bool msf, std::size_t allocation);
    void ReadAudio(SRB_ExecSCSICmd& srb, std::uint32_t lba, std::uint32_t count, bool checkTrackType);

    std::unique_ptr<DiscImage> disc_;
    Identity identity_;
    std::string source_;

    mutable std::mutex mutex_;
    bool rejectReadCd_ = false;
    bool discPresent_ = true;
    std::map<std::uint8_t, std::pair<int, scsi::Sense>> failures_;
    std::set<std::uint8_t> never_;
    std::vector<std::vector<std::uint8_t>> log_;
    std::string problem_;
};

}  // namespace korvane::aspi
