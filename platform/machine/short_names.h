#pragma once
// Short 8.3 names (GetShortPathName) for the machine's files. A Windows 9x file system keeps
// a short alias beside every long name; we keep the aliases in a table in the machine root
// ("shortnames.tsv": host folder relative to drive_c, long name, alias), create an alias
// the first time a name's short form is asked for, and resolve aliases back to the files.
//
// Thread contract: table operations lock the table file (flock), so several processes of
// the same machine may create aliases at once; the table is rewritten via temp + rename.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::platform {
class MachineRoot;

// Pure: whether `name` is already a valid short name (1-8 characters, optional dot and 1-3
// characters, only characters allowed in short names, no lower-case letters).
bool IsShortName(std::string_view name) noexcept;

// Pure: the alias for `longName` in a folder where `taken(alias)` tells whether an alias is
// in use already. A name that is valid 8.3 apart from letter case becomes its upper-case
// form; others become BASIS~N.EXT: the first six (fewer when N has more digits) allowed
// characters of the name without blanks and dots, upper case, "~N" with the smallest N
// free, and the first three allowed characters of the last extension.
std::string MakeShortName(std::string_view longName, const std::function<bool(const std::string&)>& taken);

// GetShortPathName over the machine: the short form of an existing Windows path
// ("C:\PROGRA~1\QUORVIX\KORVANE\KORVANE.EXE"); nullopt when the path does not exist.
std::optional<std::string> GetShortPathName(const MachineRoot& root, std::string_view windowsPath);

// The host path a Windows path names when any of its components may be a short alias.
// Long names win over aliases; missing components keep their spelling (as ToHost).
std::optional<std::filesystem::path> ResolveShortPath(const MachineRoot& root, std::string_view windowsPath);

}  // namespace korvane::platform
