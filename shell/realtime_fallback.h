#pragma once
// Real-time scheduling for the audio threads where the system refuses it to the program itself:
// RealtimeKit is asked instead, and where that fails too the operator is told once, in a box
// and on standard error, what to do; the threads go on at normal priority.

#include <QString>

// The words the operator reads.
QString realtimeRefusedText();

// Installed for the lifetime of the object, on the main thread while its dispatcher runs.
class TRealtimeFallback {
public:
    TRealtimeFallback();
    ~TRealtimeFallback();
    TRealtimeFallback(const TRealtimeFallback&) = delete;
    TRealtimeFallback& operator=(const TRealtimeFallback&) = delete;
};
