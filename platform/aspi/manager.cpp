#include "platform/aspi/manager.h"

#include "platform/sync/sync.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <tuple>

namespace korvane::aspi {
namespace {

struct Slot {
    std::uint8_t adapter, target, lun;
    std::unique_ptr<Device> device;
    KorvaneAspiDevice description{};
};

void CopyField(char* out, std::size_t outSize, const std::uint8_t* in, std::size_t inSize) {
    // The INQUIRY field as text up to the first zero byte, untrimmed.
    std::size_t n = 0;
    while (n < inSize && n + 1 < outSize && in[n] != 0) {
        out[n] = static_cast<char>(in[n]);
        ++n;
    }
    out[n] = 0;
}

// A device that throws (an image it cannot read in a way it did not foresee, memory)
// fails that one request as an internal target failure, which the caller reports like any
// drive error; left to propagate, it would end the worker thread (and the program) or
// leave the manager marked busy so that every later request waits for ever.
Completion ExecuteGuarded(Device& device, SRB_ExecSCSICmd& srb) noexcept {
    try {
        return device.Execute(srb);
    } catch (...) {
        CompleteCheckCondition(srb, scsi::kInternalTargetFailure);
        return Completion::Done;
    }
}

}  // namespace

struct Manager::Impl {
    std::vector<std::string> adapters;
    std::vector<Slot> slots;  // kept in address order
    std::vector<std::string> diagnostics;

    std::mutex mutex;
    std::condition_variable wake;      // work queued or stop requested
    std::condition_variable finished;  // a request left the worker
    std::deque<SRB_ExecSCSICmd*> queue;
    std::vector<SRB_ExecSCSICmd*> held;  // requests that never complete
    SRB_ExecSCSICmd* running = nullptr;
    bool stop = false;
    std::thread worker;

    Device* Find(std::uint8_t a, std::uint8_t t, std::uint8_t l) const noexcept {
        for (const auto& s : slots)
            if (s.adapter == a && s.target == t && s.lun == l) return s.device.get();
        return nullptr;
    }

    void EnsureWorker() {
        if (!worker.joinable()) worker = std::thread([this] { Run(); });
    }

    void Run() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stop || (!queue.empty() && running == nullptr); });
            if (stop) return;
            SRB_ExecSCSICmd* srb = queue.front();
            queue.pop_front();
            Execute(lock, *srb, *Find(srb->SRB_HaId, srb->SRB_Target, srb->SRB_Lun));
        }
    }

    // Runs `srb` on `device` with the lock released, then holds it or signals its
    // completion. Called with the lock held and no request running.
    void Execute(std::unique_lock<std::mutex>& lock, SRB_ExecSCSICmd& srb, Device& device) {
        running = &srb;
        lock.unlock();
        const Completion completion = ExecuteGuarded(device, srb);
        lock.lock();
        running = nullptr;
        if (completion == Completion::Never) {
            held.push_back(&srb);
        } else {
            // Signal while holding the lock so that an abort racing with completion
            // either finds the request running or finds it gone.
            if ((srb.SRB_Flags & SRB_EVENT_NOTIFY) && srb.SRB_PostProc != nullptr) {
                static_cast<platform::Event*>(srb.SRB_PostProc)->Set();
            } else if ((srb.SRB_Flags & SRB_POSTING) && srb.SRB_PostProc != nullptr) {
                reinterpret_cast<void (*)(SRB_ExecSCSICmd*)>(srb.SRB_PostProc)(&srb);
            }
        }
        finished.notify_all();
        wake.notify_all();  // the worker may take the next queued request
    }

    // A request for a device that answers at once, on the sender's thread, after the
    // requests queued before it. Returns SS_PENDING only for a request the device
    // keeps pending for ever.
    std::uint32_t ExecuteNow(SRB_ExecSCSICmd& srb, Device& device) {
        std::unique_lock lock(mutex);
        finished.wait(lock, [this] { return running == nullptr && queue.empty(); });
        Execute(lock, srb, device);
        return srb.SRB_Status;
    }

    std::uint32_t Abort(SRB_Abort& request) {
        auto* target = static_cast<SRB_ExecSCSICmd*>(request.SRB_ToAbort);
        std::unique_lock lock(mutex);
        // A request being executed cannot be taken back from the device: wait for it.
        finished.wait(lock, [&] { return running != target; });
        auto drop = [&](auto& container) {
            auto it = std::find(container.begin(), container.end(), target);
            if (it == container.end()) return false;
            container.erase(it);
            return true;
        };
        const bool removed = drop(queue) || drop(held);
        request.SRB_Status = removed ? SS_COMP : SS_ABORT_FAIL;
        return request.SRB_Status;
    }
};

