#include "resources/strings.h"

#include <algorithm>
#include <array>

namespace korvane::resources {
namespace {

constexpr std::array kStrings = {
    StringEntry{128, "Korvane"},
    StringEntry{129, "\nKorva\nKorva\n\n\nKorvane.Document\nKorva Document"},
    StringEntry{1023, "stop playback\nstop"},
    StringEntry{1025, "play region looped\nloop"},
    StringEntry{1026, "play region one-shot\nplay"},
    StringEntry{32771, "change settings and preferences\npreferences"},
    StringEntry{32772, "export region(s) as .WAV\nexport region(s)"},
    StringEntry{32773, "show or hide the slice tool window\ntoggle tool window"},
    StringEntry{57344, "Korvane"},
    StringEntry{57345, "Ready"},
    StringEntry{57665, "quit the application\nexit"},
    StringEntry{57667, "show help topics\nhelp topics"},
    StringEntry{59137, "CAP"},
    StringEntry{59138, "NUM"},
    StringEntry{59139, "SCRL"},
    StringEntry{59393, "show or hide the status bar\ntoggle status bar"},
    StringEntry{kIdsDeviceNotResponding, "Device not responding. Try again?"},
    StringEntry{kIdsCouldNotWriteFile, "could not write file"},
    StringEntry{kIdsRestartForChanges, "You have to restart the program\nfor your changes to become effective"},
    StringEntry{kIdsFatalNoDirectSound, "ERROR: could not open DirectSound driver!\nTerminating program."},
    StringEntry{kIdsFatalWrongPlatform, "This product requires Microsoft Windows95 or Windows98"},
    StringEntry{kIdsTrackFileUnreadable, "The track file could not be opened:\n%s"},
    StringEntry{kIdsTrackFileTooShort, "The track file is too short to hold a track:\n%s"},
    StringEntry{kIdsImportUnsupported, "The audio in this file is stored in a way Korvane cannot decode:\n%s"},
    StringEntry{kIdsImportMalformed, "This file is not an audio file Korvane can read, or it is damaged or incomplete:\n%s"},
    StringEntry{kIdsImportCannotRead, "could not read file\n%s"},
    StringEntry{kIdsImportCannotWrite, "could not create the temporary track file\n%s"},
    StringEntry{kIdsCouldNotDeleteTrackFile, "could not delete the temporary track file\n%s"},
    StringEntry{kIdsSaveOntoTrackFile, "A track cannot be saved over its own track file.\nPlease choose another name."},
    StringEntry{kIdsNoCdAccess, "No CD access: the ASPI manager could not be loaded. Audio files can still be opened."},
    StringEntry{kIdsNoCdDrive, "No CD drive found"},
    StringEntry{kIdsReadingTrack, "Reading %s ..."},
    StringEntry{kIdsDriveScanFailed, "The CD drives could not be scanned: %s"},
    StringEntry{kIdsHelpFileMissing, "The help file could not be opened:\n%s"},
    StringEntry{kIdsReadTrackCancelled, "Read Track cancelled; nothing was kept"},
    StringEntry{kIdsReadTrackFailed, "The track could not be read; nothing was kept"},
    StringEntry{kIdsTrackRead, "%s read"},
    StringEntry{kIdsOpenFilter, "All audio files (*.wav *.wave *.rf64 *.w64 *.flac *.aif *.aiff *.aifc *.ogg *.oga *.opus *.mp3 *.caf);;"
                                "WAV files (*.wav *.wave *.rf64 *.w64);;FLAC files (*.flac);;AIFF files (*.aif *.aiff *.aifc);;"
                                "Ogg Vorbis and Opus files (*.ogg *.oga *.opus);;MP3 files (*.mp3);;Core Audio files (*.caf);;"
                                "All Files (*)"},
    StringEntry{kIdsSaveFilter, "WAV Files (*.wav)"},
};

constexpr bool Sorted() {
    for (std::size_t i = 1; i < kStrings.size(); ++i) {
        if (kStrings[i - 1].id >= kStrings[i].id) return false;
    }
    return true;
}
static_assert(Sorted(), "the string table must stay sorted by id, without duplicates");

}  // namespace

std::span<const StringEntry> AppStrings() noexcept { return kStrings; }

std::optional<std::string_view> FindAppString(std::uint32_t id) noexcept {
    const auto it = std::lower_bound(kStrings.begin(), kStrings.end(), id,
                                     [](const StringEntry& e, std::uint32_t want) { return e.id < want; });
    if (it == kStrings.end() || it->id != id) return std::nullopt;
    return it->text;
}

std::string_view LoadAppString(std::uint32_t id) noexcept { return FindAppString(id).value_or(std::string_view{}); }

}  // namespace korvane::resources
