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

// One band's envelope step; returns the band gain that brings its level to 16384.
double FollowEnvelope(double& envelope, double level, double peak, double attack, double release,
                      const ProcessingSettings& settings, MeterValues& meters)
{
    double c;
    if (level > envelope) {
        c = attack;
        meters.Gated.set(0);
    } else if (peak < settings.GateLevel.get()) {
        c = kGateFreeze;
        meters.Gated.set(1);
    } else {
        c = release;
    }
    envelope = envelope * c + (1 - c) * level;
    const double floor = settings.AgcEnvelopeFloor.get();
    if (envelope < floor)
        envelope = floor;
    return 16384 / envelope;
}

} // namespace

void GatedAgc::ResetEnvelopes()
{
    bassEnvelope_ = 1.0;
    masterEnvelope_ = 1.0;
}

void GatedAgc::Process(Frame& frame, double peak, const GlobalParams& params, const ProcessingSettings& settings,
                       bool bypassAll, MeterValues& meters)
{
    double bassL = left_.bassPass1.process(kBassLowpass, frame.L);
    double bassR = right_.bassPass1.process(kBassLowpass, frame.R);
    double masterL = left_.masterPass1.process(kMasterHighpass, frame.L);
    double masterR = right_.masterPass1.process(kMasterHighpass, frame.R);

    // Each band is measured on its mid signal.
    const double masterLevel = std::fabs(masterR + masterL) * 0.5;
    const double bassLevel = std::fabs(bassR + bassL) * 0.5;

    const double masterGain = FollowEnvelope(masterEnvelope_, masterLevel, peak, settings.MasterAttack.get(),
                                             settings.MasterRelease.get(), settings, meters);
    double bassGain = FollowEnvelope(bassEnvelope_, bassLevel, peak, settings.BassAttack.get(),
                                     settings.BassRelease.get(), settings, meters);

    const int link = params.AgcBandLinkPct.get();
    bassGain = ((100 - link) * bassGain + link * std::min(bassGain, masterGain)) * 0.01;

    masterL = masterL * masterGain;
    masterR = masterR * masterGain;
    bassL = bassL * bassGain;
    bassR = bassR * bassGain;

    const int32_t bassClip = settings.BassClipLevel.get();
    bassR = SoftClip(bassR, bassClip);
    bassL = SoftClip(bassL, bassClip);

    // Second pass through the same split: low-pass² − high-pass² is flat.
    bassL = left_.bassPass2.process(kBassLowpass, bassL);
    bassR = right_.bassPass2.process(kBassLowpass, bassR);
    masterL = left_.masterPass2.process(kMasterHighpass, masterL);
    masterR = right_.masterPass2.process(kMasterHighpass, masterR);

    const double bassWeight = settings.BassWeight.get();
    const double masterWeight = settings.MasterWeight.get();
    bassL = bassL * bassWeight;
    bassR = bassR * bassWeight;
    masterL = masterL * masterWeight;
    masterR = masterR * masterWeight;

    if (bypassAll) {
        meters.AgcMasterGain.set(0.0);
        meters.AgcBassGain.set(0.0);
        return;
    }
    frame.L = frame.L * 0.63;
    frame.R = frame.R * 0.63;
    if (params.AgcOn.get()) {
        frame.L = bassL - masterL;
        frame.R = bassR - masterR;
    }
    meters.AgcMasterGain.set(masterGain);
    meters.AgcBassGain.set(bassGain);
}

} // namespace qex::dsp
