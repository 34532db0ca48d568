#include "app/export_dialog.h"

#include "app/sampler_section.h"
#include "export/sampler_export.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace korvane::app {

QString DescribeExport(const QString& name, std::size_t regionCount, bool normalise,
                       const sampler::SamplerOptions& options) {
    const QString normalising = normalise ? QFileDialog::tr("normalised") : QFileDialog::tr("not normalised");
    if (name.isEmpty()) {
        const QString regions = regionCount == 1 ? QFileDialog::tr("1 region")
                                                 : QFileDialog::tr("%1 regions").arg(regionCount);
        return regions + QStringLiteral(", ") + normalising;
    }
    const std::string files = wavexport::SamplerNamesPreview(name.toStdString(), regionCount, options);
    return QFileDialog::tr("Writes %1 (%2)").arg(QString::fromStdString(files), normalising);
}

ExportFileDialog::ExportFileDialog(QWidget* parent, ExportDescriber describe, const sampler::SamplerOptions* options)
    : QFileDialog(parent), describe_(std::move(describe)) {
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setDefaultSuffix(QStringLiteral("wav"));
    auto* grid = qobject_cast<QGridLayout*>(layout());
    nameEdit_ = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (grid == nullptr) return;
    if (describe_ && nameEdit_ != nullptr) {
        line_ = new QLabel(this);
        line_->setObjectName(QStringLiteral("exportDescription"));
        line_->setWordWrap(true);
        grid->addWidget(line_, grid->rowCount(), 0, 1, grid->columnCount());
        connect(nameEdit_, &QLineEdit::textChanged, this, &ExportFileDialog::Refresh);
    }
    if (options != nullptr) {
        section_ = new SamplerSection(this);
        section_->SetOptions(*options);
        grid->addWidget(section_, grid->rowCount(), 0, 1, grid->columnCount());
        connect(section_, &SamplerSection::Changed, this, &ExportFileDialog::Refresh);
    }
    Refresh();
}

QString ExportFileDialog::description() const { return line_ != nullptr ? line_->text() : QString(); }

sampler::SamplerOptions ExportFileDialog::Options() const {
    return section_ != nullptr ? section_->Options() : sampler::SamplerOptions{};
}

void ExportFileDialog::Refresh() {
    if (line_ == nullptr) return;  // a line is only made when the name field was found
    const QString typed = nameEdit_->text();
    line_->setText(describe_(typed.isEmpty() ? typed : directory().filePath(typed), Options()));
}

}  // namespace korvane::app
