#pragma once
// Short 8.3 names for the machine's files. A Windows 9x file system keeps a short alias
// beside every long name; the machine keeps the aliases it has handed out in a table in its
// root ("shortnames.tsv": host folder relative to drive_c, long name, alias). An alias is
// made the first time MachineRoot::ShortPathName is asked for the name's short form and
// stays the same afterwards; MachineRoot::ToHost resolves the aliases of the table back.
//
// Thread contract: changes to the table lock the table file (flock), so several processes of
// the same machine may create aliases at once; the table is rewritten via temp + rename, so
// readers never see half a table.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::platform {

// Pure: whether `name` is already a valid short name (1-8 characters, optional dot and 1-3
// characters, only characters allowed in short names, no lower-case letters).
bool IsShortName(std::string_view name) noexcept;

// Pure: the alias for `longName` in a folder where `taken(alias)` tells whether an alias is
// in use already. A name that is valid 8.3 apart from letter case becomes its upper-case
// form; others become BASIS~N.EXT: the first six (fewer when N has more digits) allowed
// characters of the name without blanks and dots, upper case, "~N" with the smallest N
// free, and the first three allowed characters of the last extension.
std::string MakeShortName(std::string_view longName, const std::function<bool(const std::string&)>& taken);

// The existing entry of `hostDir` that the table of the machine at `machineRoot` gives the
// alias `alias` (compared without case); nullopt when there is none.
std::optional<std::string> AliasedEntry(const std::filesystem::path& machineRoot, const std::filesystem::path& driveC,
                                        const std::filesystem::path& hostDir, std::string_view alias);

}  // namespace korvane::platform
