#pragma once
// A real drive: request blocks are run through a ScsiTransport and the kernel's answer
// is mapped onto the block's status bytes and sense area.
#include "platform/aspi/device.h"
#include "platform/aspi/transport.h"

#include <memory>
#include <string>

namespace korvane::aspi {

// Maps what the transport reported onto the block: SS_COMP only for a command that
// ran, with GOOD status, no host or driver error and, for the audio reads (0xBE, 0xD8),
// every requested byte transferred. CHECK CONDITION carries the sense data (descriptor
// format rewritten as fixed) into SenseArea, at most SRB_SenseLen bytes. Pure.
void ApplyOutcome(const ScsiOutcome& outcome, SRB_ExecSCSICmd& srb) noexcept;

class SgDevice final : public Device {
public:
    // `source` names the device node; `deviceType` comes from sysfs or INQUIRY.
    SgDevice(std::unique_ptr<ScsiTransport> transport, std::string source, std::uint8_t deviceType = DTYPE_CDROM);
    std::uint8_t DeviceType() const noexcept override { return deviceType_; }
    std::string Source() const override { return source_; }
    Completion Execute(SRB_ExecSCSICmd& srb) override;

private:
    std::unique_ptr<ScsiTransport> transport_;
    std::string source_;
    std::uint8_t deviceType_;
};

}  // namespace korvane::aspi
