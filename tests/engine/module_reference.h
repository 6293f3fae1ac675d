#pragma once
// The processing module loaded a second time, from a copy of its file, so that it keeps state
// of its own: what the module alone makes of a signal, to compare with what came through the
// chain.

#include "module/winamp_dsp.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qextest {

class ModuleReference {
public:
    explicit ModuleReference(const std::string& moduleFile);
    ~ModuleReference();
    ModuleReference(const ModuleReference&) = delete;
    ModuleReference& operator=(const ModuleReference&) = delete;

    // Processes 16-bit samples in place, chunkFrames frames per call as the host hands them (the
    // last call takes what is left).
    void Process(std::vector<char>& bytes, int channels, int rate, int chunkFrames);

private:
    std::filesystem::path copy_;
    void* handle_ = nullptr;
    winampDSPModule* module_ = nullptr;
};

} // namespace qextest
