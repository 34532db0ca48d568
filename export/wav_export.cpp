#include "export/wav_export.h"

#include "export/normalize.h"
#include "export/sampler.h"
#include "export/wav_format.h"
#include "platform/hostfiles/leftovers.h"
#include "platform/riff/riff.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>
#include <vector>

namespace korvane::wavexport {
namespace {

namespace fs = std::filesystem;
using platform::ByteSink;
using platform::ByteSource;
using platform::IoError;

// Checks the target before anything is written. A read-only file (no owner write bit,
// the read-only attribute of the original system) is refused, even for a user whose
// rights would allow replacing it.
ExportOutcome CheckTarget(const fs::path& target) {
    std::error_code ec;
    const auto status = fs::status(target, ec);
    if (ec && status.type() != fs::file_type::not_found)
        return {ExportError::kTargetNotWritable, "cannot inspect " + target.string() + ": " + ec.message()};
    if (status.type() == fs::file_type::not_found) return {};
    if (status.type() != fs::file_type::regular)
        return {ExportError::kTargetNotWritable, target.string() + " exists and is not a regular file"};
    if ((status.permissions() & fs::perms::owner_write) == fs::perms::none)
        return {ExportError::kTargetNotWritable, target.string() + " is read-only"};
    return {};
}

// Creates the temporary file; on success `staged` names it (and removes it if dropped).
std::unique_ptr<ByteSink> CreateTemporary(const fs::path& target, fs::path& created) {
    for (int attempt = 0;; ++attempt) {
        fs::path name = platform::TemporaryNameBeside(target);
        try {
            auto sink = std::make_unique<platform::FileSink>(name, platform::CreateMode::kExclusive);
            created = std::move(name);
            return sink;
        } catch (const IoError& e) {
            if (e.Code() != std::errc::file_exists || attempt >= 16) throw;
        }
    }
}

// Syncs a folder, so that the renames in it survive a power loss.
std::error_code SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return {errno, std::generic_category()};
    std::error_code ec;
    if (::fsync(fd) != 0) ec = {errno, std::generic_category()};
    ::close(fd);
    return ec;
}

}  // namespace

StagedWav::StagedWav(StagedWav&& other) noexcept
    : target_(std::move(other.target_)), temporary_(std::exchange(other.temporary_, {})),
      sink_(std::move(other.sink_)) {}

StagedWav& StagedWav::operator=(StagedWav&& other) noexcept {
    if (this != &other) {
        Discard();
        target_ = std::move(other.target_);
        temporary_ = std::exchange(other.temporary_, {});
        sink_ = std::move(other.sink_);
    }
    return *this;
}

StagedWav::~StagedWav() { Discard(); }

// Closes and removes the temporary file; errors here cannot be reported better than
// the failure that led here, which the caller reports.
void StagedWav::Discard() noexcept {
    sink_.reset();
    if (!temporary_.empty()) {
        std::error_code ignored;
        fs::remove(temporary_, ignored);
        temporary_.clear();
    }
}

ExportOutcome StageRegionWav(const fs::path& trackFile, const fs::path& target, std::uint64_t firstFrame,
                             std::uint64_t frameCount, bool normalize, const ExportIo& io, StagedWav& staged) {
    return StageRegionWav(trackFile, target, firstFrame, frameCount, normalize, RegionShaping{}, io, staged);
}

namespace {

// Resolves a link to the file it names and checks that file can be replaced.
ExportOutcome ResolveTarget(const fs::path& targetIn, fs::path& target) {
    target = targetIn;
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        target = fs::weakly_canonical(target, ec);
        if (ec) return {ExportError::kWriteFailed, "cannot resolve " + targetIn.string() + ": " + ec.message()};
    }
    return CheckTarget(target);
}

}  // namespace

ExportOutcome StageFileBytes(const fs::path& targetIn, std::span<const std::byte> bytes, StagedWav& staged) {
    staged = StagedWav{};
    StagedWav result;
    if (auto checked = ResolveTarget(targetIn, result.target_); !checked.Ok()) return checked;
    try {
        auto sink = CreateTemporary(result.target_, result.temporary_);
        sink->Write(bytes);
        sink->StartSync();
        result.sink_ = std::move(sink);
    } catch (const std::exception& e) {
        return {ExportError::kWriteFailed, e.what()};
    }
    staged = std::move(result);
    return {};
}

