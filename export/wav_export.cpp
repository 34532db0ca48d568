#include "export/wav_export.h"

#include "export/normalize.h"
#include "export/wav_format.h"
#include "platform/riff/riff.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <random>
#include <vector>

namespace korvane::wavexport {
namespace {

namespace fs = std::filesystem;
using platform::ByteSink;
using platform::ByteSource;
using platform::IoError;

constexpr std::string_view kTempSuffix = ".krvn-part";

// A name in the target's folder that no other file has; the file is created
// exclusively, so an existing file is never touched even if a name repeats.
fs::path TemporaryNameFor(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 random{std::random_device{}()};
    std::string name(1, '.');
    name.append(target.filename().string()).append(1, '.');
    name.append(std::to_string(random() % 1000000)).append(1, '-').append(std::to_string(counter++));
    name.append(kTempSuffix);
    return target.parent_path() / name;
}

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

// Removes the temporary file unless it was renamed; errors while cleaning up cannot
// be reported better than the failure that caused them, which the caller reports.
class TemporaryFile {
public:
    explicit TemporaryFile(fs::path path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty()) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const fs::path& Path() const noexcept { return path_; }
    void Release() noexcept { path_.clear(); }

private:
    fs::path path_;
};

struct CreatedTemp {
    std::unique_ptr<TemporaryFile> file;
    std::unique_ptr<ByteSink> sink;
};

CreatedTemp CreateTemporary(const fs::path& target) {
    for (int attempt = 0;; ++attempt) {
        fs::path name = TemporaryNameFor(target);
        try {
            auto sink = std::make_unique<platform::FileSink>(name, platform::CreateMode::kExclusive);
            return {std::make_unique<TemporaryFile>(std::move(name)), std::move(sink)};
        } catch (const IoError& e) {
            if (e.Code() != std::errc::file_exists || attempt >= 16) throw;
        }
    }
}

}  // namespace

bool IsExportTemporaryFor(const fs::path& candidate, const fs::path& target) {
    const std::string name = candidate.filename().string();
    std::string prefix(1, '.');
    prefix.append(target.filename().string()).append(1, '.');
    return candidate.parent_path() == target.parent_path() && name.starts_with(prefix) &&
           name.ends_with(kTempSuffix);
}

ExportOutcome WriteRegionWav(const fs::path& trackFile, const fs::path& targetIn, std::uint64_t firstFrame,
                             std::uint64_t frameCount, bool normalize, const ExportIo& io) {
    if (frameCount > kMaxExportFrames)
        return {ExportError::kRegionTooLarge, "region of " + std::to_string(frameCount) +
                                                  " frames does not fit a WAV file"};
    // A link is followed, so the file it names is replaced, not the link.
    fs::path target = targetIn;
    {
        std::error_code ec;
        if (fs::is_symlink(target, ec)) {
            target = fs::weakly_canonical(target, ec);
            if (ec) return {ExportError::kWriteFailed, "cannot resolve " + targetIn.string() + ": " + ec.message()};
        }
    }
    if (auto checked = CheckTarget(target); !checked.Ok()) return checked;
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

    CreatedTemp temp;
    try {
        temp = CreateTemporary(target);
    } catch (const std::exception& e) {
        return {ExportError::kWriteFailed, e.what()};
    }
    if (io.wrapSink) temp.sink = io.wrapSink(std::move(temp.sink));

    ExportError readOrWrite = ExportError::kWriteFailed;
    try {
        platform::RiffWriter riff(std::move(temp.sink));
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
            riff.Write(chunk);
            done += n;
            if (io.progress && !io.progress(done / kBytesPerFrame, frameCount))
                return {ExportError::kCancelled, "export cancelled"};
        }
        riff.Ascend();  // data
        riff.Ascend();  // RIFF
        riff.Close();
    } catch (const std::exception& e) {
        return {readOrWrite, e.what()};
    }

    std::error_code ec;
    fs::rename(temp.file->Path(), target, ec);
    if (ec) return {ExportError::kWriteFailed, "cannot rename to " + target.string() + ": " + ec.message()};
    temp.file->Release();
    return {};
}

}  // namespace korvane::wavexport
