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

    for (int first = 0; first < frames; first += kChunkFrames) {
        int16_t* chunkSamples = samples + static_cast<ptrdiff_t>(first) * channels;
        chunk_.count = std::min(kChunkFrames, frames - first);
        ReadChunk(chunkSamples, channels, onAir_.Global.has(Flag::Mono));
        ProcessChunk();
        WriteChunk(chunkSamples, channels);
    }
    return frames;
}

void SignalPath::ReadChunk(const int16_t* samples, int channels, bool mono)
{
    for (int i = 0; i < chunk_.count; ++i) {
        const int16_t* s = samples + static_cast<ptrdiff_t>(i) * channels;
        Frame& frame = chunk_.frames[i];
        frame.L = s[0];
        frame.R = frame.L;
        if (channels == 2) {
            // The mono sum is halved as an integer, rounding toward minus infinity.
            if (mono)
                frame.L = frame.R = (s[0] + s[1]) >> 1;
            else
                frame.R = s[1];
        }
    }
}

void SignalPath::ProcessChunk()
{
    const GlobalParams& params = onAir_.Global;
    const int32_t flags = params.Flags.get();
    const auto has = [flags](int32_t flag) { return (flags & flag) != 0; };
    const bool bypassAll = params.BypassAll.get() != 0;
    const bool preemphOn = params.PreemphOn.get() != 0;
    const int count = chunk_.count;
    auto& frames = chunk_.frames;

    for (int i = 0; i < count; ++i)
        chunk_.denormOffset[i] = input_.AddDenormOffset(frames[i]);
    if (has(Flag::InputLpf15k))
        for (int i = 0; i < count; ++i)
            input_.Lowpass15k(frames[i]);
    for (int i = 0; i < count; ++i) {
        chunk_.peak[i] = std::max(std::fabs(frames[i].L), std::fabs(frames[i].R));
        Meters.InputPeak.raiseTo(chunk_.peak[i]);
    }
    if (!bypassAll && has(Flag::PhaseRotator))
        for (int i = 0; i < count; ++i)
            input_.RotatePhase(frames[i]);

    const bool widen = !params.NoStereoExp.get() && !bypassAll;
    const int stereoDelay = Settings.StereoDelayLength.get();
    const int stereoLevel = params.StereoLevelPct.get();
    for (int i = 0; i < count; ++i)
        Meters.ImagePeak.raiseTo(stereoExpander_.Process(frames[i], stereoDelay, widen, stereoLevel));

    for (int i = 0; i < count; ++i) {
        // Under BypassAll the multiband analysis clears the gate at the end of every frame, so
        // a frame on which the AGC makes no gate decision starts from 0.
        if (bypassAll && i > 0)
            Meters.Gated.set(0);
        agc_.Process(frames[i], chunk_.peak[i], params, Settings, bypassAll, Meters);
        chunk_.gated[i] = Meters.Gated.get() == 1;
    }

    if (!bypassAll && !has(Flag::AmFilter) && params.BassEqGainDb.get() > 0)
        for (int i = 0; i < count; ++i)
            BassEq.Process(frames[i], has(Flag::BassHighQ));

    if (!bypassAll) {
        const bool use75us = preemphOn && !params.Preemph50us.get();
        for (int i = 0; i < count; ++i) {
            MultibandProcessor::ApplyOverdrive(frames[i], Settings);
            preEmphasis_.Process(frames[i], use75us);
        }
    }

    // Under BypassAll only the multiband analysis runs, for its meters; the frames go on to
    // the output stage as they were.
    if (!has(Flag::MultibandBypass) || bypassAll) {
        for (int i = 0; i < count; ++i) {
            multiband_.Process(frames[i], params, Settings, bypassAll, chunk_.gated[i], Gains, lookahead_, Meters);
            chunk_.lookaheadRow[i] = lookahead_.Index();
        }
    } else {
        chunk_.lookaheadRow.fill(lookahead_.Index());
    }

    if (!bypassAll) {
        for (int i = 0; i < count; ++i)
            dualBand_.Process(frames[i], chunk_.denormOffset[i], chunk_.gated[i], chunk_.lookaheadRow[i], params,
                              Settings, Gains, lookahead_, Meters);
        if (preemphOn)
            for (int i = 0; i < count; ++i)
                outputLowpass_.Process(frames[i]);
        else
            for (int i = 0; i < count; ++i)
                deEmphasis_.Process(frames[i]);
    }

    const bool clip = !params.NoClipper.get();
    const int outLevel = params.OutLevelPct.get();
    for (int i = 0; i < count; ++i)
        outputStage_.Process(frames[i], clip, bypassAll, outLevel, has(Flag::AmFilter));
}

void SignalPath::WriteChunk(int16_t* samples, int channels)
{
    const auto write = [this](int16_t& sample, double value) {
        sample = ToOutputSample(value);
        Meters.OutputPeak.raiseTo(std::abs(sample));
    };
    for (int i = 0; i < chunk_.count; ++i) {
        int16_t* s = samples + static_cast<ptrdiff_t>(i) * channels;
        write(s[0], chunk_.frames[i].L);
        if (channels == 2)
            write(s[1], chunk_.frames[i].R);
    }
}

} // namespace qex::dsp
