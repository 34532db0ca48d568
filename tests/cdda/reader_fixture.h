#pragma once
// A CDReader bound to an in-process manager (no module loading), with an in-memory
// registry and scripted message boxes.
#include "cdda/cd_reader.h"
#include "platform/aspi/disc_image.h"
#include "platform/aspi/manager.h"
#include "platform/aspi/virtual_drive.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui.h"

#include <memory>

namespace korvane::testing {

inline aspi::Manager*& CurrentManager() {
    static aspi::Manager* manager = nullptr;
    return manager;
}
inline std::uint32_t ForwardSupportInfo() { return CurrentManager()->SupportInfo(); }
inline std::uint32_t ForwardSend(void* srb) { return CurrentManager()->Send(srb); }
inline std::uint32_t ForwardDescribe(aspi::KorvaneAspiDevice* out, std::uint32_t capacity) {
    const auto devices = CurrentManager()->Describe();
    for (std::size_t i = 0; i < devices.size() && i < capacity; ++i) out[i] = devices[i];
    return static_cast<std::uint32_t>(devices.size());
}

inline std::uint32_t ForwardDiagnostics(char* buffer, std::uint32_t size) {
    std::string text;
    for (const auto& line : CurrentManager()->Diagnostics()) text += line + "\n";
    if (buffer != nullptr && size > 0) {
        const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
        std::copy_n(text.data(), n, buffer);
        buffer[n] = 0;
    }
    return static_cast<std::uint32_t>(text.size());
}
inline cdda::ManagerEntryPoints ForwardingEntryPoints() {
    return {&ForwardSupportInfo, &ForwardSend, &ForwardDescribe, &ForwardDiagnostics};
}

// A device of another type (a disk), which the scan must ignore.
class DiskDevice final : public aspi::Device {
public:
    std::uint8_t DeviceType() const noexcept override { return aspi::DTYPE_DASD; }
    std::string Source() const override { return "disk"; }
    aspi::Completion Execute(aspi::SRB_ExecSCSICmd& srb) override {
        aspi::CompleteCheckCondition(srb, aspi::scsi::kInvalidOpcode);
        return aspi::Completion::Done;
    }
};

struct ReaderRig {
    std::unique_ptr<aspi::Manager> manager = std::make_unique<aspi::Manager>();
    std::shared_ptr<platform::RegistryStore> registry = platform::RegistryStore::Open(":memory:");
    std::shared_ptr<platform::ScriptedMessageBoxes> boxes = std::make_shared<platform::ScriptedMessageBoxes>(platform::kIdCancel);
    std::shared_ptr<platform::MessageBoxHandler> previousHandler;
    std::unique_ptr<cdda::CDReader> reader;

    ReaderRig() { previousHandler = platform::SetMessageBoxHandler(boxes); }
    ~ReaderRig() {
        reader.reset();
        platform::SetMessageBoxHandler(previousHandler);
        CurrentManager() = nullptr;
    }
    // Places a virtual drive over the disc image `cue` at (0, target, 0), adding adapter 0
    // when there is none; returns it (the manager owns it).
    aspi::VirtualDrive& AddImageDrive(const std::filesystem::path& cue, std::uint8_t target = 0) {
        if (manager->AdapterCount() == 0) manager->AddAdapter("virtual");
        auto drive = std::make_unique<aspi::VirtualDrive>(aspi::CueBinImage::Open(cue), aspi::VirtualDrive::Identity{});
        aspi::VirtualDrive& added = *drive;
        manager->AddDevice(0, target, 0, std::move(drive));
        return added;
    }
    // Binds the reader; with `synthesizeRegistry` the "Enum\SCSI" tree comes from the
    // manager, otherwise the test writes it.
    cdda::CDReader& Bind(bool synthesizeRegistry = true) {
        CurrentManager() = manager.get();
        cdda::ManagerEntryPoints entry = ForwardingEntryPoints();
        if (!synthesizeRegistry) entry.describeDevices = nullptr;
        cdda::CDReader::Options options;
        options.registry = registry;
        reader = std::make_unique<cdda::CDReader>(entry, options);
        return *reader;
    }
};

}  // namespace korvane::testing