Manager::Manager() : impl_(std::make_unique<Impl>()) {}

Manager::~Manager() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stop = true;
    }
    impl_->wake.notify_all();
    if (impl_->worker.joinable()) impl_->worker.join();
}

std::uint8_t Manager::AddAdapter(std::string identifier) {
    if (impl_->adapters.size() >= 255) throw std::invalid_argument("too many host adapters");
    impl_->adapters.push_back(std::move(identifier));
    return static_cast<std::uint8_t>(impl_->adapters.size() - 1);
}

void Manager::AddDevice(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun, std::unique_ptr<Device> device) {
    if (adapter >= impl_->adapters.size()) throw std::invalid_argument("no such host adapter");
    if (target > 15 || lun > 7) throw std::invalid_argument("target or LUN out of range");
    if (!device) throw std::invalid_argument("null device");
    if (impl_->Find(adapter, target, lun)) throw std::invalid_argument("address already in use");

    Slot slot{adapter, target, lun, std::move(device), {}};
    KorvaneAspiDevice& d = slot.description;
    d.adapter = adapter;
    d.target = target;
    d.lun = lun;
    d.deviceType = slot.device->DeviceType();
    // Identity from the device's own INQUIRY answer.
    std::uint8_t inquiry[96] = {};
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = adapter;
    srb.SRB_Target = target;
    srb.SRB_Lun = lun;
    srb.SRB_Flags = SRB_DIR_IN;
    srb.SRB_BufLen = sizeof inquiry;
    srb.SRB_BufPointer = inquiry;
    srb.SRB_SenseLen = SENSE_LEN;
    srb.SRB_CDBLen = 6;
    srb.CDBByte[0] = scsi::kInquiry;
    srb.CDBByte[4] = sizeof inquiry;
    if (ExecuteGuarded(*slot.device, srb) == Completion::Done && srb.SRB_Status == SS_COMP) {
        CopyField(d.vendor, sizeof d.vendor, inquiry + 8, 8);
        CopyField(d.product, sizeof d.product, inquiry + 16, 16);
        CopyField(d.revision, sizeof d.revision, inquiry + 32, 4);
    }
    const std::string source = slot.device->Source();
    std::snprintf(d.source, sizeof d.source, "%s", source.c_str());
    const std::string problem = slot.device->Problem();
    std::snprintf(d.problem, sizeof d.problem, "%s", problem.c_str());

    auto& slots = impl_->slots;
    auto pos = std::find_if(slots.begin(), slots.end(), [&](const Slot& s) {
        return std::tie(s.adapter, s.target, s.lun) > std::tie(adapter, target, lun);
    });
    slots.insert(pos, std::move(slot));
}

void Manager::AddDiagnostic(std::string line) { impl_->diagnostics.push_back(std::move(line)); }

std::uint32_t Manager::AdapterCount() const noexcept { return static_cast<std::uint32_t>(impl_->adapters.size()); }

std::uint32_t Manager::SupportInfo() const noexcept {
    const auto count = AdapterCount();
    if (count == 0) return std::uint32_t{SS_NO_ADAPTERS} << 8;
    return (std::uint32_t{SS_COMP} << 8) | count;
}

