#include "platform/aspi/transport.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane::aspi {

std::unique_ptr<SgIoTransport> SgIoTransport::Open(const std::filesystem::path& device, int& systemError) {
    const int fd = ::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        systemError = errno;
        return nullptr;
    }
    systemError = 0;
    return std::unique_ptr<SgIoTransport>(new SgIoTransport(fd));
}

SgIoTransport::~SgIoTransport() { ::close(fd_); }

ScsiOutcome SgIoTransport::Execute(const ScsiRequest& request) {
    std::uint8_t cdb[16] = {};
    std::memcpy(cdb, request.cdb.data(), std::min<std::size_t>(request.cdb.size(), sizeof cdb));
    std::uint8_t sense[64] = {};

    sg_io_hdr_t io{};
    io.interface_id = 'S';
    switch (request.direction) {
    case DataDirection::None: io.dxfer_direction = SG_DXFER_NONE; break;
    case DataDirection::FromDevice: io.dxfer_direction = SG_DXFER_FROM_DEV; break;
    case DataDirection::ToDevice: io.dxfer_direction = SG_DXFER_TO_DEV; break;
    }
    if (request.data.empty()) io.dxfer_direction = SG_DXFER_NONE;
    io.cmd_len = static_cast<unsigned char>(std::min<std::size_t>(request.cdb.size(), sizeof cdb));
    io.cmdp = cdb;
    io.mx_sb_len = sizeof sense;
    io.sbp = sense;
    io.dxfer_len = static_cast<unsigned int>(request.data.size());
    io.dxferp = request.data.data();
    io.timeout = request.timeoutMs;

    ScsiOutcome outcome;
    int rc;
    do {
        rc = ::ioctl(fd_, SG_IO, &io);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        outcome.systemError = errno;
        return outcome;
    }
    outcome.scsiStatus = io.status;
    outcome.hostStatus = io.host_status;
    outcome.driverStatus = io.driver_status;
    outcome.residual = io.resid;
    outcome.sense.assign(sense, sense + std::min<unsigned>(io.sb_len_wr, sizeof sense));
    return outcome;
}

std::string DescribeOpenFailure(const std::filesystem::path& device, int systemError) {
    if (systemError == EACCES || systemError == EPERM) {
        struct stat st{};
        std::string groupName = "cdrom";
        if (::stat(device.c_str(), &st) == 0) {
            std::vector<char> buffer(4096);
            struct group grp{};
            struct group* found = nullptr;
            if (::getgrgid_r(st.st_gid, &grp, buffer.data(), buffer.size(), &found) == 0 && found)
                groupName = found->gr_name;
            else
                groupName = std::to_string(st.st_gid);
        }
        return "permission denied on " + device.string() + ": add your user to the group " + groupName +
               " (sudo usermod -aG " + groupName + " \"$USER\", then log in again)";
    }
    return "cannot open " + device.string() + ": " + std::strerror(systemError);
}

}  // namespace korvane::aspi
