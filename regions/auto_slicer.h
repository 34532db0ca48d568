#pragma once
// AutoSlicer: cuts a buffer into regions at note onsets.
//
// A running average of |sample| is followed step by step; a step is loud when the
// average reaches the threshold level. A region opens at the first onset (quiet ->
// loud), and the next region starts only at an onset that follows a quiet stretch
// of at least the release time, measured from the step where the average last fell
// below the level. Each region reaches to the start of the next one; the last one
// to the sample before the end of the buffer. Regions of length outside
// [minGap, limit) are dropped. Positions lag the average by its length n.
//
// For repeated slicing of one buffer with changing threshold/release, use
// SliceIndex (regions/slice_index.h): same results, a tiny fraction of the work.
#include "regions/chained_list.h"
#include "regions/region.h"

#include <cstdint>

namespace korvane {

// The values a slice derives from its parameters.
struct SliceParameters {
    uint32_t level = 0;   // loud when average >= level; 0..65536
    uint32_t minGap = 0;  // release time in samples (frames in stereo)
    uint32_t n = 1;       // length of the running average, at least 1
};

SliceParameters DeriveSliceParameters(double thresholdDb, double releaseMs,
                                      uint32_t averagingWindow, uint32_t rateHz) noexcept;

class AutoSlicer {
public:
    // Scans `samples` (one channel when mono != 0, interleaved left/right pairs
    // otherwise) and appends the regions found to `regions`, each with `tag`.
    // Positions and lengths are in samples (mono) or frames (stereo). The list is
    // never cleared here: the owner clears it before re-slicing. In stereo a
    // trailing half frame (odd sampleCount) is ignored.
    // Thread contract: synchronous on the caller's thread; reads `samples`, which
    // the caller keeps alive and unchanged for the call. One call at a time.
    void Slice(int mono, uint32_t rate, uint32_t tag);

    const int16_t* samples = nullptr;  // not owned
    uint32_t sampleCount = 0;          // 16-bit values in samples (stereo: 2 per frame)
    double thresholdDb = -30.0;
    double releaseMs = 250.0;
    uint32_t averagingWindow = 50;     // in samples at 44100 Hz
    ChainedList<Region> regions;
};

}  // namespace korvane
