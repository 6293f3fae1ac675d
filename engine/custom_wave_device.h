#pragma once
// What the wave input and the wave output share: device selection, the route a device's
// notifications take (main thread or the component's own device thread, by CallBackMode), the
// device thread itself, the error routine with its "Call:" LF CR text messages, the bounded
// waits of open, stop and close, the course of a stop and a close with the stop a buffer handler
// asks for completed later on the main thread, and the device position extended across 32-bit
// wraps.

#include "allocator.h"
#include "dsp_thread.h"
#include "errors.h"
#include "message_window.h"
#include "sound_component.h"

#include "platform/main_dispatcher.h"
#include "platform/wave/wave_service.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

enum class TMMTimeFormats { tfMillisecond, tfByte, tfSample };

// The engine's buffer record starts with the device's buffer header, field for field.
static_assert(offsetof(TMMWaveHdr, Data) == offsetof(qex::platform::wave::WaveHdr, Data));
static_assert(offsetof(TMMWaveHdr, BufferLength) == offsetof(qex::platform::wave::WaveHdr, BufferLength));
static_assert(offsetof(TMMWaveHdr, BytesRecorded) == offsetof(qex::platform::wave::WaveHdr, BytesRecorded));
static_assert(offsetof(TMMWaveHdr, User) == offsetof(qex::platform::wave::WaveHdr, User));
static_assert(offsetof(TMMWaveHdr, DeviceFlags) == offsetof(qex::platform::wave::WaveHdr, Flags));
static_assert(offsetof(TMMWaveHdr, Loops) == offsetof(qex::platform::wave::WaveHdr, Loops));
static_assert(offsetof(TMMWaveHdr, Next) == offsetof(qex::platform::wave::WaveHdr, Next));
static_assert(offsetof(TMMWaveHdr, Reserved) == offsetof(qex::platform::wave::WaveHdr, Reserved));
static_assert(WHDR_DONE == qex::platform::wave::kHeaderDone && WHDR_PREPARED == qex::platform::wave::kHeaderPrepared);
static_assert(sizeof(TWaveFormatEx) == sizeof(qex::platform::wave::WaveFormatEx));

class TMMCustomWaveDevice;

// A buffer handed back by the device, as it travels to the thread that handles it.
struct TMMDeviceMessage {
    TMMWaveHdr* header;
    bool stopReturn; // handed back by a device stop: the partly recorded buffer
};

// The device thread of a wave component (cmThread): handles the buffers the device hands
// back, one after the other, at the component's priority. Its queue is sized at creation, so
// posting never allocates.
class TMMWaveDeviceThread : public TMMDSPThread {
public:
    TMMWaveDeviceThread(TMMCustomWaveDevice* owner, std::size_t capacity);
    ~TMMWaveDeviceThread() override;

    // Starts the thread and waits until it runs; false if it did not start in time.
    bool Launch(TThreadPriority priority, std::chrono::milliseconds timeout);
    void Post(const TMMDeviceMessage& message);
    // Ends the loop and waits for the thread.
    void Finish();

protected:
    void Execute() override;

private:
    TMMCustomWaveDevice* device_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::vector<TMMDeviceMessage> queue_;
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    bool running_ = false;
};

class TMMCustomWaveDevice : public TMMCustomSoundComponent {
public:
    using WaveDirection = qex::platform::wave::WaveDirection;

    ~TMMCustomWaveDevice() override;

    // Refused while open; at least 32 bytes. A new size empties the block pool.
    void SetBufferSize(int size) override;
    // Values <= 1 and the current value are ignored; refused while open.
    void SetNumBuffers(int value) override;
    int GetNumBuffers() const override { return numBuffers_; }

    // A device component adapts to a new format: it closes its device first.
    void SetWaveFormat(const TWaveFormatEx* format) override;

    // Stops the device, then the chain (tail first). Asked for inside this component's buffer
    // handler, the stop is left pending and completed on the main thread once the handler is
    // done. Asked for anywhere else while a handler runs, it waits (boundedly) for the handler,
    // so that no component of the chain is stopped under the device's thread.
    void Stop() override;
    // Stops first; never throws. With a stop pending, the close follows that stop.
    void Close() override;

