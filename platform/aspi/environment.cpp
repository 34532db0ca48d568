#include "platform/aspi/environment.h"

#include "platform/aspi/demo_disc.h"
#include "platform/aspi/sg_device.h"
#include "platform/aspi/virtual_drive.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

namespace korvane::aspi {
namespace {

struct RealDrive {
    int host = 0, channel = 0, target = 0, lun = 0;
    std::string name;  // sr0
};

std::vector<RealDrive> FindRealDrives(const DriveSelection& sel) {
    std::vector<RealDrive> drives;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(sel.sysBlock, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("sr", 0) != 0) continue;
        const auto target = std::filesystem::read_symlink(entry.path() / "device", ec);
        if (ec) continue;
        RealDrive d;
        d.name = name;
        if (std::sscanf(target.filename().c_str(), "%d:%d:%d:%d", &d.host, &d.channel, &d.target, &d.lun) != 4)
            continue;
        drives.push_back(d);
    }
    std::sort(drives.begin(), drives.end(), [](const RealDrive& a, const RealDrive& b) {
        return std::tie(a.host, a.channel, a.target, a.lun) < std::tie(b.host, b.channel, b.target, b.lun);
    });
    return drives;
}

// Splits KORVANE_DISC at ':'; a backslash takes the next character as it is, so
// "\:" is a ':' inside a path and "\\" a backslash.
std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> out;
    std::string item;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == '\\' && i + 1 < list.size()) {
            item.push_back(list[++i]);
        } else if (list[i] == ':') {
            if (!item.empty()) out.push_back(item);
            item.clear();
        } else {
            item.push_back(list[i]);
        }
    }
    if (!item.empty()) out.push_back(item);
    return out;
}

std::vector<std::string> Split(const std::string& list, char separator) {
    std::vector<std::string> out;
    std::string item;
    std::istringstream in(list);
    while (std::getline(in, item, separator)) out.push_back(item);
    return out;
}

// Applies the fault list to `drive`; a malformed entry is reported when `report` is set.
void ApplyFaults(const std::string& faults, VirtualDrive& drive, Manager& manager, bool report) {
    for (const std::string& entry : Split(faults, ',')) {
        if (entry.empty()) continue;
        const auto parts = Split(entry, ':');
        unsigned opcode = 0;
        int times = 0;
        const bool hasOpcode = parts.size() >= 2 && std::sscanf(parts[1].c_str(), "%x", &opcode) == 1 && opcode <= 0xFF;
        if (parts.size() == 1 && parts[0] == "reject-readcd") drive.RejectReadCd(true);
        else if (parts.size() == 1 && parts[0] == "nodisc") drive.SetDiscPresent(false);
        else if (parts.size() == 2 && parts[0] == "never" && hasOpcode)
            drive.NeverComplete(static_cast<std::uint8_t>(opcode), true);
        else if (parts.size() == 3 && parts[0] == "fail" && hasOpcode && std::sscanf(parts[2].c_str(), "%d", &times) == 1)
            drive.FailNext(static_cast<std::uint8_t>(opcode), times);
        else if (report) manager.AddDiagnostic("KORVANE_ASPI_FAULTS: cannot understand \"" + entry + "\"");
    }
}

}  // namespace

DriveSelection SelectionFromEnvironment() {
    DriveSelection sel;
    if (const char* disc = std::getenv("KORVANE_DISC")) sel.discList = disc;
    if (const char* real = std::getenv("KORVANE_REAL_DRIVES")) sel.realDrives = std::string(real) != "0";
    if (const char* faults = std::getenv("KORVANE_ASPI_FAULTS")) sel.faults = faults;
    return sel;
}

std::unique_ptr<Manager> BuildManager(const DriveSelection& selection) {
    auto manager = std::make_unique<Manager>();
    bool anyReal = false;

    if (selection.realDrives) {
        std::map<int, std::uint8_t> adapterOfHost;
        for (const RealDrive& d : FindRealDrives(selection)) {
            const auto node = selection.devDir / d.name;
            if (d.target > 15 || d.lun > 7) {
                manager->AddDiagnostic(node.string() + " sits at SCSI target " + std::to_string(d.target) + ", LUN " +
                                       std::to_string(d.lun) + ", which the drive scan cannot address");
                continue;
            }
            int error = 0;
            auto transport = SgIoTransport::Open(node, error);
            if (!transport) {
                manager->AddDiagnostic(DescribeOpenFailure(node, error));
                continue;
            }
            // Only a device that answers INQUIRY joins (not, say, a plain file or a
            // node of some other driver).
            std::uint8_t inquiry[96] = {};
            const std::uint8_t cdb[6] = {scsi::kInquiry, 0, 0, 0, sizeof inquiry, 0};
            const ScsiOutcome answer = transport->Execute(ScsiRequest{cdb, inquiry, DataDirection::FromDevice, 30'000});
            if (answer.systemError != 0 || answer.scsiStatus != 0 || answer.hostStatus != 0) {
                manager->AddDiagnostic(node.string() + " does not answer INQUIRY" +
                                       (answer.systemError ? std::string(": ") + std::strerror(answer.systemError)
                                                           : std::string()));
                continue;
            }
            auto it = adapterOfHost.find(d.host);
            if (it == adapterOfHost.end())
                it = adapterOfHost.emplace(d.host, manager->AddAdapter("scsi" + std::to_string(d.host))).first;
            if (manager->DeviceAt(it->second, static_cast<std::uint8_t>(d.target), static_cast<std::uint8_t>(d.lun))) {
                manager->AddDiagnostic(node.string() + " shares its address with another drive and is left out");
                continue;
            }
            manager->AddDevice(it->second, static_cast<std::uint8_t>(d.target), static_cast<std::uint8_t>(d.lun),
                               std::make_unique<SgDevice>(std::move(transport), node.string()));
            anyReal = true;
        }
    }

    std::vector<std::string> discs = SplitList(selection.discList);
    if (!anyReal && std::find(discs.begin(), discs.end(), "demo") == discs.end()) discs.push_back("demo");

    std::uint8_t adapter = 0;
    for (std::size_t i = 0; i < discs.size(); ++i) {
        if (i % 15 == 0) adapter = manager->AddAdapter("KORVANE VIRTUAL");
        std::unique_ptr<VirtualDrive> drive;
        if (discs[i] == "demo") {
            drive = std::make_unique<VirtualDrive>(std::make_unique<DemoDisc>(),
                                                   VirtualDrive::Identity{"KORVANE", "Demo Disc", "1.0"}, "demo");
        } else {
            std::unique_ptr<DiscImage> image;
            try {
                image = CueBinImage::Open(discs[i]);
            } catch (const std::exception& e) {
                manager->AddDiagnostic(std::string("disc image not usable: ") + e.what());
            }
            drive = std::make_unique<VirtualDrive>(std::move(image), VirtualDrive::Identity{}, discs[i]);
        }
        VirtualDrive& added = *drive;
        manager->AddDevice(adapter, static_cast<std::uint8_t>(i % 15), 0, std::move(drive));
        // After AddDevice, whose identity INQUIRY must not meet the faults.
        ApplyFaults(selection.faults, added, *manager, i == 0);
    }
    return manager;
}

}  // namespace korvane::aspi
