#pragma once
// The waveform editor control "SampleEditorCtrl" of the module Lumatrel.ocx, as the
// application sees it: a C++ abstract interface for its dispatch members (DISPIDs
// 1-12), an event sink, and the C entry points the module exports.
//
// The application never links the module: it finds the module through the class id
// recorded in the registry by DllRegisterServer, loads it and calls
// LumatrelCreateControl (CSampleEditorCtrl in track/view does that).
//
// Units: every position, length, selection bound and cursor is in overview samples
// (11025 Hz mono, one per 4 stereo frames of the track audio).
//
// Thread contract: every member is called on the UI thread, except put_cursorPosition,
// which the stream thread may call while playback runs (the control then repaints on
// its own thread later). Events are delivered on the UI thread.
#include <cstdint>

class QWidget;

namespace korvane::editor {

// The control's fixed class identifier.
inline constexpr char kSampleEditorClassId[] = "{8C3A51E2-6F0B-4D7A-9E21-4B5D0C7A1F36}";
// The control's programmatic name, recorded beside the class id.
inline constexpr char kSampleEditorProgId[] = "Lumatrel.SampleEditorCtrl.1";
// The module's file name.
inline constexpr char kSampleEditorModuleName[] = "Lumatrel.ocx";

// Dispatch ids of the control's members.
enum Dispid : int {
    kDispidSampleName = 1,
    kDispidZoomFactorX = 2,
    kDispidZoomFactorY = 3,
    kDispidFirstSampleShown = 4,
    kDispidSampleRaster = 5,
    kDispidSelectionStart = 6,
    kDispidSelectionEnd = 7,
    kDispidCursorPosition = 8,
    kDispidPcmDataIsStereo = 9,
    kDispidEnabled = 10,
    kDispidSetPCMData = 11,
    kDispidSetSlices = 12,
};

// Events the control raises from user input (UI thread). The host may ignore them.
class SampleEditorEvents {
public:
    virtual ~SampleEditorEvents() = default;
    // `extend`: Ctrl or Shift was held, so the host adds to its selection instead of
    // replacing it.
    // The user dragged a selection with the mouse ([start, end), start <= end).
    virtual void OnSelectionChanged(std::int32_t selectionStart, std::int32_t selectionEnd, bool extend) = 0;
    // The user clicked at an overview sample position.
    virtual void OnClicked(std::int32_t overviewSample, bool extend) = 0;
    // The user double-clicked at an overview sample position.
    virtual void OnDoubleClicked(std::int32_t overviewSample) = 0;
};

class ISampleEditor {
public:
    virtual ~ISampleEditor() = default;

    // 2, 3: zoom factors. X: the whole track spans the window at 1 and 1/z of it at z
    // (z >= 1). Y: amplitude magnification. Values below 1 are taken as 1.
    virtual void put_zoomFactorX(std::int32_t zoomFactorX) = 0;
    virtual void put_zoomFactorY(std::int32_t zoomFactorY) = 0;
    // 4: first overview sample at the left edge (clamped into the data).
    virtual void put_firstSampleShown(std::int32_t firstSampleShown) = 0;
    // 6, 7: the selection [selectionStart, selectionEnd); equal values show none.
    virtual void put_selectionStart(std::int32_t selectionStart) = 0;
    virtual void put_selectionEnd(std::int32_t selectionEnd) = 0;
    // 8: the play cursor; -1 hides it. Callable from any thread.
    virtual void put_cursorPosition(std::int32_t cursorPosition) = 0;
    // 9: interleaved stereo data (drawn as the mean of both channels) when true.
    virtual void put_pcmDataIsStereo(bool pcmDataIsStereo) = 0;
    // 10: a disabled control draws its data greyed and ignores the mouse.
    virtual void put_Enabled(bool enabled) = 0;
    // 1, 5: unused by the application; kept for completeness of the interface.
    virtual void put_sampleName(const char* sampleName) = 0;
    virtual void put_sampleRaster(double sampleRaster) = 0;

    // 11: the overview to show. The buffer is the caller's and must stay valid until
    // the next SetPCMData call; the control reads it while drawing. (nullptr, 0) shows
    // no data. The control precomputes its drawing levels here (O(count)).
    virtual void SetPCMData(const std::int16_t* pcmSamples, std::int32_t numPCMSamples) = 0;
    // 12: the slice markers (region starts). The control copies the array before
    // returning; the caller frees it afterwards.
    virtual void SetSlices(const std::int32_t* slices, std::int32_t numSlices) = 0;

    // The event sink, or nullptr. The sink must outlive the control or be reset first.
    virtual void Advise(SampleEditorEvents* sink) = 0;

    // The control's window. It is owned by the parent given at creation (Qt parent
    // ownership); deleting it destroys the control, which is this object.
    virtual QWidget* Widget() = 0;

    // Display aids of the slicing workbench; a host that never calls them gets the plain
    // linear picture with markers.
    // The region lengths belonging to the markers of the last SetSlices, in the same
    // order; region spans are then shaded alternately. Copied before returning.
    virtual void SetSliceLengths(const std::int32_t* lengths, std::int32_t count) = 0;
    // The slicing threshold to draw as a line (at +-level, or at its dB height in the dB
    // display); NaN draws none.
    virtual void put_thresholdDb(double thresholdDb) = 0;
    // Amplitude scale: linear (false, the default) or dB from -96 to 0 (true).
    virtual void put_dbDisplay(bool dbDisplay) = 0;
    virtual bool get_dbDisplay() const = 0;
};

}  // namespace korvane::editor

extern "C" {
// DllRegisterServer / DllUnregisterServer: record or remove the class id, prog id and
// the module's path in the machine registry (HKCR stand-in "Software\Classes\CLSID\{..}").
// 0 (S_OK) on success, 0x80004005 (E_FAIL) when the registry cannot be written.
using DllRegisterServerFn = long();
using DllUnregisterServerFn = long();
// The module's class factory: a new control for `classId` as a child of `parent`,
// or nullptr for an unknown class id. Needs a QApplication on the calling thread.
using LumatrelCreateControlFn = korvane::editor::ISampleEditor*(const char* classId, QWidget* parent);
}
