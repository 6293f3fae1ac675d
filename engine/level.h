#pragma once
// A peak level meter for one channel: measures the peak of a block of samples, turns it into a
// number of lit spots on a dB (or linear) scale with a peak-hold marker, and draws the bar.
//
// Measuring and drawing run on the audio thread that plays the buffers, so nothing here may
// allocate, wait for the user-interface thread or call into a window system. The meter draws
// into its own pixel images and hands each finished frame to the showing side lock-free
// (TMMImageExchange); a view picks frames up and copies them to the screen. Everything the
// audio thread reads is guarded by the canvas lock, which the audio thread only ever tries:
// when the user-interface thread is changing the meter, that one measurement is dropped.
//
// The peak countdown runs on the tick service's thread and touches only the packed peak word
// and the redraw flag, both atomic; the next measurement draws what it changed.

#include "image_exchange.h"
#include "sample_layout.h"
#include "tick_service.h"
#include "wave_format.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class TMMConnector;
class TMMLevel;

enum class TMMLevelKind { lkHorizontal, lkVertical };
enum class TMMDirection { dirNormal, dirReversed, dirSymetric };
enum class TMMChannel { chBoth, chLeft, chRight };
enum class TMMDecayMode { dmNone, dmStepUp, dmExponential, dmUniform };

// Called on the measuring (audio) thread while the meter is being measured: must not block,
// allocate or change the meter.
using TMMLevelEvent = std::function<void(TMMLevel& sender)>;

class TMMLevel {
public:
    static constexpr int kMaxHistory = 128;

    explicit TMMLevel(TMMTickService& ticks = TMMTickService::Global());
    ~TMMLevel();
    TMMLevel(const TMMLevel&) = delete;
    TMMLevel& operator=(const TMMLevel&) = delete;

    // --- Size and visibility (user-interface thread) ---
    // Allocates the images for a control of this size and redraws.
    void SetSize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    // A hidden meter neither measures nor draws; showing it draws its current state.
    void SetVisible(bool value);
    bool Visible() const { return visible_; }

    // --- Properties (user-interface thread) ---
    void SetKind(TMMLevelKind value);
    TMMLevelKind Kind() const { return kind_; }
    void SetDirection(TMMDirection value);
    TMMDirection Direction() const { return direction_; }
    // Clamped 1..a third of the bar length when the bar is laid out.
    void SetSpotWidth(int value);
    int SpotWidth() const { return spotWidth_; }
    void SetSpotSpace(int value); // 0..10
    int SpotSpace() const { return spotSpace_; }
    void SetColor(TMMColor value); // the control's own colour, behind the spots
    TMMColor Color() const { return color_; }
    void SetBar1Color(TMMColor value);
    void SetBar2Color(TMMColor value);
    void SetBar3Color(TMMColor value);
    TMMColor Bar1Color() const { return barColors_[0]; }
    TMMColor Bar2Color() const { return barColors_[1]; }
    TMMColor Bar3Color() const { return barColors_[2]; }
    void SetInactive1Color(TMMColor value);
    void SetInactive2Color(TMMColor value);
    void SetInactive3Color(TMMColor value);
    TMMColor Inactive1Color() const { return inactiveColors_[0]; }
    TMMColor Inactive2Color() const { return inactiveColors_[1]; }
    TMMColor Inactive3Color() const { return inactiveColors_[2]; }
    void SetPoint1(int value); // 1..100 per cent of the bar
    void SetPoint2(int value);
    int Point1() const { return point1_; }
    int Point2() const { return point2_; }
    void SetBitLength(TMMBits value);
    TMMBits BitLength() const { return bitLength_; }
    void SetChannel(TMMChannel value);
    TMMChannel Channel() const { return channel_; }
    void SetMode(TMMMode value);
    TMMMode Mode() const { return mode_; }
    void SetGain(int value); // -8..32; other values are ignored
    int Gain() const { return gain_; }
    void SetSamples(int value); // frames measured per update, at least 1
    int Samples() const { return samples_; }
    void SetSensitivy(int value); // -90..-9 dB
    int Sensitivy() const { return sensitivy_; }
    void SetLogAmp(bool value);
    bool LogAmp() const { return logAmp_; }
    void SetNumPeaks(int value); // 0..5
    int NumPeaks() const { return numPeaks_; }
    void SetPeakDelay(int value); // 0..50
    int PeakDelay() const { return peakDelay_; }
    void SetPeakSpeed(int value); // 0..50
    int PeakSpeed() const { return peakSpeed_.load(std::memory_order_relaxed); }
    void SetDecayMode(TMMDecayMode value);
    TMMDecayMode DecayMode() const { return decayMode_; }
    void SetDecay(int value); // 1..64
    int Decay() const { return decay_; }
    void SetDCOffsetL(int value);
    void SetDCOffsetR(int value);
    int DCOffsetL() const { return dcOffsetL_; }
    int DCOffsetR() const { return dcOffsetR_; }
    // A disabled meter stops its peak countdown and shows the inactive bar.
    void SetEnabled(bool value);
    bool Enabled() const { return enabled_; }

    TMMLevelEvent OnPcmOverflow;
    TMMLevelEvent OnGainOverflow;

