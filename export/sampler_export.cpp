#include "export/sampler_export.h"

#include "export/instrument.h"
#include "export/numbered_name.h"
#include "export/sampler_chunks.h"
#include "export/wav_format.h"
#include "platform/riff/file_io.h"
#include "regions/large_buffer.h"
#include "regions/sound_ends.h"
#include "regions/units.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace korvane::wavexport {
namespace {

namespace fs = std::filesystem;
using sampler::FrameSpan;

// `count` little-endian 16-bit samples from `firstByte`, read straight into place (the
// memory is not zeroed first: the read fills all of it or throws).
LargeVector<std::int16_t> ReadSamples(platform::ByteSource& source, std::uint64_t firstByte, std::size_t count) {
    LargeVector<std::int16_t> samples(count);
    source.ReadAt(firstByte, std::as_writable_bytes(std::span(samples)));
    if constexpr (std::endian::native == std::endian::big) {
        for (auto& s : samples) {
            const auto u = static_cast<std::uint16_t>(s);
            s = static_cast<std::int16_t>(static_cast<std::uint16_t>((u >> 8) | (u << 8)));
        }
    }
    return samples;
}

// Why a file cannot be made in `folder` ("" when it can): a probe file is created
// there exclusively and removed again.
std::string FolderRefusal(const fs::path& folder) {
    const fs::path probe = (folder.empty() ? fs::path(".") : folder) /
                           (".korvane-probe-" + std::to_string(::getpid()) + ".krvn-part");
    try {
        platform::FileSink sink(probe, platform::CreateMode::kExclusive);
        sink.Close();
    } catch (const std::exception& e) {
        return "cannot write to the folder " + (folder.empty() ? std::string(".") : folder.string()) + ": " + e.what();
    }
    std::error_code ignored;
    fs::remove(probe, ignored);
    return {};
}

std::vector<RegionJob> MarkedFileJob(const SamplerExportRequest& request, const std::vector<FrameSpan>& selected,
                                     const std::string& name) {
    const sampler::SamplerOptions& options = request.options;
    const std::uint64_t first = selected.front().first;
    const std::uint64_t count = selected.back().End() - first;
    RegionJob job{request.plain.selectedLines.front(), name, first, count, {}};
    job.shaping.fadeInFrames = sampler::FadeFrames(options.fadeInMs, count);
    job.shaping.fadeOutFrames = sampler::FadeFrames(options.fadeOutMs, count);
    std::vector<std::uint32_t> cues;
    std::vector<std::string> labels;
    for (std::size_t k = 0; k < selected.size(); ++k) {
        cues.push_back(static_cast<std::uint32_t>(selected[k].first - first));
        labels.push_back("Region " + std::to_string(k + 1));
    }
    if (options.smpl && count > 0) {
        const sampler::SampleLoop loop{0, static_cast<std::uint32_t>(count - 1)};
        job.shaping.trailingChunks.emplace_back(platform::MakeFourCc("smpl"),
                                                sampler::SmplChunk(options.firstKey, std::span(&loop, 1)));
    }
    job.shaping.trailingChunks.emplace_back(platform::MakeFourCc("cue "), sampler::CueChunk(cues));
    job.shaping.trailingChunks.emplace_back(platform::MakeFourCc("LIST"), sampler::LabelListChunk(labels));
    return {std::move(job)};
}

std::vector<RegionJob> RegionFileJobs(const SamplerExportRequest& request, const std::vector<FrameSpan>& selected,
                                      const std::vector<std::string>& names) {
    const sampler::SamplerOptions& options = request.options;
    std::vector<RegionJob> jobs;
    for (std::size_t k = 0; k < selected.size(); ++k) {
        RegionJob job{request.plain.selectedLines[k], names[k], selected[k].first, selected[k].count, {}};
        job.shaping.fadeInFrames = sampler::FadeFrames(options.fadeInMs, job.frameCount);
        job.shaping.fadeOutFrames = sampler::FadeFrames(options.fadeOutMs, job.frameCount);
        if (options.smpl && job.frameCount > 0) {
            const sampler::SampleLoop loop{0, static_cast<std::uint32_t>(job.frameCount - 1)};
            job.shaping.trailingChunks.emplace_back(
                platform::MakeFourCc("smpl"), sampler::SmplChunk(sampler::KeyOf(options, k), std::span(&loop, 1)));
        }
        jobs.push_back(std::move(job));
    }
    return jobs;
}

// The instrument and the groove: where each goes and its bytes.
std::vector<std::pair<fs::path, std::vector<std::byte>>> CompanionFiles(const SamplerExportRequest& request,
                                                                         const std::vector<FrameSpan>& selected,
                                                                         const std::vector<std::string>& names) {
    const sampler::SamplerOptions& options = request.options;
    std::vector<std::pair<fs::path, std::vector<std::byte>>> files;
    if (options.sfz) {
        const fs::path sfz = sampler::CompanionPath(request.plain.chosenPath, ".sfz");
        const std::vector<fs::path> paths(names.begin(), names.end());
        const std::string text = sampler::SfzText(paths, sfz.parent_path(), options,
                                                  {request.sourceName, request.thresholdDb, request.releaseMs});
        const auto bytes = std::as_bytes(std::span(text));
        files.emplace_back(sfz, std::vector<std::byte>(bytes.begin(), bytes.end()));
    }
    if (options.midi)
        files.emplace_back(sampler::CompanionPath(request.plain.chosenPath, ".mid"),
                           sampler::GrooveMidi(selected, options));
    return files;
}

// The sound ends of `regions` from the overview stored in the track file.
std::vector<std::uint32_t> SoundEndsInTrackFile(const fs::path& trackFile, std::span<const Region> regions,
                                                double thresholdDb, double releaseMs) {
    platform::FileSource source(trackFile);
    const std::uint64_t fileBytes = source.Size();
    const std::uint64_t count = units::OverviewSamplesInTrackFile(fileBytes);
    const auto overview =
        ReadSamples(source, units::OverviewOffsetInTrackFile(fileBytes), static_cast<std::size_t>(count));
    return SoundEnds(overview, thresholdDb, releaseMs, regions);
}

}  // namespace

