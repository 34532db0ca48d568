// The machine's CD layer behind the frame's interface.
#include "app/frame/machine_cd_source.h"
#include "app/main/korvane_app.h"

namespace korvane::app {

std::shared_ptr<CdSource> MakeMachineCdSource() { return std::make_shared<MachineCdSource>(); }

}  // namespace korvane::app
