#pragma once
// CPreferencesDlg: the application's settings and the Preferences dialog that edits two
// of them. The settings live in the registry stand-in under HKLM
// "Software\Quorvix\Korvane":
//   DSound_driver     REG_SZ     the sound driver's description     default: first driver with a GUID
//   normalize_Export  REG_DWORD  0 or 1                              default: 0
//   last_Threshold    REG_DWORD  threshold in dB x -10 (360 = -36 dB) default: 360
//   last_RlsTime      REG_DWORD  release time in ms                  default: 750
//   verify_Reads      REG_DWORD  0 or 1: verify track reads          default: 0 (not written until OK)
// Construction loads them and writes the default of every missing one (but
// verify_Reads); OK stores the driver, the normalise and the verify flags and the read
// offset of the selected drive's model (cdda/drive_offsets.h); StoreSliceSettings (also
// run by the destructor) stores the slicing parameters.
//
// Robustness: a key that cannot be created or opened, or a store that fails, leaves the
// defaults in use and writes nowhere, silently. A value of the wrong type counts as
// missing (the default is used and written over it); numbers out of range are clamped
// (normalise to 0/1, threshold to 0 .. -200.0 dB, release time to 1 .. 60000 ms). With
// no sound driver at all the driver name stays empty and nothing is stored for it, so
// the next start with a device picks the proper default.
//
// The dialog also holds the "Sampler" section with the export's sampler defaults
// (app/sampler_section.h), stored on OK under their own key.
//
// Thread contract: UI thread only. The object lives as long as the main frame; the
// dialog window exists only while DoModal runs.
#include "export/sampler.h"

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

namespace korvane::platform {
class RegistryStore;
}

namespace korvane::app {

class SamplerSection;

// One enumerated sound driver as the dialog sees it (the frame converts the playback
// layer's driver records, primary driver first).
struct DriverChoice {
    std::string description;
    bool hasGuid = false;
};

// The dialog window (resource 138), created afresh by every DoModal.
class PreferencesWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDriverListId = 1027;
    static constexpr int kNormalizeCheckId = 1028;

    explicit PreferencesWindow(QWidget* parent);
    QComboBox* driverList() const noexcept { return driverList_; }
    QCheckBox* normalizeCheck() const noexcept { return normalizeCheck_; }
    SamplerSection* samplerSection() const noexcept { return samplerSection_; }
    QCheckBox* verifyCheck() const noexcept { return verifyCheck_; }
    // The read offset of the selected drive's model; disabled without a drive.
    QSpinBox* offsetBox() const noexcept { return offsetBox_; }
    QLabel* offsetLabel() const noexcept { return offsetLabel_; }

private:
    QComboBox* driverList_;
    QCheckBox* normalizeCheck_;
    SamplerSection* samplerSection_;
    QCheckBox* verifyCheck_;
    QLabel* offsetLabel_;
    QSpinBox* offsetBox_;
};

class CPreferencesDlg {
public:
    static constexpr char kKeyPath[] = "Software\\Quorvix\\Korvane";
    static constexpr char kDriverValue[] = "DSound_driver";
    static constexpr char kNormalizeValue[] = "normalize_Export";
    static constexpr char kThresholdValue[] = "last_Threshold";
    static constexpr char kReleaseValue[] = "last_RlsTime";
    static constexpr char kVerifyValue[] = "verify_Reads";
    static constexpr double kDefaultThresholdDb = -36.0;
    static constexpr int kDefaultReleaseMs = 750;

    // Loads the settings from `store` (nullptr: defaults, nothing stored) for the
    // drivers in enumeration order.
    CPreferencesDlg(std::shared_ptr<platform::RegistryStore> store, std::vector<DriverChoice> drivers);
    ~CPreferencesDlg();
    CPreferencesDlg(const CPreferencesDlg&) = delete;
    CPreferencesDlg& operator=(const CPreferencesDlg&) = delete;

    // Runs the dialog modally over `parent`; QDialog::Accepted after OK.
    int DoModal(QWidget* parent);

    const std::string& driverName() const noexcept { return driverName_; }
    bool normalise() const noexcept { return normalise_ != 0; }
    double thresholdDb() const noexcept { return thresholdDb_; }
    int releaseMs() const noexcept { return releaseMs_; }
    const std::vector<DriverChoice>& drivers() const noexcept { return drivers_; }
    const sampler::SamplerOptions& samplerDefaults() const noexcept { return samplerDefaults_; }
    bool verifyReads() const noexcept { return verifyReads_; }

    // The model ("vendor product") of the drive selected in the CD bar, whose read offset
    // the dialog shows and stores; empty: no drive.
    void SetDriveModel(std::string model) { driveModel_ = std::move(model); }

    // The slice tool window hands over every change here (saved at the end).
    void SetSliceSettings(double thresholdDb, int releaseMs) noexcept;
    // Writes last_Threshold and last_RlsTime now (the destructor does it as well).
    void StoreSliceSettings();

private:
    void Load();
    void InitDialog(PreferencesWindow& window) const;
    void OnOK(PreferencesWindow& window);

    std::shared_ptr<platform::RegistryStore> store_;
    std::vector<DriverChoice> drivers_;
    std::string driverName_;
    int normalise_ = 0;
    double thresholdDb_ = kDefaultThresholdDb;
    int releaseMs_ = kDefaultReleaseMs;
    sampler::SamplerOptions samplerDefaults_;
    bool verifyReads_ = false;
    std::string driveModel_;
};

}  // namespace korvane::app
