#include "track/temp_track_name.h"

#include "platform/riff/file_io.h"

#include <string>

namespace korvane::track {

std::filesystem::path CreateTemporaryTrackFile(const std::filesystem::path& tempDir) {
    constexpr unsigned kMaxNames = 0xFFFF;  // as many as a 4-hex-digit unique part allows
    for (unsigned n = 1; n <= kMaxNames; ++n) {
        auto path = tempDir / ("~krvn" + std::to_string(n) + ".tmp");
        try {
            platform::FileSink(path, platform::CreateMode::kExclusive).Close();
            return path;
        } catch (const platform::IoError& e) {
            if (e.Code() != std::errc::file_exists) throw;
        }
    }
    throw platform::IoError("no free temporary track name in " + tempDir.string(),
                            std::make_error_code(std::errc::file_exists));
}

}  // namespace korvane::track
