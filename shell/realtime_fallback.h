#pragma once
// Real-time scheduling for the audio threads where the system refuses it to the program itself:
// RealtimeKit is asked instead, and where that fails too the operator is told once, on standard
// error and (with windows) in a box that does not hold the program up, what to do; the threads go
// on at normal priority.

#include "platform/main_dispatcher.h"

#include <QString>

// The words the operator reads.
QString realtimeRefusedText();

// One per program, installed for its lifetime; needs the main thread's dispatcher.
class TRealtimeFallback {
public:
    TRealtimeFallback();
    ~TRealtimeFallback();
    TRealtimeFallback(const TRealtimeFallback&) = delete;
    TRealtimeFallback& operator=(const TRealtimeFallback&) = delete;

private:
    // Asks RealtimeKit for every refused thread waiting (main thread).
    void AskRealtimeKit();

    qex::platform::MainThreadRequest request_{[this] { AskRealtimeKit(); }};
    bool told_ = false;
};
