#pragma once
// The sound drivers as the Preferences dialog lists them, from the playback layer's
// process-wide driver list (enumerated first when it is still empty).
// Thread contract: UI thread (the driver list is filled and read there).
#include "app/preferences.h"

#include <vector>

namespace korvane::app {

std::vector<DriverChoice> EnumeratedDriverChoices();

}  // namespace korvane::app
