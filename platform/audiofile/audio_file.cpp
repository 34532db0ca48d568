#include "platform/audiofile/audio_file.h"

#include "platform/audiofile/riff_probe.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace korvane::platform {
namespace {

// libsndfile reads through these callbacks; a ByteSource failure is kept and reported
// by the caller as an exception (nothing may be thrown through the C library).
struct VirtualSource {
    ByteSource* source = nullptr;
    std::uint64_t base = 0;    // first byte the decoder sees
    std::uint64_t length = 0;  // bytes it sees
    std::uint64_t position = 0;
    std::optional<IoError> failure;
};

sf_count_t VioLength(void* user) { return static_cast<sf_count_t>(static_cast<VirtualSource*>(user)->length); }

sf_count_t VioSeek(sf_count_t offset, int whence, void* user) {
    auto& v = *static_cast<VirtualSource*>(user);
    const sf_count_t from = whence == SEEK_SET   ? 0
                            : whence == SEEK_CUR ? static_cast<sf_count_t>(v.position)
                                                 : static_cast<sf_count_t>(v.length);
    if (from + offset < 0) return -1;
    v.position = static_cast<std::uint64_t>(from + offset);
    return static_cast<sf_count_t>(v.position);
}

sf_count_t VioRead(void* buffer, sf_count_t count, void* user) {
    auto& v = *static_cast<VirtualSource*>(user);
    if (count <= 0 || v.position >= v.length) return 0;
    const auto n = std::min<std::uint64_t>(static_cast<std::uint64_t>(count), v.length - v.position);
    try {
        v.source->ReadAt(v.base + v.position, std::span(static_cast<std::byte*>(buffer), static_cast<std::size_t>(n)));
    } catch (const IoError& e) {
        if (!v.failure) v.failure = e;
        return 0;
    }
    v.position += n;
    return static_cast<sf_count_t>(n);
}

sf_count_t VioWrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t VioTell(void* user) { return static_cast<sf_count_t>(static_cast<VirtualSource*>(user)->position); }

SF_VIRTUAL_IO kVirtualIo{VioLength, VioSeek, VioRead, VioWrite, VioTell};

std::uint32_t IntegerBits(int subtype) {
    switch (subtype) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8: return 8;
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
        case SF_FORMAT_IMA_ADPCM:
        case SF_FORMAT_MS_ADPCM:
        case SF_FORMAT_GSM610:
        case SF_FORMAT_G721_32:
        case SF_FORMAT_G723_24:
        case SF_FORMAT_G723_40:
        case SF_FORMAT_DWVW_12:
        case SF_FORMAT_DWVW_16:
        case SF_FORMAT_DPCM_8:
        case SF_FORMAT_DPCM_16:
        case SF_FORMAT_VOX_ADPCM:
        case SF_FORMAT_ALAC_16: return 16;
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_DWVW_24:
        case SF_FORMAT_ALAC_20:
        case SF_FORMAT_ALAC_24: return 24;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_ALAC_32: return 32;
        default: return 0;  // float, double, Vorbis, Opus, MP3: not integers
    }
}

std::string FormatName(int format) {
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr) return "unknown";
    return info.name;
}

Speaker SpeakerOf(int position) {
    switch (position) {
        case SF_CHANNEL_MAP_MONO: return Speaker::kMono;
        case SF_CHANNEL_MAP_LEFT: return Speaker::kLeft;
        case SF_CHANNEL_MAP_RIGHT: return Speaker::kRight;
        case SF_CHANNEL_MAP_CENTER: return Speaker::kCentre;
        case SF_CHANNEL_MAP_FRONT_LEFT: return Speaker::kFrontLeft;
        case SF_CHANNEL_MAP_FRONT_RIGHT: return Speaker::kFrontRight;
        default: return Speaker::kOther;
    }
}

AudioFileError OpenError(const std::string& name) {
    const int code = sf_error(nullptr);
    const std::string text = name + ": " + sf_error_number(code);
    switch (code) {
        case SF_ERR_UNRECOGNISED_FORMAT:
            return AudioFileError(AudioFileError::Kind::kNotAudio,
                                  name + ": not an audio file of a kind Korvane reads (the format is not recognised)");
        case SF_ERR_SYSTEM: return AudioFileError(AudioFileError::Kind::kCannotRead, text);
        case SF_ERR_UNSUPPORTED_ENCODING:
            return AudioFileError(AudioFileError::Kind::kUnsupported,
                                  name + ": the audio is stored in an encoding Korvane cannot decode");
        default: return AudioFileError(AudioFileError::Kind::kMalformed, text);
    }
}

}  // namespace

struct AudioFile::Impl {
    std::unique_ptr<ByteSource> source;
    std::string name;
    VirtualSource io;
    SNDFILE* file = nullptr;
    AudioFormat format;

    ~Impl() {
        if (file != nullptr) sf_close(file);
    }

    void Open(SF_INFO& info) {
        file = sf_open_virtual(&kVirtualIo, SFM_READ, &info, &io);
        if (io.failure) throw AudioFileError(AudioFileError::Kind::kCannotRead, io.failure->what());
        if (file == nullptr) throw OpenError(name);
    }

