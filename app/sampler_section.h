#pragma once
// The "Sampler" section of the export dialog and of Preferences: the sampler export's
// options (export/sampler.h) as check boxes and number fields. Preferences keeps the
// defaults under HKLM "Software\Quorvix\Korvane\Sampler" (written only when the user
// presses OK in Preferences, so a machine that never used them keeps the settings key
// as it was):
//   trim, smpl, markers, sfz, midi, pad   REG_DWORD 0 or 1
//   zero_cross_ms, fade_in_ms, fade_out_ms REG_DWORD milliseconds
//   first_key                              REG_DWORD MIDI key 0..127
//   bpm_x100                               REG_DWORD tempo x 100
// Values out of range are clamped; missing ones take the defaults (all off, key 36,
// 120 BPM).
//
// Thread contract: UI thread only.
#include "export/sampler.h"

#include <QGroupBox>
#include <memory>

class QCheckBox;
class QDoubleSpinBox;
class QSpinBox;

namespace korvane::platform {
class RegistryStore;
}

namespace korvane::app {

class SamplerSection : public QGroupBox {
    Q_OBJECT
public:
    explicit SamplerSection(QWidget* parent);
    void SetOptions(const sampler::SamplerOptions& options);
    sampler::SamplerOptions Options() const;

signals:
    void Changed();  // any option changed, by the user or by SetOptions

private:
    QCheckBox* trim_;
    QSpinBox* zeroCross_;
    QSpinBox* fadeIn_;
    QSpinBox* fadeOut_;
    QCheckBox* smpl_;
    QCheckBox* markers_;
    QCheckBox* sfz_;
    QCheckBox* midi_;
    QSpinBox* firstKey_;
    QDoubleSpinBox* bpm_;
    QCheckBox* pad_;
};

inline constexpr char kSamplerKeyPath[] = "Software\\Quorvix\\Korvane\\Sampler";

// The stored defaults (all off when nothing is stored or the store fails).
sampler::SamplerOptions LoadSamplerDefaults(platform::RegistryStore* store);
// Stores the defaults; a failing store writes nowhere, silently, like the other settings.
void StoreSamplerDefaults(platform::RegistryStore* store, const sampler::SamplerOptions& options);

}  // namespace korvane::app