    void SetDeviceID(TMMDeviceId value) override;
    TMMDeviceId GetDeviceID() const override { return deviceId_; }
    std::string GetProductName() const override { return productName_; }
    std::uint32_t DriverVersion() const { return driverVersion_; }
    // Refused while open; cmCallback is refused with a notice (it needs interrupt-time callbacks).
    void SetCallBackMode(TMMCBMode value) override;
    TMMCBMode GetCallBackMode() const override { return callBackMode_; }

    void SetPriority(TThreadPriority value);
    TThreadPriority GetPriority() const { return priority_; }
    void SetTimeFormat(TMMTimeFormats value) { timeFormat_ = value; }
    TMMTimeFormats GetTimeFormat() const { return timeFormat_; }

    // Number of devices of this kind, read once at construction.
    int DeviceCount() const { return deviceCount_; }
    // Whether the device is open (set by the device's own notifications).
    bool DeviceOpen() const { return deviceOpen_.load(); }
    // Overruns (input) or underruns (output) the device recovered from since it was opened.
    std::uint32_t DeviceXruns() const;
    // Buffers queued at the device right now, and frames the device's sound API holds on top of
    // them; zeros when the device is not open. Takes no lock.
    qex::platform::wave::WaveQueueState DeviceQueue() const;

    TMMNotifyEvent OnError, OnOpen, OnStart, OnPause, OnRestart, OnStop, OnClose;

    // Called by the device thread for each buffer; false when handling failed and the thread
    // must end. After a failure no buffer is handled any more.
    bool HandleThreadMessage(const TMMDeviceMessage& message);

protected:
    // waitSteps: how many 10 ms steps open, stop and close wait for the device at the most.
    TMMCustomWaveDevice(WaveDirection direction, int missingDeviceKey, const char* className, int maxBuffers,
                        int waitSteps);

    // A buffer came back (device context): decide and route it.
    virtual void DeviceBufferDone(TMMWaveHdr* header) = 0;
    // Handles a buffer on the thread chosen by CallBackMode; may throw.
    virtual void HandleBuffer(const TMMDeviceMessage& message) = 0;
    // The component's exception class, carrying the message.
    virtual std::exception_ptr MakeError(const std::string& message) const = 0;
    // Resets and closes the device and waits for its closed notification; may throw.
    virtual void LetGoOfDevice() = 0;
    // The device's part of a stop: stops and resets it, so that every queued buffer comes back.
    virtual void StopDevice() = 0;
    // The rest of a stop, once no buffer handler runs: the chain's stop and the buffers.
    virtual void CompleteStop() = 0;
    // Whether every buffer the device handed back has been handled (lock_ held).
    virtual bool BuffersBack() const = 0;
    // Whether the device has played all it was given and every played buffer was handled, so
    // that the component stops itself (lock_ held).
    virtual bool PlayedOut() const { return false; }
    // Keeps the device from going on while the main thread gets to a posted stop.
    virtual void HoldForPostedStop() {}

    // A buffer handler begins on the calling thread (lock_ held).
    void EnterHandler();
    // It ends. The last handler to end with a stop due (asked for inside it, or the device
    // played out) asks the main thread for the stop, once, and only then counts as ended: the
    // main thread lets go of the device only once no handler touches it any more.
    void LeaveHandler();
    // Whether a stop is under way: nothing more is loaded or queued to the device.
    bool StopRequested() const;
    // Queues a buffer to the device and counts it in `queued` (lock_'s), unless a stop is under
    // way. A buffer the device refuses is not counted, and fails with the call's name.
    void AddToDevice(TMMWaveHdr* header, int& queued, const char* call);
    // After an open failed half-way: lets go of whatever was reached (the thread, the device,
    // the chain behind), so that the failure can be reported with nothing left open.
    void AbandonOpen();
    // Clears the state of the last run's stop (lock_ held).
    void ClearStopState();

    // Fires OnError, then throws.
    [[noreturn]] void Error(const std::string& message);
    [[noreturn]] void ErrorKey(int key) { Error(MMErrorText(key)); }
    // A failed device call: name, colon, LF, CR and the device's text for the code.
    [[noreturn]] void DeviceError(const char* call, int code);
    // Fails with DeviceError when a device call did not succeed.
    void CheckDeviceCall(const char* call, int result)
    {
        if (result != qex::platform::wave::kWaveNoError)
            DeviceError(call, result);
    }
    // Refuses a property change while the device is open.
    void CheckNotOpen();

    void Route(const TMMDeviceMessage& message);
    bool LaunchThread();
    void FinishThread();

