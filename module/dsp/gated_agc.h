#pragma once
// The gated two-band AGC: splits at 150 Hz into a bass and a master band, drives each band's
// envelope toward half of full scale with slow attack and release, freezes while the input is
// below the gate, ties the bass gain to the master gain, soft-clips the bass band and
// recombines the bands with a settable balance.

#include "filter_sections.h"
#include "frame.h"
#include "meter_values.h"
#include "processing_settings.h"

namespace qex::dsp {

class GatedAgc {
public:
    // Envelopes restart at 1.0 on every apply of the parameters.
    void ResetEnvelopes();

    // peak: the frame's input peak taken before the phase rotator, for the gate. The detectors
    // and filters always run; the frame only changes when bypassAll is clear.
    void Process(Frame& frame, double peak, const GlobalParams& params, const ProcessingSettings& settings,
                 bool bypassAll, MeterValues& meters);

private:
    struct Channel {
        FirstOrderSection bassPass1, masterPass1, bassPass2, masterPass2;
    };

    double bassEnvelope_ = 0.0;
    double masterEnvelope_ = 0.0;
    Channel left_, right_;
};

} // namespace qex::dsp
