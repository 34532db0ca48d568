#include "platform/aspi/cue_sheet.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

namespace korvane::aspi::cue {
namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

int ParseNumber(std::string_view text, int line, const char* what, int low, int high) {
    int value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high)
        throw CueError(line, std::string(what) + " '" + std::string(text) + "' is not a number from " +
                                 std::to_string(low) + " to " + std::to_string(high));
    return value;
}

struct State {
    int session = 1;
    Sheet sheet;
    File* file = nullptr;
    Track* track = nullptr;
    std::uint32_t lastFrame = 0;  // the last index position in the current file
};

using Handler = void (*)(State&, const TokenLine&);

void Expect(const TokenLine& l, std::size_t minArgs, std::size_t maxArgs, const char* usage) {
    const std::size_t args = l.tokens.size() - 1;
    if (args < minArgs || args > maxArgs) throw CueError(l.line, std::string("expected ") + usage);
}

Track& CurrentTrack(State& s, const TokenLine& l, const char* command) {
    if (s.track == nullptr) throw CueError(l.line, std::string(command) + " before the first TRACK");
    return *s.track;
}

void OnFile(State& s, const TokenLine& l) {
    Expect(l, 1, 2, "FILE \"name\" BINARY|MOTOROLA|WAVE|AIFF|MP3|FLAC");
    File f;
    f.name = l.tokens[1].text;
    f.line = l.line;
    if (f.name.empty()) throw CueError(l.line, "FILE without a file name");
    const std::string type = l.tokens.size() > 2 ? Upper(l.tokens[2].text) : "BINARY";
    if (type == "BINARY") f.type = FileType::Binary;
    else if (type == "MOTOROLA") f.type = FileType::Motorola;
    else if (type == "WAVE" || type == "AIFF" || type == "MP3" || type == "FLAC") f.type = FileType::Audio;
    else throw CueError(l.line, "file type " + type + " is not supported (BINARY, MOTOROLA, WAVE, AIFF, MP3, FLAC)");
    if (s.track && s.track->indexes.empty()) throw CueError(s.track->line, "track has no INDEX 01");
    s.sheet.files.push_back(std::move(f));
    s.file = &s.sheet.files.back();
    // The open track goes on in this file until the next TRACK (its INDEX 01 may follow).
    s.lastFrame = 0;
}

void OnTrack(State& s, const TokenLine& l) {
    Expect(l, 2, 2, "TRACK nn AUDIO|MODE1/2352|...");
    if (s.file == nullptr) throw CueError(l.line, "TRACK before the first FILE");
    if (s.track && s.track->indexes.empty()) throw CueError(s.track->line, "track has no INDEX 01");
    Track t;
    t.line = l.line;
    t.number = ParseNumber(l.tokens[1].text, l.line, "track number", 1, 99);
    int previous = 0;
    for (const auto& f : s.sheet.files)
        if (!f.tracks.empty()) previous = f.tracks.back().number;
    if (previous != 0 && t.number != previous + 1)
        throw CueError(l.line, "track " + std::to_string(t.number) + " follows track " + std::to_string(previous) +
                                   "; track numbers must rise by one");
    const std::string mode = Upper(l.tokens[2].text);
    static const std::map<std::string, std::pair<TrackMode, std::uint32_t>> modes{
        {"AUDIO", {TrackMode::Audio, 2352}},           {"MODE1/2048", {TrackMode::Mode1_2048, 2048}},
        {"MODE1/2352", {TrackMode::Mode1_2352, 2352}}, {"MODE2/2336", {TrackMode::Mode2_2336, 2336}},
        {"MODE2/2352", {TrackMode::Mode2_2352, 2352}},
    };
    const auto it = modes.find(mode);
    if (it == modes.end()) throw CueError(l.line, "track mode " + mode + " is not supported");
    t.mode = it->second.first;
    t.sectorBytes = it->second.second;
    t.control = t.mode == TrackMode::Audio ? 0x00 : 0x04;
    t.session = s.session;
    s.file->tracks.push_back(std::move(t));
    s.track = &s.file->tracks.back();
}

