#include "cdda/cd_reader.h"

#include "cdda/failure_text.h"
#include "cdda/scsi_enum.h"
#include "cdda/track_file.h"
#include "platform/modules/modules.h"
#include "platform/paths/paths.h"
#include "platform/registry/registry.h"
#include "platform/sync/sync.h"
#include "platform/ui/ui.h"
#include "resources/strings.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <thread>
#include <tuple>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace korvane::cdda {
namespace {

using namespace korvane::aspi;

constexpr std::size_t kRegistryBufferBytes = 1024;

std::string InquiryField(const std::uint8_t* data, std::size_t offset, std::size_t length) {
    // Copied into a zeroed 32-byte area and taken up to the first zero byte.
    char area[32] = {};
    std::memcpy(area, data + offset, length);
    return std::string(area, strnlen(area, sizeof area));
}

// A registry value as text: its bytes up to the first zero, at most 1,023 of them,
// whatever its type. nullopt when it is absent or cannot be read.
std::optional<std::string> ValueText(const platform::RegKey& key, std::string_view name) {
    std::optional<platform::RegValue> value;
    try {
        value = key.Query(name);
    } catch (const platform::RegistryError&) {
        return std::nullopt;
    }
    if (!value) return std::nullopt;
    std::string text(value->data.begin(), value->data.end());
    text.resize(std::min(strnlen(text.c_str(), text.size()), kRegistryBufferBytes - 1));
    return text;
}

}  // namespace

struct CDReader::Impl {
    std::optional<platform::Module> module;
    ManagerEntryPoints entry;
    std::shared_ptr<platform::RegistryStore> registry;
    std::map<std::tuple<int, int, int>, ReadCommand> readCommands;
    std::map<int, bool> residualSupport;  // per adapter, from SC_HA_INQUIRY
    std::vector<KorvaneAspiDevice> devices;  // from our manager's description
    std::vector<std::string> notes;          // our own diagnostics (a registry kept in memory)

    // Whether the adapter reports residual byte counts (HA_Unique byte 1, bit 1).
    bool ReportsResidual(std::uint8_t adapter) {
        auto it = residualSupport.find(adapter);
        if (it != residualSupport.end()) return it->second;
        SRB_HAInquiry inquiry{};
        inquiry.SRB_Cmd = SC_HA_INQUIRY;
        inquiry.SRB_HaId = adapter;
        const bool supported = entry.sendCommand(&inquiry) == SS_COMP && (inquiry.HA_Unique[1] & 0x02) != 0;
        return residualSupport[adapter] = supported;
    }

    platform::RegistryStore& Registry() {
        if (!registry) registry = platform::RegistryStore::OpenMachine();
        return *registry;
    }
};

CDReader::CDReader() : CDReader(Options{}) {}

CDReader::CDReader(Options options) : impl_(std::make_unique<Impl>()) {
    impl_->registry = std::move(options.registry);
    std::vector<std::filesystem::path> dirs = std::move(options.managerSearchDirs);
    if (dirs.empty()) {
        dirs = platform::ProgramModuleDirs();
        dirs.push_back(platform::MachineRoot::FromEnvironment().SystemDir());
    }
    impl_->module = platform::Module::LoadByName(kManagerModuleName, dirs);
    if (!impl_->module) throw CDReaderException{kManagerNotBound, 0};
    auto& m = *impl_->module;
    impl_->entry.getSupportInfo = m.Function<GetASPI32SupportInfoFn>(kGetSupportInfoName);
    impl_->entry.sendCommand = m.Function<SendASPI32CommandFn>(kSendCommandName);
    if (!impl_->entry.getSupportInfo || !impl_->entry.sendCommand) throw CDReaderException{kManagerNotBound, 0};
    impl_->entry.describeDevices = m.Function<KorvaneAspiDescribeDevicesFn>(kDescribeDevicesName);
    impl_->entry.diagnostics = m.Function<KorvaneAspiDiagnosticsFn>(kDiagnosticsName);
    quiet = false;
}

CDReader::CDReader(ManagerEntryPoints entryPoints, Options options) : impl_(std::make_unique<Impl>()) {
    if (!entryPoints.getSupportInfo || !entryPoints.sendCommand) throw CDReaderException{kManagerNotBound, 0};
    impl_->entry = entryPoints;
    impl_->registry = std::move(options.registry);
}

