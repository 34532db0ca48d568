#pragma once
// Names of the files of a multi-region export.
#include <string>
#include <string_view>

namespace korvane::wavexport {

// The file name for the n-th of several exported regions: `n` in decimal goes before
// the last "." of the whole path ("kick.wav" -> "kick2.wav"), or at the end when the
// path has no "." ("kick" -> "kick2"). The last "." counts even when it lies in a folder
// name ("C:\My.Loops\kick" -> "C:\My2.Loops\kick"): users rely on the names the
// program has always made.
std::string MakeNumberedName(std::string_view path, int n);

// As MakeNumberedName, but only a "." in the file name itself counts ("/a.b/kick" ->
// "/a.b/kick2", "./kick" -> "./kick2"), and not a leading one (".kick" -> ".kick2"):
// the number never lands in a folder's name. For names typed on the command line.
std::string MakeNumberedFileName(std::string_view path, int n);

}  // namespace korvane::wavexport
