#include "cdda/cd_reader.h"

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

void CDReader::ExecuteSRB(SRB_ExecSCSICmd& request) {
    platform::Event completed(/*manualReset=*/true, /*initiallySignalled=*/false);
    request.SRB_PostProc = &completed;
    for (;;) {
        completed.Reset();
        const std::uint32_t sent = impl_->entry.sendCommand(&request);
        if (sent == SS_PENDING) {
            if (platform::WaitForSingleObject(completed, requestTimeoutMs) == platform::kWaitTimeout) {
                // Take the request back so the manager cannot complete it into a block
                // that is resent or gone; its status stays pending.
                SRB_Abort abort{};
                abort.SRB_Cmd = SC_ABORT_SRB;
                abort.SRB_HaId = request.SRB_HaId;
                abort.SRB_ToAbort = &request;
                impl_->entry.sendCommand(&abort);
            }
        }
        if (request.SRB_Status == SS_COMP || quiet) break;
        const int answer = platform::MessageBox(resources::LoadAppString(resources::kIdsDeviceNotResponding),
                                                resources::kAppTitle,
                                                platform::kMbRetryCancel | platform::kMbIconWarning);
        if (answer != platform::kIdRetry) break;
    }
    request.SRB_PostProc = nullptr;
    if (request.SRB_Status != SS_COMP) throw CDReaderException{kRequestFailed, request.SRB_Status};
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
    try {
        SynthesizeScsiEnum(impl_->Registry(), devices);
    } catch (const platform::RegistryError&) {
        throw CDReaderException{kRequestFailed, 0};
    }
}

void CDReader::ScanDrives() {
    drives.Clear();
    try {
        RefreshRegistryFromManager();
        ChainedList<CDDrive> found;
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
                    drive->letter = FindDriveLetter(*drive, drive->product, drive->revision, t, l);
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
                               std::int32_t target, std::int32_t lun) {
    using platform::RootKey;
    std::optional<platform::RegKey> root;
    try {
        root = impl_->Registry().OpenKey(RootKey::LocalMachine, kScsiEnumKey);
    } catch (const platform::RegistryError&) {
        root.reset();
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
            if (first != 0) return static_cast<char>(std::toupper(static_cast<unsigned char>(first)));
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
    const auto cdb = ReadTocCdb();
    auto request = MakeExecRequest(selected, toc, cdb);
    ExecuteSRB(request);
}

void CDReader::ReadSectors(std::uint32_t lba, std::span<std::uint8_t> buffer, std::uint32_t sectorCount) {
    const std::size_t bytes = std::size_t{sectorCount} * kBytesPerSector;
    if (buffer.size() < bytes) throw std::length_error("ReadSectors: buffer smaller than the sectors asked for");
    const auto target = buffer.first(bytes);
    if (useReadCd) {
        const auto cdb = ReadCdCdb(lba, sectorCount);
        if (!readProbeDone) {
            const bool savedQuiet = quiet;
            quiet = true;
            try {
                auto request = MakeExecRequest(selected, target, cdb);
                ExecuteSRB(request);
            } catch (const CDReaderException&) {
                useReadCd = false;
            }
            quiet = savedQuiet;
            readProbeDone = true;
        } else {
            auto request = MakeExecRequest(selected, target, cdb);
            ExecuteSRB(request);
        }
        if (useReadCd) return;
    }
    const auto cdb = VendorReadCdb(lba, sectorCount);
    auto request = MakeExecRequest(selected, target, cdb);
    ExecuteSRB(request);
}

std::vector<std::string> CDReader::ManagerDiagnostics() const {
    std::vector<std::string> lines;
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
