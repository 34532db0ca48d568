#include "export/export_regions.h"

#include "export/numbered_name.h"
#include "export/wav_format.h"
#include "platform/hostfiles/leftovers.h"
#include "platform/ui/ui.h"
#include "resources/strings.h"

#include <algorithm>

namespace korvane::wavexport {

std::vector<std::string> ExportFileNames(const std::string& chosenPath, std::size_t selectedCount) {
    std::vector<std::string> names;
    if (selectedCount == 1) {
        names.push_back(chosenPath);
        return names;
    }
    names.reserve(selectedCount);
    for (std::size_t k = 0; k < selectedCount; ++k)
        names.push_back(MakeNumberedName(chosenPath, static_cast<int>(k + 1)));
    return names;
}

std::string ExportSummary(const std::vector<RegionExportResult>& results, const std::string& chosenPath) {
    std::size_t written = 0;
    for (const RegionExportResult& result : results) written += result.outcome.Ok() ? 1 : 0;
    const std::size_t failed = results.size() - written;
    const std::filesystem::path parent = std::filesystem::path(chosenPath).parent_path();
    const std::string folder = parent.empty() ? std::filesystem::path(".").string() : parent.string();
    std::string line = std::to_string(written) + (written == 1 ? " region" : " regions") + " written to " + folder;
    if (failed > 0) line += ", " + std::to_string(failed) + " failed";
    return line;
}

namespace {

// Staged files are committed in groups: few enough to keep their files open (well
// below the usual limit of 1024 descriptors), many enough that one disk flush serves
// a whole group.
constexpr std::size_t kCommitGroup = 256;

void ShowCouldNotWrite() {
    platform::MessageBox(resources::LoadAppString(resources::kIdsCouldNotWriteFile), resources::kAppTitle,
                         platform::kMbOk | platform::kMbIconError);
}

// Commits the staged files and fills in the outcomes of their results.
void Commit(std::vector<StagedWav>& staged, std::vector<std::size_t>& resultIndex,
            std::vector<RegionExportResult>& results) {
    const auto outcomes = CommitStagedWavs(staged);
    for (std::size_t k = 0; k < outcomes.size(); ++k) {
        results[resultIndex[k]].outcome = outcomes[k];
        if (!outcomes[k].Ok()) ShowCouldNotWrite();
    }
    staged.clear();
    resultIndex.clear();
}

void RemoveStaleTemporaries(const std::vector<std::string>& names) {
    std::vector<std::filesystem::path> folders;
    for (const auto& name : names) {
        const auto folder = std::filesystem::path(name).parent_path();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    for (const auto& folder : folders) platform::RemoveLeftoverTemporaries(folder);
}

}  // namespace

std::vector<RegionExportResult> ExportRegionJobs(const std::filesystem::path& trackFile,
                                                 const std::vector<RegionJob>& jobs, bool normalize,
                                                 const ExportProgress& progress, const ExportIo& io,
                                                 std::vector<StagedWav> companions,
                                                 std::vector<ExportOutcome>* companionOutcomes) {
    std::vector<RegionExportResult> results;
    if (jobs.empty()) return results;
    std::vector<std::string> names;
    std::uint64_t framesTotal = 0;
    for (const RegionJob& job : jobs) {
        names.push_back(job.name);
        framesTotal += job.frameCount;
    }
    RemoveStaleTemporaries(names);

    std::vector<StagedWav> staged;
    std::vector<std::size_t> stagedResult;  // index in results of each staged file
    std::uint64_t framesBefore = 0;
    bool allWritten = true;
    for (const RegionJob& job : jobs) {
        ExportIo regionIo = io;
        if (progress)
            regionIo.progress = [&](std::uint64_t done, std::uint64_t) {
                return progress(framesBefore + done, framesTotal);
            };
        StagedWav wav;
        RegionExportResult result{job.line, job.name,
                                  StageRegionWav(trackFile, job.name, job.firstFrame, job.frameCount, normalize,
                                                 job.shaping, regionIo, wav)};
        const bool cancelled = result.outcome.error == ExportError::kCancelled;
        if (!result.outcome.Ok() && !cancelled) ShowCouldNotWrite();
        allWritten = allWritten && result.outcome.Ok();
        if (result.outcome.Ok()) {
            staged.push_back(std::move(wav));
            stagedResult.push_back(results.size());
        }
        results.push_back(std::move(result));
        if (cancelled) break;
        if (staged.size() == kCommitGroup) Commit(staged, stagedResult, results);
        framesBefore += job.frameCount;
        if (progress && !progress(framesBefore, framesTotal)) {
            allWritten = false;
            break;
        }
    }
    // The companions describe all regions: they go with the last group, or not at all.
    const std::size_t regionsStaged = staged.size();
    const std::size_t companionCount = companions.size();
    allWritten = allWritten && results.size() == jobs.size();
    if (allWritten) {
        for (StagedWav& companion : companions) staged.push_back(std::move(companion));
    }
    companions.clear();
    const auto outcomes = CommitStagedWavs(staged);
    for (std::size_t k = 0; k < outcomes.size(); ++k) {
        if (k < regionsStaged) {
            results[stagedResult[k]].outcome = outcomes[k];
            if (!outcomes[k].Ok()) ShowCouldNotWrite();
        }
    }
    if (companionOutcomes != nullptr) {
        companionOutcomes->assign(companionCount, {ExportError::kCancelled, "not written: not every region was written"});
        if (allWritten)
            std::copy(outcomes.begin() + static_cast<std::ptrdiff_t>(regionsStaged), outcomes.end(),
                      companionOutcomes->begin());
    }
    return results;
}

std::vector<RegionExportResult> ExportSelectedRegions(const ExportRequest& request,
                                                      const ExportProgress& progress, const ExportIo& io) {
    const auto names = request.fileNames.empty() ? ExportFileNames(request.chosenPath, request.selectedLines.size())
                                                 : request.fileNames;
    std::vector<RegionJob> jobs;
    jobs.reserve(request.selectedLines.size());
    for (std::size_t k = 0; k < request.selectedLines.size(); ++k) {
        const RegionBounds region = request.regionAt(request.selectedLines[k]);
        jobs.push_back({request.selectedLines[k], names[k],
                        std::uint64_t{region.startOverview} * kFramesPerOverviewSample,
                        std::uint64_t{region.lengthOverview} * kFramesPerOverviewSample, {}});
    }
    return ExportRegionJobs(request.trackFile, jobs, request.normalize, progress, io);
}

}  // namespace korvane::wavexport
