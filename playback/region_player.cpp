#include "playback/region_player.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

namespace korvane::playback {

RegionPlayer::~RegionPlayer() { player_.StopPlayback(); }

void RegionPlayer::SetCursorCallback(CursorCallback callback, void* user) noexcept {
    cursorCallback_ = callback;
    cursorUser_ = user;
}

void RegionPlayer::LoadRegionAudio(const std::filesystem::path& trackFile, const Region& region) {
    std::error_code error;
    const std::uint64_t fileBytes = std::filesystem::file_size(trackFile, error);
    if (error) throw std::runtime_error("cannot read track file " + trackFile.string() + ": " + error.message());
    const std::uint64_t firstByte = static_cast<std::uint64_t>(region.start) * 16;
    const std::uint64_t byteCount = static_cast<std::uint64_t>(region.length) * 16;
    if (firstByte + byteCount > TrackAudioBytes(fileBytes))
        throw std::out_of_range("region lies outside the audio of " + trackFile.string());

    std::vector<std::int16_t> audio(byteCount / 2);
    std::ifstream in(trackFile, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open track file " + trackFile.string() + ": " + std::strerror(errno));
    in.seekg(static_cast<std::streamoff>(firstByte));
    in.read(reinterpret_cast<char*>(audio.data()), static_cast<std::streamsize>(byteCount));
    if (!in || static_cast<std::uint64_t>(in.gcount()) != byteCount)
        throw std::runtime_error("short read from track file " + trackFile.string());
    regionBuffer_ = std::move(audio);
    regionStartFrame_ = region.start * 4;
}

void RegionPlayer::OnPositionChanged(std::uint32_t position, void* self) {
    auto* player = static_cast<RegionPlayer*>(self);
    if (player->cursorCallback_)
        player->cursorCallback_(OverviewCursor(position, player->regionStartFrame_), player->cursorUser_);
}

void RegionPlayer::PlayRegionOnce(const std::filesystem::path& trackFile, const Region& region) {
    player_.StopPlayback();
    LoadRegionAudio(trackFile, region);
    player_.SetPositionCallback(&RegionPlayer::OnPositionChanged, this);
    const auto frames = static_cast<std::uint32_t>(regionBuffer_.size() / 2);
    player_.PlayOnce(regionBuffer_, frames, false, true);
}

void RegionPlayer::PlayRegionLooped(const std::filesystem::path& trackFile, const Region& region) {
    player_.StopPlayback();
    LoadRegionAudio(trackFile, region);
    player_.SetPositionCallback(&RegionPlayer::OnPositionChanged, this);
    const auto frames = static_cast<std::uint32_t>(regionBuffer_.size() / 2);
    player_.PlayLoop(regionBuffer_, frames, false, true, 0, frames);
}

void RegionPlayer::PlayAudio(std::vector<std::int16_t> audio, std::uint32_t startFrame, bool looped) {
    player_.StopPlayback();
    regionBuffer_ = std::move(audio);
    regionStartFrame_ = startFrame;
    player_.SetPositionCallback(&RegionPlayer::OnPositionChanged, this);
    const auto frames = static_cast<std::uint32_t>(regionBuffer_.size() / 2);
    if (looped) {
        player_.PlayLoop(regionBuffer_, frames, false, true, 0, frames);
    } else {
        player_.PlayOnce(regionBuffer_, frames, false, true);
    }
}

}  // namespace korvane::playback
