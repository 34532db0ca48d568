#pragma once
// The export command over the selected lines of a track view's region list: one WAV
// file per selected region, numbered by position among the selected lines when more
// than one is selected ("kick.wav" -> "kick1.wav", "kick2.wav", ...), the chosen name
// itself when exactly one is. A region that fails shows "could not write file"
// (string 61217, stop icon, OK) once and the export goes on with the next.
//
// The files are written under temporary names and made durable and renamed in groups
// (StageRegionWav, CommitStagedWavs), so a whole group costs about one disk flush; no
// target is replaced before its new file is complete and on disk. Leftover temporary
// files of an export that was interrupted are removed first.
//
// The GUI feeds this from its file dialog and list box; korvane-cli feeds it from its
// options. Thread contract: UI thread, blocking, no message pumping.
#include "export/wav_export.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace korvane::wavexport {

// A region's bounds in overview samples (4 frames each), as the region list holds them.
struct RegionBounds {
    std::uint32_t startOverview = 0;
    std::uint32_t lengthOverview = 0;
};

struct ExportRequest {
    std::filesystem::path trackFile;          // the document's path name
    std::vector<std::size_t> selectedLines;   // ascending line numbers of the list box
    std::function<RegionBounds(std::size_t line)> regionAt;  // the region list's At
    std::string chosenPath;                   // the file dialog's full path
    bool normalize = false;                   // the "Normalize exported Audio" setting
    std::vector<std::string> fileNames;       // the names to write, one per line; empty:
                                              // ExportFileNames(chosenPath, lines)
};

struct RegionExportResult {
    std::size_t line = 0;
    std::string path;
    ExportOutcome outcome;
};

// Progress over the whole export: frames written so far and in all; false cancels
// (the region being written is discarded and no later one is started).
using ExportProgress = std::function<bool(std::uint64_t framesDone, std::uint64_t framesTotal)>;

// The names the export writes, in order: MakeNumberedName(chosen, k + 1) for several
// lines, `chosen` for one.
std::vector<std::string> ExportFileNames(const std::string& chosenPath, std::size_t selectedCount);

// The line that reports a finished export: "12 regions written to FOLDER", with
// ", 2 failed" when regions failed (FOLDER is the chosen file's folder).
std::string ExportSummary(const std::vector<RegionExportResult>& results, const std::string& chosenPath);

// One region as the export writes it: its line, its file, its frames and its shaping.
struct RegionJob {
    std::size_t line = 0;
    std::string name;
    std::uint64_t firstFrame = 0;
    std::uint64_t frameCount = 0;
    RegionShaping shaping;
};

// Writes the jobs in order with the commit groups, messages and cancellation of
// ExportSelectedRegions. `companions` (files staged beside the regions) are committed
// with the last group when every region succeeded and discarded otherwise; their
// outcomes go to `companionOutcomes`.
std::vector<RegionExportResult> ExportRegionJobs(const std::filesystem::path& trackFile,
                                                 const std::vector<RegionJob>& jobs, bool normalize,
                                                 const ExportProgress& progress, const ExportIo& io,
                                                 std::vector<StagedWav> companions = {},
                                                 std::vector<ExportOutcome>* companionOutcomes = nullptr);

// Writes every selected region. Failures other than cancellation show 61217 through
// platform::MessageBox. Returns one result per region attempted.
std::vector<RegionExportResult> ExportSelectedRegions(const ExportRequest& request,
                                                      const ExportProgress& progress = {},
                                                      const ExportIo& io = {});

}  // namespace korvane::wavexport
