// The machine's CD layer and WAV import behind the frame's interfaces.
#include "app/frame/machine_cd_source.h"
#include "app/main/korvane_app.h"

namespace korvane::app {

std::shared_ptr<CdSource> MakeMachineCdSource() { return std::make_shared<MachineCdSource>(); }

WavImporter MachineWavImporter() { return {}; }

}  // namespace korvane::app
