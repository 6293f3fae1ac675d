// Loudness as a broadcast engineer checks it: known signals give their known BS.1770 figures,
// silence gives none, and the meter behind the connector measures the played programme from
// the audio thread without allocating, through its queue and the tick.

#include "allocation_counter.h"
#include "loudness.h"
#include "loudness_meter.h"
#include "sample_queue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 44100;

// A 1 kHz sine whose peak is dbfs below full scale (32768), on every channel.
std::vector<std::int16_t> sine(int channels, double seconds, double dbfs)
{
    const double amplitude = 32768.0 * std::pow(10.0, dbfs / 20.0);
    const auto frames = static_cast<std::size_t>(seconds * kRate);
    std::vector<std::int16_t> out(frames * static_cast<std::size_t>(channels));
    for (std::size_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            out[f * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = static_cast<std::int16_t>(
                std::lround(amplitude * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(f) / kRate)));
    return out;
}

std::vector<float> asFloats(const std::vector<std::int16_t>& samples)
{
    std::vector<float> out;
    for (std::int16_t s : samples)
        out.push_back(static_cast<float>(s) / 32768.0f);
    return out;
}

} // namespace

TEST(Loudness, KnownSignalsGiveTheirKnownFigures)
{
    for (const TLoudnessMode mode : {TLoudnessMode::Live, TLoudnessMode::Programme}) {
        // The EBU's meter test: a 1 kHz sine of -23 dBFS on both channels reads -23.0 LUFS.
        TLoudness stereo(2, kRate, mode);
        const auto samples = sine(2, 20.0, -23.0);
        stereo.Add(samples.data(), samples.size() / 2);
        EXPECT_NEAR(*stereo.Integrated(), -23.0, 0.1);
        EXPECT_NEAR(*stereo.ShortTerm(), -23.0, 0.1);
        EXPECT_NEAR(*stereo.Momentary(), -23.0, 0.1);

        // A mono programme is heard on both loudspeakers; floats measure as the integers do.
        TLoudness mono(1, kRate, mode);
        const auto quieter = asFloats(sine(1, 10.0, -33.0));
        mono.Add(quieter.data(), quieter.size());
        EXPECT_NEAR(*mono.Integrated(), -33.0, 0.1);
    }

    TLoudness programme(2, kRate, TLoudnessMode::Programme);
    auto samples = sine(2, 10.0, -20.0);
    const auto louder = sine(2, 10.0, -10.0);
    samples.insert(samples.end(), louder.begin(), louder.end());
    programme.Add(samples.data(), samples.size() / 2);
    EXPECT_NEAR(*programme.TruePeak(), -10.0, 0.1);
    // Two steady halves 10 LU apart: the range spans them.
    EXPECT_NEAR(*programme.Range(), 10.0, 0.5);

    TLoudness live(2, kRate, TLoudnessMode::Live);
    live.Add(samples.data(), samples.size() / 2);
    EXPECT_FALSE(live.TruePeak()) << "the live meter does not oversample";
    EXPECT_FALSE(live.Range());
}

TEST(Loudness, SilenceHasNoFigureAndIsShownAsADash)
{
    TLoudness loudness(2, kRate, TLoudnessMode::Programme);
    const std::vector<std::int16_t> silence(2 * 5 * kRate, 0);
    loudness.Add(silence.data(), silence.size() / 2);
    EXPECT_FALSE(loudness.Integrated());
    EXPECT_FALSE(loudness.ShortTerm());
    EXPECT_FALSE(loudness.Momentary());
    EXPECT_FALSE(loudness.Range());
    EXPECT_FALSE(loudness.TruePeak());

    // Below the absolute gate counts as silence too: one unit of noise is about -90 LUFS.
    TLoudness hiss(2, kRate, TLoudnessMode::Live);
    std::vector<std::int16_t> lsb(silence.size());
    for (std::size_t i = 0; i < lsb.size(); ++i)
        lsb[i] = static_cast<std::int16_t>(i % 2 ? 1 : -1);
    hiss.Add(lsb.data(), lsb.size() / 2);
    EXPECT_FALSE(hiss.ShortTerm());

    EXPECT_EQ(loudnessText(std::nullopt), "\u2014");
    EXPECT_EQ(loudnessText(-23.04), "-23.0");
    EXPECT_EQ(loudnessText(-0.01), "0.0");
    EXPECT_THROW(TLoudness(0, kRate, TLoudnessMode::Live), std::invalid_argument);
}

TEST(SampleQueue, CarriesBytesInOrderBetweenTwoThreadsAndRefusesWhatDoesNotFit)
{
    TMMSampleQueue queue(1000);
    std::vector<char> block(600, 'a');
    EXPECT_TRUE(queue.TryPush(block.data(), block.size()));
    EXPECT_FALSE(queue.TryPush(block.data(), block.size())) << "a block that does not fit is refused whole";
    queue.Clear();

    // A counting stream through a queue that wraps many times.
    constexpr std::uint32_t kCount = 200000;
    std::thread producer([&] {
        std::uint32_t next = 0;
        while (next < kCount) {
            std::uint32_t words[7];
            for (std::uint32_t& w : words)
                w = next++;
            while (!queue.TryPush(reinterpret_cast<const char*>(words), sizeof words))
                std::this_thread::yield();
        }
    });
    std::vector<char> received;
    char chunk[333];
    while (received.size() < (kCount + 6) / 7 * 7 * sizeof(std::uint32_t)) {
        const std::size_t got = queue.Pop(chunk, sizeof chunk);
        received.insert(received.end(), chunk, chunk + got);
        if (got == 0)
            std::this_thread::yield();
    }
    producer.join();
    for (std::uint32_t i = 0; i < kCount; ++i) {
        std::uint32_t word = 0;
        std::memcpy(&word, received.data() + i * sizeof word, sizeof word);
        ASSERT_EQ(word, i);
    }
}