bool SamplerExportResult::Ok() const {
    const auto ok = [](const RegionExportResult& r) { return r.outcome.Ok(); };
    return refused.empty() && std::all_of(regions.begin(), regions.end(), ok) &&
           std::all_of(companions.begin(), companions.end(), ok);
}

std::vector<std::string> SamplerFileNames(const std::string& chosenPath, std::size_t selectedCount,
                                          const sampler::SamplerOptions& options) {
    if (selectedCount == 0) return {};
    if (options.markers || selectedCount == 1) return {chosenPath};
    const int width = options.pad ? static_cast<int>(std::to_string(selectedCount).size()) : 0;
    std::vector<std::string> names;
    for (std::size_t k = 0; k < selectedCount; ++k)
        names.push_back(MakeNumberedName(chosenPath, static_cast<int>(k + 1), width));
    return names;
}

std::string SamplerNamesPreview(const std::string& chosenPath, std::size_t selectedCount,
                                const sampler::SamplerOptions& options) {
    const auto names = SamplerFileNames(chosenPath, selectedCount, options);
    if (names.empty()) return {};
    const auto fileName = [](const fs::path& path) { return path.filename().string(); };
    std::string preview = fileName(names.front());
    if (names.size() > 1) preview += (names.size() == 2 ? ", " : " \u2026 ") + fileName(names.back());
    if (options.sfz) preview += ", " + fileName(sampler::CompanionPath(chosenPath, ".sfz"));
    if (options.midi) preview += ", " + fileName(sampler::CompanionPath(chosenPath, ".mid"));
    return preview;
}

std::vector<FrameSpan> AdjustedSpans(const fs::path& trackFile, std::span<const Region> regions,
                                     std::span<const std::uint32_t> soundEnds, const sampler::SamplerOptions& options) {
    platform::FileSource source(trackFile);
    const std::uint64_t audioFrames = TrackAudioBytes(source.Size()) / kBytesPerFrame;
    const sampler::FrameSums sums = [&source](std::uint64_t first, std::span<std::int32_t> out) {
        const auto samples = ReadSamples(source, first * kBytesPerFrame, out.size() * 2);
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = std::int32_t{samples[2 * i]} + samples[2 * i + 1];
    };
    return sampler::AdjustBounds(regions, options.trim ? soundEnds : std::span<const std::uint32_t>{}, audioFrames,
                                 options, sums);
}

std::vector<FrameSpan> AdjustedSpans(const fs::path& trackFile, const std::vector<Region>& regions, double thresholdDb,
                                     double releaseMs, const sampler::SamplerOptions& options) {
    const auto ends = options.trim ? SoundEndsInTrackFile(trackFile, regions, thresholdDb, releaseMs)
                                   : std::vector<std::uint32_t>{};
    return AdjustedSpans(trackFile, regions, ends, options);
}

