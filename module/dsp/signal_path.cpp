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

int SignalPath::DelayFrames() const
{
    const GlobalParams& params = onAir_.Global;
    if (params.BypassAll.get() != 0)
        return 0;
    if ((params.Flags.get() & Flag::MultibandBypass) != 0)
        return 1;
    return 2 * (Settings.LookaheadLength.get() + 1);
}

void SignalPath::ProcessChunk()
{
    const GlobalParams& params = onAir_.Global;
    const int32_t flags = params.Flags.get();
    const auto has = [flags](int32_t flag) { return (flags & flag) != 0; };
    const bool bypassAll = params.BypassAll.get() != 0;
    const bool preemphOn = params.PreemphOn.get() != 0;
    const size_t count = chunk_.count;
    const Frames frames(chunk_.frames.data(), count);
    const auto first = [count](auto& values) { return std::span(values).first(count); };

    input_.AddDenormOffset(frames, first(chunk_.denormOffset));
    if (has(Flag::InputLpf15k))
        input_.Lowpass15k(frames);
    double inputPeak = 0.0;
    for (size_t i = 0; i < count; ++i) {
        chunk_.peak[i] = LargerLane(Abs(ToPair(frames[i])));
        inputPeak = std::max(inputPeak, chunk_.peak[i]);
    }
    Meters.InputPeak.raiseTo(inputPeak);
    if (!bypassAll && has(Flag::PhaseRotator))
        input_.RotatePhase(frames);

    const bool widen = !params.NoStereoExp.get() && !bypassAll;
    Meters.ImagePeak.raiseTo(
        stereoExpander_.Process(frames, Settings.StereoDelayLength.get(), widen, params.StereoLevelPct.get()));

    agc_.Process(frames, first(chunk_.peak), first(chunk_.gated), params, Settings, bypassAll, Meters);

    if (!bypassAll && !has(Flag::AmFilter) && params.BassEqGainDb.get() > 0)
        BassEq.Process(frames, has(Flag::BassHighQ));

    if (!bypassAll) {
        MultibandProcessor::ApplyOverdrive(frames, Settings);
        preEmphasis_.Process(frames, preemphOn && !params.Preemph50us.get());
    }

    // Under BypassAll only the multiband analysis runs, for its meters; the frames go on to
    // the output stage as they were.
    if (!has(Flag::MultibandBypass) || bypassAll)
        multiband_.Process(frames, first(chunk_.gated), first(chunk_.lookaheadRow), params, Settings, bypassAll, Gains,
                           lookahead_, Meters);
    else
        chunk_.lookaheadRow.fill(lookahead_.Index());

    if (!bypassAll) {
        dualBand_.Process(frames, first(chunk_.denormOffset), first(chunk_.gated), first(chunk_.lookaheadRow), params,
                          Settings, Gains, lookahead_, Meters);
        if (preemphOn)
            outputLowpass_.Process(frames);
        else
            deEmphasis_.Process(frames);
    }

    outputStage_.Process(frames, !params.NoClipper.get(), bypassAll, params.OutLevelPct.get(), has(Flag::AmFilter));
}

void SignalPath::WriteChunk(int16_t* samples, int channels)
{
    int outputPeak = 0;
    const auto write = [&outputPeak](int16_t& sample, double value) {
        sample = ToOutputSample(value);
        outputPeak = std::max(outputPeak, std::abs(sample));
    };
    for (int i = 0; i < chunk_.count; ++i) {
        int16_t* s = samples + static_cast<ptrdiff_t>(i) * channels;
        write(s[0], chunk_.frames[i].L);
        if (channels == 2)
            write(s[1], chunk_.frames[i].R);
    }
    Meters.OutputPeak.raiseTo(outputPeak);
}

} // namespace qex::dsp
