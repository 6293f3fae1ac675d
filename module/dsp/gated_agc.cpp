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
    Pair attack, release; // master, bass
    int32_t gateLevel;
    double floor;
    int link;
    int32_t bassClip;
    double bassWeight, masterWeight;
};

// The envelope step of both bands, master in lane 0 and bass in lane 1; returns the gains that
// bring their levels to 16384. A decision about the gate goes to gate, the bass band's
// overriding the master band's. Selects stand in for branches the program cannot predict.
Pair FollowEnvelopes(Pair& envelope, Pair level, double peak, const Snapshot& s, bool& gate)
{
    constexpr Pair kFreeze = {kGateFreeze, kGateFreeze};
    const Mask attack = level > envelope;
    const bool belowGate = peak < s.gateLevel;
    const Pair c = attack ? s.attack : belowGate ? kFreeze : s.release;
    gate = attack[1] ? false : belowGate ? true : attack[0] ? false : gate;
    envelope = envelope * c + (1 - c) * level;
    envelope = envelope < s.floor ? Pair{s.floor, s.floor} : envelope;
    return 16384 / envelope;
}

} // namespace

void GatedAgc::ResetEnvelopes()
{
    bassEnvelope_ = 1.0;
    masterEnvelope_ = 1.0;
}

QEX_CHUNK_CODE
void GatedAgc::Process(Frames frames, std::span<const double> peaks, std::span<bool> gated, const GlobalParams& params,
                       const ProcessingSettings& settings, bool bypassAll, MeterValues& meters)
{
    const Snapshot s = {{settings.MasterAttack.get(), settings.BassAttack.get()},
                        {settings.MasterRelease.get(), settings.BassRelease.get()},
                        settings.GateLevel.get(),
                        settings.AgcEnvelopeFloor.get(),
                        params.AgcBandLinkPct.get(),
                        settings.BassClipLevel.get(),
                        settings.BassWeight.get(),
                        settings.MasterWeight.get()};
    const bool agcOn = params.AgcOn.get() != 0;

    Sections sections = sections_;
    Pair envelope = {masterEnvelope_, bassEnvelope_};
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

        const Pair bandGains = FollowEnvelopes(envelope, Pair{masterLevel, bassLevel}, peaks[i], s, gate);
        gated[i] = gate;
        masterGain = bandGains[0];
        bassGain = bandGains[1];

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
    masterEnvelope_ = envelope[0];
    bassEnvelope_ = envelope[1];

    meters.Gated.set(gate ? 1 : 0);
    meters.AgcMasterGain.set(bypassAll ? 0.0 : masterGain);
    meters.AgcBassGain.set(bypassAll ? 0.0 : bassGain);
}

} // namespace qex::dsp
