// A program image with a resource blob: parsed with every offset checked; what it holds
// is encoded again and parses back to the same resources and strings.
#include "platform/resources/resources.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane::platform;
    const auto image = ResourceImage::Parse(std::span<const std::uint8_t>(data, size));
    if (!image) return 0;
    std::vector<ResourceEntry> entries;
    for (const std::string& name : image->ResourceNames("INSTFILE")) {
        const auto ref = image->FindResource(name, "INSTFILE");
        if (!ref) continue;  // a repeated name finds its first entry
        const auto bytes = ResourceImage::LoadResource(*ref);
        entries.push_back({"INSTFILE", name, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
    }
    char text[64];
    for (std::uint32_t id = 0; id < 8; ++id) (void)image->LoadString(id, text, sizeof text);
    std::vector<std::uint8_t> again = EncodeResourceBlob(entries, {});
    const std::uint64_t blobSize = again.size();
    again.resize(again.size() + 8);
    std::memcpy(again.data() + blobSize, &blobSize, 8);
    again.insert(again.end(), std::begin(kResourceTrailerMagic), std::end(kResourceTrailerMagic));
    const auto reparsed = ResourceImage::Parse(again);
    if (!reparsed) __builtin_trap();
    for (const auto& e : entries) {
        const auto ref = reparsed->FindResource(e.name, e.type);
        if (!ref || !std::equal(ref->bytes.begin(), ref->bytes.end(), e.data.begin(), e.data.end())) __builtin_trap();
    }
    return 0;
}
