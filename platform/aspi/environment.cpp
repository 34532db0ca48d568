#include "platform/aspi/environment.h"

#include "platform/aspi/demo_disc.h"
#include "platform/aspi/sg_device.h"
#include "platform/aspi/simulated_drive.h"
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

// The fault list, understood once.
struct Faults {
    bool rejectReadCd = false, noDisc = false;
    struct Failure {
        std::uint8_t opcode;
        int times;
        scsi::Sense sense;
    };
    std::vector<Failure> failures;
    std::vector<std::uint8_t> never;
    // The simulated Linux drive.
    bool linux = false, rawIo = false, attention = false;
    int spinUp = 0;
    std::vector<std::uint32_t> mediumErrors;
    std::vector<std::pair<std::uint8_t, int>> shortTransfers;
    std::vector<std::pair<std::uint32_t, int>> flaky;  // sector, percent
    std::vector<std::uint32_t> bad;
    std::int32_t readOffset = 0;
    std::vector<std::string> unknown;
};

bool ParseHex(const std::string& text, unsigned limit, unsigned& value) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 16);
    if (text.empty() || *end != 0 || v > limit) return false;
    value = static_cast<unsigned>(v);
    return true;
}

bool ParseCount(const std::string& text, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || v < 0 || v > 1'000'000'000) return false;
    value = static_cast<int>(v);
    return true;
}

// "+667", "-1164" or "48": samples, at most ten sectors either way.
bool ParseOffset(const std::string& text, std::int32_t& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || v < -5880 || v > 5880) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool ParseSenseText(const std::string& text, scsi::Sense& sense) {
    const auto parts = Split(text, '/');
    unsigned key = 0, asc = 0, ascq = 0;
    if (parts.size() != 3 || !ParseHex(parts[0], 0x0F, key) || !ParseHex(parts[1], 0xFF, asc) ||
        !ParseHex(parts[2], 0xFF, ascq))
        return false;
    sense = scsi::Sense{static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(asc), static_cast<std::uint8_t>(ascq)};
    return true;
}

Faults ParseFaults(const std::string& list) {
    Faults f;
    for (const std::string& entry : Split(list, ',')) {
        if (entry.empty()) continue;
        const auto p = Split(entry, ':');
        unsigned opcode = 0;
        int times = 0, percent = 0;
        const bool op = p.size() >= 2 && ParseHex(p[1], 0xFF, opcode);
        scsi::Sense sense = scsi::kInternalTargetFailure;
        if (entry == "reject-readcd") f.rejectReadCd = true;
        else if (entry == "nodisc") f.noDisc = true;
        else if (entry == "linux") f.linux = true;
        else if (entry == "root") f.linux = f.rawIo = true;
        else if (entry == "attention") f.linux = f.attention = true;
        else if (p.size() == 2 && p[0] == "never" && op) f.never.push_back(static_cast<std::uint8_t>(opcode));
        else if ((p.size() == 3 || p.size() == 4) && p[0] == "fail" && op && ParseCount(p[2], times) &&
                 (p.size() == 3 || ParseSenseText(p[3], sense)))
            f.failures.push_back({static_cast<std::uint8_t>(opcode), times, sense});
        else if (p.size() == 2 && p[0] == "spinup" && ParseCount(p[1], times)) f.linux = true, f.spinUp = times;
        else if (p.size() == 2 && p[0] == "medium" && ParseCount(p[1], times))
            f.linux = true, f.mediumErrors.push_back(static_cast<std::uint32_t>(times));
        else if (p.size() == 3 && p[0] == "flaky" && ParseCount(p[1], times) && ParseCount(p[2], percent) &&
                 percent <= 100)
            f.linux = true, f.flaky.emplace_back(static_cast<std::uint32_t>(times), percent);
        else if (p.size() == 2 && p[0] == "bad" && ParseCount(p[1], times))
            f.linux = true, f.bad.push_back(static_cast<std::uint32_t>(times));
        else if (p.size() == 2 && p[0] == "offset" && ParseOffset(p[1], f.readOffset)) f.linux = true;
        else if (p.size() == 3 && p[0] == "short" && op && ParseCount(p[2], times))
            f.linux = true, f.shortTransfers.emplace_back(static_cast<std::uint8_t>(opcode), times);
        else f.unknown.push_back(entry);
    }
    return f;
}

