// Linking, format propagation, buffer sizes and lifecycle walks of a chain of streaming
// components.

#include "dsp_component.h"
#include "sound_component.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

// Records every lifecycle operation it receives, then does the base operation.
template <class Base>
class Recorder : public Base {
public:
    Recorder(std::string name, Log& log) : name_(std::move(name)), log_(log) {}

    void Open() override
    {
        note("Open");
        Base::Open();
    }
    void Close() override
    {
        note("Close");
        Base::Close();
    }
    void Start() override
    {
        note("Start");
        Base::Start();
    }
    void Pause() override
    {
        note("Pause");
        Base::Pause();
    }
    void Restart() override
    {
        note("Restart");
        Base::Restart();
    }
    void Stop() override
    {
        note("Stop");
        Base::Stop();
    }
    void Reset() override
    {
        note("Reset");
        Base::Reset();
    }

    const std::string& name() const { return name_; }

private:
    void note(const char* op) { log_.push_back(name_ + "." + op); }
    std::string name_;
    Log& log_;
};

class Plain : public Recorder<TMMDSPComponent> {
public:
    using Recorder::Recorder;
};

class Device : public Recorder<TMMCustomSoundComponent> {
public:
    Device(std::string name, Log& log, bool hasInputSide = true) : Recorder(std::move(name), log), input_(hasInputSide)
    {
    }
    bool HasInputSide() const override { return input_; }
    void SetNumBuffers(int) override {}
    int GetNumBuffers() const override { return 8; }
    void SetDeviceID(TMMDeviceId) override {}
    TMMDeviceId GetDeviceID() const override { return MapperId; }
    std::string GetProductName() const override { return "test device"; }
    void SetCallBackMode(TMMCBMode) override {}
    TMMCBMode GetCallBackMode() const override { return TMMCBMode::cmThread; }

private:
    bool input_;
};

const TWaveFormatEx kCd = pcmWaveFormat(16, 2, 44100);

} // namespace

TEST(Linking, SettingOutputTakesTheTargetAwayFromItsFormerInput)
{
    Log log;
    Plain a("A", log), b("B", log), c("C", log);
    c.SetOutput(&b);
    ASSERT_EQ(b.GetInput(), &c);

    a.SetOutput(&b);
    EXPECT_EQ(a.GetOutput(), &b);
    EXPECT_EQ(b.GetInput(), &a);
    EXPECT_EQ(c.GetOutput(), nullptr);

    // Relinking the other way round keeps the pairs consistent too.
    c.SetInput(&a);
    EXPECT_EQ(a.GetOutput(), &c);
    EXPECT_EQ(c.GetInput(), &a);
    EXPECT_EQ(b.GetInput(), nullptr);

    c.SetInput(nullptr);
    EXPECT_EQ(a.GetOutput(), nullptr);
    EXPECT_EQ(c.GetInput(), nullptr);
}

TEST(Linking, SelfLinksCyclesAndMissingSidesAreIgnored)
{
    Log log;
    Plain a("A", log), b("B", log), c("C", log);
    Device head("wi", log, /*hasInputSide=*/false);
    a.SetOutput(&b);
    b.SetOutput(&c);

    a.SetOutput(&a);
    a.SetInput(&a);
    EXPECT_EQ(a.GetOutput(), &b);
    EXPECT_EQ(a.GetInput(), nullptr);

    a.SetInput(&c); // c is downstream of a: a cycle
    c.SetOutput(&a);
    EXPECT_EQ(a.GetInput(), nullptr);
    EXPECT_EQ(c.GetOutput(), nullptr);

    head.SetInput(&c); // the wave input has no input side
    EXPECT_EQ(head.GetInput(), nullptr);
    EXPECT_EQ(c.GetOutput(), nullptr);

    a.SetInput(&head); // but it may feed others
    EXPECT_EQ(a.GetInput(), &head);
    EXPECT_EQ(head.GetOutput(), &a);
    EXPECT_TRUE(log.empty() || log.back().find("Open") == std::string::npos);
}

TEST(Linking, DestroyingALinkedComponentClearsItsPartners)
{
    Log log;
    Plain a("A", log), c("C", log);
    const int before = liveComponentCount();
    {
        Plain b("B", log);
        a.SetOutput(&b);
        b.SetOutput(&c);
        EXPECT_EQ(liveComponentCount(), before + 1);
    }
    EXPECT_EQ(a.GetOutput(), nullptr);
    EXPECT_EQ(c.GetInput(), nullptr);
    EXPECT_EQ(liveComponentCount(), before);
}

