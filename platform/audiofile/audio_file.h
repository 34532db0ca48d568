#pragma once
// An audio file opened for streamed reading: WAV in all its variants (PCM 8 to 32 bits,
// float, extensible, RF64, RIFX, A-law/mu-law/ADPCM), AIFF/AIFC, FLAC, Ogg Vorbis/Opus,
// MP3, W64, CAF and whatever else libsndfile decodes. The file is read through a
// platform::ByteSource, a block at a time; nothing is loaded whole.
//
// A WAV written to a pipe carries 0 or 0xFFFFFFFF as its data size: its audio is read
// to the end of the file and Format().streamed says so. A WAV whose data chunk declares
// more bytes than the file holds is refused as truncated.
//
// Thread contract: one thread at a time per object; objects share nothing.
#include "platform/riff/file_io.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvane::platform {

// Why a file cannot be read; what() names the problem in words fit for the user.
class AudioFileError : public std::runtime_error {
public:
    enum class Kind {
        kCannotRead,   // the file cannot be opened or read
        kNotAudio,     // not an audio file of any kind the decoder knows
        kMalformed,    // an audio file that is damaged or truncated
        kUnsupported,  // an audio file whose encoding cannot be decoded
    };
    AudioFileError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
    Kind GetKind() const noexcept { return kind_; }

private:
    Kind kind_;
};

// Speaker positions a file may name for its channels.
enum class Speaker { kOther, kMono, kLeft, kRight, kCentre, kFrontLeft, kFrontRight };

struct AudioFormat {
    std::uint32_t rateHz = 0;
    std::uint32_t channelCount = 0;
    std::uint64_t frameCount = 0;
    // Bits of integer precision of the decoded samples (8, 16, 24, 32), or 0 for float
    // and lossy encodings, whose samples are not integers.
    std::uint32_t integerBits = 0;
    std::string description;       // e.g. "WAV, 24-bit PCM"
    std::vector<Speaker> speakers;  // one per channel when the file names them, else empty
    bool streamed = false;          // data size 0 or 0xFFFFFFFF: read to the end of the file

    bool IsCdAudio() const noexcept { return rateHz == 44'100 && channelCount == 2 && integerBits == 16; }
};

class AudioFile {
public:
    // Opens `source`; `name` is used in messages. Throws AudioFileError.
    AudioFile(std::unique_ptr<ByteSource> source, std::string name);
    // Opens the file at `path` through a FileSource.
    explicit AudioFile(const std::filesystem::path& path);
    ~AudioFile();
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    const AudioFormat& Format() const noexcept;

    // Reads up to samples.size() / channelCount interleaved frames at the current
    // position; returns the frames read, 0 at the end. 16-bit sources come out
    // bit-exact. Throws AudioFileError (kCannotRead) when the source fails.
    std::size_t ReadShorts(std::span<std::int16_t> samples);
    // The same as floats, full scale 1.0.
    std::size_t ReadFloats(std::span<float> samples);
    // Moves the read position to `frame`. Throws AudioFileError.
    void SeekFrame(std::uint64_t frame);

private:
    static std::unique_ptr<ByteSource> OpenSource(const std::filesystem::path& path);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace korvane::platform