void OnIndex(State& s, const TokenLine& l) {
    Expect(l, 2, 2, "INDEX nn mm:ss:ff");
    Track& t = CurrentTrack(s, l, "INDEX");
    Index index;
    index.line = l.line;
    index.number = ParseNumber(l.tokens[1].text, l.line, "index number", 0, 99);
    index.frame = ParseMsf(l.tokens[2].text, l.line);
    index.file = s.sheet.files.size() - 1;
    if (!t.indexes.empty()) {
        const Index& last = t.indexes.back();
        if (index.number != last.number + 1)
            throw CueError(l.line, "INDEX " + std::to_string(index.number) + " follows INDEX " +
                                       std::to_string(last.number) + "; index numbers must rise by one");
    } else if (index.number > 1) {
        throw CueError(l.line, "the first index of a track must be INDEX 00 or INDEX 01");
    }
    // Positions never go back within a file, across tracks either.
    if (index.frame < s.lastFrame)
        throw CueError(l.line, t.indexes.empty() ? "INDEX position lies before the previous track's last index"
                                                 : "INDEX position lies before the previous index");
    s.lastFrame = index.frame;
    t.indexes.push_back(index);
}

void OnGap(State& s, const TokenLine& l, bool pre) {
    Expect(l, 1, 1, pre ? "PREGAP mm:ss:ff" : "POSTGAP mm:ss:ff");
    Track& t = CurrentTrack(s, l, pre ? "PREGAP" : "POSTGAP");
    const std::uint32_t frames = ParseMsf(l.tokens[1].text, l.line);
    if (pre) {
        if (!t.indexes.empty()) throw CueError(l.line, "PREGAP must come before the track's first INDEX");
        t.pregapSectors = frames;
    } else {
        t.postgapSectors = frames;
    }
}
void OnPregap(State& s, const TokenLine& l) { OnGap(s, l, true); }
void OnPostgap(State& s, const TokenLine& l) { OnGap(s, l, false); }

void OnFlags(State& s, const TokenLine& l) {
    Track& t = CurrentTrack(s, l, "FLAGS");
    for (std::size_t i = 1; i < l.tokens.size(); ++i) {
        const std::string flag = Upper(l.tokens[i].text);
        if (flag == "PRE") t.control |= 0x01;
        else if (flag == "DCP") t.control |= 0x02;
        else if (flag == "4CH") t.control |= 0x08;
        else if (flag == "SCMS") continue;
        else throw CueError(l.line, "unknown flag " + flag);
    }
}

void OnText(State& s, const TokenLine& l) {
    Expect(l, 1, 1, "one text argument");
    const std::string command = Upper(l.tokens[0].text);
    const std::string& text = l.tokens[1].text;
    if (command == "CATALOG") {
        if (s.file || text.size() != 13) throw CueError(l.line, "CATALOG must be 13 digits before the first FILE");
        s.sheet.catalog = text;
        return;
    }
    if (s.track == nullptr) {
        if (command == "ISRC") throw CueError(l.line, "ISRC before the first TRACK");
        if (command == "TITLE") s.sheet.title = text;
        if (command == "PERFORMER") s.sheet.performer = text;
        return;
    }
    if (command == "TITLE") s.track->title = text;
    else if (command == "PERFORMER") s.track->performer = text;
    else if (command == "ISRC") s.track->isrc = text;
}

void OnIgnored(State&, const TokenLine&) {}

void OnRem(State& s, const TokenLine& l) {
    if (l.tokens.size() < 2 || Upper(l.tokens[1].text) != "SESSION") return;  // a comment
    Expect(l, 2, 2, "REM SESSION nn");
    const int session = ParseNumber(l.tokens[2].text, l.line, "session number", 1, 99);
    if (session < s.session) throw CueError(l.line, "session " + std::to_string(session) + " follows session " +
                                                      std::to_string(s.session));
    if (s.track && s.track->indexes.empty()) throw CueError(s.track->line, "track has no INDEX 01");
    s.session = session;
}

const std::map<std::string, Handler>& Handlers() {
    static const std::map<std::string, Handler> handlers{
        {"FILE", OnFile},       {"TRACK", OnTrack},       {"INDEX", OnIndex},     {"PREGAP", OnPregap},
        {"POSTGAP", OnPostgap}, {"FLAGS", OnFlags},       {"CATALOG", OnText},    {"ISRC", OnText},
        {"TITLE", OnText},      {"PERFORMER", OnText},    {"SONGWRITER", OnIgnored}, {"REM", OnRem},
        {"CDTEXTFILE", OnIgnored},
    };
    return handlers;
}

}  // namespace

