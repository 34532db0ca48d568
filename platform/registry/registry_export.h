#pragma once
// A text rendering of a registry subtree in the REGEDIT4 file format, for tests that
// compare what a program wrote with an expected tree, and for diagnostics.
#include <string>
#include <string_view>

#include "platform/registry/registry.h"

namespace korvane::platform {

// The key at `path` and everything below it, depth-first, keys and values in creation
// order:
//   [HKEY_LOCAL_MACHINE\Software\Quorvix\Korvane]
//   @="default"
//   "Driver"="Primary Sound Driver"       (\ and " escaped with \)
//   "Normalize"=dword:00000001
//   "Blob"=hex:00,01,ff
// No "REGEDIT4" header line; "" when the key does not exist. Each key is read on its own,
// so the text is one consistent snapshot only while nobody else writes.
std::string ExportTree(RegistryStore& store, RootKey root, std::string_view path);

}  // namespace korvane::platform
