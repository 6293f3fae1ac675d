#include "level.h"

#include "connector.h"
#include "errors.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr double kFullScale = 32767.0;
// Floor of the dB computation: -120 dB, far below any sensitivity.
constexpr double kSilenceFloor = 0.000001;

int channelsOf(TMMMode mode)
{
    switch (mode) {
    case TMMMode::mMono: return 1;
    case TMMMode::mStereo: return 2;
    case TMMMode::mQuadro:
    case TMMMode::mMultiChannel: return 4;
    }
    return 1;
}

} // namespace

TMMLevel::TMMLevel(TMMTickService& ticks) : tickClient_(ticks, TMMTickService::kTickPeriod, [this] { PeakTick(); })
{
    Layout();
    UpdateBlockSize();
}

TMMLevel::~TMMLevel()
{
    for (TMMConnector* connector : holders_)
        connector->LevelDestroyed(this);
}

template <class T>
void TMMLevel::Store(T& field, T value, bool relayout)
{
    std::lock_guard guard(canvasLock_);
    if (field == value)
        return;
    field = value;
    UpdateBlockSize();
    if (relayout)
        RelayoutAndDraw();
}

void TMMLevel::SetSize(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    std::lock_guard guard(canvasLock_);
    if (width == width_ && height == height_)
        return;
    width_ = width;
    height_ = height;
    images_.Resize(width, height);
    background_.assign(static_cast<std::size_t>(width) * height, color_);
    RelayoutAndDraw();
}

void TMMLevel::SetVisible(bool value)
{
    std::lock_guard guard(canvasLock_);
    visible_ = value;
    Draw();
}

void TMMLevel::SetKind(TMMLevelKind value)
{
    Store(kind_, value, true);
}
void TMMLevel::SetDirection(TMMDirection value)
{
    Store(direction_, value, true);
}
void TMMLevel::SetSpotWidth(int value)
{
    Store(spotWidth_, std::max(value, 1), true);
}
void TMMLevel::SetSpotSpace(int value)
{
    Store(spotSpace_, std::clamp(value, 0, 10), true);
}
void TMMLevel::SetColor(TMMColor value)
{
    Store(color_, value, true);
}
void TMMLevel::SetBar1Color(TMMColor value)
{
    Store(barColors_[0], value, true);
}
void TMMLevel::SetBar2Color(TMMColor value)
{
    Store(barColors_[1], value, true);
}
void TMMLevel::SetBar3Color(TMMColor value)
{
    Store(barColors_[2], value, true);
}
void TMMLevel::SetInactive1Color(TMMColor value)
{
    Store(inactiveColors_[0], value, true);
}
void TMMLevel::SetInactive2Color(TMMColor value)
{
    Store(inactiveColors_[1], value, true);
}
void TMMLevel::SetInactive3Color(TMMColor value)
{
    Store(inactiveColors_[2], value, true);
}
void TMMLevel::SetPoint1(int value)
{
    Store(point1_, std::clamp(value, 1, 100), true);
}
void TMMLevel::SetPoint2(int value)
{
    Store(point2_, std::clamp(value, 1, 100), true);
}
void TMMLevel::SetBitLength(TMMBits value)
{
    Store(bitLength_, value, false);
}
void TMMLevel::SetChannel(TMMChannel value)
{
    Store(channel_, value, false);
}
void TMMLevel::SetMode(TMMMode value)
{
    Store(mode_, value, false);
}
void TMMLevel::SetSamples(int value)
{
    Store(samples_, std::max(value, 1), false);
}
void TMMLevel::SetSensitivy(int value)
{
    Store(sensitivy_, std::clamp(value, -90, -9), false);
}
void TMMLevel::SetLogAmp(bool value)
{
    Store(logAmp_, value, false);
}
void TMMLevel::SetPeakDelay(int value)
{
    Store(peakDelay_, std::clamp(value, 0, 50), false);
}
void TMMLevel::SetDecayMode(TMMDecayMode value)
{
    Store(decayMode_, value, false);
}
void TMMLevel::SetDCOffsetL(int value)
{
    Store(dcOffsetL_, value, false);
}
void TMMLevel::SetDCOffsetR(int value)
{
    Store(dcOffsetR_, value, false);
}

