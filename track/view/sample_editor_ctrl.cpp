#include "track/view/sample_editor_ctrl.h"

namespace korvane::trackview {

CSampleEditorCtrl::CSampleEditorCtrl(editor::ISampleEditor* control, std::shared_ptr<const void> module)
    : control_(control), window_(control != nullptr ? control->Widget() : nullptr), module_(std::move(module)) {}

CSampleEditorCtrl::~CSampleEditorCtrl() {
    // The window's code lives in the module: destroy it while the module is loaded.
    delete window_.data();
    control_ = nullptr;
    module_.reset();
}

}  // namespace korvane::trackview
