#include "track/wav_import.h"

#include "platform/ui/ui.h"
#include "resources/strings.h"
#include "cdda/temp_file.h"
#include "track/track_file_writer.h"
#include "track/wav_layout.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <vector>

namespace korvane::track {
namespace {

namespace fs = std::filesystem;

// Frames moved per step: one transfer of the track reader.
constexpr std::size_t kFramesPerStep = 24 * 588;

ImportOutcome Fail(ImportError error, std::string detail) { return {error, std::move(detail), 0, 0}; }

// Removes a file unless released; used for every file the import creates.
class CreatedFile {
public:
    explicit CreatedFile(fs::path path) : path_(std::move(path)) {}
    ~CreatedFile() {
        if (!path_.empty()) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }
    CreatedFile(const CreatedFile&) = delete;
    CreatedFile& operator=(const CreatedFile&) = delete;
    const fs::path& Path() const noexcept { return path_; }
    void Release() noexcept { path_.clear(); }

private:
    fs::path path_;
};

// Checks the format and copies the audio of `source` into `sink`.
ImportOutcome CopyIntoTrackFile(platform::ByteSource& source, std::unique_ptr<platform::ByteSink> sink,
                                const ImportIo& io) {
    WavLayout layout;
    try {
        const auto parsed = ReadWavLayout(source);
        if (!parsed.Ok())
            return Fail(parsed.malformed             ? ImportError::kMalformed
                        : parsed.unsupportedChannels ? ImportError::kWrongChannels
                                                     : ImportError::kNotPcm16,
                        parsed.error);
        layout = parsed.layout;
    } catch (const platform::IoError& e) {
        return Fail(ImportError::kCannotRead, e.what());
    }
    if (layout.formatTag != kWavFormatPcm || layout.bitsPerSample != 16)
        return Fail(ImportError::kNotPcm16, "format " + std::to_string(layout.formatTag) + ", " +
                                                std::to_string(layout.bitsPerSample) + " bits per sample");
    if (layout.sampleRateHz != 44'100)
        return Fail(ImportError::kWrongRate, std::to_string(layout.sampleRateHz) + " Hz");
    if (layout.channels != 1 && layout.channels != 2)
        return Fail(ImportError::kWrongChannels, std::to_string(layout.channels) + " channels");
    const std::uint64_t bytesPerFrame = 2u * layout.channels;
    if (layout.blockAlign != bytesPerFrame)
        return Fail(ImportError::kMalformed, "block align " + std::to_string(layout.blockAlign) + " for " +
                                                 std::to_string(layout.channels) + " channels of 16 bits");
    // A trailing partial frame (an odd data size) carries no whole sample pair.
    const std::uint64_t frames = layout.dataBytes / bytesPerFrame;

    ImportOutcome outcome{ImportError::kNone, {}, frames, 0};
    ImportError failure = ImportError::kCannotWrite;
    try {
        if (io.wrapSink) sink = io.wrapSink(std::move(sink));
        TrackFileWriter writer(std::move(sink), frames);
        std::vector<std::byte> bytes(kFramesPerStep * bytesPerFrame);
        std::vector<std::int16_t> samples(kFramesPerStep * layout.channels);
        for (std::uint64_t done = 0; done < frames;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kFramesPerStep, frames - done));
            const auto chunk = std::span(bytes).first(n * bytesPerFrame);
            failure = ImportError::kCannotRead;
            source.ReadAt(layout.dataOffset + done * bytesPerFrame, chunk);
            failure = ImportError::kCannotWrite;
            const auto values = std::span(samples).first(n * layout.channels);
            for (std::size_t i = 0; i < values.size(); ++i)
                values[i] = static_cast<std::int16_t>(std::to_integer<std::uint16_t>(chunk[2 * i]) |
                                                      std::to_integer<std::uint16_t>(chunk[2 * i + 1]) << 8);
            if (layout.channels == 2)
                writer.AppendStereo(values);
            else
                writer.AppendMono(values);
            done += n;
            if (io.progress && !io.progress(done, frames)) return Fail(ImportError::kCancelled, "import cancelled");
        }
        writer.Finish();
        outcome.sectorCount = writer.SectorCount();
    } catch (const std::exception& e) {
        return Fail(failure, e.what());
    }
    return outcome;
}

std::unique_ptr<platform::ByteSource> OpenSource(const fs::path& wavFile, const ImportIo& io, ImportOutcome& failed) {
    try {
        return io.openSource ? io.openSource(wavFile) : std::make_unique<platform::FileSource>(wavFile);
    } catch (const std::exception& e) {
        failed = Fail(ImportError::kCannotRead, e.what());
        return nullptr;
    }
}

fs::path TemporaryNameBeside(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 random{std::random_device{}()};
    std::string name(1, '.');
    name.append(target.filename().string()).append(1, '.');
    name.append(std::to_string(random() % 1000000)).append(1, '-').append(std::to_string(counter++));
    name.append(".krvn-part");
    return target.parent_path() / name;
}

void ShowImportError(const ImportOutcome& outcome, const fs::path& wavFile) {
    std::string text(resources::LoadAppString(ImportMessageId(outcome.error)));
    if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, wavFile.string());
    platform::MessageBox(text, resources::kAppTitle, platform::kMbOk | platform::kMbIconError);
}

}  // namespace