void TMMLevel::SetGain(int value)
{
    if (value >= -8 && value <= 32)
        Store(gain_, value, false);
}

void TMMLevel::SetPeakSpeed(int value)
{
    peakSpeed_.store(std::clamp(value, 0, 50), std::memory_order_relaxed);
}

void TMMLevel::SetNumPeaks(int value)
{
    // The marker appears or goes at once.
    Store(numPeaks_, std::clamp(value, 0, 5), true);
    UpdateTickClient();
}

void TMMLevel::SetDecay(int value)
{
    value = std::clamp(value, 1, 64);
    std::lock_guard guard(canvasLock_);
    if (value == decay_)
        return;
    decay_ = value;
    historyLength_ = std::clamp(2 * decay_ - 2, 1, kMaxHistory);
    decayCoefficient_ = 0.0001;
    for (int i = 0; i < decay_; ++i)
        decayCoefficient_ = std::sqrt(decayCoefficient_);
    ResetHistory();
}

void TMMLevel::SetEnabled(bool value)
{
    {
        std::lock_guard guard(canvasLock_);
        if (value == enabled_)
            return;
        enabled_ = value;
        if (!enabled_) {
            ClearState();
            Draw();
        }
    }
    UpdateTickClient();
}

void TMMLevel::UpdateTickClient()
{
    if (enabled_ && numPeaks_ > 0)
        tickClient_.Resume();
    else
        tickClient_.Suspend();
}

void TMMLevel::UpdateBlockSize()
{
    blockSize_.store((static_cast<int>(bitLength_) + 1) * channelsOf(mode_) * samples_, std::memory_order_relaxed);
}

void TMMLevel::ConfigureFromFormat(const TWaveFormatEx* format)
{
    if (!isValidPcm(format))
        throw EMMLevelError(MMErrorText(kErrInvalidWaveFormat));
    std::lock_guard guard(canvasLock_);
    bitLength_ = format->BitsPerSample == 8 ? TMMBits::b8Bit : TMMBits::b16Bit;
    mode_ = format->Channels == 1 ? TMMMode::mMono : format->Channels == 2 ? TMMMode::mStereo : TMMMode::mQuadro;
    UpdateBlockSize();
}

std::int64_t TMMLevel::PeakOf(const void* data, int bytes) const
{
    const int sampleBytes = bitLength_ == TMMBits::b16Bit ? 2 : 1;
    const int channels = channelsOf(mode_);
    const int frameBytes = sampleBytes * channels;
    if (!data || bytes < frameBytes)
        return 0;
    const int frames = std::min(samples_, bytes / frameBytes);
    const auto* frame = static_cast<const unsigned char*>(data);

    // A sample in 16-bit units: 8-bit data is unsigned around 128.
    auto sample = [sampleBytes](const unsigned char* at) -> std::int64_t {
        if (sampleBytes == 1)
            return (static_cast<std::int64_t>(*at) - 128) * 256;
        std::int16_t value;
        std::memcpy(&value, at, sizeof value);
        return value;
    };

    std::int64_t peak = 0;
    for (int f = 0; f < frames; ++f, frame += frameBytes) {
        const std::int64_t left = sample(frame) + dcOffsetL_;
        std::int64_t value = left;
        if (channels > 1) {
            const std::int64_t right = sample(frame + sampleBytes) + dcOffsetR_;
            if (channel_ == TMMChannel::chRight)
                value = right;
            else if (channel_ == TMMChannel::chBoth)
                value = (left + right) / 2; // truncated toward zero
        }
        peak = std::max(peak, value < 0 ? -value : value);
    }
    return peak;
}

