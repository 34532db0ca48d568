#pragma once
// A SCSI execute request for the aspi tests: the block over its own data buffer, which
// starts filled with 0xEE so that bytes a device did not write show.
#include "platform/aspi/aspi.h"
#include "platform/aspi/scsi.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace korvane::aspi {

inline const std::vector<std::uint8_t> kReadTocLba{0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0};

struct Request {
    std::vector<std::uint8_t> buffer;
    SRB_ExecSCSICmd srb{};

    // `cdb` for (ha, target, LUN 0) into `size` bytes; `event`, when given, is signalled
    // when the request completes.
    Request(std::size_t size, const std::vector<std::uint8_t>& cdb, std::uint8_t ha = 0, std::uint8_t target = 0,
            void* event = nullptr)
        : buffer(size, 0xEE) {
        srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        srb.SRB_HaId = ha;
        srb.SRB_Target = target;
        srb.SRB_Flags = static_cast<std::uint8_t>(event ? SRB_DIR_IN | SRB_EVENT_NOTIFY : SRB_DIR_IN);
        srb.SRB_BufLen = static_cast<std::uint32_t>(buffer.size());
        srb.SRB_BufPointer = buffer.data();
        srb.SRB_SenseLen = SENSE_LEN;
        srb.SRB_CDBLen = static_cast<std::uint8_t>(cdb.size());
        std::copy(cdb.begin(), cdb.end(), srb.CDBByte);
        srb.SRB_PostProc = event;
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    scsi::Sense Sense() const { return scsi::ParseSense(std::span(srb.SenseArea, SENSE_LEN)); }
};

}  // namespace korvane::aspi
