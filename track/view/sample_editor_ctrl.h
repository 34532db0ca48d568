#pragma once
// CSampleEditorCtrl: the host side of the waveform editor control. Create() finds the
// control's module through its class id in the registry (HKLM
// "Software\Classes\CLSID\{id}\InprocServer32"), falling back to Lumatrel.ocx beside
// the executable (a build tree), loads it and asks its factory for a control.
//
// Ownership: the control's window is a Qt child of the parent given to Create; the
// wrapper keeps the module loaded and destroys the window before it lets the module go,
// so the wrapper must be destroyed before (or together with) the parent's children.
// Thread contract: UI thread, except that editor()->put_cursorPosition may be called
// from the stream thread.
#include "track/editor_ctrl/sample_editor.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>

namespace korvane::platform {
class Module;
class RegistryStore;
}  // namespace korvane::platform

namespace korvane::trackview {

class CSampleEditorCtrl {
public:
    // Wraps an existing control. `module` (may be empty for a control linked into the
    // program) is kept loaded for the control's lifetime.
    CSampleEditorCtrl(editor::ISampleEditor* control, std::shared_ptr<const void> module,
                      std::string modulePath = {});
    ~CSampleEditorCtrl();
    CSampleEditorCtrl(const CSampleEditorCtrl&) = delete;
    CSampleEditorCtrl& operator=(const CSampleEditorCtrl&) = delete;

    // Creates the control registered for `classId` as a child of `parent`. nullptr on
    // failure, with the reason in `error`.
    static std::unique_ptr<CSampleEditorCtrl> Create(platform::RegistryStore* registry, QWidget* parent,
                                                     std::string* error = nullptr,
                                                     const char* classId = editor::kSampleEditorClassId);

    editor::ISampleEditor* editor() const noexcept { return control_; }
    editor::ISampleEditor* operator->() const noexcept { return control_; }
    QWidget* widget() const noexcept { return window_.data(); }
    // The file the control was loaded from ("" for a linked-in control).
    const std::string& modulePath() const noexcept { return modulePath_; }

private:
    editor::ISampleEditor* control_;
    QPointer<QWidget> window_;
    std::shared_ptr<const void> module_;
    std::string modulePath_;
};

}  // namespace korvane::trackview
