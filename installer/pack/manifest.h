#pragma once
// The payload manifest that korvane-pack turns into an installer's resources. One entry a
// line; fields are separated by blanks, and the last field (a path or a text) is the rest
// of the line, blanks included:
//   APPFILE|SYSFILE|SELFREGSYS|SELFREG_CUSTOM <target name> <folder entry> <source path>
//       a numbered payload file: the k-th line of a kind becomes resource <prefix><k+1>
//       with string entries name-base + k and folder-base + k
//   UNINST <source path>          the uninstaller, resource "IDT_APPFILE_UNINST"
//   LICENSE <source path>         the licence text, resource "IDT_LICENSE_TXT" (CR LF lines)
//   resource <type> <name> <source path>   any resource as it is (tests: gaps, number 16)
//   string <id> <text>            any string-table entry
// Blank lines and lines starting with '#' are ignored.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::installer {

struct ManifestResource {
    std::string type;
    std::string name;
    std::string sourcePath;
    bool crlfText = false;  // convert the file's line ends to CR LF (the licence)
};

struct Manifest {
    std::vector<ManifestResource> resources;
    std::map<std::uint32_t, std::string> strings;
};

// Pure: parses `text`; nullopt with "line N: reason" in `error` for an unknown keyword, a
// missing field, a bad id, a kind with more than 15 files, or a duplicate resource name or
// string id.
std::optional<Manifest> ParseManifest(std::string_view text, std::string* error);

// Pure: `text` with every line end (LF, CR LF or lone CR) made CR LF.
std::string ToCrLf(std::string_view text);

}  // namespace korvane::installer
