// Settings in the registry stand-in and the Preferences dialog, with its Sampler section.
#include "app/preferences.h"
#include "app/sampler_section.h"
#include "app/slice_bar.h"
#include "cdda/drive_offsets.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui.h"
#include "tests/support/message_boxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QLabel>
#include <QSpinBox>
#include <QSlider>
#include <QTimer>
#include <QtTest>
#include <optional>
#include <functional>

using namespace korvane;
using app::CPreferencesDlg;
using app::CSliceBar;
using app::DriverChoice;
using app::PreferencesWindow;
using platform::RegistryStore;
using platform::RootKey;

namespace {

std::vector<DriverChoice> Drivers() {
    return {{"Primary Sound Driver", false}, {"Virtual Output A", true}, {"Virtual Output B", true}};
}

platform::RegKey Key(const std::shared_ptr<RegistryStore>& store) {
    return store->CreateKey(RootKey::LocalMachine, CPreferencesDlg::kKeyPath);
}

// The settings in use: "driver|normalise|threshold dB|release ms".
QString Loaded(const CPreferencesDlg& prefs) {
    return QStringLiteral("%1|%2|%3|%4").arg(QString::fromStdString(prefs.driverName()), QString::number(prefs.normalise()),
                                             QString::number(prefs.thresholdDb()), QString::number(prefs.releaseMs()));
}

// The settings key's values: "driver|normalize_Export|last_Threshold|last_RlsTime", "-"
// for one that is missing.
QString Stored(const std::shared_ptr<RegistryStore>& store) {
    auto key = Key(store);
    const auto number = [](std::optional<std::uint32_t> value) { return value ? QString::number(*value) : QStringLiteral("-"); };
    return QStringLiteral("%1|%2|%3|%4").arg(QString::fromStdString(key.QueryString("DSound_driver").value_or("-")),
                                             number(key.QueryDword("normalize_Export")),
                                             number(key.QueryDword("last_Threshold")), number(key.QueryDword("last_RlsTime")));
}

// Runs `act` on the dialog once DoModal has shown it.
int RunDialog(CPreferencesDlg& prefs, std::function<void(PreferencesWindow&)> act) {
    QTimer::singleShot(0, [act] {
        auto* window = qobject_cast<PreferencesWindow*>(QApplication::activeModalWidget());
        QVERIFY(window != nullptr);
        act(*window);
    });
    return prefs.DoModal(nullptr);
}

}  // namespace

class PreferencesTest : public QObject {
    Q_OBJECT
    std::optional<korvane::testing::ScopedMessageBoxes> boxes_;

private slots:
    void init() { boxes_.emplace(); }
    void cleanup() { boxes_.reset(); }

    void firstRunWritesTheDefaultsAndEveryThresholdPositionIsStoredAndComesBack() {
        auto store = RegistryStore::Open(":memory:");
        CPreferencesDlg prefs(store, Drivers());
        QCOMPARE(Loaded(prefs), QStringLiteral("Virtual Output A|0|-36|750"));  // the first driver with a GUID
        QCOMPARE(Stored(store), QStringLiteral("Virtual Output A|0|360|750"));
        CSliceBar bar;
        bar.Initialise(prefs, nullptr);
        QCOMPARE(bar.releaseSlider()->value(), 750);
        // Only primary drivers: the first one is the default.
        CPreferencesDlg primary(RegistryStore::Open(":memory:"), {{"Primary Sound Driver", false}, {"Second", false}});
        QCOMPARE(primary.driverName(), std::string("Primary Sound Driver"));
        // No driver to take as the default: none is stored until one exists.
        auto none = RegistryStore::Open(":memory:");
        QCOMPARE(CPreferencesDlg(none, {}).driverName(), std::string());
        QVERIFY(!Key(none).QueryString("DSound_driver"));
        // Without a store the defaults live in memory; storing at the end goes nowhere.
        QCOMPARE(Loaded(CPreferencesDlg(nullptr, Drivers())), QStringLiteral("Virtual Output A|0|-36|750"));

        // Every threshold position is stored and comes back. (Storing at the end of the
        // application is seen in app_e2e_test.)
        for (int p = -960; p <= 0; ++p) {
            bar.thresholdSlider()->setValue(p);
            prefs.StoreSliceSettings();
            QCOMPARE(Key(store).QueryDword("last_Threshold"), std::optional<std::uint32_t>(-p));
            // Loaded again as the next start loads it, the thumb stands where it was.
            CPreferencesDlg again(store, Drivers());
            CSliceBar reloaded;
            reloaded.Initialise(again, nullptr);
            QCOMPARE(reloaded.thresholdSlider()->value(), p);
        }
    }

