#pragma once
// What the operator sees of the running chain: how long the audio takes from the input to the
// output right now, worked out from what each stage holds at this moment, and the dropouts since
// processing started. It reads only counters that the audio threads keep without a lock, and
// runs on the main thread.

#include <cstdint>
#include <string>

class TMMWaveIn;
class TMMRingBuffer;
class TMMDSPPlugin;
class TMMWaveOut;

struct TMMChainDropouts {
    std::uint64_t inputOverruns = 0;   // the input device had no buffer to record into
    std::uint64_t outputUnderruns = 0; // the output device had nothing to play
    std::uint64_t ringOverflows = 0;   // a recorded buffer dropped by a full ring
    std::uint64_t ringUnderruns = 0;   // a read of an empty ring after priming
    std::uint64_t hostPaddings = 0;    // a pull the plug-in host completed with silence

    std::uint64_t Total() const;
};

// The delay of the chain in milliseconds, by where the audio waits.
struct TMMChainDelay {
    double input = 0;  // the buffer being recorded (half of it on average) and recorded buffers not yet pushed
    double ring = 0;   // the ring buffer's stored buffers
    double host = 0;   // processed audio the plug-in host holds for the next pull
    double output = 0; // the buffers queued to the output (half of the one playing on average)
    double device = 0; // what the sound cards hold beyond the program's buffers
    double module = 0; // the processing module's own delay (its look-ahead)

    double Total() const;
};

class TMMChainMonitor {
public:
    TMMChainMonitor(const TMMWaveIn& input, const TMMRingBuffer& ring, const TMMDSPPlugin& host,
                    const TMMWaveOut& output);

    // Processing has started: dropouts count from now.
    void Begin();
    // The delay the audio has now; zeros unless the input is started.
    TMMChainDelay Delay() const;
    TMMChainDropouts Dropouts() const;

private:
    TMMChainDropouts Counted() const;

    const TMMWaveIn& input_;
    const TMMRingBuffer& ring_;
    const TMMDSPPlugin& host_;
    const TMMWaveOut& output_;
    TMMChainDropouts base_;
};

// The short form for the status line: "Delay 383 ms, 0 dropouts".
std::string chainStatusText(const TMMChainDelay& delay, const TMMChainDropouts& dropouts);
// The dropouts by kind in one line: "input overruns 0, output underruns 2, …".
std::string chainDropoutsLine(const TMMChainDropouts& dropouts);
// The breakdown of both, one item a line.
std::string chainStatusDetail(const TMMChainDelay& delay, const TMMChainDropouts& dropouts);
