// The real manager (sysfs discovery, SgDevice), CDReader and track reader over simulated
// Linux drives below the SG_IO seam: spin-up, unit attention, the kernel's command
// filter, drives that reject a read command, medium errors, short transfers; verified
// reading from drives with a read offset (flaky and bad sectors: korvane-cli --verify).
#include "cdda/failure_text.h"
#include "cdda/secure_read.h"
#include "cdda/track_file.h"
#include "cdda/track_reader.h"
#include "platform/aspi/environment.h"
#include "platform/aspi/simulated_drive.h"
#include "tests/cdda/reader_fixture.h"
#include "tests/support/test_disc.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <functional>
#include <map>

namespace korvane::cdda {
namespace {

namespace fs = std::filesystem;
using aspi::SimulatedDrive;
using ::testing::Field;
using ::testing::Throws;
using korvane::testing::TempDir;
using korvane::testing::TestTrack;

// An enhanced CD: two audio tracks, then a data track in a second session.
const std::vector<TestTrack> kEnhancedCd = {{30, false, 1}, {49}, {10, true, 2}};

// A machine with Linux drives: /sys/block/srN pointing at "H:C:T:L", each node served by
// a simulated drive over the same disc image; with `silentEnds` the disc's first and last
// two sectors are silent, as a pressed CD's are.
struct LinuxMachine {
    TempDir dir;
    fs::path cue;
    std::vector<std::uint8_t> image;
    std::map<std::string, SimulatedDrive*> drives;  // by node name, owned by the manager
    korvane::testing::ReaderRig rig;