CueError::CueError(int line, const std::string& reason)
    : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ": " + reason : reason), line(line) {}

std::vector<TokenLine> Tokenize(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<TokenLine> lines;
    int lineNumber = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(pos, end - pos);
        ++lineNumber;
        pos = end + 1;
        TokenLine line;
        line.line = lineNumber;
        std::size_t i = 0;
        while (i < raw.size()) {
            const char c = raw[i];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++i;
                continue;
            }
            Token token;
            if (c == '"') {
                const std::size_t close = raw.find('"', i + 1);
                if (close == std::string_view::npos) throw CueError(lineNumber, "unterminated quoted string");
                token.text = std::string(raw.substr(i + 1, close - i - 1));
                token.quoted = true;
                i = close + 1;
            } else {
                std::size_t j = i;
                while (j < raw.size() && raw[j] != ' ' && raw[j] != '\t' && raw[j] != '\r') ++j;
                token.text = std::string(raw.substr(i, j - i));
                i = j;
            }
            line.tokens.push_back(std::move(token));
        }
        if (!line.tokens.empty()) lines.push_back(std::move(line));
        if (end == text.size()) break;
    }
    return lines;
}

std::uint32_t ParseMsf(std::string_view text, int line) {
    const auto first = text.find(':');
    const auto second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos || text.find(':', second + 1) != std::string_view::npos)
        throw CueError(line, "time '" + std::string(text) + "' is not mm:ss:ff");
    const int m = ParseNumber(text.substr(0, first), line, "minutes", 0, 99);
    const int s = ParseNumber(text.substr(first + 1, second - first - 1), line, "seconds", 0, 59);
    const int f = ParseNumber(text.substr(second + 1), line, "frames", 0, 74);
    return static_cast<std::uint32_t>((m * 60 + s) * 75 + f);
}

Sheet Parse(std::string_view text) {
    State state;
    for (const TokenLine& line : Tokenize(text)) {
        if (line.tokens.front().quoted) throw CueError(line.line, "a line must start with a command");
        const std::string command = Upper(line.tokens.front().text);
        const auto it = Handlers().find(command);
        if (it == Handlers().end()) throw CueError(line.line, "unknown command " + command);
        it->second(state, line);
    }
    if (state.track && state.track->indexes.empty()) throw CueError(state.track->line, "track has no INDEX 01");
    bool anyTrack = false;
    std::vector<bool> indexed(state.sheet.files.size());
    for (const File& f : state.sheet.files)
        for (const Track& t : f.tracks)
            for (const Index& i : t.indexes) indexed[i.file] = true;
    for (std::size_t fi = 0; fi < state.sheet.files.size(); ++fi) {
        const File& f = state.sheet.files[fi];
        if (!indexed[fi]) throw CueError(f.line, "FILE without tracks");
        anyTrack = anyTrack || !f.tracks.empty();
        for (const Track& t : f.tracks) {
            const bool hasIndex1 = std::any_of(t.indexes.begin(), t.indexes.end(),
                                               [](const Index& i) { return i.number == 1; });
            if (!hasIndex1) throw CueError(t.line, "track " + std::to_string(t.number) + " has no INDEX 01");
        }
    }
    if (!anyTrack) throw CueError(0, "the cue sheet lists no tracks");
    return std::move(state.sheet);
}

namespace {

const Index* IndexOne(const Track& track) {
    for (const Index& i : track.indexes)
        if (i.number == 1) return &i;
    return nullptr;
}

}  // namespace

