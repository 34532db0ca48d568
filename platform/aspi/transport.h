#pragma once
// The seam between a real drive and the kernel: one SCSI command out, data, status and
// sense back. SgIoTransport is the only code that calls ioctl(SG_IO); FakeTransport
// (fake_transport.h) replays scripted answers in tests.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace korvane::aspi {

enum class DataDirection { None, FromDevice, ToDevice };

struct ScsiRequest {
    std::span<const std::uint8_t> cdb;
    std::span<std::uint8_t> data;
    DataDirection direction = DataDirection::FromDevice;
    std::uint32_t timeoutMs = 120'000;
};

// What the kernel reported, in the sg_io_hdr vocabulary.
struct ScsiOutcome {
    int systemError = 0;            // errno of the ioctl itself; 0 when it ran
    std::uint8_t scsiStatus = 0;    // the target's status byte (0x02 CHECK CONDITION)
    std::uint16_t hostStatus = 0;   // DID_* of the host adapter driver
    std::uint16_t driverStatus = 0; // DRIVER_* of the mid layer
    std::int32_t residual = 0;      // bytes not transferred
    std::vector<std::uint8_t> sense;  // as written by the device (sb_len_wr bytes)
};

class ScsiTransport {
public:
    virtual ~ScsiTransport() = default;
    // Runs one command; blocks until it completes or times out. Called from one thread
    // at a time.
    virtual ScsiOutcome Execute(const ScsiRequest& request) = 0;
};

// A Linux SCSI generic device (/dev/sg* or /dev/sr*), opened read-only and non-blocking
// so that an empty drive still opens.
class SgIoTransport final : public ScsiTransport {
public:
    // Opens `device`; on failure returns nullptr and sets `systemError` to errno.
    static std::unique_ptr<SgIoTransport> Open(const std::filesystem::path& device, int& systemError);
    ~SgIoTransport() override;
    ScsiOutcome Execute(const ScsiRequest& request) override;

private:
    explicit SgIoTransport(int fd) noexcept : fd_(fd) {}
    int fd_;
};

// A clear sentence for an open failure of `device`: for permission problems it names the
// group that owns the device node and how to join it.
std::string DescribeOpenFailure(const std::filesystem::path& device, int systemError);

}  // namespace korvane::aspi
