#include "track/cd_audio_converter.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace korvane::track {
namespace {

using platform::Speaker;

constexpr float kFullScale = 32768.0f;

}  // namespace

ChannelPlan PlanChannels(const platform::AudioFormat& format) {
    if (format.channelCount == 1) return {ChannelRule::kMonoToBoth, 0, 0};
    if (format.channelCount == 2) return {ChannelRule::kStereo, 0, 1};
    const auto& s = format.speakers;
    const auto find = [&](Speaker a, Speaker b) {
        return static_cast<std::uint32_t>(std::find_if(s.begin(), s.end(), [&](Speaker x) { return x == a || x == b; }) -
                                          s.begin());
    };
    const std::uint32_t left = find(Speaker::kFrontLeft, Speaker::kLeft);
    const std::uint32_t right = find(Speaker::kFrontRight, Speaker::kRight);
    if (left < s.size() && right < s.size()) return {ChannelRule::kFrontPair, left, right};
    return {ChannelRule::kMixAll, 0, 0};
}

std::string DescribeChannelRule(const ChannelPlan& plan, std::uint32_t channelCount) {
    const std::string n = std::to_string(channelCount);
    switch (plan.rule) {
        case ChannelRule::kStereo: return "stereo";
        case ChannelRule::kMonoToBoth: return "mono to both channels";
        case ChannelRule::kFrontPair: return "front left/right of " + n + " channels";
        case ChannelRule::kMixAll: return n + " channels mixed evenly into both";
    }
    return "stereo";
}

bool NeedsConversion(const platform::AudioFormat& format) {
    const bool shortsAreExact = format.integerBits > 0 && format.integerBits <= 16;
    return !shortsAreExact || format.rateHz != kCdRateHz || PlanChannels(format).rule == ChannelRule::kMixAll;
}

std::uint64_t CdFrameCount(std::uint64_t frameCount, std::uint32_t rateHz) noexcept {
    if (rateHz == kCdRateHz || rateHz == 0) return frameCount;
    return (frameCount * kCdRateHz + rateHz / 2) / rateHz;
}

void CopyStereoPair(std::span<const std::int16_t> in, std::uint32_t channelCount, const ChannelPlan& plan,
                    std::vector<std::int16_t>& out) {
    if (plan.rule == ChannelRule::kStereo) {
        out.insert(out.end(), in.begin(), in.end());
        return;
    }
    for (std::size_t at = 0; at + channelCount <= in.size(); at += channelCount) {
        out.push_back(in[at + plan.left]);
        out.push_back(in[at + plan.right]);
    }
}

struct CdAudioConverter::Resampler {
    soxr_t soxr = nullptr;
    ~Resampler() { soxr_delete(soxr); }
};

CdAudioConverter::CdAudioConverter(const platform::AudioFormat& format, std::uint64_t seed)
    : format_(format), plan_(PlanChannels(format)), random_(seed | 1u) {
    const bool integer16 = format.integerBits > 0 && format.integerBits <= 16;
    dither_ = !integer16 || format.rateHz != kCdRateHz || plan_.rule == ChannelRule::kMixAll;
    if (format.rateHz != kCdRateHz) {
        resampler_ = std::make_unique<Resampler>();
        soxr_error_t error = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
        resampler_->soxr = soxr_create(format.rateHz, kCdRateHz, 2, &error, &io, &quality, nullptr);
        if (error != nullptr) throw std::runtime_error(std::string("cannot set up the resampler: ") + error);
    }
}

CdAudioConverter::~CdAudioConverter() = default;

void CdAudioConverter::Push(std::span<const float> in, std::vector<std::int16_t>& out) {
    const std::uint32_t channels = format_.channelCount;
    const std::size_t frames = in.size() / channels;
    stereo_.resize(frames * 2);
    for (std::size_t f = 0; f < frames; ++f) {
        const float* frame = &in[f * channels];
        float left = frame[plan_.left], right = frame[plan_.right];
        if (plan_.rule == ChannelRule::kMixAll) {
            float sum = 0;
            for (std::uint32_t c = 0; c < channels; ++c) sum += frame[c];
            left = right = sum / static_cast<float>(channels);
        }
        stereo_[2 * f] = left;
        stereo_[2 * f + 1] = right;
    }
    if (resampler_)
        Resample(stereo_.data(), frames, out);
    else
        Quantise(stereo_, out);
}

void CdAudioConverter::Finish(std::vector<std::int16_t>& out) {
    if (resampler_) Resample(nullptr, 0, out);
}

void CdAudioConverter::Resample(const float* in, std::size_t frames, std::vector<std::int16_t>& out) {
    // A null input drains what the filter still holds.
    const std::size_t capacity = std::max<std::size_t>(4096, frames * kCdRateHz / format_.rateHz + 256);
    resampled_.resize(capacity * 2);
    std::size_t consumed = 0;
    for (;;) {
        std::size_t used = 0, made = 0;
        const soxr_error_t error = soxr_process(resampler_->soxr, in ? in + 2 * consumed : nullptr,
                                                frames - consumed, &used, resampled_.data(), capacity, &made);
        if (error != nullptr) throw std::runtime_error(std::string("resampling failed: ") + error);
        consumed += used;
        Quantise(std::span(resampled_).first(made * 2), out);
        if (in ? consumed >= frames && made < capacity : made == 0) break;
    }
}

float CdAudioConverter::NextDither() noexcept {
    // xorshift64*: fast, reproducible, plenty for dither noise.
    random_ ^= random_ >> 12;
    random_ ^= random_ << 25;
    random_ ^= random_ >> 27;
    const std::uint64_t r = random_ * 0x2545F4914F6CDD1Dull;
    return static_cast<float>(r >> 40) * (1.0f / 16777216.0f);  // [0, 1)
}

void CdAudioConverter::Quantise(std::span<const float> stereo, std::vector<std::int16_t>& out) {
    for (const float x : stereo) {
        float value = x * kFullScale;
        if (dither_) value += NextDither() - NextDither();  // triangular, +-1 LSB
        if (std::isnan(value)) value = 0;
        const long rounded = std::lrint(std::clamp(value, -65536.0f, 65536.0f));
        if (rounded > 32767 || rounded < -32768) ++clipped_;
        out.push_back(static_cast<std::int16_t>(std::clamp(rounded, -32768L, 32767L)));
    }
}

}  // namespace korvane::track
