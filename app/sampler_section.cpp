#include "app/sampler_section.h"

#include "platform/registry/registry.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSpinBox>
#include <algorithm>
#include <cmath>

namespace korvane::app {
namespace {

QSpinBox* MsField(QWidget* parent, const char* name, int maximum) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(0, maximum);
    box->setSuffix(QStringLiteral(" ms"));
    box->setSpecialValueText(QStringLiteral("off"));
    return box;
}

QCheckBox* Check(QWidget* parent, const QString& text, const char* name) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

}  // namespace

SamplerSection::SamplerSection(QWidget* parent) : QGroupBox(QStringLiteral("Sampler"), parent) {
    setObjectName(QStringLiteral("samplerSection"));
    auto* form = new QFormLayout(this);
    trim_ = Check(this, tr("Trim tails (end where the sound ends)"), "samplerTrim");
    form->addRow(trim_);
    zeroCross_ = MsField(this, "samplerZeroCross", static_cast<int>(sampler::kMaxZeroCrossMs));
    form->addRow(tr("Cut at zero crossings within"), zeroCross_);
    fadeIn_ = MsField(this, "samplerFadeIn", static_cast<int>(sampler::kMaxFadeMs));
    form->addRow(tr("Linear fade-in"), fadeIn_);
    fadeOut_ = MsField(this, "samplerFadeOut", static_cast<int>(sampler::kMaxFadeMs));
    form->addRow(tr("Linear fade-out"), fadeOut_);
    smpl_ = Check(this, tr("Loop points in each file (smpl chunk)"), "samplerSmpl");
    form->addRow(smpl_);
    markers_ = Check(this, tr("One file with slice markers instead of one per region"), "samplerMarkers");
    form->addRow(markers_);
    sfz_ = Check(this, tr("Instrument (NAME.sfz)"), "samplerSfz");
    form->addRow(sfz_);
    midi_ = Check(this, tr("Groove (NAME.mid)"), "samplerMidi");
    form->addRow(midi_);
    firstKey_ = new QSpinBox(this);
    firstKey_->setObjectName(QStringLiteral("samplerFirstKey"));
    firstKey_->setRange(0, 127);
    form->addRow(tr("First key"), firstKey_);
    bpm_ = new QDoubleSpinBox(this);
    bpm_->setObjectName(QStringLiteral("samplerBpm"));
    bpm_->setRange(sampler::kMinBpm, sampler::kMaxBpm);
    bpm_->setDecimals(2);
    bpm_->setSuffix(QStringLiteral(" BPM"));
    form->addRow(tr("Tempo"), bpm_);
    pad_ = Check(this, tr("Zero-padded numbers (kick01.wav)"), "samplerPad");
    form->addRow(pad_);
    SetOptions({});
    for (QCheckBox* box : {trim_, smpl_, markers_, sfz_, midi_, pad_})
        connect(box, &QCheckBox::toggled, this, &SamplerSection::Changed);
    for (QSpinBox* box : {zeroCross_, fadeIn_, fadeOut_, firstKey_})
        connect(box, &QSpinBox::valueChanged, this, &SamplerSection::Changed);
    connect(bpm_, &QDoubleSpinBox::valueChanged, this, &SamplerSection::Changed);
}

void SamplerSection::SetOptions(const sampler::SamplerOptions& options) {
    trim_->setChecked(options.trim);
    zeroCross_->setValue(static_cast<int>(options.zeroCrossMs));
    fadeIn_->setValue(static_cast<int>(options.fadeInMs));
    fadeOut_->setValue(static_cast<int>(options.fadeOutMs));
    smpl_->setChecked(options.smpl);
    markers_->setChecked(options.markers);
    sfz_->setChecked(options.sfz);
    midi_->setChecked(options.midi);
    firstKey_->setValue(options.firstKey);
    bpm_->setValue(options.bpm);
    pad_->setChecked(options.pad);
}

sampler::SamplerOptions SamplerSection::Options() const {
    sampler::SamplerOptions options;
    options.trim = trim_->isChecked();
    options.zeroCrossMs = static_cast<std::uint32_t>(zeroCross_->value());
    options.fadeInMs = static_cast<std::uint32_t>(fadeIn_->value());
    options.fadeOutMs = static_cast<std::uint32_t>(fadeOut_->value());
    options.smpl = smpl_->isChecked();
    options.markers = markers_->isChecked();
    options.sfz = sfz_->isChecked();
    options.midi = midi_->isChecked();
    options.firstKey = firstKey_->value();
    options.bpm = bpm_->value();
    options.pad = pad_->isChecked();
    return options;
}

namespace {

struct Field {
    const char* name;
    std::uint32_t sampler::SamplerOptions::*number;  // or
    bool sampler::SamplerOptions::*flag;
    std::uint32_t maximum;
};

constexpr Field kFields[] = {
    {"trim", nullptr, &sampler::SamplerOptions::trim, 1},
    {"smpl", nullptr, &sampler::SamplerOptions::smpl, 1},
    {"markers", nullptr, &sampler::SamplerOptions::markers, 1},
    {"sfz", nullptr, &sampler::SamplerOptions::sfz, 1},
    {"midi", nullptr, &sampler::SamplerOptions::midi, 1},
    {"pad", nullptr, &sampler::SamplerOptions::pad, 1},
    {"zero_cross_ms", &sampler::SamplerOptions::zeroCrossMs, nullptr, sampler::kMaxZeroCrossMs},
    {"fade_in_ms", &sampler::SamplerOptions::fadeInMs, nullptr, sampler::kMaxFadeMs},
    {"fade_out_ms", &sampler::SamplerOptions::fadeOutMs, nullptr, sampler::kMaxFadeMs},
};

}  // namespace

sampler::SamplerOptions LoadSamplerDefaults(platform::RegistryStore* store) {
    sampler::SamplerOptions options;
    if (store == nullptr) return options;
    try {
        const auto key = store->OpenKey(platform::RootKey::LocalMachine, kSamplerKeyPath);
        if (!key) return options;
        for (const Field& field : kFields) {
            const auto value = key->QueryDword(field.name);
            if (!value) continue;
            const std::uint32_t clamped = std::min(*value, field.maximum);
            if (field.flag != nullptr) options.*field.flag = clamped != 0;
            else options.*field.number = clamped;
        }
        if (const auto key36 = key->QueryDword("first_key")) options.firstKey = static_cast<int>(std::min(*key36, 127u));
        if (const auto bpm = key->QueryDword("bpm_x100"))
            options.bpm = std::clamp(*bpm / 100.0, sampler::kMinBpm, sampler::kMaxBpm);
    } catch (const std::exception&) {
        return sampler::SamplerOptions{};  // an unreadable store: the defaults
    }
    return options;
}

void StoreSamplerDefaults(platform::RegistryStore* store, const sampler::SamplerOptions& options) {
    if (store == nullptr) return;
    try {
        auto key = store->CreateKey(platform::RootKey::LocalMachine, kSamplerKeyPath);
        for (const Field& field : kFields)
            key.SetDword(field.name, field.flag != nullptr ? std::uint32_t{options.*field.flag} : options.*field.number);
        key.SetDword("first_key", static_cast<std::uint32_t>(options.firstKey));
        key.SetDword("bpm_x100", static_cast<std::uint32_t>(std::lround(options.bpm * 100)));
    } catch (const std::exception&) {
        // Like the other settings: a failing store leaves the values in use for this run.
    }
}

}  // namespace korvane::app
