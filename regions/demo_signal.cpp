#include "regions/demo_signal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace korvane::demo {
namespace {

// splitmix64: small, fast and identical everywhere.
class Random {
public:
    explicit Random(uint64_t seed) noexcept : state_(seed) {}
    uint64_t Next() noexcept {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() noexcept { return double(Next() >> 11) * 0x1.0p-53; }           // [0, 1)
    double Between(double lo, double hi) noexcept { return lo + (hi - lo) * Uniform(); }
    int Int(int lo, int hi) noexcept { return lo + int(Uniform() * (hi - lo + 1)); }  // [lo, hi]

private:
    uint64_t state_;
};

constexpr std::size_t kTableSize = 4096;

const std::array<float, kTableSize + 1>& SineTable() {
    static const auto table = [] {
        std::array<float, kTableSize + 1> t{};
        for (std::size_t i = 0; i <= kTableSize; ++i) {
            t[i] = float(std::sin(2.0 * std::numbers::pi * double(i) / double(kTableSize)));
        }
        return t;
    }();
    return table;
}

// Sine of phase (in turns, [0, 1)) by linear interpolation in the table.
inline float Sine(double phaseTurns) noexcept {
    const auto& t = SineTable();
    const double x = phaseTurns * double(kTableSize);
    const auto i = std::size_t(x);
    const float frac = float(x - double(i));
    return t[i] + (t[i + 1] - t[i]) * frac;
}

struct Note {
    uint64_t startFrame;
    uint64_t lengthFrames;
    double frequencyHz;
    double amplitude;      // of the sum of harmonics, full scale = 1
    double attackFrames;
    double decayPerFrame;  // envelope multiplier per frame after the attack
    double pan;            // 0 left .. 1 right
    bool percussive;       // a noise hit instead of a tone
    int harmonics;
};

std::vector<Note> Compose(Random& rng, uint64_t frameCount, uint32_t rateHz) {
    std::vector<Note> notes;
    const double rate = double(rateHz);
    uint64_t t = uint64_t(rng.Between(0.2, 1.0) * rate);  // quiet lead-in
    while (t < frameCount) {
        const int phraseNotes = rng.Int(3, 12);
        for (int k = 0; k < phraseNotes && t < frameCount; ++k) {
            Note note{};
            note.startFrame = t;
            note.percussive = rng.Uniform() < 0.2;
            const double seconds = note.percussive ? rng.Between(0.05, 0.25) : rng.Between(0.15, 1.4);
            note.lengthFrames = std::max<uint64_t>(1, uint64_t(seconds * rate));
            const int midi = rng.Int(36, 84);
            note.frequencyHz = std::min(440.0 * std::pow(2.0, (midi - 69) / 12.0), 0.45 * rate);
            note.amplitude = rng.Between(0.08, 0.85);
            note.attackFrames = std::max(1.0, rng.Between(0.002, 0.03) * rate);
            const double decaySeconds = rng.Between(0.06, 0.6);
            note.decayPerFrame = std::exp(-1.0 / (decaySeconds * rate));
            note.pan = rng.Between(0.2, 0.8);
            note.harmonics = rng.Int(1, 4);
            notes.push_back(note);
            // Next note: legato overlap, short gap or a longer breath.
            const double gap = rng.Uniform() < 0.6 ? rng.Between(-0.1, 0.05) : rng.Between(0.05, 0.3);
            const double next = double(t) + double(note.lengthFrames) + gap * rate;
            t = uint64_t(std::max(double(t) + 1.0, next));
        }
        t += uint64_t(rng.Between(0.4, 2.5) * rate);  // a pause between phrases
    }
    return notes;
}

void Render(const Note& note, Random& rng, uint32_t rateHz, std::vector<float>& left,
            std::vector<float>* right) {
    const uint64_t end = std::min<uint64_t>(left.size(), note.startFrame + note.lengthFrames);
    const double step = note.frequencyHz / double(rateHz);
    double phase = 0.0;
    double envelope = 0.0;
    double decay = 1.0;
    double harmonicSum = 0.0;
    for (int h = 1; h <= note.harmonics; ++h) harmonicSum += 1.0 / h;
    const double gainL = note.amplitude * (right ? 1.0 - note.pan : 1.0) / harmonicSum;
    const double gainR = note.amplitude * note.pan / harmonicSum;
    for (uint64_t f = note.startFrame; f < end; ++f) {
        const double age = double(f - note.startFrame);
        if (age < note.attackFrames) {
            envelope = age / note.attackFrames;
        } else {
            decay *= note.decayPerFrame;
            envelope = decay;
        }
        // A short release at the end of the note avoids clicks.
        const double tail = double(end - f);
        const double release = std::min(1.0, tail / (0.005 * double(rateHz) + 1.0));
        double value = 0.0;
        if (note.percussive) {
            value = rng.Between(-1.0, 1.0);
        } else {
            for (int h = 1; h <= note.harmonics; ++h) {
                const double p = phase * h;
                value += Sine(p - std::floor(p)) / h;
            }
        }
        phase += step;
        if (phase >= 1.0) phase -= 1.0;
        const double shaped = value * envelope * release;
        left[f] += float(shaped * gainL);
        if (right) (*right)[f] += float(shaped * gainR);
    }
}

int16_t ToPcm(float value) noexcept {
    const float scaled = std::round(value * 32767.0f);
    return int16_t(std::clamp(scaled, -32768.0f, 32767.0f));
}

}  // namespace

uint64_t DemoFrameCount(const DemoSignalSpec& spec) noexcept {
    if (!(spec.durationSeconds > 0.0) || spec.rateHz == 0) return 0;
    return uint64_t(std::llround(spec.durationSeconds * double(spec.rateHz)));
}

std::vector<int16_t> MakeDemoSignal(const DemoSignalSpec& spec) {
    if (spec.channelCount != 1 && spec.channelCount != 2) {
        throw std::invalid_argument("demo signal: channel count must be 1 or 2");
    }
    if (spec.rateHz == 0) throw std::invalid_argument("demo signal: rate must be positive");
    const uint64_t frameCount = DemoFrameCount(spec);
    const bool stereo = spec.channelCount == 2;

    Random rng(spec.seed);
    std::vector<float> left(frameCount, 0.0f);
    std::vector<float> right(stereo ? frameCount : 0, 0.0f);
    for (const Note& note : Compose(rng, frameCount, spec.rateHz)) {
        Render(note, rng, spec.rateHz, left, stereo ? &right : nullptr);
    }

    // A faint noise floor (about -72 dB) so pauses are not digital silence.
    std::vector<int16_t> out(frameCount * spec.channelCount);
    for (uint64_t f = 0; f < frameCount; ++f) {
        const float noise = float(rng.Between(-1.0, 1.0) * 2.5e-4);
        if (stereo) {
            out[2 * f] = ToPcm(left[f] + noise);
            out[2 * f + 1] = ToPcm(right[f] + float(rng.Between(-1.0, 1.0) * 2.5e-4));
        } else {
            out[f] = ToPcm(left[f] + noise);
        }
    }
    return out;
}

}  // namespace korvane::demo
