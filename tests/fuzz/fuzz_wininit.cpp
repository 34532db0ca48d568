// wininit.ini: any text plans without harm; the installer's rename lines added to it are
// found again by the plan, last and in order (writer and reader agree on the section).
#include "installer/core/installer.h"
#include "platform/machine/wininit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)platform::PlanWininit(text);
    const std::string written = installer::AddRenameLines(text, "C:\\WINDOWS\\SYSTEM\\MFC42.DLL", "C:\\_INS0\\MFC42.DLL");
    const auto plan = platform::PlanWininit(written);
    bool found = false;
    for (std::size_t i = 0; i + 1 < plan.operations.size(); ++i) {
        const auto& a = plan.operations[i];
        const auto& b = plan.operations[i + 1];
        found |= a.target == "NUL" && a.source == "C:\\WINDOWS\\SYSTEM\\MFC42.DLL" &&
                 b.target == "C:\\WINDOWS\\SYSTEM\\MFC42.DLL" && b.source == "C:\\_INS0\\MFC42.DLL";
    }
    if (!found) __builtin_trap();
    return 0;
}
