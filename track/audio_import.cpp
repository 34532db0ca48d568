#include "track/audio_import.h"

#include "cdda/temp_file.h"
#include "platform/audiofile/audio_file.h"
#include "platform/hostfiles/host_files.h"
#include "platform/hostfiles/leftovers.h"
#include "platform/ui/ui.h"
#include "resources/strings.h"
#include "track/cd_audio_converter.h"
#include "track/track_file_writer.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <vector>

namespace korvane::track {
namespace {

namespace fs = std::filesystem;
using platform::AudioFileError;

// Source frames decoded per step: eight transfers of the track reader at 44,100 Hz
// (few calls into the decoder, and still little memory).
constexpr std::size_t kFramesPerStep = 8 * 24 * 588;

ImportOutcome Fail(ImportError error, std::string detail) {
    ImportOutcome outcome;
    outcome.error = error;
    outcome.detail = std::move(detail);
    return outcome;
}

ImportError ErrorOf(const AudioFileError& e) {
    switch (e.GetKind()) {
        case AudioFileError::Kind::kCannotRead: return ImportError::kCannotRead;
        case AudioFileError::Kind::kUnsupported: return ImportError::kUnsupported;
        case AudioFileError::Kind::kNotAudio:
        case AudioFileError::Kind::kMalformed: return ImportError::kMalformed;
    }
    return ImportError::kMalformed;
}

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

std::unique_ptr<platform::AudioFile> OpenAudio(const fs::path& file, const ImportIo& io) {
    if (!io.openSource) return std::make_unique<platform::AudioFile>(file);
    std::unique_ptr<platform::ByteSource> source;
    try {
        source = io.openSource(file);
    } catch (const std::exception& e) {
        throw AudioFileError(AudioFileError::Kind::kCannotRead, e.what());
    }
    return std::make_unique<platform::AudioFile>(std::move(source), file.string());
}

// Hands at most `limit` CD frames of `stereo` on.
void EmitDirect(std::span<const std::int16_t> stereo, std::uint64_t& emitted, std::uint64_t limit,
                const CdAudioSink& sink) {
    const auto frames = std::min<std::uint64_t>(stereo.size() / 2, limit - emitted);
    if (frames > 0) sink.append(stereo.first(static_cast<std::size_t>(frames * 2)));
    emitted += frames;
}

// The same, then forgets them.
void Emit(std::vector<std::int16_t>& stereo, std::uint64_t& emitted, std::uint64_t limit, const CdAudioSink& sink) {
    EmitDirect(stereo, emitted, limit, sink);
    stereo.clear();
}

// The decoding loop. Throws AudioFileError for the source, std::exception for the sink.
void Convert(platform::AudioFile& audio, const CdAudioSink& sink, const ImportIo& io, ImportOutcome& outcome,
             ImportError& failure) {
    const platform::AudioFormat& format = audio.Format();
    const std::uint64_t cdFrames = CdFrameCount(format.frameCount, format.rateHz);
    failure = ImportError::kCannotWrite;
    sink.begin(cdFrames);
    std::vector<std::int16_t> stereo;
    std::uint64_t sourceDone = 0, emitted = 0;
    const bool exact = !NeedsConversion(format);
    std::optional<CdAudioConverter> converter;
    if (!exact) converter.emplace(format);
    std::vector<std::int16_t> shorts(exact ? kFramesPerStep * format.channelCount : 0);
    std::vector<float> floats(exact ? 0 : kFramesPerStep * format.channelCount);
    const ChannelPlan plan = PlanChannels(format);
    for (;;) {
        failure = ImportError::kCannotRead;
        const std::size_t n = exact ? audio.ReadShorts(shorts) : audio.ReadFloats(floats);
        failure = ImportError::kCannotWrite;
        if (n == 0) break;
        if (exact && plan.rule == ChannelRule::kStereo) {
            EmitDirect(std::span(shorts).first(n * 2), emitted, cdFrames, sink);  // no copy on the way
        } else {
            if (exact)
                CopyStereoPair(std::span(shorts).first(n * format.channelCount), format.channelCount, plan, stereo);
            else
                converter->Push(std::span(floats).first(n * format.channelCount), stereo);
            Emit(stereo, emitted, cdFrames, sink);
        }
        sourceDone += n;
        if (io.progress && !io.progress(std::min(sourceDone, format.frameCount), format.frameCount))
            throw ImportOutcome(Fail(ImportError::kCancelled, "import cancelled"));
    }
    if (sourceDone < format.frameCount)
        throw AudioFileError(AudioFileError::Kind::kMalformed,
                             audio.Format().description + ": the audio ends after " + std::to_string(sourceDone) +
                                 " of its " + std::to_string(format.frameCount) + " frames");
    if (converter) {
        converter->Finish(stereo);
        Emit(stereo, emitted, cdFrames, sink);
        outcome.clippedSamples = converter->ClippedSamples();
    }
    // The resampler's output may fall a few frames short of the rounded length.
    stereo.assign(static_cast<std::size_t>(2 * (cdFrames - emitted)), 0);
    Emit(stereo, emitted, cdFrames, sink);
    outcome.frames = cdFrames;
    outcome.converted = !exact;
}

std::string FormatText(const platform::AudioFormat& f) {
    return f.description + ", " + std::to_string(f.rateHz) + " Hz, " + std::to_string(f.channelCount) +
           (f.channelCount == 1 ? " channel" : " channels");
}

// Converts into a track file written through `sink`.
ImportOutcome WriteTrackFile(const fs::path& audioFile, std::unique_ptr<platform::ByteSink> sink, const ImportIo& io) {
    if (io.wrapSink) sink = io.wrapSink(std::move(sink));
    std::unique_ptr<TrackFileWriter> writer;
    CdAudioSink cd{[&](std::uint64_t frames) { writer = std::make_unique<TrackFileWriter>(std::move(sink), frames); },
                   [&](std::span<const std::int16_t> stereo) { writer->AppendStereo(stereo); }};
    ImportOutcome outcome = ConvertAudioFile(audioFile, cd, io);
    if (!outcome.Ok()) return outcome;
    try {
        writer->Finish();
        outcome.sectorCount = writer->SectorCount();
    } catch (const std::exception& e) {
        return Fail(ImportError::kCannotWrite, e.what());
    }
    return outcome;
}

void ShowImportError(const ImportOutcome& outcome, const fs::path& file) {
    platform::MessageBox(ImportMessage(outcome, file), resources::kAppTitle, platform::kMbOk | platform::kMbIconError);
}

}  // namespace

std::vector<std::string> ImportOutcome::Warnings() const {
    std::vector<std::string> warnings;
    if (streamed)
        warnings.push_back("the WAV file does not say how long its audio is (written to a pipe); "
                           "it was read to the end of the file");
    if (clippedSamples > 0)
        warnings.push_back(std::to_string(clippedSamples) + " samples clipped in the conversion to 16 bits");
    return warnings;
}

std::uint32_t ImportMessageId(ImportError error) noexcept {
    switch (error) {
        case ImportError::kNone:
        case ImportError::kCancelled: return 0;
        case ImportError::kCannotRead: return resources::kIdsImportCannotRead;
        case ImportError::kMalformed: return resources::kIdsImportMalformed;
        case ImportError::kUnsupported: return resources::kIdsImportUnsupported;
        case ImportError::kCannotWrite: return resources::kIdsImportCannotWrite;
    }
    return resources::kIdsImportMalformed;
}

std::string ImportMessage(const ImportOutcome& outcome, const fs::path& file) {
    if (outcome.error == ImportError::kCancelled) return "import cancelled";
    std::string text(resources::LoadAppString(ImportMessageId(outcome.error)));
    if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, file.string());
    if (!outcome.detail.empty()) text.append("\n(").append(outcome.detail).append(")");
    return text;
}

