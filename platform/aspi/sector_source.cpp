#include "platform/aspi/sector_source.h"

#include "platform/aspi/disc_image.h"
#include "platform/audiofile/audio_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvane::aspi {
namespace {

constexpr std::uint64_t kSectorBytes = 2352;
constexpr std::uint64_t kFrameBytes = 4;

class RawFile final : public SectorSource {
public:
    explicit RawFile(const std::filesystem::path& path) {
        // Non-blocking: a FIFO named by a cue sheet fails the type check instead of hanging.
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) throw std::runtime_error("cannot open " + path.string() + ": " + std::strerror(errno));
        struct stat st{};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd_);
            throw std::runtime_error(path.string() + " is not a regular file");
        }
        size_ = static_cast<std::uint64_t>(st.st_size);
    }
    ~RawFile() override { ::close(fd_); }
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    std::uint64_t Size() const override { return size_; }

    void Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
        std::size_t got = 0;
        while (got < out.size()) {
            const ssize_t n = ::pread(fd_, out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                throw ImageReadError(std::string("cannot read the image: ") +
                                     (n < 0 ? std::strerror(errno) : "file got shorter"));
            got += static_cast<std::size_t>(n);
        }
    }

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

// Decodes forward from the last position; a read elsewhere seeks first. A drive reads
// a track front to back, so seeks are rare.
class AudioFileSectors final : public SectorSource {
public:
    explicit AudioFileSectors(const std::filesystem::path& path) : file_(path) {
        const platform::AudioFormat& format = file_.Format();
        if (!format.IsCdAudio())
            throw std::runtime_error(path.string() + " holds " + std::to_string(format.rateHz) + " Hz, " +
                                     (format.integerBits ? std::to_string(format.integerBits) + "-bit"
                                                         : std::string("floating-point or compressed")) +
                                     ", " + std::to_string(format.channelCount) +
                                     "-channel audio; a disc image must hold CD audio (44,100 Hz, 16-bit, stereo)");
        frames_ = format.frameCount;
        size_ = (frames_ * kFrameBytes + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
    }

    std::uint64_t Size() const override { return size_; }

    void Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
        if (offset % kFrameBytes != 0 || out.size() % kFrameBytes != 0)
            throw ImageReadError("audio file read not on a frame boundary");
        std::uint64_t frame = offset / kFrameBytes;
        std::size_t done = 0;
        while (done < out.size()) {
            const std::size_t wanted = (out.size() - done) / kFrameBytes;
            const std::uint64_t available = frame < frames_ ? frames_ - frame : 0;
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, available));
            if (n == 0) {  // past the audio: the silence that completes the last sector
                std::memset(out.data() + done, 0, out.size() - done);
                return;
            }
            Decode(frame, std::span(out).subspan(done, n * kFrameBytes));
            frame += n;
            done += n * kFrameBytes;
        }
    }

private:
    void Decode(std::uint64_t frame, std::span<std::uint8_t> out) {
        try {
            if (frame != position_) file_.SeekFrame(frame);
            position_ = frame;
            samples_.resize(out.size() / 2);
            std::size_t got = 0;
            while (got < samples_.size()) {
                const std::size_t n = file_.ReadShorts(std::span(samples_).subspan(got));
                if (n == 0) throw ImageReadError("the audio file ends before its announced length");
                got += n * 2;
                position_ += n;
            }
        } catch (const platform::AudioFileError& e) {
            position_ = ~std::uint64_t{0};
            throw ImageReadError(e.what());
        }
        for (std::size_t i = 0; i < samples_.size(); ++i) {
            const auto v = static_cast<std::uint16_t>(samples_[i]);
            out[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
            out[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
        }
    }

    platform::AudioFile file_;
    std::uint64_t frames_ = 0, size_ = 0, position_ = 0;
    std::vector<std::int16_t> samples_;
};

}  // namespace

std::unique_ptr<SectorSource> OpenRawFile(const std::filesystem::path& path) { return std::make_unique<RawFile>(path); }

std::unique_ptr<SectorSource> OpenAudioFile(const std::filesystem::path& path) {
    return std::make_unique<AudioFileSectors>(path);
}

}  // namespace korvane::aspi