// Unloads the manager (impl_) and then frees the drive list.
CDReader::~CDReader() = default;

namespace {

bool IsAudioRead(std::uint8_t opcode) noexcept { return opcode == scsi::kReadCd || opcode == scsi::kVendorReadAudio; }

scsi::Sense SenseOf(const SRB_ExecSCSICmd& srb) noexcept {
    if (srb.SRB_TargStat != STATUS_CHKCOND) return {};
    return scsi::ParseSense(std::span<const std::uint8_t>(srb.SenseArea, std::min<std::size_t>(srb.SRB_SenseLen, sizeof srb.SenseArea)));
}

bool BecomingReady(const scsi::Sense& s) noexcept {
    return s.key == scsi::kSenseNotReady && s.asc == 0x04 && (s.ascq == 0x00 || s.ascq == 0x01 || s.ascq == 0x07);
}

// A request that completed but moved fewer bytes than it needed.
bool ArrivedShort(const SRB_ExecSCSICmd& srb, std::uint32_t bufferLength) noexcept {
    const std::uint32_t residual = srb.SRB_BufLen;
    if (residual == 0 || residual > bufferLength) return residual > bufferLength;
    if (IsAudioRead(srb.CDBByte[0])) return true;
    if (srb.CDBByte[0] == scsi::kReadToc && bufferLength >= 2) {
        // The table of contents must arrive as long as its own header says.
        const std::uint32_t needed = std::min<std::uint32_t>(bufferLength, scsi::BigEndian16(srb.SRB_BufPointer) + 2u);
        return bufferLength - residual < needed;
    }
    return false;
}

}  // namespace

// Sends the block once and waits for it (withdrawing it after requestTimeoutMs). Then
// rides out what passes by itself: a unit attention is answered by sending the block
// again once, a drive becoming ready is waited for. True when the request succeeded.
bool CDReader::SendRecovering(SRB_ExecSCSICmd& request) {
    const std::uint32_t bufferLength = request.SRB_BufLen;
    const bool residual = impl_->ReportsResidual(request.SRB_HaId);
    platform::Event completed(/*manualReset=*/true, /*initiallySignalled=*/false);
    auto sendOnce = [&] {
        completed.Reset();
        request.SRB_BufLen = bufferLength;
        if (residual) request.SRB_Flags |= SRB_ENABLE_RESIDUAL_COUNT;
        request.SRB_PostProc = &completed;
        SetSystemError(request, 0);
        const std::uint32_t sent = impl_->entry.sendCommand(&request);
        if (sent == SS_PENDING) AwaitCompletion(completed, request);
        request.SRB_PostProc = nullptr;
        if (request.SRB_Status == SS_COMP && residual && ArrivedShort(request, bufferLength)) {
            request.SRB_Status = SS_ERR;
            request.SRB_HaStat = HASTAT_DO_DU;
        }
        if (residual) request.SRB_BufLen = bufferLength;
        return request.SRB_Status == SS_COMP;
    };
    if (sendOnce()) return true;
    bool attentionSeen = false;
    for (;;) {
        if (Cancelled()) return false;
        const scsi::Sense sense = SenseOf(request);
        if (sense.key == scsi::kSenseUnitAttention && !attentionSeen) {
            attentionSeen = true;
        } else if (BecomingReady(sense)) {
            if (!WaitUntilReady(request)) return false;
        } else {
            return false;
        }
        if (sendOnce()) return true;
    }
}

// Polls TEST UNIT READY until the drive is ready (true), reports something else, the
// wait runs out or is cancelled (false; the request keeps its failure).
bool CDReader::WaitUntilReady(const SRB_ExecSCSICmd& request) {
    if (onDriveWait) onDriveWait(true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readyTimeoutMs);
    bool ready = false;
    platform::Event completed(/*manualReset=*/true, /*initiallySignalled=*/false);
    for (;;) {
        if (Cancelled()) break;
        const std::array<std::uint8_t, 6> tur{};
        auto probe = MakeExecRequest(DriveAddress{request.SRB_HaId, request.SRB_Target, request.SRB_Lun}, {}, tur);
        probe.SRB_PostProc = &completed;
        completed.Reset();
        if (impl_->entry.sendCommand(&probe) == SS_PENDING && !AwaitCompletion(completed, probe)) break;
        if (probe.SRB_Status == SS_COMP) {
            ready = true;
            break;
        }
        const scsi::Sense sense = SenseOf(probe);
        if (!BecomingReady(sense) && sense.key != scsi::kSenseUnitAttention) break;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(readyPollMs));
        if (onDriveWait) onDriveWait(true);
    }
    if (onDriveWait) onDriveWait(false);
    return ready;
}

