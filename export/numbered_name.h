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
// With `width`, the number is zero-padded to that many digits ("kick01.wav").
std::string MakeNumberedName(std::string_view path, int n, int width = 0);

}  // namespace korvane::wavexport