Layout LayOut(const Sheet& sheet, const std::function<std::uint64_t(std::size_t)>& fileBytes) {
    // The highest address a CD can reach (99:59:74 minus the 2-second lead-in offset).
    constexpr std::uint64_t kMaxSectors = (99u * 60u + 59u) * 75u + 74u - 150u;
    Layout layout;
    std::uint64_t disc = 0;
    auto addExtent = [&](std::uint64_t count, int fileIndex, std::uint64_t offset, std::uint32_t sectorBytes,
                         bool data, int line) {
        if (count == 0) return;
        if (disc + count > kMaxSectors) throw CueError(line, "the disc would be longer than a CD can address");
        layout.extents.push_back(Extent{static_cast<std::uint32_t>(disc), static_cast<std::uint32_t>(count), fileIndex,
                                        offset, sectorBytes, data});
        disc += count;
    };

    const Track* owner = nullptr;  // track that owns the bytes being placed
    std::size_t ownerSlot = 0;     // its entry in layout.tracks
    for (std::size_t fi = 0; fi < sheet.files.size(); ++fi) {
        const File& file = sheet.files[fi];
        const std::uint64_t size = fileBytes(fi);
        std::uint64_t byteCursor = 0;    // bytes of the file already placed
        std::uint32_t frameCursor = 0;   // sectors of the file already placed
        // A track that goes on from the previous file may have its INDEX 01 here, before
        // any track of this file starts: nothing lies between the file's start and it.
        if (const Index* index1 = owner ? IndexOne(*owner) : nullptr; index1 && index1->file == fi) {
            if (std::uint64_t{index1->frame} * owner->sectorBytes > size)
                throw CueError(index1->line, "INDEX 01 lies beyond the end of file " + file.name);
            layout.tracks[ownerSlot].startLba = static_cast<std::uint32_t>(disc + index1->frame);
        }
        for (const Track& track : file.tracks) {
            const std::uint32_t first = track.indexes.front().frame;
            const Index& index1 = *IndexOne(track);
            // Sectors before this track's first index belong to the previous track.
            const std::uint32_t sectorBytes = owner ? owner->sectorBytes : track.sectorBytes;
            const std::uint64_t count = first - frameCursor;
            if (byteCursor + count * sectorBytes > size)
                throw CueError(track.indexes.front().line, "index lies beyond the end of file " + file.name);
            addExtent(count, static_cast<int>(fi), byteCursor, sectorBytes, owner && owner->IsData(), track.line);
            byteCursor += count * sectorBytes;
            frameCursor = first;
            if (owner) addExtent(owner->postgapSectors, -1, 0, 2352, owner->IsData(), owner->line);
            if (!layout.tracks.empty() && track.session > layout.tracks.back().session) {
                // Lead-out, lead-in and pregap of the new session, less what the sheet gives.
                const std::uint64_t given =
                    std::uint64_t{track.pregapSectors} + (index1.file == fi ? index1.frame - first : 0);
                if (given < kSessionGapSectors)
                    addExtent(kSessionGapSectors - given, kBetweenSessions, 0, 2352, false, track.line);
            }
            addExtent(track.pregapSectors, -1, 0, 2352, track.IsData(), track.line);
            const bool here = index1.file == fi;
            if (here && byteCursor + std::uint64_t{index1.frame - first} * track.sectorBytes > size)
                throw CueError(index1.line, "INDEX 01 lies beyond the end of file " + file.name);
            // An INDEX 01 in a later file gets its address when that file is placed.
            layout.tracks.push_back(LaidOutTrack{track.number, track.control,
                                                 static_cast<std::uint32_t>(disc + (here ? index1.frame - first : 0)),
                                                 track.session});
            owner = &track;
            ownerSlot = layout.tracks.size() - 1;
        }
        if (owner == nullptr) throw CueError(file.line, "FILE without tracks");
        // The rest of the file belongs to the track that owns it.
        const std::uint64_t rest = size - byteCursor;
        if (rest % owner->sectorBytes != 0)
            throw CueError(file.line, "file " + file.name + " does not hold a whole number of " +
                                          std::to_string(owner->sectorBytes) + "-byte sectors");
        addExtent(rest / owner->sectorBytes, static_cast<int>(fi), byteCursor, owner->sectorBytes, owner->IsData(),
                  owner->line);
        // The track ends with its file unless it goes on in the next one.
        if (owner->indexes.back().file == fi) {
            addExtent(owner->postgapSectors, -1, 0, 2352, owner->IsData(), owner->line);
            owner = nullptr;
        }
    }
    layout.leadOutLba = static_cast<std::uint32_t>(disc);
    for (std::size_t i = 0; i < layout.tracks.size(); ++i) {
        const std::uint32_t end = i + 1 < layout.tracks.size() ? layout.tracks[i + 1].startLba : layout.leadOutLba;
        if (end <= layout.tracks[i].startLba)
            throw CueError(0, "track " + std::to_string(layout.tracks[i].number) + " is empty");
    }
    layout.firstTrack = layout.tracks.front().number;
    layout.lastTrack = layout.tracks.back().number;
    return layout;
}

}  // namespace korvane::aspi::cue
