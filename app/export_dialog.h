#pragma once
// The save dialog of Export .WAV...: Qt's own file dialog (not the desktop's, so the
// additions go into its layout) with a line under the name saying which files the
// export will write, and optionally the "Sampler" section. The line follows both the
// name typed so far and the section's options.
//
// Thread contract: UI thread only.
#include "export/sampler.h"

#include <QFileDialog>
#include <QString>
#include <cstddef>
#include <functional>

class QLabel;
class QLineEdit;

namespace korvane::app {

class SamplerSection;

// The line for a name (empty while none is typed) and the options chosen so far.
using ExportDescriber = std::function<QString(const QString& name, const sampler::SamplerOptions& options)>;

// The frame's line: "Writes kick01.wav … kick12.wav, kick.sfz (not normalised)", or the
// region count while no name is typed.
QString DescribeExport(const QString& name, std::size_t regionCount, bool normalise,
                       const sampler::SamplerOptions& options);

class ExportFileDialog : public QFileDialog {
    Q_OBJECT
public:
    // With `options`, the dialog shows the "Sampler" section starting from them; with
    // an empty `describe`, no line.
    ExportFileDialog(QWidget* parent, ExportDescriber describe, const sampler::SamplerOptions* options);

    SamplerSection* samplerSection() const { return section_; }  // null without one
    QString description() const;                                // "" without a line
    // The section's options (the defaults without a section).
    sampler::SamplerOptions Options() const;

private:
    void Refresh();

    ExportDescriber describe_;
    QLineEdit* nameEdit_ = nullptr;  // Qt's own name field
    QLabel* line_ = nullptr;
    SamplerSection* section_ = nullptr;
};

}  // namespace korvane::app