bool CDReader::Cancelled() const noexcept { return cancel != nullptr && cancel->load(); }

// Waits for a queued request. Without a way to cancel, one wait of requestTimeoutMs;
// otherwise slices of kWaitSliceMs, calling whileWaiting between them, until the request
// completes, the time runs out or the wait is cancelled. A request that did not complete
// is taken back (SC_ABORT_SRB), so the manager cannot complete it into a block that is
// resent or gone; its status stays pending. True when it completed.
bool CDReader::AwaitCompletion(platform::Event& completed, SRB_ExecSCSICmd& request) {
    bool done = false;
    if (cancel == nullptr && !whileWaiting) {
        done = platform::WaitForSingleObject(completed, requestTimeoutMs) != platform::kWaitTimeout;
    } else {
        for (std::uint32_t waited = 0; !done && waited < requestTimeoutMs && !Cancelled(); waited += kWaitSliceMs) {
            done = platform::WaitForSingleObject(completed, std::min(kWaitSliceMs, requestTimeoutMs - waited)) !=
                   platform::kWaitTimeout;
            if (!done && whileWaiting) whileWaiting();
        }
    }
    if (!done) {
        SRB_Abort abort{};
        abort.SRB_Cmd = SC_ABORT_SRB;
        abort.SRB_HaId = request.SRB_HaId;
        abort.SRB_ToAbort = &request;
        impl_->entry.sendCommand(&abort);
    }
    return done;
}

CDReaderException CDReader::Failure(const SRB_ExecSCSICmd& request) const {
    CDReaderException e{kRequestFailed, request.SRB_Status};
    e.sense = SenseOf(request);
    e.systemError = SystemError(request);
    e.hostStatus = request.SRB_HaStat;
    e.opcode = request.CDBByte[0];
    e.trackStart = trackStart;
    if (IsAudioRead(e.opcode)) {
        std::uint32_t information = 0;
        const bool known = e.sense.key == scsi::kSenseMediumError &&
                           scsi::SenseInformation(std::span<const std::uint8_t>(request.SenseArea, std::min<std::size_t>(request.SRB_SenseLen, sizeof request.SenseArea)), information);
        e.sector = known ? information : scsi::BigEndian32(request.CDBByte + 2);
    }
    for (const auto& d : impl_->devices) {
        if (d.adapter == request.SRB_HaId && d.target == request.SRB_Target && d.lun == request.SRB_Lun) {
            e.device = d.source;
            e.problem = d.problem;
        }
    }
    return e;
}

void CDReader::ExecuteSRB(SRB_ExecSCSICmd& request) { Execute(request, false); }

void CDReader::Execute(SRB_ExecSCSICmd& request, bool firstAttemptFailed) {
    int retriesLeft = retries;
    bool succeeded = !firstAttemptFailed && SendRecovering(request);
    while (!succeeded) {
        if (Cancelled()) throw Failure(request);  // the user stopped the wait: no retry, no prompt
        if (retriesLeft > 0) {
            --retriesLeft;
        } else {
            CDReaderException failure = Failure(request);
            // An unusable disc image does not get better by trying again.
            const bool hopeless = failure.sense.asc == 0x30 && failure.sense.key == scsi::kSenseNotReady;
            if (quiet || hopeless) throw failure;
            const std::string text = std::string(resources::LoadAppString(resources::kIdsDeviceNotResponding)) + "\n\n" +
                                     DescribeFailure(failure);
            const int answer = platform::MessageBox(text, resources::kAppTitle,
                                                    platform::kMbRetryCancel | platform::kMbIconWarning);
            if (answer != platform::kIdRetry) {
                failure.offeredRetry = true;
                throw failure;
            }
        }
        succeeded = SendRecovering(request);
    }
}

