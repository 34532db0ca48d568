#include "track/view/sample_editor_ctrl.h"

namespace korvane::trackview {

CSampleEditorCtrl::CSampleEditorCtrl(editor::ISampleEditor* control, std::shared_ptr<const void> module,
                                     std::string modulePath)
    : control_(control),
      window_(control != nullptr ? control->Widget() : nullptr),
      module_(std::move(module)),
      modulePath_(std::move(modulePath)) {}

CSampleEditorCtrl::~CSampleEditorCtrl() {
    // The window's code lives in the module: destroy it while the module is loaded.
    delete window_.data();
    control_ = nullptr;
    module_.reset();
}

}  // namespace korvane::trackview
