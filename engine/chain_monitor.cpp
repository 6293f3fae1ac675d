#include "chain_monitor.h"

#include "dsp_plugin.h"
#include "ring_buffer.h"
#include "wave_in.h"
#include "wave_out.h"

#include <algorithm>
#include <cmath>

namespace {

// Counters restart when a device is opened afresh; a count never goes below its start.
std::uint64_t since(std::uint64_t now, std::uint64_t start)
{
    return now > start ? now - start : 0;
}

std::string milliseconds(double ms)
{
    return std::to_string(std::lround(ms)) + " ms";
}

} // namespace

std::uint64_t TMMChainDropouts::Total() const
{
    return inputOverruns + outputUnderruns + ringOverflows + ringUnderruns + hostPaddings;
}

double TMMChainDelay::Total() const
{
    return input + ring + host + output + device + module;
}

TMMChainMonitor::TMMChainMonitor(const TMMWaveIn& input, const TMMRingBuffer& ring, const TMMDSPPlugin& host,
                                 const TMMWaveOut& output)
    : input_(input), ring_(ring), host_(host), output_(output)
{
}

void TMMChainMonitor::Begin()
{
    base_ = Counted();
}

TMMChainDropouts TMMChainMonitor::Counted() const
{
    return {input_.DeviceXruns(), output_.DeviceXruns(), ring_.Overflows(), ring_.Underruns(), host_.SilencePaddings()};
}

TMMChainDropouts TMMChainMonitor::Dropouts() const
{
    const TMMChainDropouts now = Counted();
    return {since(now.inputOverruns, base_.inputOverruns), since(now.outputUnderruns, base_.outputUnderruns),
            since(now.ringOverflows, base_.ringOverflows), since(now.ringUnderruns, base_.ringUnderruns),
            since(now.hostPaddings, base_.hostPaddings)};
}

TMMChainDelay TMMChainMonitor::Delay() const
{
    const TWaveFormatEx* format = input_.WaveFormat();
    if (!input_.Started() || !format || format->AvgBytesPerSec == 0 || format->SamplesPerSec == 0)
        return {};
    const double msPerByte = 1000.0 / format->AvgBytesPerSec;
    const double msPerFrame = 1000.0 / format->SamplesPerSec;

    // Buffers of the input that are not at the device have been recorded and wait to be pushed.
    const auto input = input_.DeviceQueue();
    const auto inputAtDevice = static_cast<int>(input.queuedBuffers);
    const int recorded = std::max(input_.GetNumBuffers() - inputAtDevice, 0);
    const auto output = output_.DeviceQueue();

    TMMChainDelay delay;
    delay.input = (0.5 + recorded) * input_.GetBufferSize() * msPerByte;
    delay.ring = static_cast<double>(ring_.BytesStored()) * msPerByte;
    delay.host = host_.GetEnabled() ? host_.HeldBytes() * msPerByte : 0.0;
    delay.output = std::max(output.queuedBuffers - 0.5, 0.0) * output_.GetBufferSize() * msPerByte;
    delay.device = (input.deviceBufferFrames + output.deviceBufferFrames) * msPerFrame;
    delay.module = host_.GetEnabled() ? host_.ModuleDelayFrames() * msPerFrame : 0.0;
    return delay;
}

std::string chainStatusText(const TMMChainDelay& delay, const TMMChainDropouts& dropouts)
{
    const std::uint64_t total = dropouts.Total();
    return "Delay " + milliseconds(delay.Total()) + ", " + std::to_string(total) +
        (total == 1 ? " dropout" : " dropouts");
}

std::string chainDropoutsLine(const TMMChainDropouts& dropouts)
{
    return "input overruns " + std::to_string(dropouts.inputOverruns) + ", output underruns " +
        std::to_string(dropouts.outputUnderruns) + ", ring buffer overflows " + std::to_string(dropouts.ringOverflows) +
        ", ring buffer underruns " + std::to_string(dropouts.ringUnderruns) + ", host silence paddings " +
        std::to_string(dropouts.hostPaddings);
}

std::string chainStatusDetail(const TMMChainDelay& delay, const TMMChainDropouts& dropouts)
{
    return "Dropouts since Start:\n"
           "  input overruns: " +
        std::to_string(dropouts.inputOverruns) +
        "\n"
        "  output underruns: " +
        std::to_string(dropouts.outputUnderruns) +
        "\n"
        "  ring buffer overflows: " +
        std::to_string(dropouts.ringOverflows) +
        "\n"
        "  ring buffer underruns: " +
        std::to_string(dropouts.ringUnderruns) +
        "\n"
        "  silence padded by the plug-in host: " +
        std::to_string(dropouts.hostPaddings) +
        "\n"
        "Delay now:\n"
        "  input buffers: " +
        milliseconds(delay.input) +
        "\n"
        "  ring buffer: " +
        milliseconds(delay.ring) +
        "\n"
        "  plug-in host: " +
        milliseconds(delay.host) +
        "\n"
        "  output buffers: " +
        milliseconds(delay.output) +
        "\n"
        "  sound card: " +
        milliseconds(delay.device) +
        "\n"
        "  processing module: " +
        milliseconds(delay.module);
}