TEST(FormatPropagation, HeadFormatReachesTheEndOfAChainOfFive)
{
    Log log;
    std::vector<std::unique_ptr<Plain>> chain;
    for (int i = 0; i < 5; ++i)
        chain.push_back(std::make_unique<Plain>("P" + std::to_string(i), log));
    for (int i = 0; i < 4; ++i)
        chain[i]->SetOutput(chain[i + 1].get());

    chain[0]->SetWaveFormat(&kCd);
    for (const auto& c : chain) {
        ASSERT_NE(c->WaveFormat(), nullptr);
        EXPECT_EQ(c->WaveFormat()->SamplesPerSec, 44100u);
        EXPECT_EQ(c->WaveFormat()->BlockAlign, 4);
    }
    // Each keeps a copy of its own.
    EXPECT_NE(chain[1]->WaveFormat(), chain[0]->WaveFormat());

    // Unlinking the middle leaves the tail without a format.
    chain[2]->SetInput(nullptr);
    EXPECT_EQ(chain[2]->WaveFormat(), nullptr);
    EXPECT_EQ(chain[4]->WaveFormat(), nullptr);
    EXPECT_NE(chain[1]->WaveFormat(), nullptr);

    // Relinking brings the upstream format along.
    chain[1]->SetOutput(chain[2].get());
    EXPECT_NE(chain[4]->WaveFormat(), nullptr);
}

TEST(FormatPropagation, LinksMadeWhileLoadingAreServedWhenLoadingEnds)
{
    Log log;
    Plain a("A", log), b("B", log), c("C", log);
    for (auto* p : {&a, &b, &c})
        p->BeginLoading();
    a.SetWaveFormat(&kCd);
    a.SetOutput(&b);
    b.SetOutput(&c);
    EXPECT_EQ(c.WaveFormat(), nullptr);
    for (auto* p : {&a, &b, &c})
        p->Loaded();
    ASSERT_NE(c.WaveFormat(), nullptr);
    EXPECT_EQ(c.WaveFormat()->Channels, 2);
}

TEST(FormatPropagation, ValidPcmRule)
{
    EXPECT_TRUE(isValidPcm(&kCd));
    const TWaveFormatEx valid[] = {pcmWaveFormat(8, 1, 4000), pcmWaveFormat(16, 4, 100000)};
    for (const auto& f : valid)
        EXPECT_TRUE(isValidPcm(&f));
    TWaveFormatEx compressed = kCd;
    compressed.FormatTag = 2;
    const TWaveFormatEx invalid[] = {pcmWaveFormat(24, 2, 44100), pcmWaveFormat(16, 3, 44100),
                                     pcmWaveFormat(16, 2, 3999), pcmWaveFormat(16, 2, 100001), compressed};
    for (const auto& f : invalid)
        EXPECT_FALSE(isValidPcm(&f));
    EXPECT_FALSE(isValidPcm(nullptr));
    EXPECT_EQ(kCd.AvgBytesPerSec, 176400u);
}

TEST(FormatPropagation, CopiesOfPcmDropExtraBytesOthersKeepThem)
{
    struct {
        TWaveFormatEx head;
        unsigned char extra[4];
    } adpcm{kCd, {1, 2, 3, 4}};
    adpcm.head.FormatTag = 2;
    adpcm.head.ExtraSize = 4;
    const OwnedWaveFormat copy(&adpcm.head);
    EXPECT_EQ(waveFormatSize(*copy.get()), 22u);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(copy.get())[21], 4);

    TWaveFormatEx pcm = kCd;
    pcm.ExtraSize = 12;
    EXPECT_EQ(OwnedWaveFormat(&pcm)->ExtraSize, 0);
}

TEST(BufferSize, RealSizeHoldsWholeFramesAndAtLeastOne)
{
    Log log;
    Plain p("P", log);
    p.SetWaveFormat(&kCd);
    for (const auto& [configured, real] : std::vector<std::pair<int, int>>{{4096, 4096}, {4097, 4096}, {2, 4}}) {
        p.SetBufferSize(configured);
        p.Open();
        EXPECT_EQ(p.GetBufferSize(), real) << configured;
        p.Close();
        EXPECT_EQ(p.GetBufferSize(), configured);
    }

    Plain noFormat("N", log);
    noFormat.SetBufferSize(4097);
    noFormat.Open();
    EXPECT_EQ(noFormat.GetBufferSize(), 4097);
}

// The program's chain: input device, ring buffer, plug-in host, output device, connector.
class ProgramChain : public ::testing::Test {
protected:
    void SetUp() override
    {
        wi.SetOutput(&ring);
        ring.SetOutput(&host);
        host.SetOutput(&wo);
        wo.SetOutput(&conn);
        wi.SetWaveFormat(&kCd);
        log.clear();
    }

    Log log;
    Device wi{"wi", log, false};
    Plain ring{"ring", log};
    Plain host{"host", log};
    Device wo{"wo", log};
    Plain conn{"conn", log};
};

