#pragma once
// Track files for the GUI tests: raw audio followed by the overview, as the track
// reader writes them. The raw audio is a staircase: all 8 values (4 stereo frames) that
// overview sample i stands for hold i % 30000, so an offset error shows at once.
#include "regions/demo_signal.h"
#include "track/editor_ctrl/sample_editor_widget.h"
#include "track/view/korvane_view.h"
#include "track/view/region_player.h"
#include "track/view/sample_editor_ctrl.h"

#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace korvane::testing {

// A region player double that records what the view asks for and can play positions
// back from a thread of its own, as the stream thread does.
class RecordingPlayer : public trackview::RegionPlayer {
public:
    struct Start {
        const std::int16_t* source;
        std::uint32_t frameCount;
        bool looped;
        std::uint32_t loopStart, loopLength;
    };
    std::vector<Start> starts;
    int stops = 0;
    PositionCallback callback = nullptr;
    void* user = nullptr;

    void StopPlayback() override { ++stops; }
    // The rate and channels are what the real player is given; the view's audio is heard
    // through it in track_view_playback_test.
    void PlayOnce(const std::int16_t* source, std::uint32_t frameCount, std::uint32_t, std::uint32_t,
                  PositionCallback cb, void* u) override {
        starts.push_back({source, frameCount, false, 0, 0});
        callback = cb;
        user = u;
    }
    void PlayLoop(const std::int16_t* source, std::uint32_t frameCount, std::uint32_t, std::uint32_t,
                  std::uint32_t loopStart, std::uint32_t loopLength, PositionCallback cb, void* u) override {
        starts.push_back({source, frameCount, true, loopStart, loopLength});
        callback = cb;
        user = u;
    }
    // Reports `positions` from another thread and waits for it to end.
    void ReportFromStreamThread(const std::vector<std::uint32_t>& positions) {
        std::thread stream([&] {
            for (std::uint32_t p : positions) callback(p, user);
        });
        stream.join();
    }
};

inline std::int16_t StairValue(std::uint64_t overviewSample) { return static_cast<std::int16_t>(overviewSample % 30000); }

inline void WriteTrackFile(const std::filesystem::path& path, const std::vector<std::int16_t>& overview) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<std::int16_t> raw(8);
    for (std::size_t i = 0; i < overview.size(); ++i) {
        std::fill(raw.begin(), raw.end(), StairValue(i));
        out.write(reinterpret_cast<const char*>(raw.data()), 16);
    }
    out.write(reinterpret_cast<const char*>(overview.data()), static_cast<std::streamsize>(overview.size() * 2));
}

// A music-like overview of `seconds` (whole CD sectors: 294 bytes = 147 samples each).
inline std::vector<std::int16_t> DemoOverview(double seconds, std::uint64_t seed = 1) {
    std::vector<std::int16_t> overview =
        demo::MakeDemoSignal({.seed = seed, .rateHz = 11025, .channelCount = 1, .durationSeconds = seconds});
    overview.resize(overview.size() / 147 * 147);
    return overview;
}

// A track view over a track file of `overview`, playing into a recording player (or
// `playTo`, when given) and slicing with `settings` (or what `source` returns, when set).
struct ViewRig {
    QTemporaryDir dir;
    std::vector<std::int16_t> overview;
    trackview::SliceSettings settings{-30.0, 200};
    std::function<trackview::SliceSettings()> source;
    RecordingPlayer player;
    editor::SampleEditorWidget* control = new editor::SampleEditorWidget;
    std::unique_ptr<trackview::CKorvaneView> view;

    explicit ViewRig(std::vector<std::int16_t> samples, QSize size = {900, 400}, trackview::RegionPlayer* playTo = nullptr)
        : overview(std::move(samples)) {
        WriteTrackFile(Path("track1.tmp"), overview);
        view = std::make_unique<trackview::CKorvaneView>(std::make_unique<trackview::CSampleEditorCtrl>(control, nullptr),
                                                         playTo ? *playTo : player,
                                                         [this] { return source ? source() : settings; });
        view->SetTrackFile(Path("track1.tmp"));
        view->resize(size);
    }
    std::filesystem::path Path(const char* name) const { return std::filesystem::path(dir.path().toStdString()) / name; }
    void Select(std::initializer_list<int> rows) { view->SelectRegions(std::vector<int>(rows)); }
};

}  // namespace korvane::testing