std::uint32_t Manager::Send(void* block) {
    if (block == nullptr) return SS_INVALID_SRB;
    auto* header = static_cast<SRB_Header*>(block);
    switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY: {
        auto* srb = static_cast<SRB_HAInquiry*>(block);
        if (srb->SRB_HaId >= impl_->adapters.size()) return srb->SRB_Status = SS_INVALID_HA;
        srb->HA_Count = static_cast<std::uint8_t>(impl_->adapters.size());
        srb->HA_SCSI_ID = 7;
        std::memset(srb->HA_ManagerId, ' ', sizeof srb->HA_ManagerId);
        std::memcpy(srb->HA_ManagerId, "ASPI for WIN32", 14);
        std::memset(srb->HA_Identifier, ' ', sizeof srb->HA_Identifier);
        const auto& id = impl_->adapters[srb->SRB_HaId];
        std::memcpy(srb->HA_Identifier, id.data(), std::min(id.size(), sizeof srb->HA_Identifier));
        std::memset(srb->HA_Unique, 0, sizeof srb->HA_Unique);
        srb->HA_Unique[1] = 0x02;                   // residual byte counts are reported
        srb->HA_Unique[3] = 8;                      // maximum targets per adapter (16)
        srb->HA_Unique[4] = 0x00;                   // maximum transfer length, little-endian:
        srb->HA_Unique[5] = 0x00;                   // 64 KiB
        srb->HA_Unique[6] = 0x01;
        return srb->SRB_Status = SS_COMP;
    }
    case SC_GET_DEV_TYPE: {
        auto* srb = static_cast<SRB_GDEVBlock*>(block);
        if (srb->SRB_HaId >= impl_->adapters.size()) return srb->SRB_Status = SS_INVALID_HA;
        Device* device = impl_->Find(srb->SRB_HaId, srb->SRB_Target, srb->SRB_Lun);
        if (device == nullptr) {
            srb->SRB_DeviceType = DTYPE_UNKNOWN;
            return srb->SRB_Status = SS_NO_DEVICE;
        }
        srb->SRB_DeviceType = device->DeviceType();
        return srb->SRB_Status = SS_COMP;
    }
    case SC_EXEC_SCSI_CMD: {
        auto* srb = static_cast<SRB_ExecSCSICmd*>(block);
        if (srb->SRB_HaId >= impl_->adapters.size()) return srb->SRB_Status = SS_INVALID_HA;
        if (impl_->Find(srb->SRB_HaId, srb->SRB_Target, srb->SRB_Lun) == nullptr)
            return srb->SRB_Status = SS_NO_DEVICE;
        if (srb->SRB_CDBLen == 0 || srb->SRB_CDBLen > sizeof srb->CDBByte ||
            (srb->SRB_BufLen > 0 && srb->SRB_BufPointer == nullptr))
            return srb->SRB_Status = SS_INVALID_SRB;
        srb->SRB_Status = SS_PENDING;
        srb->SRB_HaStat = HASTAT_OK;
        srb->SRB_TargStat = STATUS_GOOD;
        Device* device = impl_->Find(srb->SRB_HaId, srb->SRB_Target, srb->SRB_Lun);
        if (device->AnswersAtOnce() && (srb->SRB_Flags & SRB_POSTING) == 0) return impl_->ExecuteNow(*srb, *device);
        {
            std::lock_guard lock(impl_->mutex);
            impl_->EnsureWorker();
            impl_->queue.push_back(srb);
        }
        impl_->wake.notify_all();
        return SS_PENDING;
    }
    case SC_ABORT_SRB:
        return impl_->Abort(*static_cast<SRB_Abort*>(block));
    default:
        return header->SRB_Status = SS_INVALID_CMD;
    }
}

std::vector<KorvaneAspiDevice> Manager::Describe() const {
    std::vector<KorvaneAspiDevice> out;
    char letter = 'D';
    for (const auto& s : impl_->slots) {
        KorvaneAspiDevice d = s.description;
        d.letter = 0;
        if (d.deviceType == DTYPE_CDROM && letter <= 'Z') d.letter = letter++;
        out.push_back(d);
    }
    return out;
}

const std::vector<std::string>& Manager::Diagnostics() const noexcept { return impl_->diagnostics; }

Device* Manager::DeviceAt(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) const noexcept {
    return impl_->Find(adapter, target, lun);
}

}  // namespace korvane::aspi
