#pragma once
// The values the signal path reads, derived from a parameter set. Derivation runs on the panel
// thread, never per frame, and writes each value whole.

#include "dsp/band_gain_computer.h"
#include "dsp/signal_path.h"
#include "parameter_set.h"

#include <array>

namespace qex {

using SectionCoefficientSet = std::array<dsp::SectionCoefficients, kRecordCount>;

// Attack, release, threshold and ratio exponent of one record (section: Compressor, Expander
// or Limiter, which decides the sign of the exponent).
void DeriveSectionCoefficients(const SectionParams& params, int section, dsp::SectionCoefficients& out);

// The same for all 21 records of a set; out is indexed like the set's records.
template <typename Records>
void DeriveSectionCoefficients(const ParameterSet& set, Records& out)
{
    for (int i = 0; i < kRecordCount; ++i)
        DeriveSectionCoefficients(set.Records[i], i % kSectionCount, out[i]);
}

// Output gain of multiband band 0..4 from its Compressor record's BandGainTenthDb.
void DeriveBandOutputGain(const ParameterSet& set, int band, dsp::ProcessingSettings& settings);
void DeriveBandOutputGains(const ParameterSet& set, dsp::ProcessingSettings& settings);

// The dual-band clippers' levels from the ClipThr of bands 5 and 6.
void DeriveClipLevels(const ParameterSet& set, dsp::ProcessingSettings& settings);

// Every value derived from the global block: gains, levels, time factors, lengths, weights,
// efficiency, hold lengths, the dual-band clip levels and the bass equaliser design.
void DeriveGlobalValues(const ParameterSet& set, dsp::SignalPath& path);

} // namespace qex
