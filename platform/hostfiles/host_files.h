#pragma once
// Checks on host files that every command writing a file shares.
#include <filesystem>
#include <vector>
#include <stdexcept>
#include <string>

namespace korvane::platform {

// True when both paths name one existing file (same device and inode), whatever the
// path: links, "./", "..", hard links. False when either does not exist.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) noexcept;

// Thrown when a command would write over one of its own inputs.
class OverwritesInput : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws OverwritesInput ("<output> is the input file <input>; choose another output
// name") when `output` names the same file as one of `inputs`. Empty inputs are skipped.
void RefuseOverwritingInput(const std::filesystem::path& output,
                            const std::vector<std::filesystem::path>& inputs);

}  // namespace korvane::platform
