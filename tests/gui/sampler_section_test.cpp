// The "Sampler" section of Preferences: its defaults survive a restart through the
// registry, stay unwritten until changed, and stored values out of range are clamped.
#include "app/preferences.h"
#include "app/sampler_section.h"
#include "platform/registry/registry.h"
#include "tests/support/message_boxes.h"

#include <QTimer>
#include <QtTest>
#include <optional>

using namespace korvane;

class SamplerSectionTest : public QObject {
    Q_OBJECT
    std::optional<korvane::testing::ScopedMessageBoxes> boxes_;

    static int RunPreferences(app::CPreferencesDlg& prefs, std::optional<sampler::SamplerOptions> choose) {
        QTimer::singleShot(0, [choose] {
            auto* window = qobject_cast<app::PreferencesWindow*>(QApplication::activeModalWidget());
            QVERIFY(window != nullptr);
            if (choose) window->samplerSection()->SetOptions(*choose);
            window->accept();
        });
        return prefs.DoModal(nullptr);
    }

private slots:
    void init() { boxes_.emplace(); }
    void cleanup() { boxes_.reset(); }

    void defaultsAreStoredOnlyWhenChangedAndComeBack() {
        auto store = platform::RegistryStore::Open(":memory:");
        const sampler::SamplerOptions chosen{.trim = true, .zeroCrossMs = 5, .fadeInMs = 2, .fadeOutMs = 30,
                                             .smpl = true, .sfz = true, .midi = true, .pad = true, .firstKey = 48,
                                             .bpm = 92.5};
        {
            app::CPreferencesDlg prefs(store, {});
            QVERIFY(prefs.samplerDefaults() == sampler::SamplerOptions{});
            QCOMPARE(RunPreferences(prefs, std::nullopt), int(QDialog::Accepted));
            QVERIFY(!store->OpenKey(platform::RootKey::LocalMachine, app::kSamplerKeyPath));
            QCOMPARE(RunPreferences(prefs, chosen), int(QDialog::Accepted));
            QVERIFY(prefs.samplerDefaults() == chosen);
        }
        app::CPreferencesDlg again(store, {});
        QVERIFY(again.samplerDefaults() == chosen);
    }

    void storedValuesOutOfRangeAreClamped() {
        auto store = platform::RegistryStore::Open(":memory:");
        auto key = store->CreateKey(platform::RootKey::LocalMachine, app::kSamplerKeyPath);
        key.SetDword("zero_cross_ms", 4000);
        key.SetDword("first_key", 300);
        key.SetDword("bpm_x100", 5);
        key.SetDword("trim", 7);
        const auto options = app::LoadSamplerDefaults(store.get());
        QCOMPARE(options.zeroCrossMs, sampler::kMaxZeroCrossMs);
        QCOMPARE(options.firstKey, 127);
        QCOMPARE(options.bpm, sampler::kMinBpm);
        QVERIFY(options.trim);
        QCOMPARE(sampler::CheckOptions(options, 1), std::string());
    }
};

QTEST_MAIN(SamplerSectionTest)
#include "sampler_section_test.moc"
