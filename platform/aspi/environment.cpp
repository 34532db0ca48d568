#include "platform/aspi/environment.h"

#include "platform/aspi/demo_disc.h"
#include "platform/aspi/sg_device.h"
#include "platform/aspi/virtual_drive.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> out;
    std::string item;
    std::istringstream in(list);
    while (std::getline(in, item, ':'))
        if (!item.empty()) out.push_back(item);
    return out;
}

}  // namespace

DriveSelection SelectionFromEnvironment() {
    DriveSelection sel;
    if (const char* disc = std::getenv("KORVANE_DISC")) sel.discList = disc;
    if (const char* real = std::getenv("KORVANE_REAL_DRIVES")) sel.realDrives = std::string(real) != "0";
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
        std::unique_ptr<Device> drive;
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
        manager->AddDevice(adapter, static_cast<std::uint8_t>(i % 15), 0, std::move(drive));
    }
    return manager;
}

}  // namespace korvane::aspi
