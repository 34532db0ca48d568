#pragma once
// The frame's CD interface over the CD layer's CDReader: the drives the ASPI manager
// offers (real drives, the cue sheets of KORVANE_DISC, the demo disc).
// Thread contract: UI thread only, like the CDReader it owns.
#include "app/frame/cd_source.h"
#include "cdda/cd_reader.h"
#include "cdda/track_reader.h"

#include <memory>
#include <string>

namespace korvane::app {

class MachineCdSource final : public CdSource {
public:
    // Binds the CD layer. When the ASPI manager cannot be bound the source stays
    // unavailable and BindFailure() says why.
    explicit MachineCdSource(cdda::CDReader::Options options = {});
    // Over a manager already in the process (tests: simulated drives).
    MachineCdSource(cdda::ManagerEntryPoints entryPoints, cdda::CDReader::Options options);
    ~MachineCdSource() override;

    bool Available() const override { return reader_ != nullptr; }
    const std::string& BindFailure() const noexcept { return bindFailure_; }
    cdda::CDReader* reader() const noexcept { return reader_.get(); }

    std::vector<std::string> ScanDrives(bool quiet) override;
    std::vector<std::string> TrackLines(int driveLine, bool quiet) override;
    std::vector<std::string> Problems() const override;
    std::optional<std::filesystem::path> ReadTrack(int driveLine, int trackLine, const std::string& expectedLine,
                                                   const std::filesystem::path& tempDir,
                                                   const ReadProgress& progress) override;
    void SetReadOptions(const CdReadOptions& options) override { options_ = options; }
    CdReadSummary LastReadSummary() const override { return summary_; }
    std::string DriveModel(int driveLine) const override;

private:
    std::int32_t StoredOffset(const cdda::CDDrive& drive);
    void Summarise(const cdda::CDDrive& drive, const std::filesystem::path& trackFile,
                   const cdda::TrackReadReport& report);

    std::unique_ptr<cdda::CDReader> reader_;
    std::string bindFailure_;
    std::shared_ptr<platform::RegistryStore> registry_;  // where drive offsets are kept
    CdReadOptions options_;
    CdReadSummary summary_;
};

}  // namespace korvane::app
