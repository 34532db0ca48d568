#pragma once
// CDReader: the CD layer's single object. It binds to the ASPI manager module
// "WNASPI32.DLL" by name at run time, executes one SCSI request at a time (with the
// retry prompt "Device not responding. Try again?" unless the quiet flag is set), finds
// the CD-ROM drives, reads the table of contents and raw audio sectors.
//
// Thread contract: one thread (the UI thread) uses a CDReader; every call blocks that
// thread until the drive has answered (at most requestTimeoutMs per request, plus the
// time the user takes to answer a retry prompt). The public data members are the
// state that the discovery, track-list and track-reading code share, read and written
// directly on that thread.
#include "cdda/toc.h"
#include "platform/aspi/aspi.h"
#include "platform/aspi/scsi.h"
#include "regions/chained_list.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace korvane::platform {
class Event;
class RegistryStore;
}

namespace korvane::cdda {

// The exception of the CD layer, thrown by value.
//   code 1: the manager could not be loaded or lacks an entry point (detail 0);
//   code 2: a request ended without success (detail: its final SRB_Status), or the
//           drive registry key "Enum\SCSI" could not be opened (detail 0).
// For a failed request the rest says why, as far as the drive and the system told:
// DescribeFailure (failure_text.h) turns it into plain words.
struct CDReaderException {
    CDReaderException(std::int32_t code, std::int32_t detail) : code(code), detail(detail) {}
    std::int32_t code;
    std::int32_t detail;
    aspi::scsi::Sense sense{};      // key/ASC/ASCQ of CHECK CONDITION; zero without
    std::int32_t systemError = 0;   // errno of a command the system refused (EPERM)
    std::uint8_t hostStatus = 0;    // SRB_HaStat (HASTAT_DO_DU: a short transfer)
    std::uint8_t opcode = 0;        // the command that failed
    std::int64_t sector = -1;       // the sector a read failed at, when known
    std::int64_t trackStart = -1;   // start of the track being read, when known
    std::string device;             // where the drive comes from ("/dev/sr0"), when known
    std::string problem;            // the drive's own report (an unusable disc image)
    std::string registryError;      // detail 0: why the registry could not be read, when known
    bool offeredRetry = false;      // the user saw it in the retry prompt and cancelled
};
inline constexpr std::int32_t kManagerNotBound = 1;
inline constexpr std::int32_t kRequestFailed = 2;

// One CD-ROM device found by ScanDrives. The strings are the INQUIRY fields as the
// drive delivers them, up to the first zero byte, trailing blanks kept.
struct CDDrive {
    std::string vendor;    // INQUIRY bytes 8-15
    std::string product;   // bytes 16-31
    std::string revision;  // bytes 32-35
    std::int32_t adapter = 0;
    std::int32_t target = 0;
    std::int32_t lun = 0;
    char letter = 0;  // upper-case drive letter, 0 when none was found
    std::string source;   // "/dev/sr0", a cue file, "demo" (our manager only)
    std::string problem;  // why the drive cannot serve a disc (our manager only), or empty
};

// Which raw read command a drive answers; decided per drive by the first read.
enum class ReadCommand { Untried, ReadCd, Vendor };

struct DriveAddress {
    std::int32_t adapter = 0;
    std::int32_t target = 0;
    std::int32_t lun = 0;
};

inline constexpr std::uint32_t kRequestTimeoutMs = 600'000;
// How often a cancellable wait for a request looks at its cancel flag.
inline constexpr std::uint32_t kWaitSliceMs = 100;

// The manager's entry points, for a CDReader bound to a manager already in the process
// (tests, or a host that loaded the module itself). The two optional extensions of our
// own manager may be null.
struct ManagerEntryPoints {
    aspi::GetASPI32SupportInfoFn* getSupportInfo = nullptr;
    aspi::SendASPI32CommandFn* sendCommand = nullptr;
    aspi::KorvaneAspiDescribeDevicesFn* describeDevices = nullptr;
    aspi::KorvaneAspiDiagnosticsFn* diagnostics = nullptr;
};

class CDReader {
public:
    struct Options {
        // Folders searched for "WNASPI32.DLL", in order. Empty: the executable's folder,
        // then the machine's system folder.
        std::vector<std::filesystem::path> managerSearchDirs;
        // The registry that holds "Enum\SCSI". Null: the machine's registry.
        std::shared_ptr<platform::RegistryStore> registry;
    };

