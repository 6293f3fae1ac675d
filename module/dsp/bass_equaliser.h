#pragma once
// The bass equaliser: a peaking filter of fixed 50 Hz bandwidth or a first-order low shelf,
// designed from a boost in whole dB and a frequency. "High Q" cascades four identical sections
// of a third of the boost each. It only boosts: 0 dB takes it out of the path.

#include "filter_sections.h"
#include "frame.h"
#include "shared_value.h"

#include <array>
#include <cstdint>

namespace qex::dsp {

class BassEqualiser {
public:
    // Panel thread: computes the coefficient set for the current settings. A change of filter
    // type asks the audio thread to clear section 1 before it next filters.
    void Design(int boostDb, int frequencyHz, bool shelving, bool highQ);

    // Audio thread: runs section 1, and sections 2 to 4 with High Q.
    void Process(Frames frames, bool highQ);

    Biquad::Coefficients Coefficients() const;

private:
    Shared<double> b0_{1.0}, b1_, b2_, a1_, a2_;
    bool designedShelving_ = false;
    Shared<uint32_t> section1Clears_;
    uint32_t section1ClearsDone_ = 0;
    std::array<Biquad, 4> sections_{};
};

} // namespace qex::dsp