namespace {

// The meter as the main window has it behind the connector, on a tick the test moves.
class LoudnessMeter : public ::testing::Test {
protected:
    LoudnessMeter()
    {
        meter.SetOutput(&downstream);
        downstream.OnBufferReady = [this](TMMDSPComponent*, TMMWaveHdr*) { ++passedOn; };
        meter.SetBufferSize(4096);
        meter.SetWaveFormat(&format);
        meter.Open();
        meter.Start();
    }

    // Plays the samples through the meter in buffers of 4096 bytes, as the wave output does;
    // returns the allocations the audio side made.
    std::uint64_t Play(const std::vector<std::int16_t>& samples)
    {
        std::vector<char> storage(kWaveHdrSize + 4096);
        TMMWaveHdr* header = engineBufferHeader(storage.data());
        const std::uint64_t before = alloccount::counted();
        alloccount::countThisThread(true);
        for (std::size_t at = 0; at < samples.size(); at += 2048) {
            const std::size_t count = std::min<std::size_t>(2048, samples.size() - at);
            std::memcpy(header->Data, samples.data() + at, count * 2);
            header->BufferLength = header->BytesRecorded = static_cast<std::uint32_t>(count * 2);
            meter.BufferReady(header);
        }
        alloccount::countThisThread(false);
        return alloccount::counted() - before;
    }

    // Plays the samples a second at a time, each second followed by a tick.
    void PlayAndTick(const std::vector<std::int16_t>& samples)
    {
        for (std::size_t at = 0; at < samples.size(); at += 2 * kRate) {
            const auto end = samples.begin() + static_cast<std::ptrdiff_t>(std::min(samples.size(), at + 2 * kRate));
            EXPECT_EQ(Play({samples.begin() + static_cast<std::ptrdiff_t>(at), end}), 0u);
            ticks.Tick();
        }
    }

    const TWaveFormatEx format = pcmWaveFormat(16, 2, kRate);
    TMMTickService ticks{TMMTickSource::Manual};
    TMMLoudnessMeter meter{ticks};
    TMMDSPComponent downstream;
    int passedOn = 0;
};

} // namespace

TEST_F(LoudnessMeter, MeasuresThePlayedProgrammeOnTheTickWithoutAllocatingOnTheAudioThread)
{
    EXPECT_EQ(meter.Reading().ShortTerm, std::nullopt);
    const std::uint64_t number = meter.ReadingNumber();
    EXPECT_EQ(Play(sine(2, 1.0, -23.0)), 0u);
    EXPECT_EQ(passedOn, (kRate * 2 + 2047) / 2048) << "every buffer goes on down the chain";
    EXPECT_EQ(meter.ReadingNumber(), number) << "nothing is measured on the audio thread";

    ticks.Tick();
    EXPECT_NE(meter.ReadingNumber(), number);
    PlayAndTick(sine(2, 9.0, -23.0));
    EXPECT_NEAR(*meter.Reading().ShortTerm, -23.0, 0.1);
    EXPECT_NEAR(*meter.Reading().Integrated, -23.0, 0.1);
    EXPECT_EQ(meter.DroppedFrames(), 0u);

    // Short-term follows the programme down; integrated counts everything since Start.
    PlayAndTick(sine(2, 4.0, -33.0));
    EXPECT_NEAR(*meter.Reading().ShortTerm, -33.0, 0.1);
    EXPECT_GT(*meter.Reading().Integrated, -27.0);
}

TEST_F(LoudnessMeter, StopBlanksTheShortTermReadingAndStartBeginsAgain)
{
    PlayAndTick(sine(2, 5.0, -23.0));
    meter.Stop();
    EXPECT_EQ(meter.Reading().ShortTerm, std::nullopt);
    EXPECT_NEAR(*meter.Reading().Integrated, -23.0, 0.1) << "the last programme's figure stays readable";
    Play(sine(2, 1.0, -10.0));
    ticks.Tick();
    EXPECT_NEAR(*meter.Reading().Integrated, -23.0, 0.1) << "nothing is measured while stopped";

    meter.Start();
    EXPECT_EQ(meter.Reading().Integrated, std::nullopt);
    PlayAndTick(std::vector<std::int16_t>(4 * 2 * kRate, 0));
    EXPECT_EQ(meter.Reading().ShortTerm, std::nullopt) << "silence reads as no figure";
    EXPECT_EQ(meter.Reading().Integrated, std::nullopt);
}

TEST_F(LoudnessMeter, AQueueLeftUndrainedDropsWholeBuffersAndCountsThem)
{
    // Ten seconds without a tick is far more than the queue holds.
    Play(sine(2, 10.0, -23.0));
    EXPECT_GT(meter.DroppedFrames(), 0u);
    EXPECT_EQ(meter.DroppedFrames() % 1024, kRate * 10 % 1024)
        << "whole buffers of 1024 frames, and the short last one";
    ticks.Tick();
    EXPECT_NEAR(*meter.Reading().Integrated, -23.0, 0.1) << "what was kept is measured";
}