    // Binds to the manager; throws CDReaderException {1, 0} when it is missing or lacks
    // GetASPI32SupportInfo or SendASPI32Command.
    CDReader();
    explicit CDReader(Options options);
    // Binds to entry points already in the process; throws {1, 0} when one is null.
    CDReader(ManagerEntryPoints entryPoints, Options options);
    ~CDReader();
    CDReader(const CDReader&) = delete;
    CDReader& operator=(const CDReader&) = delete;

    // Executes a filled SRB_ExecSCSICmd (SRB_PostProc is set here). Returns only when its
    // final status is SS_COMP; otherwise throws CDReaderException {2, status, sense...}.
    // A drive that is becoming ready (NOT READY 02/04/01) is polled with TEST UNIT READY
    // for up to readyTimeoutMs and the request sent again; a unit attention (06/xx/xx)
    // sends it again once. A failed request is then sent again `retries` times and, unless
    // `quiet` is set, offered for retry through the message box, whose text is followed
    // by the failure in plain words; Retry sends the identical block again. A drive whose
    // disc image cannot be used fails at once. A request still pending after
    // requestTimeoutMs is withdrawn from the manager (SC_ABORT_SRB) and counts as failed
    // with its pending status, so the manager never writes into the block after this
    // returns. When the manager reports residual counts, an audio read or a table of
    // contents that arrives short fails (HASTAT_DO_DU) instead of being accepted.
    void ExecuteSRB(aspi::SRB_ExecSCSICmd& request);

    // Finds every CD-ROM device (adapters from GetASPI32SupportInfo, targets 0-14, LUNs
    // 0-7), identifies it by INQUIRY and its drive letter, and makes `drives` that list
    // (a new scan replaces the previous list). Throws CDReaderException from INQUIRY or
    // from the registry lookup; the list is then empty.
    void ScanDrives();

    // The letter of the drive whose registry entry under HKLM "Enum\SCSI" matches
    // vendor, product, revision, target and LUN (adapter takes no part), upper-cased;
    // 0 when none matches. Throws {2, 0} when "Enum\SCSI" cannot be opened. A value that
    // cannot be read counts as absent (never as some earlier value).
    // An entry whose letter is in `taken` (given to an earlier drive of the same scan) is
    // passed over, so identical drives on different adapters get letters of their own.
    char FindDriveLetter(const CDDrive& drive, const std::string& product, const std::string& revision,
                         std::int32_t target, std::int32_t lun, std::string_view taken = {});

    // Copies the drive's address into `selected`.
    void SelectDrive(const CDDrive& drive) noexcept;

    // Zeroes `toc` and fills it with READ TOC (format 0, LBA) from the selected drive;
    // then asks the drive for its session information (format 1) into `sessions`,
    // quietly: a drive that does not answer it is taken to hold one session.
    void ReadTOC();

    // Reads `sectorCount` raw audio sectors at `lba` into `buffer` (at least
    // sectorCount * 2352 bytes) with the read command chosen for the selected drive.
    // The first read of a drive chooses: READ CD, quietly; when it fails in a way that
    // may mean the drive does not know it (not for NOT READY, no disc, unit attention or
    // a MEDIUM ERROR, which are about the disc, not the command), the vendor command
    // 0xD8, quietly; when that is refused or fails too, READ CD again through the retry
    // prompt. A failed read forgets the drive's choice, so the next read probes again.
    void ReadSectors(std::uint32_t lba, std::span<std::uint8_t> buffer, std::uint32_t sectorCount);
    ReadCommand ReadCommandFor(const DriveAddress& drive) const;

