#pragma once
// The ASPI for Win32 interface: request blocks, commands, flags and status values, and
// the two entry points of the manager module "WNASPI32.DLL".
//
// Our manager (this folder, built as the module WNASPI32.DLL) implements this interface
// over Linux SG_IO and over virtual drives that serve disc images; the CD layer binds to
// whatever module of that name it finds, through the two entry points alone.
//
// Structures are plain data shared between the caller and the manager. Field names are
// the interface's own.
#include <cstdint>

namespace korvane::aspi {

// Commands (SRB_Cmd).
inline constexpr std::uint8_t SC_HA_INQUIRY = 0x00;
inline constexpr std::uint8_t SC_GET_DEV_TYPE = 0x01;
inline constexpr std::uint8_t SC_EXEC_SCSI_CMD = 0x02;
inline constexpr std::uint8_t SC_ABORT_SRB = 0x03;

// Flags (SRB_Flags).
inline constexpr std::uint8_t SRB_POSTING = 0x01;       // SRB_PostProc is a callback
inline constexpr std::uint8_t SRB_ENABLE_RESIDUAL_COUNT = 0x04;
inline constexpr std::uint8_t SRB_DIR_IN = 0x08;        // data from the device
inline constexpr std::uint8_t SRB_DIR_OUT = 0x10;       // data to the device
inline constexpr std::uint8_t SRB_EVENT_NOTIFY = 0x40;  // SRB_PostProc is an event

// Status values (SRB_Status and return values).
inline constexpr std::uint8_t SS_PENDING = 0x00;
inline constexpr std::uint8_t SS_COMP = 0x01;
inline constexpr std::uint8_t SS_ABORTED = 0x02;
inline constexpr std::uint8_t SS_ABORT_FAIL = 0x03;
inline constexpr std::uint8_t SS_ERR = 0x04;
inline constexpr std::uint8_t SS_INVALID_CMD = 0x80;
inline constexpr std::uint8_t SS_INVALID_HA = 0x81;
inline constexpr std::uint8_t SS_NO_DEVICE = 0x82;
inline constexpr std::uint8_t SS_INVALID_SRB = 0xE0;
inline constexpr std::uint8_t SS_BUFFER_TO_BIG = 0xE6;
inline constexpr std::uint8_t SS_NO_ADAPTERS = 0xE8;

// Host adapter status (SRB_HaStat).
inline constexpr std::uint8_t HASTAT_OK = 0x00;
inline constexpr std::uint8_t HASTAT_SEL_TO = 0x11;       // selection time-out
inline constexpr std::uint8_t HASTAT_DO_DU = 0x12;        // data over/underrun
inline constexpr std::uint8_t HASTAT_BUS_FREE = 0x13;
inline constexpr std::uint8_t HASTAT_PHASE_ERR = 0x14;
inline constexpr std::uint8_t HASTAT_TIMEOUT = 0x09;
inline constexpr std::uint8_t HASTAT_COMMAND_TIMEOUT = 0x0B;
inline constexpr std::uint8_t HASTAT_BUS_RESET = 0x0E;

// Target status (SRB_TargStat).
inline constexpr std::uint8_t STATUS_GOOD = 0x00;
inline constexpr std::uint8_t STATUS_CHKCOND = 0x02;
inline constexpr std::uint8_t STATUS_BUSY = 0x08;

// Device types (SRB_DeviceType, INQUIRY byte 0).
inline constexpr std::uint8_t DTYPE_DASD = 0x00;
inline constexpr std::uint8_t DTYPE_CDROM = 0x05;
inline constexpr std::uint8_t DTYPE_UNKNOWN = 0x1F;

inline constexpr std::uint8_t SENSE_LEN = 14;

struct SRB_Header {
    std::uint8_t SRB_Cmd;
    std::uint8_t SRB_Status;
    std::uint8_t SRB_HaId;
    std::uint8_t SRB_Flags;
    std::uint32_t SRB_Hdr_Rsvd;
};

struct SRB_HAInquiry {
    std::uint8_t SRB_Cmd;
    std::uint8_t SRB_Status;
    std::uint8_t SRB_HaId;
    std::uint8_t SRB_Flags;
    std::uint32_t SRB_Hdr_Rsvd;
    std::uint8_t HA_Count;
    std::uint8_t HA_SCSI_ID;
    char HA_ManagerId[16];
    char HA_Identifier[16];
    std::uint8_t HA_Unique[16];
    std::uint16_t HA_Rsvd1;
};

struct SRB_GDEVBlock {
    std::uint8_t SRB_Cmd;
    std::uint8_t SRB_Status;
    std::uint8_t SRB_HaId;
    std::uint8_t SRB_Flags;
    std::uint32_t SRB_Hdr_Rsvd;
    std::uint8_t SRB_Target;
    std::uint8_t SRB_Lun;
    std::uint8_t SRB_DeviceType;
    std::uint8_t SRB_Rsvd1;
};

struct SRB_ExecSCSICmd {
    std::uint8_t SRB_Cmd;
    std::uint8_t SRB_Status;
    std::uint8_t SRB_HaId;
    std::uint8_t SRB_Flags;
    std::uint32_t SRB_Hdr_Rsvd;
    std::uint8_t SRB_Target;
    std::uint8_t SRB_Lun;
    std::uint16_t SRB_Rsvd1;
    std::uint32_t SRB_BufLen;
    std::uint8_t* SRB_BufPointer;
    std::uint8_t SRB_SenseLen;
    std::uint8_t SRB_CDBLen;
    std::uint8_t SRB_HaStat;
    std::uint8_t SRB_TargStat;
    // With SRB_EVENT_NOTIFY: a korvane::platform::Event* that the manager sets when the
    // request completes. With SRB_POSTING: a void(*)(SRB_ExecSCSICmd*) callback.
    void* SRB_PostProc;
    std::uint8_t SRB_Rsvd2[20];
    std::uint8_t CDBByte[16];
    std::uint8_t SenseArea[SENSE_LEN + 2];
};

struct SRB_Abort {
    std::uint8_t SRB_Cmd;
    std::uint8_t SRB_Status;
    std::uint8_t SRB_HaId;
    std::uint8_t SRB_Flags;
    std::uint32_t SRB_Hdr_Rsvd;
    void* SRB_ToAbort;
};

// Extensions of our own manager inside the request block (other managers leave these
// bytes as the caller set them, zero):
// - when the operating system refused a command before it reached the drive (the SG_IO
//   ioctl failed, e.g. EPERM from the kernel's command filter), its errno is kept in
//   SRB_Rsvd2[0..3], little-endian;
// - with SRB_ENABLE_RESIDUAL_COUNT, SRB_BufLen holds on completion the number of bytes
//   the device did not transfer (the interface's own residual rule).
inline void SetSystemError(SRB_ExecSCSICmd& srb, int error) noexcept {
    const auto value = static_cast<std::uint32_t>(error);
    for (int i = 0; i < 4; ++i) srb.SRB_Rsvd2[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline int SystemError(const SRB_ExecSCSICmd& srb) noexcept {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= std::uint32_t{srb.SRB_Rsvd2[i]} << (8 * i);
    return static_cast<int>(value);
}

// The manager's entry points, as looked up by name in the module.
using GetASPI32SupportInfoFn = std::uint32_t();
using SendASPI32CommandFn = std::uint32_t(void* srb);
inline constexpr const char* kManagerModuleName = "WNASPI32.DLL";
inline constexpr const char* kGetSupportInfoName = "GetASPI32SupportInfo";
inline constexpr const char* kSendCommandName = "SendASPI32Command";

// Extensions of our own manager (absent from other managers; callers look them up
// optionally). A description of every device in the address space, for the
// "Enum\SCSI" registry tree, and problems met while looking for drives.
struct KorvaneAspiDevice {
    std::uint8_t adapter;
    std::uint8_t target;
    std::uint8_t lun;
    std::uint8_t deviceType;
    char vendor[9];     // INQUIRY bytes 8-15, zero-terminated, untrimmed
    char product[17];   // INQUIRY bytes 16-31
    char revision[5];   // INQUIRY bytes 32-35
    char letter;        // 'D', 'E', ... in address order
    char source[256];   // "/dev/sr0", the cue file, or "demo"
    char problem[256];  // why the drive cannot serve a disc (an unusable image), or empty
};
// Fills up to `capacity` records; returns the number of devices (may exceed capacity).
using KorvaneAspiDescribeDevicesFn = std::uint32_t(KorvaneAspiDevice* out, std::uint32_t capacity);
// Copies the problem report (lines of text, zero-terminated, truncated to `size`);
// returns the length of the whole report.
using KorvaneAspiDiagnosticsFn = std::uint32_t(char* buffer, std::uint32_t size);
inline constexpr const char* kDescribeDevicesName = "KorvaneAspiDescribeDevices";
inline constexpr const char* kDiagnosticsName = "KorvaneAspiDiagnostics";

}  // namespace korvane::aspi
