#include "platform/aspi/sg_device.h"

#include <cerrno>

namespace korvane::aspi {
namespace {

// Linux host (DID_*) and driver (DRIVER_*) codes of the sg interface.
constexpr std::uint16_t kDidOk = 0x00, kDidNoConnect = 0x01, kDidBusBusy = 0x02, kDidTimeOut = 0x03,
                        kDidBadTarget = 0x04, kDidAbort = 0x05, kDidReset = 0x08;
constexpr std::uint16_t kDriverTimeout = 0x06, kDriverMask = 0x0F;

std::uint8_t HostToHaStat(std::uint16_t host) noexcept {
    switch (host) {
    case kDidOk: return HASTAT_OK;
    case kDidNoConnect:
    case kDidBadTarget: return HASTAT_SEL_TO;
    case kDidTimeOut: return HASTAT_COMMAND_TIMEOUT;
    case kDidReset: return HASTAT_BUS_RESET;
    case kDidBusBusy: return HASTAT_BUS_FREE;
    default: return HASTAT_PHASE_ERR;
    }
}

}  // namespace

void ApplyOutcome(const ScsiOutcome& outcome, SRB_ExecSCSICmd& srb) noexcept {
    srb.SRB_HaStat = HASTAT_OK;
    srb.SRB_TargStat = STATUS_GOOD;
    SetSystemError(srb, outcome.systemError);
    if (outcome.systemError != 0) {
        srb.SRB_Status = (outcome.systemError == ENODEV || outcome.systemError == ENXIO) ? SS_NO_DEVICE : SS_ERR;
        return;
    }
    if (outcome.hostStatus != kDidOk) {
        srb.SRB_HaStat = HostToHaStat(outcome.hostStatus);
        srb.SRB_Status = (outcome.hostStatus == kDidAbort) ? SS_ABORTED
                         : (outcome.hostStatus == kDidNoConnect || outcome.hostStatus == kDidBadTarget)
                             ? SS_NO_DEVICE
                             : SS_ERR;
        return;
    }
    srb.SRB_TargStat = outcome.scsiStatus;
    if (outcome.scsiStatus == STATUS_CHKCOND) {
        std::size_t room = srb.SRB_SenseLen;
        if (room > sizeof srb.SenseArea) room = sizeof srb.SenseArea;
        scsi::NormaliseSense(outcome.sense, std::span<std::uint8_t>(srb.SenseArea, room));
        srb.SRB_Status = SS_ERR;
        return;
    }
    if (outcome.scsiStatus != STATUS_GOOD) {
        srb.SRB_Status = SS_ERR;
        return;
    }
    if ((outcome.driverStatus & kDriverMask) == kDriverTimeout) {
        srb.SRB_HaStat = HASTAT_COMMAND_TIMEOUT;
        srb.SRB_Status = SS_ERR;
        return;
    }
    const std::uint8_t opcode = srb.CDBByte[0];
    const std::size_t residual = outcome.residual > 0 ? static_cast<std::size_t>(outcome.residual) : 0;
    SetResidual(srb, srb.SRB_BufLen > residual ? srb.SRB_BufLen - residual : 0);
    if ((opcode == scsi::kReadCd || opcode == scsi::kVendorReadAudio) && outcome.residual != 0) {
        // A short audio read would leave stale bytes in the caller's buffer.
        srb.SRB_HaStat = HASTAT_DO_DU;
        srb.SRB_Status = SS_ERR;
        return;
    }
    srb.SRB_Status = SS_COMP;
}

SgDevice::SgDevice(std::unique_ptr<ScsiTransport> transport, std::string source, std::uint8_t deviceType)
    : transport_(std::move(transport)), source_(std::move(source)), deviceType_(deviceType) {}

Completion SgDevice::Execute(SRB_ExecSCSICmd& srb) {
    ScsiRequest request;
    request.cdb = std::span<const std::uint8_t>(srb.CDBByte, srb.SRB_CDBLen);
    request.data = DataBuffer(srb);
    request.direction = (srb.SRB_Flags & SRB_DIR_OUT) ? DataDirection::ToDevice
                        : request.data.empty()         ? DataDirection::None
                                                       : DataDirection::FromDevice;
    ApplyOutcome(transport_->Execute(request), srb);
    return Completion::Done;
}

}  // namespace korvane::aspi