ExportOutcome StageRegionWav(const fs::path& trackFile, const fs::path& targetIn, std::uint64_t firstFrame,
                             std::uint64_t frameCount, bool normalize, const RegionShaping& shaping,
                             const ExportIo& io, StagedWav& staged) {
    staged = StagedWav{};
    if (frameCount > kMaxExportFrames)
        return {ExportError::kRegionTooLarge, "region of " + std::to_string(frameCount) +
                                                  " frames does not fit a WAV file"};
    // A link is followed, so the file it names is replaced, not the link.
    fs::path target;
    if (auto checked = ResolveTarget(targetIn, target); !checked.Ok()) return checked;
    {
        // Replacing the track file would destroy the audio the document stands for.
        std::error_code ec;
        if (fs::exists(target, ec) && fs::equivalent(target, trackFile, ec))
            return {ExportError::kTargetNotWritable, target.string() + " is the track file being exported from"};
    }

    std::unique_ptr<ByteSource> source;
    try {
        source = io.openSource ? io.openSource(trackFile) : std::make_unique<platform::FileSource>(trackFile);
    } catch (const std::exception& e) {
        return {ExportError::kSourceUnreadable, e.what()};
    }
    const std::uint64_t audioBytes = TrackAudioBytes(source->Size());
    const std::uint64_t audioFrames = audioBytes / kBytesPerFrame;
    if (firstFrame > audioFrames || frameCount > audioFrames - firstFrame)
        return {ExportError::kRegionPastEnd,
                "frames " + std::to_string(firstFrame) + " to " + std::to_string(firstFrame + frameCount) +
                    " reach past the " + std::to_string(audioFrames) + " frames of " + trackFile.string()};

    const std::uint64_t firstByte = firstFrame * kBytesPerFrame;
    const std::uint64_t dataBytes = frameCount * kBytesPerFrame;
    std::vector<std::byte> block(static_cast<std::size_t>(std::min<std::uint64_t>(dataBytes, kExportBlockBytes)));

    double gain = 1.0;
    bool scale = false;
    if (normalize) {
        std::uint32_t peak = 0;
        try {
            for (std::uint64_t done = 0; done < dataBytes && peak < 32768;) {
                const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), dataBytes - done));
                source->ReadAt(firstByte + done, std::span(block).first(n));
                peak = std::max(peak, PeakMagnitude(std::span<const std::byte>(block).first(n)));
                done += n;
            }
        } catch (const std::exception& e) {
            return {ExportError::kSourceUnreadable, e.what()};
        }
        scale = peak != 0;
        gain = NormalizationGain(peak);
    }

    StagedWav result;
    result.target_ = target;
    std::unique_ptr<ByteSink> sink;
    try {
        sink = CreateTemporary(target, result.temporary_);
    } catch (const std::exception& e) {
        return {ExportError::kWriteFailed, e.what()};
    }
    if (io.wrapSink) sink = io.wrapSink(std::move(sink));

    ExportError readOrWrite = ExportError::kWriteFailed;
    try {
        platform::RiffWriter riff(std::move(sink));
        riff.CreateRiffChunk(platform::MakeFourCc("WAVE"));
        riff.CreateChunk(platform::MakeFourCc("fmt "));
        const auto format = EncodeFormatRecord();
        riff.Write(format);
        riff.Ascend();
        riff.CreateChunk(platform::MakeFourCc("data"));
        for (std::uint64_t done = 0; done < dataBytes;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), dataBytes - done));
            const auto chunk = std::span(block).first(n);
            readOrWrite = ExportError::kSourceUnreadable;
            source->ReadAt(firstByte + done, chunk);
            readOrWrite = ExportError::kWriteFailed;
            if (scale) ScaleSamples(chunk, gain);
            sampler::ApplyFades(chunk, done / kBytesPerFrame, frameCount, shaping.fadeInFrames, shaping.fadeOutFrames);
            riff.Write(chunk);
            done += n;
            if (io.progress && !io.progress(done / kBytesPerFrame, frameCount))
                return {ExportError::kCancelled, "export cancelled"};
        }
        riff.Ascend();  // data
        for (const auto& [id, contents] : shaping.trailingChunks) {
            riff.CreateChunk(id);
            riff.Write(contents);
            riff.Ascend();
        }
        riff.Ascend();  // RIFF
        result.sink_ = riff.Detach();
    } catch (const std::exception& e) {
        return {readOrWrite, e.what()};
    }
    result.sink_->StartSync();
    staged = std::move(result);
    return {};
}

