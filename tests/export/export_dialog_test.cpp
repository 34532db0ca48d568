// The export dialog's "Sampler" section: what the user chooses there changes the line
// that says which files will be written, and is what the frame exports with.
#include "app/export_dialog.h"
#include "app/sampler_section.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

using namespace korvane;

class ExportDialogTest : public QObject {
    Q_OBJECT

private slots:
    void samplerChoicesChangeThePreviewAndTheOptions() {
        QTemporaryDir folder;
        const sampler::SamplerOptions start{.trim = true, .zeroCrossMs = 5, .firstKey = 48};
        app::ExportFileDialog dialog(nullptr, [](const QString& name, const sampler::SamplerOptions& options) {
            return app::DescribeExport(name, 12, false, options);
        }, &start);
        dialog.setDirectory(folder.path());
        QVERIFY(dialog.samplerSection() != nullptr);
        QVERIFY(dialog.Options() == start);
        QCOMPARE(dialog.description(), QStringLiteral("12 regions, not normalised"));

        dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("kick.wav"));
        QCOMPARE(dialog.description(), QStringLiteral("Writes kick1.wav \u2026 kick12.wav (not normalised)"));
        const auto check = [&dialog](const char* name, bool on) {
            dialog.samplerSection()->findChild<QCheckBox*>(QString::fromLatin1(name))->setChecked(on);
        };
        check("samplerPad", true);
        QCOMPARE(dialog.description(), QStringLiteral("Writes kick01.wav \u2026 kick12.wav (not normalised)"));
        check("samplerSfz", true);
        check("samplerMidi", true);
        QCOMPARE(dialog.description(),
                 QStringLiteral("Writes kick01.wav \u2026 kick12.wav, kick.sfz, kick.mid (not normalised)"));
        check("samplerSfz", false);
        check("samplerMarkers", true);
        QCOMPARE(dialog.description(), QStringLiteral("Writes kick.wav, kick.mid (not normalised)"));

        sampler::SamplerOptions chosen = start;
        chosen.pad = chosen.midi = chosen.markers = true;
        QVERIFY(dialog.Options() == chosen);
    }
};

QTEST_MAIN(ExportDialogTest)
#include "export_dialog_test.moc"