std::int64_t TMMLevel::Decayed(std::int64_t c)
{
    if (decayMode_ == TMMDecayMode::dmNone)
        return c;
    historyPosition_ = (historyPosition_ + 1) % historyLength_;
    historyCount_ = std::min(historyCount_ + 1, historyLength_);
    const double k = decayCoefficient_;
    switch (decayMode_) {
    case TMMDecayMode::dmStepUp:
        held_ *= k;
        if (static_cast<double>(c) > held_)
            held_ = static_cast<double>(c);
        else
            c = std::llround(held_);
        break;
    case TMMDecayMode::dmExponential:
        held_ = held_ * k + (1.0 - k) * static_cast<double>(c);
        c = static_cast<std::int64_t>(std::floor(held_));
        break;
    case TMMDecayMode::dmUniform:
        historySum_ += c - history_[historyPosition_];
        history_[historyPosition_] = c;
        c = historySum_ / historyCount_;
        break;
    case TMMDecayMode::dmNone: break;
    }
    return c;
}

int TMMLevel::SpotsFor(std::int64_t c) const
{
    const double g = static_cast<double>(c * (gain_ + 8) / 8);
    const double n = spotCount_;
    const double sensitivity = sensitivy_;
    double spots;
    if (logAmp_) {
        // Rounded to single precision so that levels a hair off a spot boundary land the same
        // way on every machine.
        const float db = static_cast<float>(20.0 * std::log10(std::max(g / kFullScale, kSilenceFloor)));
        spots = std::round((static_cast<double>(db) - sensitivity) * n / -sensitivity);
    } else {
        const double threshold = kFullScale / std::pow(10.0, -sensitivity / 20.0);
        spots = std::round((g - threshold) * n / (kFullScale - threshold));
    }
    return static_cast<int>(std::clamp(spots, 0.0, static_cast<double>(std::numeric_limits<int>::max())));
}

void TMMLevel::Measure(const void* data, int bytes)
{
    std::unique_lock guard(canvasLock_, std::try_to_lock);
    if (!guard.owns_lock() || !enabled_ || !visible_)
        return;

    const std::int64_t peak = PeakOf(data, bytes);
    if (peak >= 32767 && OnPcmOverflow)
        OnPcmOverflow(*this);

    // Silence shows no spots; it still goes on to the peak and draw steps, so that a bar lit
    // by the last burst goes dark and an expired peak marker disappears.
    int spots = peak > 0 ? SpotsFor(Decayed(peak)) : 0;
    if (direction_ == TMMDirection::dirSymetric)
        spots /= 2;
    if (spots > spotCount_) {
        if (OnGainOverflow)
            OnGainOverflow(*this);
        spots = spotCount_;
    }

    if (spots > 0 && numPeaks_ > 0 && spots >= PeakSpot()) {
        peakWord_.store(static_cast<std::uint32_t>(spots) << 16 | static_cast<std::uint32_t>(peakDelay_ * 2 + 1),
                        std::memory_order_relaxed);
        redraw_.store(true, std::memory_order_relaxed);
    }
    const bool redraw = redraw_.exchange(false, std::memory_order_relaxed);
    if (spots == Spots() && !redraw)
        return;
    shown_.store(spots, std::memory_order_relaxed);
    Draw();
}

void TMMLevel::PeakTick()
{
    std::uint32_t word = peakWord_.load(std::memory_order_relaxed);
    for (;;) {
        const std::uint32_t peak = word >> 16;
        const std::uint32_t countdown = word & 0xffff;
        if (peak == 0)
            return;
        std::uint32_t next;
        const bool expired = countdown <= 1;
        if (!expired) {
            next = peak << 16 | (countdown - 1);
        } else if (const int speed = PeakSpeed(); speed > 0 && peak > 1) {
            next = (peak - 1) << 16 | static_cast<std::uint32_t>(speed);
        } else {
            next = 0;
        }
        // A measurement may have raised the peak meanwhile; then count from its value.
        if (peakWord_.compare_exchange_weak(word, next, std::memory_order_relaxed)) {
            if (expired)
                redraw_.store(true, std::memory_order_relaxed);
            return;
        }
    }
}

