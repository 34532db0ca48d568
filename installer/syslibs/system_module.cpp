// A small module of ours standing in for one of the platform's run-time libraries that the
// installer carries (COMCTL32.DLL, MFC42.DLL, MSVCRT.DLL). It exists to be placed,
// version-checked, counted and replaced at restart for real; it carries a version record
// and names itself. Built once per library, with the version and name as definitions.
#include "platform/version/version_record.h"

KORVANE_VERSION_RECORD(KV_VERSION_A, KV_VERSION_B, KV_VERSION_C, KV_VERSION_D, KV_DESCRIPTION);

extern "C" __attribute__((visibility("default"))) const char* KorvaneModuleName() { return KV_MODULE_NAME; }
