#include "app/preferences.h"

#include "app/sampler_section.h"

#include "cdda/drive_offsets.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui.h"
#include "resources/strings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>

namespace korvane::app {
namespace {

using platform::RegKey;
using platform::RootKey;

constexpr std::uint32_t kMaxThresholdTenths = 2000;  // -200.0 dB
constexpr int kMinReleaseMs = 1;
constexpr int kMaxReleaseMs = 60000;
constexpr std::size_t kDriverBufferSize = 256;  // the name must fit with its terminator

// Runs a registry operation; a failing store counts as "the value could not be read /
// the write went nowhere".
template <typename Fn>
auto Guarded(Fn&& fn) -> decltype(fn()) {
    try {
        return fn();
    } catch (const std::exception&) {
        return decltype(fn()){};
    }
}

std::optional<std::string> ReadDriverName(const RegKey& key) {
    auto text = Guarded([&] { return key.QueryString(CPreferencesDlg::kDriverValue); });
    if (!text) return std::nullopt;
    text->resize(std::min(text->size(), text->find('\0')));  // a C reader stops at the first zero
    if (text->size() + 1 > kDriverBufferSize) return std::nullopt;
    return text;
}

std::optional<std::uint32_t> ReadDword(const RegKey& key, const char* name) {
    return Guarded([&] { return key.QueryDword(name); });
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

}  // namespace

PreferencesWindow::PreferencesWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Preferences"));
    setObjectName(QStringLiteral("PreferencesDialog"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("DirectSound Driver:"), this));
    driverList_ = new QComboBox(this);
    driverList_->setObjectName(QStringLiteral("driverList"));
    driverList_->setProperty("controlId", kDriverListId);
    driverList_->setMinimumContentsLength(32);
    layout->addWidget(driverList_);
    normalizeCheck_ = new QCheckBox(QStringLiteral("Normalize exported Audio"), this);
    normalizeCheck_->setObjectName(QStringLiteral("normalizeCheck"));
    normalizeCheck_->setProperty("controlId", kNormalizeCheckId);
    layout->addWidget(normalizeCheck_);
    samplerSection_ = new SamplerSection(this);
    layout->addWidget(samplerSection_);
    verifyCheck_ = new QCheckBox(QStringLiteral("Verify reads"), this);
    verifyCheck_->setObjectName(QStringLiteral("verifyCheck"));
    layout->addWidget(verifyCheck_);
    auto* offsetRow = new QHBoxLayout();
    offsetLabel_ = new QLabel(QStringLiteral("Read offset:"), this);
    offsetBox_ = new QSpinBox(this);
    offsetBox_->setObjectName(QStringLiteral("offsetBox"));
    offsetBox_->setRange(-cdda::kMaxOffsetSamples, cdda::kMaxOffsetSamples);
    offsetBox_->setSuffix(QStringLiteral(" samples"));
    offsetLabel_->setBuddy(offsetBox_);
    offsetRow->addWidget(offsetLabel_);
    offsetRow->addWidget(offsetBox_);
    layout->addLayout(offsetRow);
    layout->addStretch();
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

CPreferencesDlg::CPreferencesDlg(std::shared_ptr<platform::RegistryStore> store, std::vector<DriverChoice> drivers)
    : store_(std::move(store)), drivers_(std::move(drivers)) {
    Load();
}

CPreferencesDlg::~CPreferencesDlg() { StoreSliceSettings(); }

void CPreferencesDlg::Load() {
    normalise_ = 0;
    samplerDefaults_ = LoadSamplerDefaults(store_.get());
    std::optional<RegKey> key;
    if (store_) key = Guarded([&] { return std::optional<RegKey>(store_->CreateKey(RootKey::LocalMachine, kKeyPath)); });
    auto write = [&](auto&& fn) {
        if (key) Guarded([&] { fn(*key); return 0; });
    };

    if (auto name = key ? ReadDriverName(*key) : std::nullopt) {
        driverName_ = *name;
    } else if (!drivers_.empty()) {
        const auto withGuid = std::find_if(drivers_.begin(), drivers_.end(), [](const DriverChoice& d) { return d.hasGuid; });
        driverName_ = (withGuid != drivers_.end() ? *withGuid : drivers_.front()).description;
        write([&](RegKey& k) { k.SetString(kDriverValue, driverName_); });
    } else {
        driverName_.clear();  // no driver to name; stored once one exists
    }

    if (auto value = key ? ReadDword(*key, kNormalizeValue) : std::nullopt) {
        normalise_ = *value != 0 ? 1 : 0;
    } else {
        write([&](RegKey& k) { k.SetDword(kNormalizeValue, 0); });
    }

    if (auto value = key ? ReadDword(*key, kThresholdValue) : std::nullopt) {
        thresholdDb_ = std::min(*value, kMaxThresholdTenths) * -0.1;
    } else {
        thresholdDb_ = kDefaultThresholdDb;
        write([&](RegKey& k) { k.SetDword(kThresholdValue, 360); });
    }

    if (auto value = key ? ReadDword(*key, kReleaseValue) : std::nullopt) {
        releaseMs_ = static_cast<int>(std::clamp<std::uint32_t>(*value, kMinReleaseMs, kMaxReleaseMs));
    } else {
        releaseMs_ = kDefaultReleaseMs;
        write([&](RegKey& k) { k.SetDword(kReleaseValue, kDefaultReleaseMs); });
    }

    const auto verify = key ? ReadDword(*key, kVerifyValue) : std::nullopt;
    verifyReads_ = verify.value_or(0) != 0;
}

void CPreferencesDlg::SetSliceSettings(double thresholdDb, int releaseMs) noexcept {
    thresholdDb_ = thresholdDb;
    releaseMs_ = releaseMs;
}

void CPreferencesDlg::StoreSliceSettings() {
    if (!store_) return;
    Guarded([&] {
        auto key = store_->OpenKey(RootKey::LocalMachine, kKeyPath);
        if (!key) return 0;
        // Tenths of a decibel with the sign dropped, truncated toward zero.
        const double tenths = std::trunc(thresholdDb_ * -10.0);
        key->SetDword(kThresholdValue, static_cast<std::uint32_t>(std::clamp(tenths, 0.0, 4294967295.0)));
        key->SetDword(kReleaseValue, static_cast<std::uint32_t>(std::max(releaseMs_, 0)));
        return 0;
    });
}

int CPreferencesDlg::DoModal(QWidget* parent) {
    PreferencesWindow window(parent);
    InitDialog(window);
    const int result = window.exec();
    if (result == QDialog::Accepted) OnOK(window);
    return result;
}

void CPreferencesDlg::InitDialog(PreferencesWindow& window) const {
    window.normalizeCheck()->setChecked(normalise_ != 0);
    window.samplerSection()->SetOptions(samplerDefaults_);
    QComboBox* list = window.driverList();
    list->clear();
    for (const DriverChoice& d : drivers_) {
        if (d.hasGuid) list->addItem(QString::fromStdString(d.description));  // the primary driver is not offered
    }
    // The entry that begins with the driver name (any case), searched from the second
    // entry on, then the first.
    int found = -1;
    const int n = list->count();
    if (!driverName_.empty()) {
        for (int step = 1; step <= n && found < 0; ++step) {
            const int i = step % n;
            if (StartsWithIgnoreCase(list->itemText(i).toStdString(), driverName_)) found = i;
        }
    }
    list->setCurrentIndex(found);
    window.verifyCheck()->setChecked(verifyReads_);
    const bool drive = !driveModel_.empty() && store_;
    window.offsetBox()->setEnabled(drive);
    if (drive) {
        window.offsetLabel()->setText(QStringLiteral("Read offset of %1:").arg(QString::fromStdString(driveModel_)));
        window.offsetBox()->setValue(Guarded([&] { return cdda::LoadDriveOffset(*store_, driveModel_); }).value_or(0));
    }
}

void CPreferencesDlg::OnOK(PreferencesWindow& window) {
    const std::string previous = driverName_;
    if (window.driverList()->currentIndex() >= 0) driverName_ = window.driverList()->currentText().toStdString();
    normalise_ = window.normalizeCheck()->isChecked() ? 1 : 0;
    if (const auto sampler = window.samplerSection()->Options(); sampler != samplerDefaults_) {
        samplerDefaults_ = sampler;
        StoreSamplerDefaults(store_.get(), samplerDefaults_);
    }
    verifyReads_ = window.verifyCheck()->isChecked();
    if (store_) {
        Guarded([&] {
            auto key = store_->OpenKey(RootKey::LocalMachine, kKeyPath);
            if (!key) return 0;
            if (!driverName_.empty()) key->SetString(kDriverValue, driverName_);
            key->SetDword(kNormalizeValue, static_cast<std::uint32_t>(normalise_));
            key->SetDword(kVerifyValue, verifyReads_ ? 1 : 0);
            return 0;
        });
        if (window.offsetBox()->isEnabled()) {
            Guarded([&] {
                cdda::SaveDriveOffset(*store_, driveModel_, window.offsetBox()->value());
                return 0;
            });
        }
    }
    if (driverName_ != previous) {
        platform::MessageBox(resources::LoadAppString(resources::kIdsRestartForChanges), resources::kAppTitle,
                             platform::kMbOk | platform::kMbIconInformation);
    }
}

}  // namespace korvane::app
