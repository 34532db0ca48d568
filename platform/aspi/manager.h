#pragma once
// The ASPI-compatible manager: one host-adapter/target/LUN address space over any mix of
// devices, and the two operations of the interface (support info, send command).
//
// Execute requests are queued and completed on the manager's own worker thread, which
// sets the block's status and then signals its event (SRB_EVENT_NOTIFY) or calls its
// post routine (SRB_POSTING). A device that answers at once (a virtual drive reading its
// image) runs a request without a post routine on the sender's thread instead: Send
// returns its final status (SS_COMP or a failure, never SS_PENDING unless the device
// keeps it pending for ever) with the event already set, sparing two thread hand-offs
// per request. Either way one request at a time reaches the devices. SC_HA_INQUIRY,
// SC_GET_DEV_TYPE and SC_ABORT_SRB complete synchronously.
//
// Thread contract: configure (AddAdapter/AddDevice/AddDiagnostic) before the first
// Send; afterwards SupportInfo, Send, Describe and Diagnostics may be called from any
// thread. A request block and its buffers must stay valid until the request completes or
// until SC_ABORT_SRB for it has returned; after that the manager never touches it again.
// The destructor stops the worker; requests still queued or held are dropped untouched.
// The completion event is set (or the post routine called) on the worker with the
// manager's lock held, so that an abort racing with completion is decided one way or the
// other; a post routine must therefore not call Send.
#include "platform/aspi/aspi.h"
#include "platform/aspi/device.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane::aspi {

class Manager {
public:
    Manager();
    ~Manager();
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    // Returns the new adapter's number (0, 1, ...). At most 255 adapters.
    std::uint8_t AddAdapter(std::string identifier);
    // Places `device` at (adapter, target, lun); target 0-15, lun 0-7, the address free.
    // Its INQUIRY identity is read now, for Describe(). Throws std::invalid_argument.
    void AddDevice(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun, std::unique_ptr<Device> device);
    void AddDiagnostic(std::string line);

    std::uint32_t AdapterCount() const noexcept;
    // GetASPI32SupportInfo: SS_COMP << 8 | adapter count, or SS_NO_ADAPTERS << 8.
    std::uint32_t SupportInfo() const noexcept;
    // SendASPI32Command.
    std::uint32_t Send(void* srb);

    // Every device in address order; the CD-ROM devices get the letters 'D', 'E', ... in
    // that order.
    std::vector<KorvaneAspiDevice> Describe() const;
    const std::vector<std::string>& Diagnostics() const noexcept;

    // The device at an address, or nullptr (tests reach virtual drives this way).
    Device* DeviceAt(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) const noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace korvane::aspi
