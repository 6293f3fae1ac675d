#pragma once
// The FM-protection self-test: built-in test signals at high level (a swept sine and pink noise)
// run through the processing module with a given parameter set, and the output is checked
// against fixed limits: little energy above 15 kHz next to the programme band, a deep gap
// around the 19 kHz stereo pilot, and no peak above the clip level.
//
// The module runs in this process, from a temporary folder that holds the set as its preset 0,
// so the station's own files are never touched.

#include "parameter_set.h"

#include <filesystem>
#include <string>
#include <vector>

struct TFmCheck {
    std::string Signal;   // "swept sine", "pink noise"
    std::string Quantity; // what was measured, with its unit
    double Measured;
    double Limit; // passes at or below
    int Decimals; // as shown
    bool Passed() const { return Measured <= Limit; }
};

struct TFmSelfTest {
    std::vector<TFmCheck> Checks;
    bool Passed() const;
    // One line per check and the verdict, for the operator.
    std::string Report() const;
};

TFmSelfTest runFmSelfTest(const qex::ParameterSet& set);

// The on-air preset the module beside the host executable starts with (its settings' preset
// number, else preset 0, else the defaults), with pre-emphasis switched on as an FM station
// runs it.
qex::ParameterSet onAirSetWithPreemphasis(const std::filesystem::path& hostExecutable);
