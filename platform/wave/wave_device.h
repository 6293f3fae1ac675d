#pragma once
// What every open device of the wave service has in common: the ordered queue of buffers, the
// device thread, and the hand-off of start/stop/reset to that thread. Only the device thread
// takes buffers out of the queue and hands them back, so buffers always come back in the order
// they were queued, and a backend never touches its sound API from two threads.

#include "wave_service.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace qex::platform::wave {

class WaveDevice {
public:
    WaveDevice(WaveDirection direction, const WaveFormatEx& format, WaveCallback callback, void* instance);
    virtual ~WaveDevice();
    WaveDevice(const WaveDevice&) = delete;
    WaveDevice& operator=(const WaveDevice&) = delete;

    // Opens the backend, starts the device thread and sends Opened.
    int open();
    int prepare(WaveHdr* header);
    int unprepare(WaveHdr* header);
    // Refused with the device's failure once it has failed.
    int addBuffer(WaveHdr* header);
    int start() { return runCommand(Command::Start); }
    int stop() { return runCommand(Command::Stop); }
    int reset() { return runCommand(Command::Reset); }
    int position(std::uint32_t& samples);
    std::uint32_t xruns() const { return xruns_.load(); }
    // Buffers in the queue right now; read without the lock.
    std::uint32_t queuedBuffers() const { return queuedBuffers_.load(std::memory_order_relaxed); }
    // Frames of audio the sound API itself holds beyond the queued buffers (its own device
    // buffer, as configured at open); 0 for a device that works on the queued buffers directly.
    virtual std::uint32_t deviceBufferFrames() const { return 0; }
    // Ends the device thread, closes the backend and sends Closed; refused while buffers are queued.
    int close();

protected:
    enum class Command { None, Start, Stop, Reset };

    WaveDirection direction() const { return direction_; }
    const WaveFormatEx& format() const { return format_; }
    bool isInput() const { return direction_ == WaveDirection::Input; }

    // Backend hooks. openBackend and closeBackend run on the caller's thread, the others on the
    // device thread with lock_ held (a hook may release it only through handBack()).
    virtual int openBackend() = 0;
    virtual void closeBackend() = 0;
    virtual int execute(Command command, std::unique_lock<std::mutex>& lock) = 0;
    // Moves data and waits for the next thing to do; returns whenever interrupted() is true.
    virtual void service(std::unique_lock<std::mutex>& lock) = 0;
    // A buffer was appended to the queue (lock_ held, any thread).
    virtual void queued(WaveHdr*) {}
    // Position in frames since open or reset (lock_ held, any thread).
    virtual std::uint64_t positionFrames() = 0;
    // Wakes a device thread that waits outside condition_ (lock_ held, any thread).
    virtual void wakeBackend() {}

    WaveHdr* head() const { return head_; }
    // Whether service() must return: a command is waiting or the device is closing.
    bool interrupted() const { return command_ != Command::None || closing_; }
    // Takes the head buffer out of the queue and hands it back (Done) with lock_ released.
    void handBack(std::unique_lock<std::mutex>& lock);
    void handBackAll(std::unique_lock<std::mutex>& lock);
    void wake();
    void countXrun() { xruns_.fetch_add(1); }
    // The device cannot go on (a sound card that is gone, a stream that cannot be recovered):
    // every queued buffer comes back, and buffers queued from now on are refused with `code`.
    // Both with lock_ held.
    void fail(int code, std::unique_lock<std::mutex>& lock);
    bool failed() const { return failure_ != 0; }

    std::mutex lock_;
    std::condition_variable condition_;

private:
    void threadMain();
    int runCommand(Command command);

    const WaveDirection direction_;
    const WaveFormatEx format_;
    const WaveCallback callback_;
    void* const instance_;

    std::thread thread_;
    std::mutex commandLock_; // one command at a time from the callers' side
    std::condition_variable commandDone_;
    Command command_ = Command::None;
    int commandResult_ = 0;
    bool closing_ = false;
    WaveHdr* head_ = nullptr;
    WaveHdr* tail_ = nullptr;
    int failure_ = 0;
    std::atomic<std::uint32_t> xruns_{0};
    std::atomic<std::uint32_t> queuedBuffers_{0};
};

} // namespace qex::platform::wave
