#include "module_test_support.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>

namespace qex::test {

namespace fs = std::filesystem;

TempFolder::TempFolder()
{
    std::string pattern = (fs::temp_directory_path() / "qex-module-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("no temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

fs::path HostExecutableIn(const fs::path& folder)
{
    return folder / "qex_module_test_host";
}

std::map<std::string, std::string> RunHost(const fs::path& folder, const std::vector<std::string>& args)
{
    const fs::path host = HostExecutableIn(folder);
    if (!fs::exists(host))
        fs::copy_file(QEX_TEST_HOST, host);
    std::string command = "'" + host.string() + "' '" + QEX_MODULE_FILE + "'";
    for (const auto& arg : args)
        command += " '" + arg + "'";

    std::map<std::string, std::string> values;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return values;
    std::array<char, 512> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), pipe)) {
        std::string text(line.data());
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        if (const auto eq = text.find('='); eq != std::string::npos)
            values[text.substr(0, eq)] = text.substr(eq + 1);
    }
    values["exit"] = std::to_string(::pclose(pipe));
    return values;
}

std::vector<char> ReadFileBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const fs::path& file, const void* data, size_t size)
{
    std::ofstream out(file, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

double GainDb(const std::function<double(double)>& process, double hz, double amplitude, int settleSamples,
              int measureSamples)
{
    const double w = 2 * std::numbers::pi * hz / 44100.0;
    for (int n = 0; n < settleSamples; ++n)
        process(amplitude * std::sin(w * n));
    double sumSin = 0, sumCos = 0, mean = 0;
    std::vector<double> out(static_cast<size_t>(measureSamples));
    for (int i = 0; i < measureSamples; ++i) {
        const int n = settleSamples + i;
        out[i] = process(amplitude * std::sin(w * n));
        mean += out[i];
    }
    mean /= measureSamples;
    for (int i = 0; i < measureSamples; ++i) {
        const int n = settleSamples + i;
        sumSin += (out[i] - mean) * std::sin(w * n);
        sumCos += (out[i] - mean) * std::cos(w * n);
    }
    const double measured = 2.0 / measureSamples * std::hypot(sumSin, sumCos);
    return 20 * std::log10(measured / amplitude);
}

std::vector<int16_t> StereoSine(int frames, double hz, double amplitudeL, double amplitudeR)
{
    std::vector<int16_t> samples(static_cast<size_t>(frames) * 2);
    const double w = 2 * std::numbers::pi * hz / 44100.0;
    for (int i = 0; i < frames; ++i) {
        samples[2 * i] = static_cast<int16_t>(amplitudeL * std::sin(w * i));
        samples[2 * i + 1] = static_cast<int16_t>(amplitudeR * std::sin(w * i));
    }
    return samples;
}

} // namespace qex::test
