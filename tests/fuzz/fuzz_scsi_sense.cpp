// Sense data as a drive or the kernel may deliver it: parsed, normalised to fixed
// format (which must parse to the same key/ASC/ASCQ) and put into words.
#include "cdda/cd_reader.h"
#include "cdda/failure_text.h"
#include "platform/aspi/scsi.h"

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane;
    namespace scsi = aspi::scsi;
    const std::span<const std::uint8_t> sense(data, size);
    const scsi::Sense parsed = scsi::ParseSense(sense);
    std::uint32_t information = 0;
    (void)scsi::SenseInformation(sense, information);
    std::array<std::uint8_t, 32> fixed{};
    const std::size_t written = scsi::NormaliseSense(sense, fixed);
    if (written > fixed.size()) __builtin_trap();
    const scsi::Sense again = scsi::ParseSense(std::span<const std::uint8_t>(fixed.data(), written));
    if (written >= 14 && (again.key != parsed.key || again.asc != parsed.asc || again.ascq != parsed.ascq))
        __builtin_trap();
    cdda::CDReaderException failure{cdda::kRequestFailed, size > 0 ? data[0] : 4};
    failure.sense = parsed;
    failure.opcode = size > 1 ? data[1] : 0xBE;
    failure.sector = information;
    (void)cdda::DescribeFailure(failure);
    return 0;
}
