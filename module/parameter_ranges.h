#pragma once
// The range of every parameter the operator can set, as its control on the panel allows it.
// Presets from files are pulled into these ranges when they are loaded, so that a damaged or
// hand-edited file cannot put silence, a full-scale square wave or a broken filter on air.

#include "parameter_set.h"

#include <cstdint>

namespace qex {

struct ValueRange {
    int32_t min;
    int32_t max;

    constexpr int32_t clamp(int32_t value) const { return value < min ? min : value > max ? max : value; }
};

// The range of a global slider's field.
ValueRange RangeOf(Param GlobalParams::*field);

// The range of a band slider's field in a record of the band (Band Gain of the multiband bands,
// Clip Thr of the dual-band bands: the same field, different ranges).
ValueRange RangeOf(Param SectionParams::*field, int band);

// Every field that has a slider held in its range, every switch made 0 or 1 (any value other
// than 0 counts as on, as the processing reads it). Flags, the name and reserved bytes stay.
void PullIntoControlRanges(ParameterSet& set);

} // namespace qex
