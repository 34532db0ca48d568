#pragma once
// The export with the sampler options (export/sampler.h): adjusted bounds and fades,
// loop and slice chunks, the instrument (NAME.sfz) and the groove (NAME.mid). With
// every option off it is exactly ExportSelectedRegions.
//
// Bad input is refused before anything is written: options out of range
// (sampler::CheckOptions) or an output folder that cannot be written. A region that
// fails while writing shows "could not write file" as in the plain export, and the
// instrument and groove, which describe all regions, are then not written.
//
// The audio that play and loop use with the same options comes from ShapedRegionAudio,
// so what is heard is what is exported.
//
// Thread contract: UI thread (blocking), like ExportSelectedRegions.
#include "export/export_regions.h"
#include "export/sampler.h"
#include "regions/region.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace korvane::wavexport {

// The track, its slicing and the options around a plain export request.
struct SamplerExportRequest {
    ExportRequest plain;              // track file, selected lines, chosen name, normalise
    std::vector<Region> regions;      // the track's whole region list (the neighbours count)
    double thresholdDb = 0.0;         // the slicing that made the regions
    int releaseMs = 0;
    std::string sourceName;           // for the instrument's header comment
    sampler::SamplerOptions options;
};

struct SamplerExportResult {
    std::string refused;                       // why nothing was written; empty when it ran
    std::vector<RegionExportResult> regions;   // one per region attempted
    std::vector<RegionExportResult> companions;  // NAME.sfz and NAME.mid (line unused)
    bool Ok() const;
};

// The names of the region files: numbered (zero-padded with --pad), the chosen name for
// one region, and the chosen name alone with --markers. The export uses these unless
// the plain request names its files itself (and --markers is off).
std::vector<std::string> SamplerFileNames(const std::string& chosenPath, std::size_t selectedCount,
                                          const sampler::SamplerOptions& options);

// What a sampler export of `selectedCount` regions to `chosenPath` writes, for the export
// dialog: the first and last of SamplerFileNames ("kick01.wav … kick12.wav" with --pad,
// the one name with --markers), then NAME.sfz and NAME.mid when chosen (file names only).
std::string SamplerNamesPreview(const std::string& chosenPath, std::size_t selectedCount,
                                const sampler::SamplerOptions& options);

// The adjusted bounds of every region of `regions` over the track file.
std::vector<sampler::FrameSpan> AdjustedSpans(const std::filesystem::path& trackFile,
                                              const std::vector<Region>& regions, double thresholdDb,
                                              double releaseMs, const sampler::SamplerOptions& options);
// The same with the regions' sound ends known (`soundEnds`, see regions/sound_ends.h;
// used with --trim only).
std::vector<sampler::FrameSpan> AdjustedSpans(const std::filesystem::path& trackFile, std::span<const Region> regions,
                                              std::span<const std::uint32_t> soundEnds,
                                              const sampler::SamplerOptions& options);

SamplerExportResult ExportForSampler(const SamplerExportRequest& request, const ExportProgress& progress = {},
                                     const ExportIo& io = {});

// Region `index` of `regions` as play and loop hear it with `options`: its adjusted
// frames with the fades, 16-bit stereo samples; `firstFrame` receives where it starts.
// Throws std::runtime_error when the track file cannot be read.
std::vector<std::int16_t> ShapedRegionAudio(const std::filesystem::path& trackFile,
                                            const std::vector<Region>& regions, std::size_t index,
                                            double thresholdDb, double releaseMs,
                                            const sampler::SamplerOptions& options, std::uint64_t& firstFrame);

// A region's adjusted bounds depend on the regions before it and on the next one's end,
// never on later ones: play of region `index` needs the first ShapedRegionsNeeded of
// them and their sound ends.
std::size_t ShapedRegionsNeeded(std::size_t index, std::size_t regionCount);

// ShapedRegionAudio with the sound ends of at least the first ShapedRegionsNeeded regions
// already known (ignored without --trim), e.g. from the view's slice index, so a play
// click neither reads the overview again nor runs the average over it.
std::vector<std::int16_t> ShapedRegionAudio(const std::filesystem::path& trackFile, std::span<const Region> regions,
                                            std::span<const std::uint32_t> soundEnds, std::size_t index,
                                            const sampler::SamplerOptions& options, std::uint64_t& firstFrame);

}  // namespace korvane::wavexport
