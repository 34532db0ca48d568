#pragma once
// One device in the manager's address space: a real drive behind SG_IO or a virtual
// drive serving a disc image. Both fill the same request block, so callers cannot tell
// them apart.
#include "platform/aspi/aspi.h"
#include "platform/aspi/scsi.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace korvane::aspi {

enum class Completion {
    Done,   // the status fields are final; the manager signals the caller
    Never,  // the request stays pending for ever (fault injection); the block is not touched again
};

class Device {
public:
    virtual ~Device() = default;
    virtual std::uint8_t DeviceType() const noexcept = 0;
    // Where the device comes from: "/dev/sr0", a cue file path, "demo".
    virtual std::string Source() const = 0;
    // Why the device cannot serve a disc at all (an unusable disc image), or empty.
    virtual std::string Problem() const { return {}; }
    // True when Execute never waits for hardware (it answers from memory or a local
    // file): the manager then runs requests on the sender's thread.
    virtual bool AnswersAtOnce() const noexcept { return false; }
    // Runs the request's CDB against the device. Called on the manager's worker thread
    // (the sender's when AnswersAtOnce), one request at a time per manager; the block
    // and its buffer stay valid until this returns. Sets SRB_Status (SS_COMP or a failure), SRB_HaStat, SRB_TargStat and, on
    // CHECK CONDITION, the sense area.
    virtual Completion Execute(SRB_ExecSCSICmd& srb) = 0;
};

// The data buffer of a request, bounded by SRB_BufLen.
inline std::span<std::uint8_t> DataBuffer(SRB_ExecSCSICmd& srb) noexcept {
    if (srb.SRB_BufPointer == nullptr) return {};
    return {srb.SRB_BufPointer, srb.SRB_BufLen};
}

// With SRB_ENABLE_RESIDUAL_COUNT, reports how many of the SRB_BufLen bytes were not
// transferred.
inline void SetResidual(SRB_ExecSCSICmd& srb, std::size_t transferred) noexcept {
    if ((srb.SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) == 0) return;
    srb.SRB_BufLen = transferred >= srb.SRB_BufLen ? 0 : static_cast<std::uint32_t>(srb.SRB_BufLen - transferred);
}

inline void CompleteGood(SRB_ExecSCSICmd& srb) noexcept {
    srb.SRB_HaStat = HASTAT_OK;
    srb.SRB_TargStat = STATUS_GOOD;
    srb.SRB_Status = SS_COMP;
}

// CHECK CONDITION with fixed-format sense copied into the sense area (up to
// SRB_SenseLen bytes, and never more than the area holds).
inline void CompleteCheckCondition(SRB_ExecSCSICmd& srb, const scsi::Sense& sense) noexcept {
    const auto data = scsi::FixedSense(sense);
    std::size_t n = srb.SRB_SenseLen;
    if (n > sizeof srb.SenseArea) n = sizeof srb.SenseArea;
    if (n > data.size()) n = data.size();
    for (std::size_t i = 0; i < n; ++i) srb.SenseArea[i] = data[i];
    srb.SRB_HaStat = HASTAT_OK;
    srb.SRB_TargStat = STATUS_CHKCOND;
    srb.SRB_Status = SS_ERR;
}

}  // namespace korvane::aspi
