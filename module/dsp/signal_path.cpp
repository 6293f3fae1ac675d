#include "signal_path.h"

#include "conversions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace qex::dsp {

void SignalPath::Initialise()
{
    input_.BuildSineTable();
    outputLowpass_.BuildTaps();
    stereoExpander_.ClearHistory();
}

int SignalPath::Process(int16_t* samples, int frames, int bitsPerSample, int channels, int sampleRate)
{
    if (bitsPerSample != 16 || sampleRate < kSampleRate || channels < 1) {
        Meters.FormatError.setBits(kFormatRefused);
        Meters.Gated.set(0);
        Meters.AgcMasterGain.set(0.0);
        Meters.AgcBassGain.set(0.0);
        return frames;
    }
    Meters.FormatError.clearBits(kFormatRefused);

    if (const uint32_t requests = resetRequests_.get(); requests != resetsDone_) {
        resetsDone_ = requests;
        agc_.ResetEnvelopes();
        Gains.ResetStates();
    }

    for (int i = 0; i < frames; ++i)
        ProcessFrame(samples + static_cast<ptrdiff_t>(i) * channels, channels);
    return frames;
}

void SignalPath::ProcessFrame(int16_t* samples, int channels)
{
    const GlobalParams& params = onAir_.Global;
    const int32_t flags = params.Flags.get();
    const auto has = [flags](int32_t flag) { return (flags & flag) != 0; };
    const bool bypassAll = params.BypassAll.get() != 0;
    const bool stereo = channels == 2;

    Frame frame;
    frame.L = samples[0];
    frame.R = frame.L;
    if (stereo) {
        if (has(Flag::Mono))
            frame.L = frame.R = (samples[0] + samples[1]) >> 1;
        else
            frame.R = samples[1];
    }

    const double denormOffset = input_.AddDenormOffset(frame);
    if (has(Flag::InputLpf15k))
        input_.Lowpass15k(frame);
    const double peak = std::max(std::fabs(frame.L), std::fabs(frame.R));
    Meters.InputPeak.raiseTo(peak);
    if (!bypassAll && has(Flag::PhaseRotator))
        input_.RotatePhase(frame);

    const bool widen = !params.NoStereoExp.get() && !bypassAll;
    Meters.ImagePeak.raiseTo(stereoExpander_.Process(frame, Settings.StereoDelayLength.get(), widen,
                                                     params.StereoLevelPct.get()));

    agc_.Process(frame, peak, params, Settings, bypassAll, Meters);

    if (!bypassAll && !has(Flag::AmFilter) && params.BassEqGainDb.get() > 0)
        BassEq.Process(frame, has(Flag::BassHighQ));

    const bool preemphOn = params.PreemphOn.get() != 0;
    if (!bypassAll) {
        MultibandProcessor::ApplyOverdrive(frame, Settings);
        preEmphasis_.Process(frame, preemphOn && !params.Preemph50us.get());
    }

    // Under BypassAll only the multiband analysis runs, for its meters; the frame goes on to
    // the output stage as it was.
    if (!has(Flag::MultibandBypass) || bypassAll)
        multiband_.Process(frame, params, Settings, bypassAll, Gains, lookahead_, Meters);

    if (!bypassAll) {
        dualBand_.Process(frame, denormOffset, params, Settings, Gains, lookahead_, Meters);
        if (preemphOn)
            outputLowpass_.Process(frame);
        else
            deEmphasis_.Process(frame);
    }

    outputStage_.Process(frame, !params.NoClipper.get(), bypassAll, params.OutLevelPct.get(), has(Flag::AmFilter));

    const auto write = [this](int16_t& sample, double value) {
        sample = static_cast<int16_t>(std::clamp(value, -32760.0, 32760.0));
        Meters.OutputPeak.raiseTo(std::abs(sample));
    };
    write(samples[0], frame.L);
    if (stereo)
        write(samples[1], frame.R);
}

} // namespace qex::dsp
