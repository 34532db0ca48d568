#include "regions/auto_slicer.h"

#include "regions/units.h"

#include <memory>

namespace korvane {
namespace {

inline uint32_t Magnitude(int16_t sample) noexcept {
    return sample < 0 ? uint32_t(-int32_t(sample)) : uint32_t(sample);
}

// The onset/gap state machine of one scan; fed one step at a time.
class SliceState {
public:
    SliceState(const SliceParameters& p, uint32_t limit, uint32_t tag, ChainedList<Region>& out)
        : p_(p), limit_(limit), tag_(tag), out_(out) {}

    void Step(double avg, uint32_t pos) {
        if (avg >= double(p_.level)) {
            if (!inside_) Onset(pos);
        } else {
            if (inside_) {
                lastFall_ = pos;
                inside_ = false;
            }
            if (pos - lastFall_ >= p_.minGap) gapSeen_ = true;
        }
    }

    // end: the number of samples (mono) or frames (stereo) scanned.
    void Finish(uint32_t end) {
        if (!haveRegion_) return;
        working_->length = end - working_->start - 1;
        Offer();
    }

private:
    void Onset(uint32_t pos) {
        if (first_) {
            working_->start = pos;
            working_->tag = tag_;
            first_ = false;
            haveRegion_ = true;
        }
        if (gapSeen_) {
            working_->length = pos - working_->start;
            Offer();
            working_ = std::make_unique<Region>(Region{pos, 0, tag_});
            gapSeen_ = false;
        }
        inside_ = true;
    }

    // Appends the working region when its length passes the test, else drops it.
    void Offer() {
        if (p_.minGap <= working_->length && working_->length < limit_) {
            out_.Append(std::move(working_));
        }
        working_.reset();
    }

    SliceParameters p_;
    uint32_t limit_;
    uint32_t tag_;
    ChainedList<Region>::Appender out_;  // O(1) per region, so thousands stay cheap
    std::unique_ptr<Region> working_ = std::make_unique<Region>();
    bool inside_ = false;
    bool first_ = true;
    bool haveRegion_ = false;
    bool gapSeen_ = false;
    uint32_t lastFall_ = 0;
};

}  // namespace

SliceParameters DeriveSliceParameters(double thresholdDb, double releaseMs,
                                      uint32_t averagingWindow, uint32_t rateHz) noexcept {
    return {units::LevelFromDb(thresholdDb), units::SamplesFromMs(rateHz, releaseMs),
            units::AveragingLength(averagingWindow, rateHz)};
}

void AutoSlicer::Slice(int mono, uint32_t rate, uint32_t tag) {
    const SliceParameters p = DeriveSliceParameters(thresholdDb, releaseMs, averagingWindow, rate);
    const double weight = double(p.n - 1);
    const double divisor = double(p.n);
    const int16_t* s = samples;
    if (s == nullptr) return;

    if (mono != 0) {
        if (sampleCount < 1) return;
        SliceState state(p, sampleCount, tag, regions);
        double avg = double(Magnitude(s[0]));
        for (uint32_t i = 1; i < sampleCount; ++i) {
            avg = (weight * avg + double(Magnitude(s[i]))) / divisor;
            state.Step(avg, i > p.n ? i - p.n : 0);
        }
        state.Finish(sampleCount);
        return;
    }

    // Stereo: only whole frames are read, so an odd count never reads past the end.
    const uint32_t frameCount = sampleCount / 2;
    if (frameCount < 1) return;
    SliceState state(p, frameCount, tag, regions);
    double avg = double((Magnitude(s[0]) + Magnitude(s[1])) / 2);
    for (uint32_t f = 1; f < frameCount; ++f) {
        const uint32_t x = (Magnitude(s[2 * f]) + Magnitude(s[2 * f + 1])) / 2;
        avg = (weight * avg + double(x)) / divisor;
        state.Step(avg, f > p.n ? f - p.n : 0);
    }
    state.Finish(frameCount);
}

}  // namespace korvane
