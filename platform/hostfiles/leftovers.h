#pragma once
// Temporary files that carry their writer's process id, and the removal of those that
// a writer which is gone (killed, crashed) left behind.
//
// Two families of names:
//   "~krvn<pid>-<unique>.tmp"                track files being read or made (TempFile);
//   ".<target>.<pid>-<n>-<unique>.krvn-part" a file being written under a temporary
//                                            name beside its target (export, import).
// A leftover is such a file whose writer is no longer running: no process has its id,
// or the process with that id started after the file was last written (the id was
// reused). Names of the same families without a process id (made by earlier versions)
// count as leftovers once they are older than a day. Files of running writers are never
// touched, however old: an open document's track file lives as long as its window.
//
// Thread contract: every function may be called from any thread.
#include <cstddef>
#include <filesystem>
#include <string>

namespace korvane::platform {

// "<pid>-<n>-<unique>": the middle of a temporary name, unique within this process and
// very likely across processes.
std::string TemporaryTag();

// ".<target name>.<tag>.krvn-part" in `target`'s folder.
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target);

// True when `name` (a file name, no folder) is one of the temporary names above.
bool IsTemporaryName(const std::string& name) noexcept;

// Removes the leftovers in `folder` (not in its subfolders). Files that cannot be
// removed are skipped: a later run tries again. Returns the number removed.
std::size_t RemoveLeftoverTemporaries(const std::filesystem::path& folder) noexcept;

// As RemoveLeftoverTemporaries, at most once per folder in the life of the process, so
// that writers can call it before each file they create.
void RemoveLeftoverTemporariesOnce(const std::filesystem::path& folder) noexcept;

}  // namespace korvane::platform
