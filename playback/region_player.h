#pragma once
// Playing one region of a track file: loads the region's raw audio (44,100 Hz 16-bit
// stereo) from the audio part of the track file into the region buffer and streams it
// through the SoundPlayer once or looped, translating the play position into an
// overview-sample cursor for the editor.
//
// Track file layout: R bytes of raw audio followed by R/8 bytes of overview, no header;
// for a file of L bytes the audio part is [0, L - L/9). A region [start, start+length)
// in overview samples covers raw bytes [start*16, (start+length)*16).
//
// Threads: all members are for the UI thread. The cursor callback runs on the stream
// thread (see SoundPlayer); the view must marshal it to its UI thread.
#include "playback/sound_player.h"
#include "regions/region.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace korvane::playback {

class RegionPlayer {
public:
    // Called on the stream thread with the play cursor in overview samples from the
    // start of the track.
    using CursorCallback = void (*)(std::uint32_t overviewPosition, void* user);

    explicit RegionPlayer(SoundPlayer& player) : player_(player) {}
    // Stops the stream, which reads the region buffer owned here.
    ~RegionPlayer();
    RegionPlayer(const RegionPlayer&) = delete;
    RegionPlayer& operator=(const RegionPlayer&) = delete;

    void SetCursorCallback(CursorCallback callback, void* user) noexcept;

    // StopPlayback, load the region's audio, then PlayOnce / PlayLoop (the whole region
    // repeats). Throws std::runtime_error when the track file cannot be read and
    // std::out_of_range when the region lies outside its audio part; the previous
    // stream is stopped in every case.
    void PlayRegionOnce(const std::filesystem::path& trackFile, const Region& region);
    void PlayRegionLooped(const std::filesystem::path& trackFile, const Region& region);

    // StopPlayback, then plays `audio` (interleaved stereo values that start at frame
    // `startFrame` of the track, e.g. a region shaped for a sampler) once or looped.
    void PlayAudio(std::vector<std::int16_t> audio, std::uint32_t startFrame, bool looped);

    void StopPlayback() { player_.StopPlayback(); }

    // The editor cursor for a play position (16-bit values into the region).
    static std::uint32_t OverviewCursor(std::uint32_t position, std::uint32_t regionStartFrame) noexcept {
        return position / 8 + regionStartFrame / 4;
    }

private:
    void LoadRegionAudio(const std::filesystem::path& trackFile, const Region& region);
    static void OnPositionChanged(std::uint32_t position, void* self);

    SoundPlayer& player_;
    std::vector<std::int16_t> regionBuffer_;
    std::uint32_t regionStartFrame_ = 0;
    CursorCallback cursorCallback_ = nullptr;
    void* cursorUser_ = nullptr;
};

// Bytes of raw audio in a track file of `fileBytes` bytes.
constexpr std::uint64_t TrackAudioBytes(std::uint64_t fileBytes) noexcept { return fileBytes - fileBytes / 9; }

}  // namespace korvane::playback