TEST_F(ProgramChain, OpeningFromTheInputWalksHeadFirstWithTheInputBufferSize)
{
    wi.SetBufferSize(4096);
    wo.SetBufferSize(8192);
    conn.SetBufferSize(100);
    wi.Open();
    EXPECT_EQ(log, (Log{"wi.Open", "ring.Open", "host.Open", "wo.Open", "conn.Open"}));
    EXPECT_EQ(wo.GetBufferSize(), 4096);
    EXPECT_EQ(ring.GetBufferSize(), 4096);
    EXPECT_EQ(conn.GetBufferSize(), 4096);
    EXPECT_TRUE(wo.HasSoundInput());
    EXPECT_FALSE(wi.HasSoundInput());
    for (TMMDSPComponent* c : std::initializer_list<TMMDSPComponent*>{&wi, &ring, &host, &wo, &conn})
        EXPECT_TRUE(c->Opened());

    log.clear();
    wi.Start();
    EXPECT_EQ(log, (Log{"wi.Start", "ring.Start", "host.Start", "wo.Start", "conn.Start"}));
    EXPECT_TRUE(conn.Started());
}

TEST_F(ProgramChain, StoppingAndClosingWalkTheOutputSideFirst)
{
    wi.Open();
    wi.Start();
    log.clear();
    wi.Stop();
    EXPECT_EQ(log, (Log{"wi.Stop", "wo.Stop", "conn.Stop", "ring.Stop", "host.Stop"}));
    EXPECT_TRUE(wo.Opened());
    EXPECT_FALSE(wo.Started());

    log.clear();
    wi.Close();
    EXPECT_EQ(log, (Log{"wi.Close", "wo.Close", "conn.Close", "ring.Close", "host.Close"}));
    for (TMMDSPComponent* c : std::initializer_list<TMMDSPComponent*>{&wi, &ring, &host, &wo, &conn})
        EXPECT_FALSE(c->Opened());
}

TEST_F(ProgramChain, PauseRestartAndResetWalkHeadFirst)
{
    wi.Open();
    wi.Start();
    for (auto op : {&TMMDSPComponent::Pause, &TMMDSPComponent::Restart, &TMMDSPComponent::Reset}) {
        log.clear();
        (wi.*op)();
        ASSERT_EQ(log.size(), 5u);
        EXPECT_EQ(log[0].substr(0, 3), "wi.");
        EXPECT_EQ(log[3].substr(0, 3), "wo.");
        EXPECT_EQ(log[4].substr(0, 5), "conn.");
    }
}

TEST_F(ProgramChain, OpeningTheOutputAloneTakesOnlyItsOwnPartOfTheChain)
{
    wo.SetBufferSize(8192);
    wo.Open();
    EXPECT_EQ(log, (Log{"wo.Open", "conn.Open"}));
    EXPECT_TRUE(wo.HasSoundInput());
    EXPECT_EQ(conn.GetBufferSize(), 8192);
    EXPECT_FALSE(ring.Opened());
}

TEST_F(ProgramChain, ADeviceWithNoDeviceUpstreamStartsTheWalkAtTheHead)
{
    Log own;
    Plain source("source", own);
    Plain effect("effect", own);
    Device out("out", own);
    source.SetOutput(&effect);
    effect.SetOutput(&out);
    own.clear();
    out.Open();
    EXPECT_EQ(own, (Log{"out.Open", "source.Open", "effect.Open"}));
    EXPECT_TRUE(source.Opened());
    EXPECT_FALSE(out.HasSoundInput());
}

TEST(PushAndPull, BuffersTravelThroughNeighboursOnTheCallingThread)
{
    Log log;
    Plain a("A", log), b("B", log), c("C", log);
    a.SetOutput(&b);
    b.SetOutput(&c);

    std::vector<std::string> seen;
    b.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr* h) {
        h->BytesRecorded = 100;
        seen.push_back("b ready");
    };
    c.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr* h) {
        seen.push_back("c got " + std::to_string(h->BytesRecorded));
    };
    TMMWaveHdr header{};
    header.BytesRecorded = 4096;
    a.BufferReady(&header);
    EXPECT_EQ(seen, (std::vector<std::string>{"b ready", "c got 100"}));

    // A pull reaches the head; with nothing upstream the record stays as it was.
    seen.clear();
    a.OnBufferLoad = [&](TMMDSPComponent*, TMMWaveHdr* h, bool& more) {
        h->BytesRecorded = h->BufferLength;
        more = false;
        seen.push_back("a filled");
    };
    TMMWaveHdr pull{};
    pull.BufferLength = 512;
    bool more = true;
    c.BufferLoad(&pull, more);
    EXPECT_EQ(seen, (std::vector<std::string>{"a filled"}));
    EXPECT_EQ(pull.BytesRecorded, 512u);
    EXPECT_FALSE(more);
}

TEST(PushAndPull, ChangingSizeOrFormatOfAStartedComponentStopsIt)
{
    Log log;
    Plain p("P", log);
    p.Open();
    p.Start();
    p.SetBufferSize(1024);
    EXPECT_FALSE(p.Started());
    p.Start();
    p.SetWaveFormat(&kCd);
    EXPECT_FALSE(p.Started());
    EXPECT_EQ(log, (Log{"P.Open", "P.Start", "P.Stop", "P.Start", "P.Stop"}));
}