void ApplyFaults(const Faults& f, VirtualDrive& drive) {
    if (f.rejectReadCd) drive.RejectReadCd(true);
    if (f.noDisc) drive.SetDiscPresent(false);
    for (std::uint8_t opcode : f.never) drive.NeverComplete(opcode, true);
    for (const auto& failure : f.failures) drive.FailNext(failure.opcode, failure.times, failure.sense);
}

void ApplyFaults(const Faults& f, SimulatedDrive& drive) {
    drive.SetRawIo(f.rawIo);
    if (f.attention) drive.UnitAttention();
    if (f.spinUp > 0) drive.SpinUp(f.spinUp);
    for (std::uint32_t lba : f.mediumErrors) drive.MediumErrorAt(lba);
    for (const auto& [opcode, times] : f.shortTransfers) drive.ShortTransfer(opcode, times, 2352);
    for (const auto& [lba, percent] : f.flaky) drive.FlakySectorAt(lba, percent);
    for (std::uint32_t lba : f.bad) drive.BadSectorAt(lba);
    drive.SetReadOffset(f.readOffset);
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
            if (d.target >= kScannedTargets || d.lun > 7) {
                manager->AddDiagnostic(node.string() + " sits at SCSI target " + std::to_string(d.target) + ", LUN " +
                                       std::to_string(d.lun) + ", which the drive scan cannot address");
                continue;
            }
            int error = 0;
            std::unique_ptr<ScsiTransport> transport;
            if (selection.openDevice) transport = selection.openDevice(node, error);
            else transport = SgIoTransport::Open(node, error);
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

    const Faults faults = ParseFaults(selection.faults);
    for (const std::string& entry : faults.unknown)
        manager->AddDiagnostic("KORVANE_ASPI_FAULTS: cannot understand \"" + entry + "\"");
    std::uint8_t adapter = 0;
    for (std::size_t i = 0; i < discs.size(); ++i) {
        if (i % kScannedTargets == 0) adapter = manager->AddAdapter("KORVANE VIRTUAL");
        std::unique_ptr<VirtualDrive> drive;
        std::string problem;
        if (discs[i] == "demo") {
            drive = std::make_unique<VirtualDrive>(std::make_unique<DemoDisc>(),
                                                   VirtualDrive::Identity{"KORVANE", "Demo Disc", "1.0"}, "demo");
        } else {
            std::unique_ptr<DiscImage> image;
            try {
                image = CueBinImage::Open(discs[i]);
            } catch (const std::exception& e) {
                problem = e.what();
                manager->AddDiagnostic(std::string("disc image not usable: ") + problem);
            }
            drive = std::make_unique<VirtualDrive>(std::move(image), VirtualDrive::Identity{}, discs[i]);
            if (!problem.empty()) drive->SetProblem(problem);
        }
        VirtualDrive& added = *drive;
        const auto target = static_cast<std::uint8_t>(i % kScannedTargets);
        if (faults.linux && problem.empty()) {
            auto simulated = std::make_unique<SimulatedDrive>(std::move(drive));
            SimulatedDrive& linuxDrive = *simulated;
            manager->AddDevice(adapter, target, 0, std::make_unique<SgDevice>(std::move(simulated), discs[i]));
            ApplyFaults(faults, linuxDrive);
        } else {
            manager->AddDevice(adapter, target, 0, std::move(drive));
        }
        // After AddDevice, whose identity INQUIRY must not meet the faults.
        ApplyFaults(faults, added);
    }
    return manager;
}

std::vector<std::filesystem::path> DiscImageFiles(const DriveSelection& selection) {
    std::vector<std::filesystem::path> files;
    for (const std::string& disc : SplitList(selection.discList)) {
        if (disc == "demo") continue;
        try {
            const auto image = CueBinImage::Open(disc);
            files.insert(files.end(), image->Files().begin(), image->Files().end());
        } catch (const std::exception&) {
            // an unusable image gives its drive no disc, so nothing is read from it
        }
    }
    return files;
}

}  // namespace korvane::aspi