SRB_ExecSCSICmd MakeExecRequest(const DriveAddress& address, std::span<std::uint8_t> buffer,
                                std::span<const std::uint8_t> cdb) noexcept {
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = static_cast<std::uint8_t>(address.adapter);
    srb.SRB_Target = static_cast<std::uint8_t>(address.target);
    srb.SRB_Lun = static_cast<std::uint8_t>(address.lun);
    srb.SRB_Flags = SRB_DIR_IN | SRB_EVENT_NOTIFY;
    srb.SRB_BufLen = static_cast<std::uint32_t>(buffer.size());
    srb.SRB_BufPointer = buffer.data();
    srb.SRB_SenseLen = SENSE_LEN;
    srb.SRB_CDBLen = static_cast<std::uint8_t>(std::min<std::size_t>(cdb.size(), sizeof srb.CDBByte));
    std::copy_n(cdb.begin(), srb.SRB_CDBLen, srb.CDBByte);
    return srb;
}

std::array<std::uint8_t, 6> InquiryCdb() noexcept { return {0x12, 0x00, 0x00, 0x00, 0x60, 0x00}; }

std::array<std::uint8_t, 10> ReadTocCdb() noexcept {
    return {0x43, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x24, 0x00};
}

std::array<std::uint8_t, 12> ReadCdCdb(std::uint32_t lba, std::uint32_t sectorCount) noexcept {
    return {0xBE,
            0x04,
            static_cast<std::uint8_t>(lba >> 24),
            static_cast<std::uint8_t>(lba >> 16),
            static_cast<std::uint8_t>(lba >> 8),
            static_cast<std::uint8_t>(lba),
            static_cast<std::uint8_t>(sectorCount >> 16),
            static_cast<std::uint8_t>(sectorCount >> 8),
            static_cast<std::uint8_t>(sectorCount),
            0xF0,
            0x00,
            0x00};
}

std::array<std::uint8_t, 12> VendorReadCdb(std::uint32_t lba, std::uint32_t sectorCount) noexcept {
    return {0xD8,
            0x00,
            static_cast<std::uint8_t>(lba >> 24),
            static_cast<std::uint8_t>(lba >> 16),
            static_cast<std::uint8_t>(lba >> 8),
            static_cast<std::uint8_t>(lba),
            static_cast<std::uint8_t>(sectorCount >> 24),
            static_cast<std::uint8_t>(sectorCount >> 16),
            static_cast<std::uint8_t>(sectorCount >> 8),
            static_cast<std::uint8_t>(sectorCount),
            0x00,
            0x00};
}

void CDReader::RefreshRegistryFromManager() {
    if (!impl_->entry.describeDevices) return;  // another manager: the system keeps the tree
    const std::uint32_t count = impl_->entry.describeDevices(nullptr, 0);
    std::vector<KorvaneAspiDevice> devices(count);
    const std::uint32_t filled = impl_->entry.describeDevices(devices.data(), count);
    devices.resize(std::min(count, filled));
    impl_->devices = devices;
    try {
        SynthesizeScsiEnum(impl_->Registry(), devices);
    } catch (const platform::RegistryError& e) {
        // A registry that cannot be written (read-only machine root, full disk, damaged
        // file) must not keep the user from reading a CD: the tree is kept in memory for
        // this run, and the reason is said once among the diagnostics.
        impl_->registry = platform::RegistryStore::Open(":memory:");
        SynthesizeScsiEnum(*impl_->registry, devices);
        impl_->notes.push_back(std::string(e.what()) + "; the drive letters are kept in memory for this run");
    }
}