std::vector<ExportOutcome> CommitStagedWavs(std::span<StagedWav> staged) {
    std::vector<ExportOutcome> outcomes(staged.size());
    auto fail = [&](std::size_t k, const std::exception& e) {
        outcomes[k] = {ExportError::kWriteFailed, e.what()};
        staged[k].Discard();
    };
    // Make the data durable before any rename. One file is synced on its own; for
    // several, each file's data is waited for (its own write errors), then one flush of
    // the file system makes all of them durable: a sync per file would cost a device
    // flush per file.
    for (std::size_t k = 0; k < staged.size(); ++k) {
        if (!staged[k].sink_) {
            outcomes[k] = {ExportError::kWriteFailed, "nothing staged for " + staged[k].target_.string()};
            continue;
        }
        try {
            if (staged.size() == 1) staged[k].sink_->Sync();
            else staged[k].sink_->WaitWritten();
        } catch (const std::exception& e) {
            fail(k, e);
        }
    }
    const auto first = std::find_if(staged.begin(), staged.end(), [](const StagedWav& w) { return w.sink_ != nullptr; });
    if (staged.size() > 1 && first != staged.end()) {
        try {
            first->sink_->SyncFileSystem();
        } catch (const std::exception& e) {
            for (std::size_t k = 0; k < staged.size(); ++k) {
                if (staged[k].sink_) fail(k, e);
            }
        }
    }
    for (std::size_t k = 0; k < staged.size(); ++k) {
        if (!staged[k].sink_) continue;
        try {
            staged[k].sink_->Close();
        } catch (const std::exception& e) {
            fail(k, e);
        }
    }
    std::vector<fs::path> folders;
    for (std::size_t k = 0; k < staged.size(); ++k) {
        StagedWav& wav = staged[k];
        if (!outcomes[k].Ok()) continue;
        std::error_code ec;
        fs::rename(wav.temporary_, wav.target_, ec);
        if (ec) {
            outcomes[k] = {ExportError::kWriteFailed, "cannot rename to " + wav.target_.string() + ": " + ec.message()};
            wav.Discard();
            continue;
        }
        wav.temporary_.clear();
        wav.sink_.reset();
        if (std::find(folders.begin(), folders.end(), wav.target_.parent_path()) == folders.end())
            folders.push_back(wav.target_.parent_path());
    }
    for (const fs::path& folder : folders) {
        if (const std::error_code ec = SyncFolder(folder)) {
            for (std::size_t k = 0; k < staged.size(); ++k) {
                if (outcomes[k].Ok() && staged[k].target_.parent_path() == folder)
                    outcomes[k] = {ExportError::kWriteFailed, "cannot flush the folder " + folder.string() + ": " +
                                                                  ec.message()};
            }
        }
    }
    for (StagedWav& wav : staged) wav.Discard();
    return outcomes;
}

ExportOutcome WriteRegionWav(const fs::path& trackFile, const fs::path& target, std::uint64_t firstFrame,
                             std::uint64_t frameCount, bool normalize, const ExportIo& io) {
    StagedWav staged;
    if (auto outcome = StageRegionWav(trackFile, target, firstFrame, frameCount, normalize, io, staged);
        !outcome.Ok())
        return outcome;
    return CommitStagedWavs(std::span(&staged, 1)).front();
}

}  // namespace korvane::wavexport