    LinuxMachine(std::vector<std::string> addresses, std::function<void(SimulatedDrive&)> setUp = {},
                 const std::vector<TestTrack>& tracks = kEnhancedCd, bool silentEnds = false) {
        cue = korvane::testing::WriteCueBin(dir.Path(), "disc", tracks, &image);
        if (silentEnds) {
            std::fill_n(image.begin(), 2 * 2352, 0);
            std::fill(image.end() - 2 * 2352, image.end(), 0);
            std::ofstream(dir.Path() / "disc.bin", std::ios::binary)
                .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        }
        aspi::DriveSelection selection;
        selection.sysBlock = dir.Path() / "sys";
        selection.devDir = dir.Path() / "dev";
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            const fs::path block = selection.sysBlock / ("sr" + std::to_string(i));
            fs::create_directories(block);
            fs::create_symlink("../../devices/" + addresses[i], block / "device");
        }
        selection.openDevice = [&, setUp](const fs::path& node, int&) -> std::unique_ptr<aspi::ScsiTransport> {
            auto drive = std::make_unique<SimulatedDrive>(aspi::CueBinImage::Open(cue), aspi::VirtualDrive::Identity{});
            if (setUp) setUp(*drive);
            drives[node.filename().string()] = drive.get();
            return drive;
        };
        rig.manager = aspi::BuildManager(selection);
        CDReader& reader = rig.Bind();
        reader.readyPollMs = 1;
        reader.quiet = true;
        reader.ScanDrives();
        reader.quiet = false;
    }
    CDReader& Reader() { return *rig.reader; }
    SimulatedDrive& Drive(int i = 0) { return *drives.at("sr" + std::to_string(i)); }
    // Reads audio track `line` of drive `driveLine`; returns the track file's audio part.
    std::vector<std::uint8_t> ReadTrack(int driveLine, int line, const ReadControl& control = {}) {
        const auto file = ReadTrackToTrackFile(Reader(), Reader().drives.At(driveLine), line, dir.Path(), control);
        auto bytes = korvane::testing::ReadFileBytes(*file);
        fs::remove(*file);
        bytes.resize(bytes.size() - bytes.size() / 9);
        return bytes;
    }
    std::vector<std::uint8_t> Audio(std::uint32_t lba, std::uint32_t sectors) const {
        return {image.begin() + lba * 2352, image.begin() + (lba + sectors) * 2352};
    }
};

struct ProbeCase {
    const char* name;
    std::function<void(SimulatedDrive&)> fault;
    ReadCommand chosen;
    int prompts;
    const char* waits;  // the wait reports: w waiting (at its start and at every poll), . done
};

TEST(LinuxDrive, TheFirstReadSurvivesPassingConditionsAndPicksTheCommandTheDriveKnows) {
    const ProbeCase cases[] = {
        {"clean", [](SimulatedDrive&) {}, ReadCommand::ReadCd, 0, ""},
        {"spinning up", [](SimulatedDrive& d) { d.SpinUp(4); }, ReadCommand::ReadCd, 0, "wwww."},
        {"disc changed", [](SimulatedDrive& d) { d.UnitAttention(); }, ReadCommand::ReadCd, 0, ""},
        {"transient failure, 0xD8 refused by the kernel",
         [](SimulatedDrive& d) { d.Disc().FailNext(0xBE, 1, aspi::scsi::kInternalTargetFailure); }, ReadCommand::ReadCd, 0, ""},
        {"transient failure, 0xD8 rejected by the drive",
         [](SimulatedDrive& d) { d.SetRawIo(true), d.RejectOpcode(0xD8), d.Disc().FailNext(0xBE, 1, aspi::scsi::kInternalTargetFailure); },
         ReadCommand::ReadCd, 0, ""},
        {"short first transfer", [](SimulatedDrive& d) { d.ShortTransfer(0xBE, 1, 100); }, ReadCommand::ReadCd, 0, ""},
        {"READ CD unknown, root", [](SimulatedDrive& d) { d.SetRawIo(true), d.RejectOpcode(0xBE); }, ReadCommand::Vendor, 0, ""},
        {"scratched first sector", [](SimulatedDrive& d) { d.MediumErrorAt(30, 1); }, ReadCommand::ReadCd, 1, ""},
    };
    for (const ProbeCase& c : cases) {
        SCOPED_TRACE(c.name);
        LinuxMachine m({"0:0:0:0"});
        m.Drive().SpinUp(0);
        c.fault(m.Drive());
        m.rig.boxes->QueueAnswer(platform::kIdRetry);
        std::string waits;
        ReadControl control;
        control.onWaiting = [&](bool waiting) { waits += waiting ? 'w' : '.'; };
        EXPECT_EQ(m.ReadTrack(0, 1, control), m.Audio(30, 49));
        EXPECT_EQ(std::tuple(m.Reader().ReadCommandFor(m.Reader().selected), m.rig.boxes->ShownBoxes().size(), waits),
                  std::tuple(c.chosen, static_cast<std::size_t>(c.prompts), c.waits));
        if (std::string(c.name) == "scratched first sector") {
            EXPECT_NE(m.rig.boxes->ShownBoxes()[0].text.find("medium error at 00:00.00 (sector 30)"), std::string::npos)
                << m.rig.boxes->ShownBoxes()[0].text;
        }
    }
}

TEST(LinuxDrive, FailuresCarryTheirSenseInPlainWords) {
    struct Case {
        const char* name;
        std::function<void(SimulatedDrive&)> fault;
        bool readToc;
        const char* words;
    };
    const Case cases[] = {
        {"no disc", [](SimulatedDrive& d) { d.SetDiscPresent(false); }, true, "no disc in the drive (sense 02/3A/00)"},
        {"never ready", [](SimulatedDrive& d) { d.SpinUp(1'000'000); }, true, "the drive is not ready (sense 02/04/01)"},
        {"bad sector", [](SimulatedDrive& d) { d.MediumErrorAt(40); }, false, "medium error at 00:00.13 (sector 40) (sense 03/11/00)"},
        {"READ CD unknown, no CAP_SYS_RAWIO", [](SimulatedDrive& d) { d.RejectOpcode(0xBE); }, false,
         "the drive refused the command (sense 05/20/00)"},
        {"always short", [](SimulatedDrive& d) { d.ShortTransfer(0xBE, 1'000, 2352); }, false,
         "the drive returned fewer bytes than asked"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinuxMachine m({"0:0:0:0"});
        m.Reader().readyTimeoutMs = 20;
        c.fault(m.Drive());
        EXPECT_THAT([&] { m.ReadTrack(0, 1); },
                    Throws<CDReaderException>(::testing::AllOf(
                        ::testing::ResultOf(DescribeFailure, c.words),
                        Field(&CDReaderException::device, (m.dir.Path() / "dev" / "sr0").string()),
                        Field(&CDReaderException::opcode, c.readToc ? 0x43 : 0xBE))));
        EXPECT_EQ(m.rig.boxes->ShownBoxes().size(), 1u) << "offered for retry once, cancelled";
        EXPECT_EQ(m.Reader().ReadCommandFor(m.Reader().selected), ReadCommand::Untried) << "probed again next time";
    }
    // The kernel's refusal reaches the exception as errno.
    LinuxMachine m({"0:0:0:0"});
    m.Reader().quiet = true;
    m.Reader().SelectDrive(m.Reader().drives.At(0));
    std::vector<std::uint8_t> buffer(2352);
    const auto cdb = VendorReadCdb(0, 1);
    auto request = MakeExecRequest(m.Reader().selected, buffer, cdb);
    EXPECT_THAT([&] { m.Reader().ExecuteSRB(request); },
                Throws<CDReaderException>(::testing::AllOf(
                    Field(&CDReaderException::systemError, EPERM),
                    ::testing::ResultOf(DescribeFailure, ::testing::StartsWith("the system refused the command 0xD8 on ")))));
}

TEST(LinuxDrive, TheChoiceIsPerDriveAndAFailedReadProbesAgain) {
    LinuxMachine m({"0:0:0:0", "1:0:0:0"}, [](SimulatedDrive& d) { d.SetRawIo(true); });
    m.Drive(0).RejectOpcode(0xBE);
    EXPECT_EQ(m.ReadTrack(0, 0), m.Audio(0, 30));
    EXPECT_EQ(m.ReadTrack(1, 0), m.Audio(0, 30));
    EXPECT_EQ(m.Reader().ReadCommandFor({0, 0, 0}), ReadCommand::Vendor);
    EXPECT_EQ(m.Reader().ReadCommandFor({1, 0, 0}), ReadCommand::ReadCd);
    // A short transfer later on fails that read (never padded), and the next read probes.
    m.Drive(1).ShortTransfer(0xBE, 1, 4);
    EXPECT_THROW(m.ReadTrack(1, 1), CDReaderException);
    EXPECT_EQ(m.Reader().ReadCommandFor({1, 0, 0}), ReadCommand::Untried);
    m.Drive(1).ShortTransfer(0xBE, 1, 4);
    m.Reader().retries = 1;
    EXPECT_EQ(m.ReadTrack(1, 1), m.Audio(30, 49)) << "probed again: the short READ CD makes way for 0xD8";
    EXPECT_EQ(m.Reader().ReadCommandFor({1, 0, 0}), ReadCommand::Vendor);
}

TEST(LinuxDrive, AnEnhancedCdEndsItsLastAudioTrackWhereItsSessionEnds) {
    LinuxMachine m({"0:0:0:0"});
    CDReader& reader = m.Reader();
    reader.SelectDrive(reader.drives.At(0));
    reader.ReadTOC();
    const SessionInfo& sessions = reader.sessions;
    // Between the sessions: the first one's lead-out, the second one's lead-in and pregap.
    EXPECT_EQ(DescriptorAt(reader.toc, 2).lba, 30u + 49u + 11'400u);
    EXPECT_EQ(std::tuple(sessions.firstSession, sessions.lastSession, sessions.lastSessionFirstTrack, sessions.lastSessionStart),
              std::tuple(1, 2, 3, 30u + 49u + 11'400u));
    EXPECT_EQ(ListAudioTracks(reader.toc)[1].sectorCount, 49u + 11'400u) << "the naive length";
    EXPECT_EQ(ListAudioTracks(reader.toc, reader.sessions)[1].sectorCount, 49u);
    EXPECT_EQ(m.ReadTrack(0, 1), m.Audio(30, 49));
    // The drive cannot read past the end of the first session.
    reader.quiet = true;
    std::vector<std::uint8_t> sector(2352);
    EXPECT_THAT([&] { reader.ReadSectors(79, sector, 1); },
                Throws<CDReaderException>(Field(&CDReaderException::sense, aspi::scsi::kLbaOutOfRange)));
}

// Three audio tracks whose first and last two sectors are silent.
const std::vector<TestTrack> kThreeTracks = {{40}, {30}, {40}};

ReadControl Secure(SecureReadSettings settings) {
    ReadControl control;
    control.secure = settings;
    return control;
}

TEST(VerifiedTrackRead, TheMatchingOffsetReproducesTheImageUpToTheDiscsEnds) {
    for (const std::int32_t offset : {667, -1164}) {
        SCOPED_TRACE(offset);
        LinuxMachine m({"0:0:0:0"}, [offset](SimulatedDrive& d) { d.SetReadOffset(offset); }, kThreeTracks, true);
        EXPECT_EQ(m.ReadTrack(0, 0, Secure({false, 0, offset})), m.Audio(0, 40));
        EXPECT_EQ(m.ReadTrack(0, 1, Secure({true, 2, offset})), m.Audio(40, 30));
        EXPECT_EQ(m.ReadTrack(0, 2, Secure({false, 0, offset})), m.Audio(70, 40));
        EXPECT_NE(m.ReadTrack(0, 1), m.Audio(40, 30)) << "the drive shifts its audio";
    }
}

}  // namespace
}  // namespace korvane::cdda
