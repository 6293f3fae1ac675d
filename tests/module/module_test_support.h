#pragma once
// Helpers shared by the module's tests: temporary host folders, a copied test host that loads
// the built module file, and sine measurements of filter responses.

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qex::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The path a host executable in folder would have: the module looks for its files beside it.
std::filesystem::path HostExecutableIn(const std::filesystem::path& folder);

// The test host, copied into folder, run there with the built module file and the given
// arguments; its "key=value" lines.
std::map<std::string, std::string> RunHost(const std::filesystem::path& folder, const std::vector<std::string>& args);

std::vector<char> ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, const void* data, size_t size);

// Amplitude ratio in dB of a single-channel process at frequency hz, measured on a sine of the
// given amplitude after the process has settled.
double GainDb(const std::function<double(double)>& process, double hz, double amplitude = 1000.0,
              int settleSamples = 20000, int measureSamples = 44100);

// Interleaved stereo 16-bit samples of a sine, one amplitude per channel.
std::vector<int16_t> StereoSine(int frames, double hz, double amplitudeL, double amplitudeR);

} // namespace qex::test