bool LooksLikeAudioFile(const fs::path& path) {
    // A file named as audio is imported (and refused with its reason when it is not).
    static const char* const kAudioExtensions[] = {".wav", ".wave", ".rf64", ".w64", ".flac", ".aif", ".aiff",
                                                   ".aifc", ".ogg",  ".oga",  ".opus", ".mp3", ".caf"};
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (std::find(std::begin(kAudioExtensions), std::end(kAudioExtensions), extension) != std::end(kAudioExtensions))
        return true;
    try {
        platform::AudioFile probe(path);
        return true;
    } catch (const AudioFileError& e) {
        return e.GetKind() != AudioFileError::Kind::kNotAudio && e.GetKind() != AudioFileError::Kind::kCannotRead;
    }
}

ImportOutcome ConvertAudioFile(const fs::path& audioFile, const CdAudioSink& sink, const ImportIo& io) {
    ImportOutcome outcome;
    ImportError failure = ImportError::kCannotRead;
    try {
        const auto audio = OpenAudio(audioFile, io);
        outcome.sourceFormat = FormatText(audio->Format());
        outcome.channelRule = DescribeChannelRule(PlanChannels(audio->Format()), audio->Format().channelCount);
        outcome.streamed = audio->Format().streamed;
        Convert(*audio, sink, io, outcome, failure);
    } catch (const ImportOutcome& cancelled) {
        return cancelled;
    } catch (const AudioFileError& e) {
        return Fail(ErrorOf(e), e.what());
    } catch (const std::exception& e) {
        return Fail(failure, e.what());
    }
    return outcome;
}

