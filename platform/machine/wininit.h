#pragma once
// What Windows 9x does with "wininit.ini" at its next start: every line of the "[rename]"
// section (header matched without regard to letter case) is "target=source"; the source
// gets the target's name, and a target of "NUL" deletes the source. Both sides are usually
// short 8.3 paths. Afterwards the section is emptied; other sections stay as they were.
#include <string>
#include <string_view>
#include <vector>

namespace korvane::platform {
class MachineRoot;

struct RenameOperation {
    std::string target;  // "NUL" deletes the source
    std::string source;
};

struct WininitPlan {
    std::vector<RenameOperation> operations;  // in file order
    std::string remainingText;                // the file without the [rename] lines
};

// Pure: whether `line` opens the [rename] section: after leading blanks and tabs it
// starts with "[rename]" in any letter case ("[Rename] ;pending" does too). The installer
// that writes the section and the restart that reads it both go by this one rule.
bool IsRenameSectionHeader(std::string_view line) noexcept;

// Pure: the operations of every [rename] section of `text` (CR LF or LF lines) and the
// text with those lines removed (the headers stay). Lines without "=" are dropped.
WininitPlan PlanWininit(std::string_view text);

struct WininitResult {
    int applied = 0;
    std::vector<std::string> failures;  // one message per operation that could not be done
};

// Processes C:\WINDOWS\wininit.ini of `root`: applies the operations in order, then
// rewrites the file without them (temp + rename). A missing file is nothing to do.
WininitResult ProcessWininit(const MachineRoot& root);

}  // namespace korvane::platform