    // Waits in 10 ms steps until ready() (called with lock_ held) is true; with cmWindow the
    // main thread keeps handling posted notifications meanwhile.
    bool WaitSteps(int steps, const std::function<bool()>& ready);
    // Waits as long as open, stop and close wait for the device at the most.
    bool WaitForDevice(const std::function<bool()>& ready) { return WaitSteps(waitSteps_, ready); }
    // Wakes WaitSteps after a counter changed (lock_ held or not).
    void CountersChanged() { changed_.notify_all(); }

    // Samples since the device was opened or reset, extended across 32-bit wrap-arounds.
    std::uint64_t ReadDevicePosition(const char* call);
    void ClearPositionWraps();
    // A position in samples in the chosen TimeFormat.
    std::int64_t InTimeFormat(std::uint64_t samples) const;

    void Fire(const TMMNotifyEvent& event);

    // A buffer of the real buffer size from the block pool (text 64 if there is no memory), its
    // header cleared and its Data pointing behind the header.
    TMMWaveHdr* NewBuffer();
    // Returns every buffer to the block pool.
    void ReleaseBuffers();

    WaveDirection Direction() const { return direction_; }
    // Query (format check only) or open the selected device with this component's format.
    int OpenDevice(bool query);
    // Whether the selected device can take the format; a device that cannot be opened at all
    // (gone, or busy elsewhere) fails with the device's own text under the call's name.
    bool DeviceTakesFormat(const char* call);
    static qex::platform::wave::WaveHdr* AsDeviceHeader(TMMWaveHdr* header)
    {
        return reinterpret_cast<qex::platform::wave::WaveHdr*>(header);
    }

    qex::platform::wave::WaveHandle handle_ = nullptr;
    std::atomic<bool> deviceOpen_{false};
    std::atomic<bool> deviceStarted_{false};
    std::atomic<bool> devicePaused_{false};
    mutable std::mutex lock_; // the counters and flags shared with the device's notifications
    std::unique_ptr<TMMWaveDeviceThread> thread_;
    std::vector<TMMWaveHdr*> buffers_;
    // Main thread only.
    bool closing_ = false;
    bool closePending_ = false;

    // Shared with the device's notifications and the buffer handlers, under lock_.
    int handlersRunning_ = 0;
    std::thread::id handlerThread_; // where the handlers run
    bool stopping_ = false;         // a stop is under way
    bool resetting_ = false;        // a device reset is handing the queued buffers back
    bool stopPending_ = false;      // a stop was asked for inside a handler
    bool stopPosted_ = false;       // the main thread was asked to complete the stop
    bool handlingFailed_ = false;   // a handler failed: the device's buffers are handled no more

private:
    static void DeviceCallback(qex::platform::wave::WaveHandle device, qex::platform::wave::WaveMessage message,
                               void* instance, qex::platform::wave::WaveHdr* header);
    void PostToMainThread(std::function<void()> task) { window_.Post(std::move(task)); }
    void ReportFailure(const std::string& message);
    // The stop a handler asked the main thread for, unless the main thread completed the stop
    // itself meanwhile (and perhaps started again).
    void RunPostedStop();
    // Whether the stop can go on: no handler runs any more and the device's buffers are back.
    // From inside a handler it cannot wait, and the stop is marked pending.
    bool FinishHandlers();
    // After a failure while handling a buffer (main thread): stop, let go of the device and
    // fire OnClose; the rest of the chain stays open.
    void CloseAfterFailure();

    const WaveDirection direction_;
    const int missingDeviceKey_;
    const char* className_;
    const int deviceCount_;
    const int maxBuffers_;
    const int waitSteps_;
    int numBuffers_ = 10;
    TMMAllocator allocator_;
    TMMDeviceId deviceId_ = InvalidId;
    std::string productName_;
    std::uint32_t driverVersion_ = 0;
    TMMCBMode callBackMode_ = TMMCBMode::cmWindow;
    TThreadPriority priority_ = TThreadPriority::tpHigher;
    TMMTimeFormats timeFormat_ = TMMTimeFormats::tfByte;
    std::condition_variable changed_;
    std::uint32_t lastPosition_ = 0;
    std::uint64_t positionWraps_ = 0;
    TMMMessageWindow window_;
    // Built here so that a device thread asks for the stop without allocating.
    qex::platform::MainThreadRequest stopRequest_{[this] { RunPostedStop(); }};
};
