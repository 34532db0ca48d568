#pragma once
// Turns decoded audio of any rate, width and channel count into CD audio: 44,100 Hz,
// 16-bit, stereo.
//   - channels: mono goes to both channels; more than two use the front left/right
//     pair when the file names it, otherwise all channels are mixed evenly into both;
//   - rate: libsoxr at its very-high-quality setting;
//   - width: values that are not already 16-bit integers (more bits, float, resampled or
//     mixed) are reduced with TPDF dither of +-1 LSB; 16-bit 44,100 Hz sources never
//     reach this class (they are copied bit-exactly, see NeedsConversion);
//   - clipping is counted, never silent.
// Pure processing: no I/O. Thread contract: one thread at a time per object.
#include "platform/audiofile/audio_file.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace korvane::track {

inline constexpr std::uint32_t kCdRateHz = 44'100;

enum class ChannelRule { kStereo, kMonoToBoth, kFrontPair, kMixAll };

// How the channels of `format` become stereo, and the pair used for kFrontPair
// (indexes of the front left and right channels).
struct ChannelPlan {
    ChannelRule rule = ChannelRule::kStereo;
    std::uint32_t left = 0, right = 1;
};
ChannelPlan PlanChannels(const platform::AudioFormat& format);
// "stereo", "mono to both channels", "front left/right of 6 channels", "6 channels mixed evenly".
std::string DescribeChannelRule(const ChannelPlan& plan, std::uint32_t channelCount);

// True unless the source already is 16-bit integer audio at 44,100 Hz whose stereo pair
// can be copied sample for sample (stereo, mono, or a named front pair).
bool NeedsConversion(const platform::AudioFormat& format);

// Frames of CD audio made from `frameCount` frames at `rateHz`.
std::uint64_t CdFrameCount(std::uint64_t frameCount, std::uint32_t rateHz) noexcept;

// Selects the stereo pair of 16-bit frames without changing a sample (stereo, mono and
// front pair only). `out` receives 2 values per frame.
void CopyStereoPair(std::span<const std::int16_t> in, std::uint32_t channelCount, const ChannelPlan& plan,
                    std::vector<std::int16_t>& out);

class CdAudioConverter {
public:
    // `seed` fixes the dither noise, so a conversion is reproducible.
    explicit CdAudioConverter(const platform::AudioFormat& format, std::uint64_t seed = 0x4b6f7276616e65);
    ~CdAudioConverter();
    CdAudioConverter(const CdAudioConverter&) = delete;
    CdAudioConverter& operator=(const CdAudioConverter&) = delete;

    // Converts interleaved frames (full scale 1.0) and appends the stereo 16-bit values
    // that are ready to `out`. Throws std::runtime_error when the resampler fails.
    void Push(std::span<const float> in, std::vector<std::int16_t>& out);
    // Drains the resampler after the last Push.
    void Finish(std::vector<std::int16_t>& out);

    std::uint64_t ClippedSamples() const noexcept { return clipped_; }

private:
    void Quantise(std::span<const float> stereo, std::vector<std::int16_t>& out);
    void Resample(const float* in, std::size_t frames, std::vector<std::int16_t>& out);
    float NextDither() noexcept;

    platform::AudioFormat format_;
    ChannelPlan plan_;
    bool dither_;
    struct Resampler;
    std::unique_ptr<Resampler> resampler_;
    std::uint64_t random_;
    std::uint64_t clipped_ = 0;
    std::vector<float> stereo_, resampled_;
};

}  // namespace korvane::track