SamplerExportResult ExportForSampler(const SamplerExportRequest& request, const ExportProgress& progress,
                                     const ExportIo& io) {
    const ExportRequest& plain = request.plain;
    const sampler::SamplerOptions& options = request.options;
    if (!options.Any()) return {{}, ExportSelectedRegions(plain, progress, io), {}};
    SamplerExportResult result;
    if (plain.selectedLines.empty()) return result;
    if ((result.refused = sampler::CheckOptions(options, plain.selectedLines.size())) != "") return result;

    std::vector<FrameSpan> selected;
    try {
        const auto spans = AdjustedSpans(plain.trackFile, request.regions, request.thresholdDb, request.releaseMs,
                                         options);
        for (std::size_t line : plain.selectedLines) selected.push_back(spans.at(line));
    } catch (const std::exception& e) {
        result.refused = std::string("cannot read the track file: ") + e.what();
        return result;
    }
    const auto names = options.markers || plain.fileNames.empty()
                           ? SamplerFileNames(plain.chosenPath, selected.size(), options)
                           : plain.fileNames;
    const auto companionFiles = CompanionFiles(request, selected, names);
    std::vector<fs::path> folders;
    for (const auto& name : names) folders.push_back(fs::path(name).parent_path());
    for (const auto& [path, bytes] : companionFiles) folders.push_back(path.parent_path());
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const fs::path& folder : folders) {
        if ((result.refused = FolderRefusal(folder)) != "") return result;
    }

    std::vector<StagedWav> companions(companionFiles.size());
    for (std::size_t k = 0; k < companionFiles.size(); ++k) {
        const ExportOutcome staged = StageFileBytes(companionFiles[k].first, companionFiles[k].second, companions[k]);
        if (!staged.Ok()) {
            result.refused = staged.detail;
            return result;  // the staged companions are removed with `companions`
        }
    }
    const auto jobs = options.markers ? MarkedFileJob(request, selected, names.front())
                                      : RegionFileJobs(request, selected, names);
    std::vector<ExportOutcome> companionOutcomes;
    result.regions =
        ExportRegionJobs(plain.trackFile, jobs, plain.normalize, progress, io, std::move(companions), &companionOutcomes);
    for (std::size_t k = 0; k < companionFiles.size(); ++k)
        result.companions.push_back({0, companionFiles[k].first.string(), companionOutcomes.at(k)});
    return result;
}

std::size_t ShapedRegionsNeeded(std::size_t index, std::size_t regionCount) {
    return std::min(regionCount, index + 2);
}

std::vector<std::int16_t> ShapedRegionAudio(const fs::path& trackFile, std::span<const Region> regions,
                                            std::span<const std::uint32_t> soundEnds, std::size_t index,
                                            const sampler::SamplerOptions& options, std::uint64_t& firstFrame) {
    const auto needed = regions.first(ShapedRegionsNeeded(index, regions.size()));
    const FrameSpan span = AdjustedSpans(trackFile, needed, soundEnds, options).at(index);
    platform::FileSource source(trackFile);
    std::vector<std::byte> bytes(static_cast<std::size_t>(span.count * kBytesPerFrame));
    source.ReadAt(span.first * kBytesPerFrame, bytes);
    sampler::ApplyFades(bytes, 0, span.count, sampler::FadeFrames(options.fadeInMs, span.count),
                        sampler::FadeFrames(options.fadeOutMs, span.count));
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(std::to_integer<unsigned>(bytes[2 * i]) |
                                               (std::to_integer<unsigned>(bytes[2 * i + 1]) << 8));
    firstFrame = span.first;
    return samples;
}

std::vector<std::int16_t> ShapedRegionAudio(const fs::path& trackFile, const std::vector<Region>& regions,
                                            std::size_t index, double thresholdDb, double releaseMs,
                                            const sampler::SamplerOptions& options, std::uint64_t& firstFrame) {
    const auto needed = std::span(regions).first(ShapedRegionsNeeded(index, regions.size()));
    const auto ends = options.trim ? SoundEndsInTrackFile(trackFile, needed, thresholdDb, releaseMs)
                                   : std::vector<std::uint32_t>{};
    return ShapedRegionAudio(trackFile, needed, ends, index, options, firstFrame);
}

}  // namespace korvane::wavexport
