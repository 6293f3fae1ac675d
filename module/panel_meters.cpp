#include "panel_meters.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace qex {

namespace {

constexpr double kDecay = 0.95;
constexpr double kLevelTop = 32767.0;
constexpr double kClipActivityTop = 65535.0;

// Truncated toward zero; whatever lies beyond an int (or is not a number) is held at its edge.
int Truncated(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::clamp(value, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

int Decibels(double gain)
{
    return gain > 0.0 ? Truncated(20.0 * std::log10(gain)) : 0;
}

int Thousandths(double gain)
{
    return Truncated(gain * 1000.0);
}

void Decay(dsp::Shared<double>& peak)
{
    peak.set(peak.get() * kDecay);
}

void ReadBandMeters(const dsp::BandGainComputer& gains, bool composite, int section, PanelMeterReadings& r)
{
    for (int band = 0; band < kMultibandCount; ++band) {
        if (composite) {
            r.BandLower[band] = r.BandUpper[band] = Thousandths(gains.BandGain[band].get());
        } else if (section == Compressor) {
            r.BandLower[band] = Thousandths(gains.Records[RecordIndex(band, Compressor)].gain.get());
            r.BandUpper[band] = Thousandths(gains.SlowGain[band].get());
        } else {
            r.BandLower[band] = r.BandUpper[band] = Thousandths(gains.Records[RecordIndex(band, section)].gain.get());
        }
    }
    r.HF = Thousandths(gains.Records[RecordIndex(kBandHF, Compressor)].gain.get());
    r.LF = Thousandths(gains.Records[RecordIndex(kBandLF, Compressor)].gain.get());
}

} // namespace

PanelMeterReadings ReadPanelMeters(dsp::SignalPath& path, const GlobalParams& params, PanelState& panel)
{
    dsp::MeterValues& m = path.Meters;
    PanelMeterReadings r;
    r.Gated = m.Gated.get() != 0;
    r.AgcBassDb = Decibels(m.AgcBassGain.get());
    r.AgcMasterDb = Decibels(m.AgcMasterGain.get());

    if (!params.BypassAll.get()) {
        ReadBandMeters(path.Gains, params.has(Flag::ShowComposite), panel.CurrentSection, r);

        r.Image = Truncated(std::min(m.ImagePeak.get(), kLevelTop));
        Decay(m.ImagePeak);

        const double work = std::abs(m.PreClipPeak.get() - m.ClipPeak.get());
        panel.ClipActivity = std::min(std::max(panel.ClipActivity, work), kClipActivityTop);
        r.Clip = params.NoClipper.get() ? 0 : Truncated(panel.ClipActivity);
        Decay(m.PreClipPeak);
        Decay(m.ClipPeak);
        panel.ClipActivity *= kDecay;
    }

    r.In = Truncated(std::min(m.InputPeak.get(), kLevelTop));
    r.Out = Truncated(m.OutputPeak.get());
    Decay(m.InputPeak);
    Decay(m.OutputPeak);
    return r;
}

CaptionChange TakeCaptionChange(dsp::MeterValues& meters)
{
    const uint16_t word = meters.FormatError.get();
    const bool refused = (word & dsp::kFormatRefused) != 0;
    const bool shown = (word & dsp::kFormatWarningShown) != 0;
    if (refused && !shown) {
        meters.FormatError.setBits(dsp::kFormatWarningShown);
        return CaptionChange::ShowWarning;
    }
    if (!refused && shown) {
        meters.FormatError.clearBits(dsp::kFormatWarningShown);
        return CaptionChange::ShowTitle;
    }
    return CaptionChange::None;
}

} // namespace qex