void CDReader::ScanDrives() {
    drives.Clear();
    try {
        RefreshRegistryFromManager();
        ChainedList<CDDrive> found;
        std::string taken;  // letters given in this scan
        hostAdapterCount = static_cast<std::int32_t>(impl_->entry.getSupportInfo() & 0xFF);
        for (std::int32_t a = 0; a < hostAdapterCount; ++a) {
            for (std::int32_t t = 0; t < 15; ++t) {
                for (std::int32_t l = 0; l < 8; ++l) {
                    SRB_GDEVBlock type{};
                    type.SRB_Cmd = SC_GET_DEV_TYPE;
                    type.SRB_HaId = static_cast<std::uint8_t>(a);
                    type.SRB_Target = static_cast<std::uint8_t>(t);
                    type.SRB_Lun = static_cast<std::uint8_t>(l);
                    impl_->entry.sendCommand(&type);
                    if (type.SRB_Status != SS_COMP || type.SRB_DeviceType != DTYPE_CDROM) continue;

                    std::array<std::uint8_t, 96> inquiry{};
                    const auto cdb = InquiryCdb();
                    auto request = MakeExecRequest(DriveAddress{a, t, l}, inquiry, cdb);
                    ExecuteSRB(request);

                    auto drive = std::make_unique<CDDrive>();
                    drive->vendor = InquiryField(inquiry.data(), 8, 8);
                    drive->product = InquiryField(inquiry.data(), 16, 16);
                    drive->revision = InquiryField(inquiry.data(), 32, 4);
                    drive->adapter = a;
                    drive->target = t;
                    drive->lun = l;
                    drive->letter = FindDriveLetter(*drive, drive->product, drive->revision, t, l, taken);
                    if (drive->letter != 0) taken += drive->letter;
                    for (const auto& d : impl_->devices) {
                        if (d.adapter == a && d.target == t && d.lun == l) {
                            drive->source = d.source;
                            drive->problem = d.problem;
                        }
                    }
                    found.Append(std::move(drive));
                }
            }
        }
        drives = std::move(found);
    } catch (...) {
        drives.Clear();
        throw;
    }
}

char CDReader::FindDriveLetter(const CDDrive& drive, const std::string& product, const std::string& revision,
                               std::int32_t target, std::int32_t lun, std::string_view taken) {
    using platform::RootKey;
    std::optional<platform::RegKey> root;
    try {
        root = impl_->Registry().OpenKey(RootKey::LocalMachine, kScsiEnumKey);
    } catch (const platform::RegistryError& e) {
        CDReaderException failure{kRequestFailed, 0};
        failure.registryError = e.what();
        throw failure;
    }
    if (!root) throw CDReaderException{kRequestFailed, 0};

    auto truncated = [](std::string name) {
        if (name.size() > kRegistryBufferBytes - 1) name.resize(kRegistryBufferBytes - 1);
        return name;
    };
    std::vector<std::string> models;
    try {
        models = root->Subkeys();
    } catch (const platform::RegistryError&) {
        return 0;
    }
    const std::string wanted[5] = {drive.vendor, product, revision, std::to_string(target), std::to_string(lun)};
    static constexpr const char* kNames[5] = {"Manufacturer", "ProductId", "RevisionLevel", "SCSITargetID", "SCSILUN"};
    for (const std::string& model : models) {
        const std::string modelPath = root->Path() + "\\" + truncated(model);
        std::vector<std::string> instances;
        try {
            auto modelKey = impl_->Registry().OpenKey(RootKey::LocalMachine, modelPath);
            if (!modelKey) continue;
            instances = modelKey->Subkeys();
        } catch (const platform::RegistryError&) {
            continue;
        }
        for (const std::string& instance : instances) {
            std::optional<platform::RegKey> key;
            try {
                key = impl_->Registry().OpenKey(RootKey::LocalMachine, modelPath + "\\" + truncated(instance));
            } catch (const platform::RegistryError&) {
                continue;
            }
            if (!key) continue;
            bool matches = true;
            for (int i = 0; i < 5 && matches; ++i) {
                const auto value = ValueText(*key, kNames[i]);
                matches = value && *value == wanted[i];
            }
            if (!matches) continue;
            const auto letter = ValueText(*key, "CurrentDriveLetterAssignment");
            const char first = letter && !letter->empty() ? (*letter)[0] : 0;
            const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(first)));
            if (first != 0 && taken.find(upper) != std::string_view::npos) continue;  // another drive's
            if (first != 0) return upper;
            break;  // matched without a letter: go on with the next model key
        }
    }
    return 0;
}

void CDReader::SelectDrive(const CDDrive& drive) noexcept {
    selected = DriveAddress{drive.adapter, drive.target, drive.lun};
}

void CDReader::ReadTOC() {
    toc.fill(0);
    sessions = SessionInfo{};
    const auto cdb = ReadTocCdb();
    auto request = MakeExecRequest(selected, toc, cdb);
    ExecuteSRB(request);
    std::array<std::uint8_t, 12> info{};
    const std::array<std::uint8_t, 10> sessionCdb{scsi::kReadToc, 0x00, 0x01, 0, 0, 0, 0, 0x00, 0x0C, 0};
    auto sessionRequest = MakeExecRequest(selected, info, sessionCdb);
    if (SendRecovering(sessionRequest)) sessions = ParseSessionInfo(info.data());
}

