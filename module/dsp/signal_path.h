#pragma once
// The signal path: one pass per sample frame through the input stage and the processing
// blocks, in double precision and 16-bit sample units, over statically sized state. Process
// allocates nothing, takes no lock and makes no system call.

#include "../parameter_set.h"
#include "band_gain_computer.h"
#include "bass_equaliser.h"
#include "dual_band_processor.h"
#include "emphasis.h"
#include "gated_agc.h"
#include "input_stage.h"
#include "lookahead_delay.h"
#include "meter_values.h"
#include "multiband_processor.h"
#include "output_lowpass.h"
#include "output_stage.h"
#include "processing_settings.h"
#include "stereo_expander.h"

#include <array>
#include <cstdint>

namespace qex::dsp {

class SignalPath {
public:
    // The path reads the on-air set's switches and levels per frame, as the panel edits them.
    explicit SignalPath(const ParameterSet& onAir) : onAir_(onAir) {}

    ProcessingSettings Settings;
    MeterValues Meters;
    BandGainComputer Gains;
    BassEqualiser BassEq;

    // Builds the fixed tables and clears the stereo expander's history. Not while processing.
    void Initialise();

    // Any thread: the AGC envelopes and the band gain computer's states restart before the
    // next buffer is processed (the audio thread owns them, so it does the reset itself).
    void RequestReset() { resetRequests_.set(resetRequests_.get() + 1); }

    // Processes frames of interleaved 16-bit samples in place and returns the frame count.
    // Buffers of other sample sizes, of rates below 44 100 Hz, or without channels are left
    // untouched and flagged in FormatError.
    int Process(int16_t* samples, int frames, int bitsPerSample, int channels, int sampleRate);

    const InputStage& Input() const { return input_; }

    // Any thread: how many frames the path delays the audio by with the present settings. The
    // look-ahead line delays the multiband bands by its length + 1, and the dual-band stage, in
    // the same rows, by as much again; with the multiband bypassed the rows stand still and the
    // dual-band stage delays by one frame. Bypass All passes the audio through undelayed.
    int DelayFrames() const;

private:
    // Frames go through the path a chunk at a time, block after block: each frame meets the
    // blocks in their order and with the same arithmetic, while each block keeps its states
    // in registers over the chunk and the processor overlaps its frames. Switches and derived
    // values are read once per chunk.
    struct Chunk {
        int count = 0;
        std::array<Frame, kChunkFrames> frames;
        std::array<double, kChunkFrames> denormOffset; // kept for the dual-band detectors
        std::array<double, kChunkFrames> peak;         // input peak, for the AGC's gate
        std::array<bool, kChunkFrames> gated;          // the AGC's gate
        std::array<int, kChunkFrames> lookaheadRow;    // the shared delay row of each frame
    };

    void ReadChunk(const int16_t* samples, int channels, bool mono);
    void ProcessChunk();
    void WriteChunk(int16_t* samples, int channels);

    const ParameterSet& onAir_;
    Shared<uint32_t> resetRequests_;
    uint32_t resetsDone_ = 0;

    InputStage input_;
    StereoExpander stereoExpander_;
    GatedAgc agc_;
    PreEmphasis preEmphasis_;
    MultibandProcessor multiband_;
    LookaheadDelay lookahead_;
    DualBandProcessor dualBand_;
    DeEmphasis deEmphasis_;
    OutputLowpass outputLowpass_;
    OutputStage outputStage_;
    Chunk chunk_;
};

} // namespace qex::dsp