    // Problems our manager met while looking for drives (e.g. a device node without
    // permission, naming the group to join), one line each; empty for other managers.
    // After a scan, also a registry that could not be written (its tree kept in memory).
    std::vector<std::string> ManagerDiagnostics() const;

    // Shared state (UI thread only).
    TocBuffer toc{};
    SessionInfo sessions{};             // from the last ReadTOC
    DriveAddress selected;
    bool quiet = false;                 // while set, failed requests are not offered for retry
    ChainedList<CDDrive> drives;        // the Drive box, line i = record i
    std::int32_t hostAdapterCount = 0;  // from the last scan
    std::uint32_t requestTimeoutMs = kRequestTimeoutMs;
    std::int32_t retries = 0;                 // failed requests sent again before the prompt
    std::uint32_t readyTimeoutMs = 30'000;    // longest wait for a drive becoming ready
    std::uint32_t readyPollMs = 250;          // TEST UNIT READY interval while waiting
    // true when a wait for a drive becoming ready begins and again at every poll while it
    // lasts (so a caller can keep its window alive and notice Cancel), false once when it ends
    std::function<void(bool waiting)> onDriveWait;
    // When set, a wait for the drive ends early: a pending request is taken back as on
    // time-out and fails without retry or prompt (Ctrl+C, the progress dialog's Cancel).
    const std::atomic<bool>* cancel = nullptr;
    // Called about every kWaitSliceMs while a request is pending (the GUI keeps its
    // progress dialog's Cancel button working there).
    std::function<void()> whileWaiting;
    std::int64_t trackStart = -1;  // the track being read, so that failures name a position in it

private:
    void RefreshRegistryFromManager();
    bool SendRecovering(aspi::SRB_ExecSCSICmd& request);
    void Execute(aspi::SRB_ExecSCSICmd& request, bool firstAttemptFailed);
    bool WaitUntilReady(const aspi::SRB_ExecSCSICmd& request);
    bool Cancelled() const noexcept;
    bool AwaitCompletion(platform::Event& completed, aspi::SRB_ExecSCSICmd& request);
    CDReaderException Failure(const aspi::SRB_ExecSCSICmd& request) const;
    ReadCommand ProbeReadCommand(std::uint32_t lba, std::span<std::uint8_t> target, std::uint32_t sectorCount);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Sets the reader's quiet flag for one scope and restores what it was, however the
// scope is left.
class QuietScope {
public:
    QuietScope(CDReader& reader, bool quiet) : reader_(reader), saved_(reader.quiet) { reader.quiet = quiet; }
    ~QuietScope() { reader_.quiet = saved_; }
    QuietScope(const QuietScope&) = delete;
    QuietScope& operator=(const QuietScope&) = delete;

private:
    CDReader& reader_;
    bool saved_;
};

// The Drive box line of a drive: "%c:  %s %s" from letter, vendor and product. A drive
// without a letter gives an empty line (the zero character ends the text).
std::string FormatDriveLine(const CDDrive& drive);

// Command blocks the CD layer sends (pure).
aspi::SRB_ExecSCSICmd MakeExecRequest(const DriveAddress& address, std::span<std::uint8_t> buffer,
                                      std::span<const std::uint8_t> cdb) noexcept;
std::array<std::uint8_t, 6> InquiryCdb() noexcept;
std::array<std::uint8_t, 10> ReadTocCdb() noexcept;
std::array<std::uint8_t, 12> ReadCdCdb(std::uint32_t lba, std::uint32_t sectorCount) noexcept;
std::array<std::uint8_t, 12> VendorReadCdb(std::uint32_t lba, std::uint32_t sectorCount) noexcept;

}  // namespace korvane::cdda