    // A WAV written to a pipe declares no size; the decoder would see no audio, so the
    // data chunk is reopened as raw audio that runs to the end of the file.
    void ReopenStreamedAsRaw(const RiffDataChunk& data, const SF_INFO& wav) {
        sf_close(file);
        file = nullptr;
        io = VirtualSource{source.get(), data.offset, source->Size() - data.offset, 0, std::nullopt};
        SF_INFO raw{};
        raw.samplerate = wav.samplerate;
        raw.channels = wav.channels;
        raw.format = SF_FORMAT_RAW | (wav.format & SF_FORMAT_SUBMASK) | SF_ENDIAN_LITTLE;
        file = sf_open_virtual(&kVirtualIo, SFM_READ, &raw, &io);
        if (io.failure) throw AudioFileError(AudioFileError::Kind::kCannotRead, io.failure->what());
        if (file == nullptr)
            throw AudioFileError(AudioFileError::Kind::kUnsupported,
                                 name + ": a WAV written without its size cannot be read in this encoding");
        format.frameCount = static_cast<std::uint64_t>(raw.frames);
    }

    void CheckDataChunk(const SF_INFO& info) {
        const int major = info.format & SF_FORMAT_TYPEMASK;
        if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX) return;
        const auto data = FindRiffDataChunk(*source);
        if (!data) return;
        const std::uint64_t fileBytes = source->Size();
        const std::uint64_t present = fileBytes - std::min(data->offset, fileBytes);
        if (data->declaredBytes == 0 && present > 0) {
            format.streamed = true;
            ReopenStreamedAsRaw(*data, info);
        } else if (data->declaredBytes == 0xFFFF'FFFFu) {
            format.streamed = true;
        } else if (data->declaredBytes > present) {
            throw AudioFileError(AudioFileError::Kind::kMalformed,
                                 name + ": truncated WAV file: its data chunk declares " +
                                     std::to_string(data->declaredBytes) + " bytes, the file holds " +
                                     std::to_string(present));
        }
    }

    void Describe(const SF_INFO& info) {
        if (info.frames < 0 || info.frames == SF_COUNT_MAX)
            throw AudioFileError(AudioFileError::Kind::kUnsupported,
                                 name + ": the length of its audio cannot be known without decoding it all");
        format.rateHz = static_cast<std::uint32_t>(info.samplerate);
        format.channelCount = static_cast<std::uint32_t>(info.channels);
        format.frameCount = static_cast<std::uint64_t>(std::max<sf_count_t>(info.frames, 0));
        format.integerBits = IntegerBits(info.format & SF_FORMAT_SUBMASK);
        format.description = FormatName(info.format & SF_FORMAT_TYPEMASK) + ", " +
                             FormatName(info.format & SF_FORMAT_SUBMASK);
        std::vector<int> map(static_cast<std::size_t>(info.channels));
        if (sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(), static_cast<int>(map.size() * sizeof(int))) ==
            SF_TRUE)
            std::transform(map.begin(), map.end(), std::back_inserter(format.speakers), SpeakerOf);
    }

    void CheckRead() {
        if (io.failure) throw AudioFileError(AudioFileError::Kind::kCannotRead, io.failure->what());
        if (sf_error(file) != SF_ERR_NO_ERROR)
            throw AudioFileError(AudioFileError::Kind::kMalformed, name + ": " + sf_strerror(file));
    }
};

AudioFile::AudioFile(std::unique_ptr<ByteSource> source, std::string name) : impl_(std::make_unique<Impl>()) {
    impl_->source = std::move(source);
    impl_->name = std::move(name);
    impl_->io = VirtualSource{impl_->source.get(), 0, impl_->source->Size(), 0, std::nullopt};
    SF_INFO info{};
    impl_->Open(info);
    impl_->Describe(info);
    try {
        impl_->CheckDataChunk(info);
    } catch (const IoError& e) {
        throw AudioFileError(AudioFileError::Kind::kCannotRead, e.what());
    }
}

AudioFile::AudioFile(const std::filesystem::path& path) : AudioFile(OpenSource(path), path.string()) {}

std::unique_ptr<ByteSource> AudioFile::OpenSource(const std::filesystem::path& path) {
    try {
        return std::make_unique<FileSource>(path);
    } catch (const IoError& e) {
        throw AudioFileError(AudioFileError::Kind::kCannotRead, e.what());
    }
}

AudioFile::~AudioFile() = default;

const AudioFormat& AudioFile::Format() const noexcept { return impl_->format; }

std::size_t AudioFile::ReadShorts(std::span<std::int16_t> samples) {
    const auto frames = static_cast<sf_count_t>(samples.size() / impl_->format.channelCount);
    const sf_count_t n = sf_readf_short(impl_->file, samples.data(), frames);
    impl_->CheckRead();
    return static_cast<std::size_t>(std::max<sf_count_t>(n, 0));
}

std::size_t AudioFile::ReadFloats(std::span<float> samples) {
    const auto frames = static_cast<sf_count_t>(samples.size() / impl_->format.channelCount);
    const sf_count_t n = sf_readf_float(impl_->file, samples.data(), frames);
    impl_->CheckRead();
    return static_cast<std::size_t>(std::max<sf_count_t>(n, 0));
}

void AudioFile::SeekFrame(std::uint64_t frame) {
    if (sf_seek(impl_->file, static_cast<sf_count_t>(frame), SEEK_SET) < 0) {
        impl_->CheckRead();
        throw AudioFileError(AudioFileError::Kind::kCannotRead,
                             impl_->name + ": cannot seek to frame " + std::to_string(frame));
    }
}

}  // namespace korvane::platform
