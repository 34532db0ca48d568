#include "cli/output_file.h"

#include "cli/exit_codes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace korvane::cli {
namespace {

namespace fs = std::filesystem;

std::runtime_error Exists(const fs::path& path) {
    return std::runtime_error(path.string() + " exists; use --force to replace it");
}

std::runtime_error CannotWrite(const fs::path& path, int error) {
    return std::runtime_error("cannot write " + path.string() + ": " + std::strerror(error));
}

// The temporary file was created owner-only; the output gets the permissions of any
// new file of the user's.
void ApplyUmask(const fs::path& output) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(output.c_str(), 0666 & ~mask);
}

std::string LowerExtension(const std::string& output) {
    std::string extension = fs::path(output).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

void RefuseToReplace(const fs::path& path, bool force) {
    std::error_code error;
    if (!force && fs::symlink_status(path, error).type() != fs::file_type::not_found && !error) throw Exists(path);
}

void RefuseToReplaceAny(const std::vector<std::string>& paths, bool force) {
    for (const auto& path : paths) RefuseToReplace(path, force);
}

void PublishFile(const fs::path& temp, const fs::path& output, bool replace) {
    const bool moved = replace ? ::rename(temp.c_str(), output.c_str()) == 0 : ::link(temp.c_str(), output.c_str()) == 0;
    const int error = errno;
    ::unlink(temp.c_str());  // after link, the temporary name; after a failure, the file
    if (!moved) throw error == EEXIST && !replace ? Exists(output) : CannotWrite(output, error);
    ApplyUmask(output);
}

bool IsStandardOutput(const std::string& output) noexcept { return output == "-"; }

OutputFormat ChooseOutputFormat(const std::string& output, const std::string& formatOption) {
    OutputFormat format = OutputFormat::TrackFile;
    if (formatOption == "wav") {
        format = OutputFormat::Wav;
    } else if (formatOption == "raw") {
        format = OutputFormat::Raw;
    } else if (formatOption == "trk") {
        format = OutputFormat::TrackFile;
    } else if (!formatOption.empty()) {
        throw UsageError("unknown --format " + formatOption + " (choose trk, wav or raw)");
    } else if (IsStandardOutput(output)) {
        format = OutputFormat::Wav;
    } else {
        const std::string extension = LowerExtension(output);
        if (extension == ".wav") format = OutputFormat::Wav;
        if (extension == ".raw" || extension == ".pcm") format = OutputFormat::Raw;
    }
    if (format == OutputFormat::TrackFile && IsStandardOutput(output))
        throw UsageError("a track file cannot go to standard output (its overview follows the audio); use "
                         "--format wav or raw");
    return format;
}

const char* FormatName(OutputFormat format) noexcept {
    switch (format) {
        case OutputFormat::Wav: return "WAV";
        case OutputFormat::Raw: return "raw audio";
        case OutputFormat::TrackFile: break;
    }
    return "track file";
}

}  // namespace korvane::cli
