#pragma once
// The AM filter: two tenth-order elliptic low-passes in cascade, flat within 1 dB to 4.5 kHz
// and more than 90 dB down from 6 kHz, then a factor 0.9.

#include "frame.h"

#include <array>

namespace qex::dsp {

class AmFilter {
public:
    void Process(Frames frames);

private:
    // The filter's last ten inner values, oldest first from oldest, stored twice (ten apart) so
    // that they always lie side by side and a new value replaces the oldest without shifting.
    struct State {
        std::array<Pair, 20> values{};
        int oldest = 0;
    };

    State first_, second_;
};

} // namespace qex::dsp
