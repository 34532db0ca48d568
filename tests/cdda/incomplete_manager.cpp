// A manager module that lacks SendASPI32Command, for the binding test.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::uint32_t GetASPI32SupportInfo() { return 0x0100; }
