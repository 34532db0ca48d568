// Version records: any block (and any module image holding one) is queried without
// reading outside it; every value found lies inside the block.
#include "platform/version/version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane::platform;
    const std::span<const std::uint8_t> input(data, size);
    auto query = [](std::span<const std::uint8_t> block) {
        (void)IsValidVersionBlock(block);
        for (const char* sub : {"\\", "\\StringFileInfo\\040904E4\\FileVersion", "\\StringFileInfo\\x\\ProductName",
                                "\\StringFileInfo\\040904E4\\", "\\VarFileInfo\\Translation"}) {
            std::span<const std::uint8_t> value;
            if (VerQueryValue(block, sub, &value) &&
                (value.data() < block.data() || value.data() + value.size() > block.data() + block.size()))
                __builtin_trap();
        }
    };
    query(input);
    if (const auto section = FindVersionSection(input)) query(*section);
    return 0;
}
