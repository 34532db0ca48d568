#pragma once
// A failed CD request in plain words, for the retry prompt, the CLI and the status bar:
// "no disc in the drive", "the drive is not ready", "medium error at 12:34.56 (sector
// N)", "the drive refused the command"... Pure.
#include "cdda/cd_reader.h"

#include <string>

namespace korvane::cdda {

std::string DescribeFailure(const CDReaderException& failure);

}  // namespace korvane::cdda
