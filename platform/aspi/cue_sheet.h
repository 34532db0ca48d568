#pragma once
// Cue sheets: a tokenizer, one handler per command, and the disc layout they describe.
// Pure: no file access (file sizes come from the caller).
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::aspi::cue {

// A cue sheet that cannot be used; what() reads "line N: <reason>" when a line is known.
class CueError : public std::runtime_error {
public:
    CueError(int line, const std::string& reason);
    int line;
};

struct Token {
    std::string text;
    bool quoted = false;
};
struct TokenLine {
    int line = 0;  // 1-based
    std::vector<Token> tokens;
};
// Splits the text into lines of blank-separated words and "quoted strings". Accepts a
// UTF-8 byte-order mark and CR LF line ends; empty lines are dropped. Throws CueError for
// an unterminated quote.
std::vector<TokenLine> Tokenize(std::string_view text);

// Raw images (little- / big-endian 16-bit audio) or an audio file to decode (WAVE, AIFF,
// MP3, FLAC: anything that holds CD audio).
enum class FileType { Binary, Motorola, Audio };
enum class TrackMode { Audio, Mode1_2048, Mode1_2352, Mode2_2336, Mode2_2352 };

struct Index {
    int number = 0;
    std::uint32_t frame = 0;  // sectors from the start of its file
    int line = 0;
    std::size_t file = 0;     // the FILE it lies in: a track may go on into the next file
};

struct Track {
    int number = 0;
    TrackMode mode = TrackMode::Audio;
    std::uint32_t sectorBytes = 2352;
    std::uint8_t control = 0;  // CONTROL nibble: 0x04 data, 0x01 pre-emphasis, 0x02 copy permitted, 0x08 four channels
    std::uint32_t pregapSectors = 0;   // silence not stored in the file, before the track
    std::uint32_t postgapSectors = 0;  // silence not stored in the file, after the track
    std::vector<Index> indexes;
    std::string title, performer, isrc;
    int line = 0;
    int session = 1;  // from "REM SESSION nn" lines, as ripping programs write them
    bool IsData() const noexcept { return (control & 0x04) != 0; }
};

struct File {
    std::string name;
    FileType type = FileType::Binary;
    std::vector<Track> tracks;
    int line = 0;
};

struct Sheet {
    std::vector<File> files;
    std::string catalog, title, performer;
};

// Parses a cue sheet: FILE, TRACK, INDEX, PREGAP, POSTGAP, FLAGS, CATALOG, ISRC, TITLE,
// PERFORMER, SONGWRITER, CDTEXTFILE and REM ("REM SESSION nn" starts session nn; other
// REM lines are comments). Checks what a drive would need: a FILE
// before the first TRACK, track numbers 1-99 rising by one, INDEX 01 in every track,
// index numbers rising and positions not going backwards within a file, valid mm:ss:ff
// times. A FILE line inside a track lets the track go on in the new file (one file per
// track with each INDEX 00 at the end of the previous track's file).
Sheet Parse(std::string_view text);

// "mm:ss:ff" (75 frames per second) -> frames; throws CueError on a malformed time.
std::uint32_t ParseMsf(std::string_view text, int line);

// One stretch of the disc: `sectorCount` sectors starting at disc address `lba`, read
// from file `fileIndex` at `byteOffset` with `sectorBytes` per sector, or silence when
// fileIndex is -1, or the unreadable area between two sessions when fileIndex is
// kBetweenSessions.
inline constexpr int kBetweenSessions = -2;
// Lead-out (6,750) and lead-in (4,500) between two sessions, and the next session's
// first pregap (150): a later session's first track starts this far after the end of
// the session before it.
inline constexpr std::uint32_t kSessionGapSectors = 11'400;
struct Extent {
    std::uint32_t lba = 0;
    std::uint32_t sectorCount = 0;
    int fileIndex = -1;
    std::uint64_t byteOffset = 0;
    std::uint32_t sectorBytes = 2352;
    bool data = false;
};

struct LaidOutTrack {
    int number = 0;
    std::uint8_t control = 0;
    std::uint32_t startLba = 0;  // INDEX 01
    int session = 1;
};

struct Layout {
    int firstTrack = 0, lastTrack = 0;
    std::vector<LaidOutTrack> tracks;
    std::uint32_t leadOutLba = 0;
    std::vector<Extent> extents;  // in disc order, back to back from LBA 0
};

// Places the tracks on the disc: each file's sectors follow the previous file's; PREGAP
// and POSTGAP silence is inserted; a track starts at its INDEX 01, which may lie in a
// later file than its INDEX 00; the first track of a later session starts
// kSessionGapSectors after the end of the session before it. `fileBytes(i)` gives the size
// of file i. Throws CueError for an index beyond the end of its file, a file
// that is not a whole number of sectors, an empty track, or a disc longer than a CD can
// address.
Layout LayOut(const Sheet& sheet, const std::function<std::uint64_t(std::size_t fileIndex)>& fileBytes);

}  // namespace korvane::aspi::cue
