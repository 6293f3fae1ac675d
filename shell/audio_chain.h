#pragma once
// The program's streaming chain, linked in this order: wave input, ring buffer, plug-in host
// with the processing module, wave output, level-meter connector, loudness meter. Built with the
// design values (stereo 16-bit 44.1 kHz, 8 x 4096-byte buffers on both sides, a ring of twice
// the input's buffers, the default devices, normal priority). The main window and the headless
// run both drive this one chain.

#include "chain_monitor.h"
#include "connector.h"
#include "dsp_plugin.h"
#include "loudness_meter.h"
#include "ring_buffer.h"
#include "wave_in.h"
#include "wave_out.h"

class QWidget;

class TAudioChain {
public:
    TAudioChain();

    TMMWaveIn wi;
    TMMRingBuffer MMRingBuffer1;
    TMMDSPPlugin dspPlugin;
    TMMWaveOut wo;
    TMMConnector mmconn;
    TMMLoudnessMeter mmloudness;
    // The chain's delay and dropouts, read on the main thread.
    TMMChainMonitor monitor{wi, MMRingBuffer1, dspPlugin, wo};

    // Whether both device identifiers name a present device (-1 is the default device).
    bool DevicesValid() const;
    // Loads the processing module the program wrote into the system folder and selects its first
    // module, owned by the window (none without one). A file that is there but holds no module
    // is reported to the operator; without a file the audio passes unprocessed.
    void LoadModule(QWidget* owner);
};
