#pragma once
// The gated two-band AGC: splits at 150 Hz into a bass and a master band, drives each band's
// envelope toward half of full scale with slow attack and release, freezes while the input is
// below the gate, ties the bass gain to the master gain, soft-clips the bass band and
// recombines the bands with a settable balance.

#include "filter_sections.h"
#include "frame.h"
#include "meter_values.h"
#include "processing_settings.h"

#include <span>

namespace qex::dsp {

class GatedAgc {
public:
    // Envelopes restart at 1.0 on every apply of the parameters.
    void ResetEnvelopes();

    // peaks: each frame's input peak taken before the phase rotator, for the gate. gated
    // receives the gate (Gated) as each frame leaves it, for the band gain computer. The
    // detectors and filters always run; the frames only change when bypassAll is clear.
    void Process(Frames frames, std::span<const double> peaks, std::span<bool> gated, const GlobalParams& params,
                 const ProcessingSettings& settings, bool bypassAll, MeterValues& meters);

private:
    struct Sections {
        FirstOrderSection bassPass1, masterPass1, bassPass2, masterPass2;
    };

    double bassEnvelope_ = 0.0;
    double masterEnvelope_ = 0.0;
    Sections sections_;
};

} // namespace qex::dsp