    void wrongTypesAndOutOfRangeValuesAreDefaultedOrClamped() {
        auto store = RegistryStore::Open(":memory:");
        auto key = Key(store);
        key.SetDword("DSound_driver", 5);
        key.SetString("normalize_Export", "yes");
        key.SetDword("last_Threshold", 0xFFFFFFFFu);
        key.SetDword("last_RlsTime", 0xFFFFFFFFu);
        {
            CPreferencesDlg prefs(store, Drivers());
            QCOMPARE(Loaded(prefs), QStringLiteral("Virtual Output A|0|-200|60000"));
            QCOMPARE(key.QueryString("DSound_driver"), std::optional<std::string>("Virtual Output A"));
            QCOMPARE(key.QueryDword("normalize_Export"), std::optional<std::uint32_t>(0));
        }
        key.SetString("DSound_driver", std::string(300, 'x'));  // does not fit the 256-byte buffer
        key.SetDword("normalize_Export", 7);
        key.SetDword("last_Threshold", 1000);  // -100 dB, outside the slider but allowed
        key.SetDword("last_RlsTime", 0);
        CPreferencesDlg prefs(store, Drivers());
        QCOMPARE(Loaded(prefs), QStringLiteral("Virtual Output A|1|-100|1"));
        // -100 dB stays in use and in the label; the thumb stands at the left end.
        CSliceBar bar;
        bar.Initialise(prefs, nullptr);
        QCOMPARE(std::tuple(bar.thresholdDb(), bar.thresholdLabel()->text(), bar.thresholdSlider()->value()),
                 std::tuple(-100.0, QStringLiteral("Threshold: -100.0dB"), -960));
    }

    void dialogOffersGuidDriversSelectsTheStoredOneAndCancelChangesNothing() {
        auto store = RegistryStore::Open(":memory:");
        Key(store).SetString("DSound_driver", "virtual output b");  // any case, a prefix suffices
        CPreferencesDlg prefs(store, Drivers());
        QCOMPARE(RunDialog(prefs, [](PreferencesWindow& w) {
            // (title, drivers offered: not the primary one, the stored one selected)
            QCOMPARE(std::tuple(w.windowTitle(), w.driverList()->count(), w.driverList()->itemText(0), w.driverList()->currentIndex()),
                     std::tuple(QStringLiteral("Preferences"), 2, QStringLiteral("Virtual Output A"), 1));
            auto* cancel = w.findChild<QPushButton*>("cancelButton");
            QCOMPARE((QStringList{w.findChild<QPushButton*>("okButton")->text(), cancel->text()}), (QStringList{"OK", "Abbrechen"}));
            w.normalizeCheck()->setChecked(true);
            w.driverList()->setCurrentIndex(0);
            cancel->click();
        }), int(QDialog::Rejected));
        QCOMPARE(Loaded(prefs), QStringLiteral("virtual output b|0|-36|750"));
        QCOMPARE(Stored(store), QStringLiteral("virtual output b|0|360|750"));
        QVERIFY(boxes_->Shown().empty());
    }