ImportOutcome ImportAudioToTrackFile(const fs::path& audioFile, const fs::path& trackFile, const ImportIo& io) {
    std::error_code ec;
    if (platform::SameFile(trackFile, audioFile))
        return Fail(ImportError::kCannotWrite, "the track file would replace the audio file it is made from");
    if (fs::is_directory(trackFile, ec)) return Fail(ImportError::kCannotWrite, trackFile.string() + " is a folder");

    std::unique_ptr<platform::ByteSink> sink;
    std::unique_ptr<CreatedFile> temp;
    try {
        platform::RemoveLeftoverTemporariesOnce(trackFile.parent_path());
        const fs::path name = platform::TemporaryNameBeside(trackFile);
        sink = std::make_unique<platform::FileSink>(name, platform::CreateMode::kExclusive);
        temp = std::make_unique<CreatedFile>(name);
    } catch (const std::exception& e) {
        return Fail(ImportError::kCannotWrite, e.what());
    }
    auto outcome = WriteTrackFile(audioFile, std::move(sink), io);
    if (!outcome.Ok()) return outcome;
    fs::rename(temp->Path(), trackFile, ec);
    if (ec) return Fail(ImportError::kCannotWrite, "cannot rename to " + trackFile.string() + ": " + ec.message());
    temp->Release();
    return outcome;
}

ImportedDocument OpenAudioAsDocument(const fs::path& audioFile, const fs::path& tempDir, CKorvaneDoc::Hooks hooks,
                                     const ImportIo& io) {
    ImportedDocument result;
    try {
        auto reserved = cdda::TempFile::CreateUnique(tempDir, "~krvn");
        reserved.Close();
        CreatedFile track(reserved.Path());
        result.outcome = WriteTrackFile(
            audioFile, std::make_unique<platform::FileSink>(track.Path(), platform::CreateMode::kTruncate), io);
        if (result.outcome.Ok()) {
            result.document = std::make_unique<CKorvaneDoc>(std::move(hooks));
            result.document->AdoptTemporaryTrackFile(track.Path());
            result.document->SetTitle(audioFile.filename().string());
            track.Release();
        }
    } catch (const std::exception& e) {
        result.outcome = Fail(ImportError::kCannotWrite, e.what());
    }
    if (!result.outcome.Ok() && result.outcome.error != ImportError::kCancelled)
        ShowImportError(result.outcome, audioFile);
    return result;
}

std::unique_ptr<CKorvaneDoc> OpenDocumentFile(const fs::path& path, const fs::path& tempDir, CKorvaneDoc::Hooks hooks,
                                              const ImportIo& io) {
    if (LooksLikeAudioFile(path)) return OpenAudioAsDocument(path, tempDir, std::move(hooks), io).document;
    auto document = std::make_unique<CKorvaneDoc>(std::move(hooks));
    if (!document->OnOpenDocument(path)) {
        ShowImportError(Fail(ImportError::kCannotRead, {}), path);
        return nullptr;
    }
    return document;
}

}  // namespace korvane::track