    // --- Derived state ---
    // Bytes of one measured block: (BitLength + 1) x channels x Samples. Any thread.
    int BlockSize() const { return blockSize_.load(std::memory_order_relaxed); }
    int SpotCount() const { return spotCount_; }
    int FirstSpotOffset() const { return firstSpotOffset_; }
    int Zone1() const { return zone1_; }
    int Zone2() const { return zone2_; }
    int HistoryLength() const { return historyLength_; }
    double DecayCoefficient() const { return decayCoefficient_; }
    // Spots lit now, the peak marker's spot and its remaining ticks.
    int Spots() const { return shown_.load(std::memory_order_relaxed); }
    int PeakSpot() const { return static_cast<int>(peakWord_.load(std::memory_order_relaxed) >> 16); }
    int PeakCountdown() const { return static_cast<int>(peakWord_.load(std::memory_order_relaxed) & 0xffff); }

    // --- Operations ---
    // Takes BitLength and Mode from a PCM format; anything else throws EMMLevelError (62).
    void ConfigureFromFormat(const TWaveFormatEx* format);
    // Measures the first Samples frames of the block (fewer if the block is shorter) and draws
    // when the display changed. On the audio thread.
    void Measure(const void* data, int bytes);
    // Peak, countdown, lit spots and history to zero; shows the inactive bar.
    void Clear();

    // --- Showing side (user-interface thread) ---
    // Takes the newest drawn frame, if any was drawn since the last call.
    bool AcquireFrame() { return images_.Acquire(); }
    TMMImageView Frame() const { return images_.Front(); }

private:
    friend class TMMConnector;

    // One tick of the peak countdown, on the tick service's thread.
    void PeakTick();
    // Levels are 64-bit so that any DC offset can be added without overflow.
    std::int64_t PeakOf(const void* data, int bytes) const;
    std::int64_t Decayed(std::int64_t c);
    int SpotsFor(std::int64_t c) const;
    // Level of the spot at a position, counted from where the bar starts to light.
    int LevelAt(int position) const;
    // 0, 1 or 2: the colour zone of a spot level.
    int ZoneOf(int level) const;
    void FillSpot(TMMColor* image, int position, TMMColor color) const;

    // Stores a property value under the canvas lock; a change to the look redraws the bar.
    template <class T>
    void Store(T& field, T value, bool relayout);

    // The callers hold the canvas lock.
    void Layout();
    void BuildBackground();
    void Draw();
    void ResetHistory();
    void UpdateBlockSize();
    void ClearState();
    void RelayoutAndDraw();
    void UpdateTickClient();

    void AddHolder(TMMConnector* connector);
    void RemoveHolder(TMMConnector* connector);

    // Serialises measuring, drawing and property changes; the audio thread only tries it.
    std::mutex canvasLock_;

    int width_ = 0;
    int height_ = 0;
    bool visible_ = true;
    TMMLevelKind kind_ = TMMLevelKind::lkHorizontal;
    TMMDirection direction_ = TMMDirection::dirNormal;
    int spotWidth_ = 1;
    int spotSpace_ = 1;
    TMMColor color_ = mmRgb(0, 0, 0);
    std::array<TMMColor, 3> barColors_{mmRgb(0, 255, 255), mmRgb(0, 255, 255), mmRgb(255, 0, 0)};
    std::array<TMMColor, 3> inactiveColors_{mmRgb(0, 128, 128), mmRgb(0, 128, 128), mmRgb(128, 0, 0)};
    int point1_ = 50;
    int point2_ = 85;
    TMMBits bitLength_ = TMMBits::b8Bit;
    TMMChannel channel_ = TMMChannel::chBoth;
    TMMMode mode_ = TMMMode::mMono;
    int gain_ = 0;
    int samples_ = 50;
    int sensitivy_ = -35;
    bool logAmp_ = true;
    int numPeaks_ = 1;
    int peakDelay_ = 20;
    std::atomic<int> peakSpeed_{0};
    TMMDecayMode decayMode_ = TMMDecayMode::dmNone;
    int decay_ = 1;
    int dcOffsetL_ = 0;
    int dcOffsetR_ = 0;
    bool enabled_ = true;

    // Bar layout, from the size and the spot properties.
    int barLength_ = 0;
    int effectiveSpotWidth_ = 1;
    int spotCount_ = 1;
    int firstSpotOffset_ = 0;
    int zone1_ = 0;
    int zone2_ = 0;
    std::atomic<int> blockSize_{0};

    // Measurement state.
    std::atomic<int> shown_{0}; // written while measuring, read by the window
    // Peak spot in the high half, countdown ticks in the low half: one word, so that the tick
    // thread and the audio thread always see the two together.
    std::atomic<std::uint32_t> peakWord_{0};
    std::atomic<bool> redraw_{false};
    std::array<std::int64_t, kMaxHistory> history_{};
    int historyLength_ = 1;
    int historyPosition_ = 0;
    int historyCount_ = 0;
    std::int64_t historySum_ = 0;
    double held_ = 0.0;
    double decayCoefficient_ = 0.0001;

    std::vector<TMMColor> background_;
    TMMImageExchange images_;

    // The connectors whose slots hold this meter; told when it goes away.
    std::vector<TMMConnector*> holders_;

    // Last member: removed from the tick service before anything it touches goes away.
    TMMTickClient tickClient_;
};