ReadCommand CDReader::ReadCommandFor(const DriveAddress& drive) const {
    const auto it = impl_->readCommands.find({drive.adapter, drive.target, drive.lun});
    return it == impl_->readCommands.end() ? ReadCommand::Untried : it->second;
}

void CDReader::ReadSectors(std::uint32_t lba, std::span<std::uint8_t> buffer, std::uint32_t sectorCount) {
    const std::size_t bytes = std::size_t{sectorCount} * kBytesPerSector;
    if (buffer.size() < bytes) throw std::length_error("ReadSectors: buffer smaller than the sectors asked for");
    const auto target = buffer.first(bytes);
    ReadCommand& choice = impl_->readCommands[{selected.adapter, selected.target, selected.lun}];
    try {
        if (choice == ReadCommand::Untried) {
            choice = ProbeReadCommand(lba, target, sectorCount);
            return;
        }
        const auto cdb = choice == ReadCommand::ReadCd ? ReadCdCdb(lba, sectorCount) : VendorReadCdb(lba, sectorCount);
        auto request = MakeExecRequest(selected, target, cdb);
        ExecuteSRB(request);
    } catch (...) {
        choice = ReadCommand::Untried;  // the next read (the next Read Track) probes again
        throw;
    }
}

ReadCommand CDReader::ProbeReadCommand(std::uint32_t lba, std::span<std::uint8_t> target, std::uint32_t sectorCount) {
    const auto readCd = ReadCdCdb(lba, sectorCount);
    auto request = MakeExecRequest(selected, target, readCd);
    if (SendRecovering(request)) return ReadCommand::ReadCd;
    const scsi::Sense sense = SenseOf(request);
    // Conditions of the disc or the drive, not of the command: the read itself failed.
    const bool aboutTheDisc = sense.key == scsi::kSenseMediumError || sense.key == scsi::kSenseNotReady ||
                              sense.key == scsi::kSenseUnitAttention;
    if (aboutTheDisc) {
        Execute(request, /*firstAttemptFailed=*/true);
        return ReadCommand::ReadCd;
    }
    const bool readCdUnknown = sense == scsi::kInvalidOpcode || sense == scsi::kInvalidFieldInCdb;

    const auto vendor = VendorReadCdb(lba, sectorCount);
    auto vendorRequest = MakeExecRequest(selected, target, vendor);
    if (SendRecovering(vendorRequest)) return ReadCommand::Vendor;
    const scsi::Sense vendorSense = SenseOf(vendorRequest);
    const bool vendorRefused =
        SystemError(vendorRequest) != 0 || vendorSense.key == scsi::kSenseIllegalRequest;
    if (readCdUnknown && !vendorRefused) {
        // The drive knows only the vendor command, and this read of it failed.
        Execute(vendorRequest, /*firstAttemptFailed=*/true);
        return ReadCommand::Vendor;
    }
    // 0xD8 refused (by the kernel or the drive) or failing as well: READ CD again, and
    // its failure is the one the user sees.
    request = MakeExecRequest(selected, target, readCd);
    ExecuteSRB(request);
    return ReadCommand::ReadCd;
}

std::vector<std::string> CDReader::ManagerDiagnostics() const {
    std::vector<std::string> lines = impl_->notes;
    if (!impl_->entry.diagnostics) return lines;
    const std::uint32_t length = impl_->entry.diagnostics(nullptr, 0);
    std::string text(length + 1, '\0');
    impl_->entry.diagnostics(text.data(), length + 1);
    text.resize(strnlen(text.c_str(), text.size()));
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = text.find('\n', pos);
        const auto line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (!line.empty()) lines.push_back(line);
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return lines;
}

std::string FormatDriveLine(const CDDrive& drive) {
    char line[128];
    std::snprintf(line, sizeof line, "%c:  %s %s", drive.letter, drive.vendor.c_str(), drive.product.c_str());
    return std::string(line, strnlen(line, sizeof line));
}

}  // namespace korvane::cdda