void TMMLevel::Clear()
{
    std::lock_guard guard(canvasLock_);
    ClearState();
    Draw();
}

void TMMLevel::ClearState()
{
    peakWord_.store(0, std::memory_order_relaxed);
    redraw_.store(false, std::memory_order_relaxed);
    shown_.store(0, std::memory_order_relaxed);
    held_ = 0.0;
    ResetHistory();
}

void TMMLevel::ResetHistory()
{
    history_.fill(0);
    historyPosition_ = 0;
    historyCount_ = 0;
    historySum_ = 0;
}

void TMMLevel::Layout()
{
    barLength_ = kind_ == TMMLevelKind::lkHorizontal ? width_ : height_;
    effectiveSpotWidth_ = std::clamp(spotWidth_, 1, std::max(barLength_ / 3, 1));
    const int step = effectiveSpotWidth_ + spotSpace_;
    spotCount_ = std::max((barLength_ + spotSpace_) / step, 1);
    firstSpotOffset_ = (spotSpace_ + barLength_ - spotCount_ * step) / 2;
    zone1_ = point1_ * spotCount_ / 100;
    zone2_ = point2_ * spotCount_ / 100;
}

int TMMLevel::LevelAt(int position) const
{
    switch (direction_) {
    case TMMDirection::dirNormal: return position + 1;
    case TMMDirection::dirReversed: return spotCount_ - position;
    case TMMDirection::dirSymetric: {
        // Spots light outwards from the centre, the same level on both sides.
        const int distance = std::abs(2 * position - (spotCount_ - 1));
        return std::max((distance + 1) / 2, 1);
    }
    }
    return position + 1;
}

int TMMLevel::ZoneOf(int level) const
{
    // A symmetric bar reaches full scale at half the spots on each side.
    const int along = direction_ == TMMDirection::dirSymetric ? 2 * level : level;
    return along <= zone1_ ? 0 : along <= zone2_ ? 1 : 2;
}

void TMMLevel::FillSpot(TMMColor* image, int position, TMMColor color) const
{
    const int start = std::max(firstSpotOffset_ + position * (effectiveSpotWidth_ + spotSpace_), 0);
    const int end = std::min(start + effectiveSpotWidth_, barLength_);
    if (start >= end)
        return;
    if (kind_ == TMMLevelKind::lkHorizontal) {
        for (int y = 0; y < height_; ++y)
            std::fill(image + y * width_ + start, image + y * width_ + end, color);
    } else {
        // Vertical bars start at the bottom.
        for (int along = start; along < end; ++along) {
            TMMColor* row = image + (height_ - 1 - along) * width_;
            std::fill(row, row + width_, color);
        }
    }
}

void TMMLevel::BuildBackground()
{
    std::fill(background_.begin(), background_.end(), color_);
    if (background_.empty())
        return;
    for (int position = 0; position < spotCount_; ++position)
        FillSpot(background_.data(), position, inactiveColors_[ZoneOf(LevelAt(position))]);
}

void TMMLevel::Draw()
{
    if (!visible_ || images_.Empty())
        return;
    TMMColor* image = images_.Back();
    std::copy(background_.begin(), background_.end(), image);
    const int peak = PeakSpot();
    const int shown = Spots();
    const bool marker = numPeaks_ > 0 && peak > shown;
    for (int position = 0; position < spotCount_; ++position) {
        const int level = LevelAt(position);
        const bool lit = level <= shown || (marker && level <= peak && level > peak - numPeaks_);
        if (lit)
            FillSpot(image, position, barColors_[ZoneOf(level)]);
    }
    images_.Publish();
}

void TMMLevel::RelayoutAndDraw()
{
    Layout();
    BuildBackground();
    Draw();
}

void TMMLevel::AddHolder(TMMConnector* connector)
{
    if (std::find(holders_.begin(), holders_.end(), connector) == holders_.end())
        holders_.push_back(connector);
}

void TMMLevel::RemoveHolder(TMMConnector* connector)
{
    holders_.erase(std::remove(holders_.begin(), holders_.end(), connector), holders_.end());
}