std::uint32_t ImportMessageId(ImportError error) noexcept {
    switch (error) {
        case ImportError::kNone:
        case ImportError::kCancelled: return 0;
        case ImportError::kCannotRead: return resources::kIdsImportCannotRead;
        case ImportError::kMalformed: return resources::kIdsImportMalformed;
        case ImportError::kNotPcm16: return resources::kIdsImportNotPcm16;
        case ImportError::kWrongRate: return resources::kIdsImportWrongRate;
        case ImportError::kWrongChannels: return resources::kIdsImportWrongChannels;
        case ImportError::kCannotWrite: return resources::kIdsImportCannotWrite;
    }
    return resources::kIdsImportMalformed;
}

bool LooksLikeWavFile(const fs::path& path) {
    try {
        platform::FileSource source(path);
        if (source.Size() < 12) return false;
        std::array<std::byte, 12> head{};
        source.ReadAt(0, head);
        return std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "WAVE", 4) == 0;
    } catch (const platform::IoError&) {
        return false;
    }
}

ImportOutcome ImportWavToTrackFile(const fs::path& wavFile, const fs::path& trackFile, const ImportIo& io) {
    ImportOutcome failed;
    auto source = OpenSource(wavFile, io, failed);
    if (!source) return failed;
    std::error_code ec;
    if (fs::exists(trackFile, ec) && fs::equivalent(trackFile, wavFile, ec))
        return Fail(ImportError::kCannotWrite, "the track file would replace the WAV file it is made from");
    if (fs::is_directory(trackFile, ec)) return Fail(ImportError::kCannotWrite, trackFile.string() + " is a folder");

    std::unique_ptr<platform::ByteSink> sink;
    std::unique_ptr<CreatedFile> temp;
    try {
        const fs::path name = TemporaryNameBeside(trackFile);
        sink = std::make_unique<platform::FileSink>(name, platform::CreateMode::kExclusive);
        temp = std::make_unique<CreatedFile>(name);
    } catch (const std::exception& e) {
        return Fail(ImportError::kCannotWrite, e.what());
    }
    auto outcome = CopyIntoTrackFile(*source, std::move(sink), io);
    if (!outcome.Ok()) return outcome;
    fs::rename(temp->Path(), trackFile, ec);
    if (ec) return Fail(ImportError::kCannotWrite, "cannot rename to " + trackFile.string() + ": " + ec.message());
    temp->Release();
    return outcome;
}

ImportedDocument OpenWavAsDocument(const fs::path& wavFile, const fs::path& tempDir, CKorvaneDoc::Hooks hooks,
                                   const ImportIo& io) {
    ImportedDocument result;
    auto source = OpenSource(wavFile, io, result.outcome);
    if (source) {
        try {
            auto reserved = cdda::TempFile::CreateUnique(tempDir, "~krvn");
            reserved.Close();
            CreatedFile track(reserved.Path());
            result.outcome = CopyIntoTrackFile(
                *source, std::make_unique<platform::FileSink>(track.Path(), platform::CreateMode::kTruncate), io);
            if (result.outcome.Ok()) {
                result.document = std::make_unique<CKorvaneDoc>(std::move(hooks));
                result.document->AdoptTemporaryTrackFile(track.Path());
                result.document->SetTitle(wavFile.filename().string());
                track.Release();
            }
        } catch (const std::exception& e) {
            result.outcome = Fail(ImportError::kCannotWrite, e.what());
        }
    }
    if (!result.outcome.Ok() && result.outcome.error != ImportError::kCancelled)
        ShowImportError(result.outcome, wavFile);
    return result;
}

std::unique_ptr<CKorvaneDoc> OpenDocumentFile(const fs::path& path, const fs::path& tempDir,
                                              CKorvaneDoc::Hooks hooks) {
    if (LooksLikeWavFile(path)) return OpenWavAsDocument(path, tempDir, std::move(hooks)).document;
    auto document = std::make_unique<CKorvaneDoc>(std::move(hooks));
    if (!document->OnOpenDocument(path)) {
        ImportOutcome outcome = Fail(ImportError::kCannotRead, path.string());
        ShowImportError(outcome, path);
        return nullptr;
    }
    return document;
}

}  // namespace korvane::track
