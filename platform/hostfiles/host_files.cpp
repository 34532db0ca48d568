#include "platform/hostfiles/host_files.h"

namespace korvane::platform {

namespace fs = std::filesystem;

bool SameFile(const fs::path& a, const fs::path& b) noexcept {
    std::error_code ec;
    const bool same = fs::equivalent(a, b, ec);
    return !ec && same;
}

void RefuseOverwritingInput(const fs::path& output, const std::vector<fs::path>& inputs) {
    for (const fs::path& input : inputs) {
        if (!input.empty() && SameFile(output, input))
            throw OverwritesInput(output.string() + " is the input file " + input.string() +
                                  "; choose another output name");
    }
}

}  // namespace korvane::platform
