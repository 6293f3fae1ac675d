#include "gated_agc.h"

#include "soft_clip.h"

#include <algorithm>
#include <cmath>

namespace qex::dsp {

namespace {

// First-order Butterworth pair at 150 Hz: the two sum to exactly the input.
constexpr FirstOrderSection::Coefficients kBassLowpass = {0.010573110751125596, 0.010573110751125596,
                                                          -0.9788537784977488};
constexpr FirstOrderSection::Coefficients kMasterHighpass = {-0.9894268892488745, 0.9894268892488745,
                                                             -0.9788537784977488};

// The AGC's freeze factor while gated (not the band gain computer's 0.9999988).
constexpr double kGateFreeze = 0.99999988;

// The values a chunk reads, taken once at its start.
struct Snapshot {
    double bassAttack, bassRelease, masterAttack, masterRelease;
    int32_t gateLevel;
    double floor;
    int link;
    int32_t bassClip;
    double bassWeight, masterWeight;
};

// One band's envelope step; returns the band gain that brings its level to 16384. A decision
// about the gate goes to gate.
double FollowEnvelope(double& envelope, double level, double peak, double attack, double release,
                      const Snapshot& s, bool& gate)
{
    double c;
    if (level > envelope) {
        c = attack;
        gate = false;
    } else if (peak < s.gateLevel) {
        c = kGateFreeze;
        gate = true;
    } else {
        c = release;
    }
    envelope = envelope * c + (1 - c) * level;
    if (envelope < s.floor)
        envelope = s.floor;
    return 16384 / envelope;
}

} // namespace

void GatedAgc::ResetEnvelopes()
{
    bassEnvelope_ = 1.0;
    masterEnvelope_ = 1.0;
}

void GatedAgc::Process(Frames frames, std::span<const double> peaks, std::span<bool> gated,
                       const GlobalParams& params, const ProcessingSettings& settings, bool bypassAll,
                       MeterValues& meters)
{
    const Snapshot s = {settings.BassAttack.get(),   settings.BassRelease.get(),    settings.MasterAttack.get(),
                        settings.MasterRelease.get(), settings.GateLevel.get(),      settings.AgcEnvelopeFloor.get(),
                        params.AgcBandLinkPct.get(),  settings.BassClipLevel.get(),  settings.BassWeight.get(),
                        settings.MasterWeight.get()};
    const bool agcOn = params.AgcOn.get() != 0;

    Sections sections = sections_;
    double bassEnvelope = bassEnvelope_;
    double masterEnvelope = masterEnvelope_;
    bool gate = meters.Gated.get() == 1;
    double masterGain = 0.0;
    double bassGain = 0.0;
    for (size_t i = 0; i < frames.size(); ++i) {
        // Under BypassAll the multiband analysis clears the gate at the end of every frame, so
        // a frame on which the AGC makes no gate decision starts from 0.
        if (bypassAll && i > 0)
            gate = false;

        const Pair x = ToPair(frames[i]);
        Pair bass = sections.bassPass1.process(kBassLowpass, x);
        Pair master = sections.masterPass1.process(kMasterHighpass, x);

        // Each band is measured on its mid signal.
        const double masterLevel = std::fabs(master[1] + master[0]) * 0.5;
        const double bassLevel = std::fabs(bass[1] + bass[0]) * 0.5;

        masterGain = FollowEnvelope(masterEnvelope, masterLevel, peaks[i], s.masterAttack, s.masterRelease, s, gate);
        bassGain = FollowEnvelope(bassEnvelope, bassLevel, peaks[i], s.bassAttack, s.bassRelease, s, gate);
        gated[i] = gate;

        bassGain = ((100 - s.link) * bassGain + s.link * std::min(bassGain, masterGain)) * 0.01;

        master = master * masterGain;
        bass = bass * bassGain;
        bass = SoftClip(bass, s.bassClip);

        // Second pass through the same split: low-pass² − high-pass² is flat.
        bass = sections.bassPass2.process(kBassLowpass, bass);
        master = sections.masterPass2.process(kMasterHighpass, master);
        bass = bass * s.bassWeight;
        master = master * s.masterWeight;

        if (!bypassAll)
            frames[i] = ToFrame(agcOn ? bass - master : x * 0.63);
    }
    sections_ = sections;
    bassEnvelope_ = bassEnvelope;
    masterEnvelope_ = masterEnvelope;

    meters.Gated.set(gate ? 1 : 0);
    meters.AgcMasterGain.set(bypassAll ? 0.0 : masterGain);
    meters.AgcBassGain.set(bypassAll ? 0.0 : bassGain);
}

} // namespace qex::dsp