    void okStoresTheSettingsAndReportsADriverChange() {
        auto store = RegistryStore::Open(":memory:");
        CPreferencesDlg prefs(store, Drivers());
        QVERIFY(!Key(store).QueryDword("verify_Reads"));  // default 0, not written at start
        // Same driver, normalise and verify ticked: stored, no message, effective at once.
        RunDialog(prefs, [](PreferencesWindow& w) {
            QVERIFY(!w.offsetBox()->isEnabled());  // no drive selected
            w.normalizeCheck()->setChecked(true);
            w.verifyCheck()->setChecked(true);
            w.findChild<QPushButton*>("okButton")->click();
        });
        QVERIFY(boxes_->Shown().empty());
        QCOMPARE(Loaded(prefs), QStringLiteral("Virtual Output A|1|-36|750"));
        QCOMPARE(Stored(store), QStringLiteral("Virtual Output A|1|360|750"));
        QCOMPARE(std::pair(prefs.verifyReads(), Key(store).QueryDword("verify_Reads")), std::pair(true, std::optional<std::uint32_t>(1)));
        // Another driver and the drive's read offset: stored, and the restart message.
        prefs.SetDriveModel("PLEXTOR DVDR PX-716A");
        RunDialog(prefs, [](PreferencesWindow& w) {
            QCOMPARE(w.offsetBox()->value(), 0);
            QVERIFY(w.offsetLabel()->text().contains("PLEXTOR DVDR PX-716A"));
            w.offsetBox()->setValue(-1164);
            w.driverList()->setCurrentIndex(1);
            w.findChild<QPushButton*>("okButton")->click();
        });
        QCOMPARE(cdda::LoadDriveOffset(*store, "PLEXTOR DVDR PX-716A"), std::optional<std::int32_t>(-1164));
        QCOMPARE(Loaded(prefs), QStringLiteral("Virtual Output B|1|-36|750"));
        QCOMPARE(Stored(store), QStringLiteral("Virtual Output B|1|360|750"));
        QCOMPARE(boxes_->Texts(), std::vector<std::string>{"You have to restart the program\nfor your changes to become effective"});
        QCOMPARE(boxes_->Shown()[0].flags, std::uint32_t{platform::kMbOk | platform::kMbIconInformation});
        QVERIFY(CPreferencesDlg(store, Drivers()).verifyReads());

        // A stored driver no longer offered: OK without a selection keeps its name, and
        // nothing changed, so no message.
        Key(store).SetString("DSound_driver", "Unplugged Headset");
        CPreferencesDlg unplugged(store, Drivers());
        RunDialog(unplugged, [](PreferencesWindow& w) {
            QCOMPARE(w.driverList()->currentIndex(), -1);
            w.accept();
        });
        QCOMPARE(unplugged.driverName(), std::string("Unplugged Headset"));
        QCOMPARE(Stored(store), QStringLiteral("Unplugged Headset|1|360|750"));
        QCOMPARE(boxes_->Shown().size(), std::size_t{1});
    }

    void samplerDefaultsAreStoredOnlyWhenChangedComeBackAndAreClamped() {
        auto store = RegistryStore::Open(":memory:");
        const sampler::SamplerOptions chosen{.trim = true, .zeroCrossMs = 5, .fadeInMs = 2, .fadeOutMs = 30,
                                             .smpl = true, .sfz = true, .midi = true, .pad = true, .firstKey = 48,
                                             .bpm = 92.5};
        {
            CPreferencesDlg prefs(store, {});
            QVERIFY(prefs.samplerDefaults() == sampler::SamplerOptions{});
            RunDialog(prefs, [](PreferencesWindow& w) { w.accept(); });
            QVERIFY(!store->OpenKey(RootKey::LocalMachine, app::kSamplerKeyPath));
            RunDialog(prefs, [&chosen](PreferencesWindow& w) {
                w.samplerSection()->SetOptions(chosen);
                w.accept();
            });
            QVERIFY(prefs.samplerDefaults() == chosen);
        }
        QVERIFY(CPreferencesDlg(store, {}).samplerDefaults() == chosen);

        // Stored values out of range are clamped into it.
        auto key = store->CreateKey(RootKey::LocalMachine, app::kSamplerKeyPath);
        key.SetDword("zero_cross_ms", 4000);
        key.SetDword("first_key", 300);
        key.SetDword("bpm_x100", 5);
        key.SetDword("trim", 7);
        QVERIFY(app::LoadSamplerDefaults(store.get()) ==
                (sampler::SamplerOptions{.trim = true, .zeroCrossMs = sampler::kMaxZeroCrossMs, .fadeInMs = 2, .fadeOutMs = 30,
                                         .smpl = true, .sfz = true, .midi = true, .pad = true, .firstKey = 127,
                                         .bpm = sampler::kMinBpm}));
    }
};

QTEST_MAIN(PreferencesTest)
#include "preferences_test.moc"
