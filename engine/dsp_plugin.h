#pragma once
// The plug-in host: the streaming component that runs a DSP plug-in module on every buffer that
// passes through it. It loads a module library, lets the owner choose one of the modules the
// library offers, initialises it once per load, and hands it the audio in place. With Enabled
// false buffers pass through unchanged.
//
// Buffers reach the module by pull: the output's thread asks for data, the host pulls from its
// Input into a held buffer of twice the buffer size (a module may return up to twice the frames
// it was given, or fewer, and the host pulls again) and copies the processed audio out.

#include "allocator.h"
#include "dsp_component.h"
#include "mm_plugin_dsp.h"

#include "module/winamp_dsp.h"
#include "platform/dynamic_library.h"
#include "platform/main_dispatcher.h"

#include <array>
#include <atomic>
#include <cfenv>
#include <memory>
#include <mutex>
#include <string>

// One module a plug-in library offers.
struct TDSPModule {
    std::string Name;
    bool Initialised = false;
    winampDSPModule* Published = nullptr; // set while loaded, for the published kind
    TMMPlugInDSPModule* Engine = nullptr; // set while loaded, for the engine kind
};

// The modules of one plug-in library.
struct TPlugInDSP {
    static constexpr int kMaxModules = 100;

    std::string FileName;
    qex::platform::DynamicLibrary Library; // open while loaded
    std::string Description;
    std::array<TDSPModule, kMaxModules> Modules;
    int Count = 0;
    bool Loaded = false;
    bool EngineKind = false;
    void* Header = nullptr; // the header record, while loaded
};

// What happened, for a fault the module raised while processing (see ModuleFault).
std::string ModuleFaultText(int fault);

class TMMDSPPlugin : public TMMDSPComponent {
public:
    TMMDSPPlugin();
    ~TMMDSPPlugin() override;

    // False: bypass. May change at any time; the next pull sees it.
    void SetEnabled(bool value) { enabled_ = value; }
    bool GetEnabled() const { return enabled_; }
    // The window the modules' control panels belong to (the main window's handle).
    void SetOwnerWindow(void* handle) { ownerWindow_ = handle; }
    void* GetOwnerWindow() const { return ownerWindow_; }

    // Builds the module table of a library (closing it again); false when the library does not
    // load, exports no known entry or offers a refused header.
    bool LoadModuleFile(const std::string& path);
    // Opens the library and binds its modules; throws "Unable to open Module".
    void OpenModules(void* ownerWindow);
    void OpenModules() { OpenModules(ownerWindow_); }
    // Throws "Invalid Module index" unless 0 <= index < module count.
    void SelectModule(int index);
    int GetModuleIndex() const { return moduleIndex_; }
    // Initialises the selected module once per load; throws "Unable to initialise Module".
    void InitModule();
    // Clears the held audio and re-primes the module; throws "Unable to restart Module".
    void RestartModule();
    // Shows the module's control panel.
    void ConfigModule();
    // The fault (a signal number, or -1 for an exception) that the module raised while
    // processing, 0 when there was none. From then on the audio passes through unprocessed and
    // the module is not called again until the next InitModule loads it afresh. The operator is
    // told once, on the main thread.
    int ModuleFault() const { return moduleFault_.load(std::memory_order_relaxed); }
    // How many frames the loaded module delays the audio by with its present settings, as the
    // module reports it through its optional entry qex_module_delay_frames; 0 when it does not.
    // Main thread.
    int ModuleDelayFrames() const;
    // Pulls that the host completed with silence because the module returned nothing again and
    // again, since the host was created; and the processed bytes held for the next pull.
    // Both read without a lock.
    std::uint64_t SilencePaddings() const { return silencePaddings_.load(std::memory_order_relaxed); }
    std::uint32_t HeldBytes() const { return heldUnread_.load(std::memory_order_relaxed); }
    // Shuts every module down and closes the library.
    void UnloadModules();
    bool IsLoaded() const { return table_ != nullptr; }
    int ModuleCount() const { return table_ ? table_->Count : 0; }
    std::string ModuleName(int index) const;
    std::string Description() const { return table_ ? table_->Description : std::string(); }

    // Accepts no format or valid 16-bit PCM; anything else throws "Invalid WaveFormat".
    void SetWaveFormat(const TWaveFormatEx* format) override;

    void Open() override;
    void Close() override;
    void Start() override;
    void Stop() override;
    void Reset() override;

    void BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers) override;
    void BufferReady(TMMWaveHdr* lpWaveHdr) override;

private:
    TDSPModule* SelectedModule() const;
    void OpenModulesLocked(void* ownerWindow);
    bool InitialiseEntry(TDSPModule& entry);
    void WriteStreamParameters(TMMPlugInDSPModule* module) const;
    void Pull(TMMWaveHdr* destination, bool& moreBuffers);
    std::uint32_t ModifySamples(char* samples, std::uint32_t bytes, std::uint32_t capacity);
    void ReportFault(int fault);
    void ShutDown();

    std::atomic<bool> enabled_{true};
    void* ownerWindow_ = nullptr;
    std::unique_ptr<TPlugInDSP> table_;
    int moduleIndex_ = 0;
    std::fenv_t defaultFpEnvironment_{};

    // Held around every module call except Config, and around the whole pull.
    std::mutex lock_;
    TMMAllocator allocator_;
    TMMWaveHdr* held_ = nullptr; // data capacity: twice the real buffer size
    std::uint32_t heldValid_ = 0;
    std::uint32_t readPosition_ = 0;
    bool endOfInput_ = false;
    bool lastMoreBuffers_ = true;
    bool allocated_ = false;
    bool running_ = false;
    std::atomic<int> moduleFault_{0};
    std::atomic<std::uint64_t> silencePaddings_{0};
    std::atomic<std::uint32_t> heldUnread_{0}; // heldValid_ - readPosition_ after each pull
    int (*delayEntry_)() = nullptr;            // the module's delay report, while loaded
    // Built beforehand, so that the audio thread raises it without allocating.
    qex::platform::MainThreadRequest faultNotice_;
};
