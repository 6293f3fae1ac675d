#include "dsp_plugin.h"

#include "engine_notice.h"
#include "errors.h"

#include "platform/fault_guard.h"

#include <algorithm>
#include <cstring>

namespace {

// Entry names in the order they are looked for; the first found decides the module kind.
struct EntryName {
    const char* name;
    bool engineKind;
};
constexpr EntryName kEntryNames[] = {
    {"winampDSPGetHeader", true},
    {"MMPlugInDSPGetHeader", true},
    {"winampDSPGetHeader2", false},
};

// Both kinds of header share this shape; only the module record differs.
struct AnyHeader {
    int version;
    char* description;
    void* (*getModule)(int index);
};

constexpr int kExceptionFault = -1;

// Runs a call into the module: an exception it throws or a hardware fault it raises counts as
// the call's failure. The fault's signal, kExceptionFault, or 0 when the call returned.
template <typename Call>
int callModule(Call&& call)
{
    int thrown = 0;
    const int signal = qex::platform::guarded([&] {
        try {
            call();
        } catch (...) {
            thrown = kExceptionFault;
        }
    });
    return signal ? signal : thrown;
}

// Looks up the entry and returns an accepted header (version above 15), or null.
AnyHeader* findHeader(const qex::platform::DynamicLibrary& library, bool& engineKind)
{
    for (const EntryName& entry : kEntryNames) {
        void* symbol = library.symbol(entry.name);
        if (!symbol)
            continue;
        engineKind = entry.engineKind;
        AnyHeader* header = nullptr;
        if (callModule([&] { header = reinterpret_cast<AnyHeader* (*)()>(symbol)(); }) != 0)
            return nullptr;
        return header && header->version > 15 ? header : nullptr;
    }
    return nullptr;
}

// Asks the header for the module record of index; false when asking failed.
bool askForModule(AnyHeader* header, int index, void*& record)
{
    record = nullptr;
    return callModule([&] { record = header->getModule(index); }) == 0;
}

std::string textOf(const char* text)
{
    return text ? std::string(text) : std::string();
}

// A pull in which the module returns nothing this many times in a row makes up the rest with
// silence, so that a module that fails on every buffer neither holds the output's thread in an
// endless loop nor stops the stream.
constexpr int kMaxEmptyRefills = 16;

} // namespace

std::string ModuleFaultText(int fault)
{
    const std::string cause =
        fault == kExceptionFault ? "an error" : std::string("a ") + qex::platform::faultName(fault);
    return "The processing module stopped with " + cause + " while processing.";
}

TMMDSPPlugin::TMMDSPPlugin()
    : faultNotice_([this] {
          if (const int fault = ModuleFault())
              showEngineNotice(TMMNoticeKind::Error, {},
                               ModuleFaultText(fault) +
                                   " The audio goes on unprocessed; stop and start processing "
                                   "to load the module again.");
      })
{
    // The environment of the thread that builds the chain is the program's default; every
    // upstream pull starts from it, whatever a module left behind.
    std::fegetenv(&defaultFpEnvironment_);
}

TMMDSPPlugin::~TMMDSPPlugin()
{
    BeginDestroy();
    UnloadModules();
    Close();
}

std::string TMMDSPPlugin::ModuleName(int index) const
{
    if (!table_ || index < 0 || index >= table_->Count)
        return {};
    return table_->Modules[static_cast<std::size_t>(index)].Name;
}

TDSPModule* TMMDSPPlugin::SelectedModule() const
{
    if (!table_ || moduleIndex_ < 0 || moduleIndex_ >= table_->Count)
        return nullptr;
    return &table_->Modules[static_cast<std::size_t>(moduleIndex_)];
}

bool TMMDSPPlugin::LoadModuleFile(const std::string& path)
{
    UnloadModules();
    qex::platform::DynamicLibrary library;
    if (!library.load(path))
        return false;
    bool engineKind = false;
    AnyHeader* header = findHeader(library, engineKind);
    if (!header)
        return false;
    auto table = std::make_unique<TPlugInDSP>();
    // Kept as given: file names are case-sensitive here, and the library is opened again by it.
    table->FileName = path;
    table->Description = textOf(header->description);
    table->EngineKind = engineKind;
    while (table->Count < TPlugInDSP::kMaxModules) {
        void* record = nullptr;
        if (!askForModule(header, table->Count, record))
            return false;
        if (!record)
            break;
        // Both module records begin with the description.
        table->Modules[static_cast<std::size_t>(table->Count)].Name =
            textOf(static_cast<winampDSPModule*>(record)->description);
        ++table->Count;
    }
    std::lock_guard guard(lock_);
    table_ = std::move(table);
    return true;
}

void TMMDSPPlugin::OpenModules(void* ownerWindow)
{
    std::lock_guard guard(lock_);
    OpenModulesLocked(ownerWindow);
}

void TMMDSPPlugin::OpenModulesLocked(void* ownerWindow)
{
    if (!table_ || table_->Loaded)
        return;
    TPlugInDSP& table = *table_;
    bool engineKind = false;
    AnyHeader* header = nullptr;
    if (table.Library.load(table.FileName))
        header = findHeader(table.Library, engineKind);
    if (!header) {
        table.Library.free();
        throw EMMPlugInError("Unable to open Module");
    }
    table.Header = header;
    table.EngineKind = engineKind;
    delayEntry_ = reinterpret_cast<int (*)()>(table.Library.symbol("qex_module_delay_frames"));
    table.Count = 0;
    moduleFault_ = 0;
    for (void* record = nullptr; table.Count < TPlugInDSP::kMaxModules; ++table.Count) {
        if (!askForModule(header, table.Count, record)) {
            table.Header = nullptr;
            table.Library.free();
            throw EMMPlugInError("Unable to open Module");
        }
        if (!record)
            break;
        TDSPModule& entry = table.Modules[static_cast<std::size_t>(table.Count)];
        entry.Published = nullptr;
        entry.Engine = nullptr;
        if (engineKind) {
            entry.Engine = static_cast<TMMPlugInDSPModule*>(record);
            entry.Engine->hwndParent = ownerWindow;
            entry.Engine->hDllInstance = table.Library.handle();
        } else {
            entry.Published = static_cast<winampDSPModule*>(record);
            entry.Published->hwndParent = ownerWindow;
            entry.Published->hDllInstance = table.Library.handle();
        }
        entry.Initialised = false;
    }
    table.Loaded = true;
}

void TMMDSPPlugin::SelectModule(int index)
{
    if (!table_ || index < 0 || index >= table_->Count)
        throw EMMPlugInError("Invalid Module index");
    moduleIndex_ = index;
}

void TMMDSPPlugin::WriteStreamParameters(TMMPlugInDSPModule* module) const
{
    const TWaveFormatEx* format = WaveFormat();
    const std::uint32_t channels = format ? format->Channels : 1;
    module->SampleRate = format ? format->SamplesPerSec : 22050;
    module->Channels = channels;
    module->FramesPerBuffer = static_cast<std::uint32_t>(GetBufferSize()) / (channels * 2);
}

// A module without an Init entry needs no initialising; a fault inside Init counts as failure.
bool TMMDSPPlugin::InitialiseEntry(TDSPModule& entry)
{
    int result = -1;
    const int fault = callModule([&] {
        if (entry.Published) {
            result = entry.Published->Init ? entry.Published->Init(entry.Published) : 0;
        } else if (entry.Engine) {
            WriteStreamParameters(entry.Engine);
            result = entry.Engine->Init ? entry.Engine->Init(entry.Engine) : 0;
        }
    });
    return fault == 0 && result == 0;
}

void TMMDSPPlugin::InitModule()
{
    if (!SelectedModule())
        return;
    {
        std::lock_guard guard(lock_);
        // A module that faulted is loaded afresh: whatever state the fault left it in goes.
        if (moduleFault_ != 0 && table_->Loaded)
            ShutDown();
        OpenModulesLocked(ownerWindow_);
        TDSPModule& entry = *SelectedModule();
        // Init runs once per load, at the first start; later starts only restart.
        if (!entry.Initialised && GetBufferSize() > 0) {
            entry.Initialised = InitialiseEntry(entry);
            if (!entry.Initialised)
                throw EMMPlugInError("Unable to initialise Module");
        }
    }
    RestartModule();
}

void TMMDSPPlugin::RestartModule()
{
    TDSPModule* entry = SelectedModule();
    if (!entry || !entry->Initialised)
        return;
    std::lock_guard guard(lock_);
    heldValid_ = 0;
    readPosition_ = 0;
    heldUnread_ = 0;
    endOfInput_ = false;
    if (held_)
        held_->EndMarker = 0;
    // The engine kind is primed again with the stream's parameters; the published kind needs nothing.
    if (entry->Engine && !InitialiseEntry(*entry))
        throw EMMPlugInError("Unable to restart Module");
}

void TMMDSPPlugin::ConfigModule()
{
    TDSPModule* entry = SelectedModule();
    if (!entry)
        return;
    // Not under the lock: the panel may open while audio flows. A module's panel failing is not
    // the host's concern.
    callModule([entry] {
        if (entry->Published && entry->Published->Config)
            entry->Published->Config(entry->Published);
        else if (entry->Engine && entry->Engine->Config)
            entry->Engine->Config(entry->Engine);
    });
}

void TMMDSPPlugin::ShutDown()
{
    TPlugInDSP& table = *table_;
    for (int i = 0; i < table.Count; ++i) {
        TDSPModule& entry = table.Modules[static_cast<std::size_t>(i)];
        // Faults during shut-down are swallowed.
        if (entry.Initialised) {
            callModule([&entry] {
                if (entry.Published && entry.Published->Quit)
                    entry.Published->Quit(entry.Published);
                else if (entry.Engine && entry.Engine->Quit)
                    entry.Engine->Quit(entry.Engine);
            });
        }
        entry.Initialised = false;
        entry.Published = nullptr;
        entry.Engine = nullptr;
    }
    table.Header = nullptr;
    table.Loaded = false;
    delayEntry_ = nullptr;
    table.Library.free();
}

int TMMDSPPlugin::ModuleDelayFrames() const
{
    int frames = 0;
    if (delayEntry_ && moduleFault_.load(std::memory_order_relaxed) == 0 &&
        callModule([&] { frames = delayEntry_(); }) != 0)
        frames = 0;
    return std::max(frames, 0);
}

void TMMDSPPlugin::UnloadModules()
{
    std::lock_guard guard(lock_);
    if (!table_)
        return;
    ShutDown();
    table_.reset();
}

void TMMDSPPlugin::SetWaveFormat(const TWaveFormatEx* format)
{
    if (format && !(isValidPcm(format) && format->BitsPerSample == 16))
        throw EMMPlugInError(MMErrorText(kErrInvalidWaveFormat));
    TMMDSPComponent::SetWaveFormat(format);
}

void TMMDSPPlugin::Open()
{
    TMMDSPComponent::Open();
    const TWaveFormatEx* format = WaveFormat();
    if (allocated_ || !isValidPcm(format) || format->BitsPerSample != 16)
        return;
    const auto size = static_cast<std::uint32_t>(GetBufferSize());
    {
        std::lock_guard guard(lock_);
        void* block = allocator_.GetBlock(2 * static_cast<std::size_t>(size) + kWaveHdrSize);
        std::memset(block, 0, 2 * static_cast<std::size_t>(size) + kWaveHdrSize);
        held_ = engineBufferHeader(block);
        held_->BufferLength = size;
        heldValid_ = readPosition_ = 0;
        endOfInput_ = false;
        allocated_ = true;
    }
    OpenModules();
}

void TMMDSPPlugin::Close()
{
    {
        std::lock_guard guard(lock_);
        void* block = held_;
        allocator_.FreeBlock(block);
        held_ = nullptr;
        allocated_ = false;
    }
    TMMDSPComponent::Close();
}

void TMMDSPPlugin::Start()
{
    if (!running_) {
        RestartModule();
        running_ = true;
    }
    TMMDSPComponent::Start();
}

void TMMDSPPlugin::Stop()
{
    running_ = false;
    TMMDSPComponent::Stop();
}

void TMMDSPPlugin::Reset()
{
    RestartModule();
    TMMDSPComponent::Reset();
}

std::uint32_t TMMDSPPlugin::ModifySamples(char* samples, std::uint32_t bytes, std::uint32_t capacity)
{
    const TWaveFormatEx* format = WaveFormat();
    TDSPModule* entry = SelectedModule();
    if (!format || !entry || !entry->Initialised)
        return 0;
    const std::uint32_t frameBytes = (format->BitsPerSample / 8u) * format->Channels;
    if (frameBytes == 0)
        return 0;
    // After a fault the audio goes on unprocessed, as when bypassed, rather than as silence.
    if (moduleFault_.load(std::memory_order_relaxed) != 0)
        return bytes;
    auto* data = reinterpret_cast<short int*>(samples);
    std::uint32_t result = 0;
    const int fault = callModule([&] {
        if (entry->Published) {
            if (!entry->Published->ModifySamples)
                return;
            const int frames = entry->Published->ModifySamples(
                entry->Published, data, static_cast<int>(bytes / frameBytes), format->BitsPerSample, format->Channels,
                static_cast<int>(format->SamplesPerSec));
            // A module never gets to claim more than the buffer holds.
            result = std::min(static_cast<std::uint32_t>(std::max(frames, 0)) * frameBytes,
                              capacity / frameBytes * frameBytes);
        } else if (entry->Engine) {
            if (entry->Engine->ProcessSamples)
                entry->Engine->ProcessSamples(entry->Engine, data);
            result = bytes;
        }
    });
    if (fault == 0)
        return result;
    ReportFault(fault);
    return bytes;
}

// On the thread that called the module: the fault is recorded at once; the operator is told on
// the main thread.
void TMMDSPPlugin::ReportFault(int fault)
{
    moduleFault_.store(fault, std::memory_order_relaxed);
    faultNotice_.raise();
}

void TMMDSPPlugin::BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers)
{
    std::lock_guard guard(lock_);
    if (enabled_ && allocated_ && table_)
        Pull(lpWaveHdr, moreBuffers);
    else
        TMMDSPComponent::BufferLoad(lpWaveHdr, moreBuffers);
}

void TMMDSPPlugin::Pull(TMMWaveHdr* destination, bool& moreBuffers)
{
    destination->BytesRecorded = 0;
    if (!GetInput())
        return;
    const std::uint32_t wanted = destination->BufferLength;
    const auto size = static_cast<std::uint32_t>(GetBufferSize());
    std::uint32_t written = 0;
    int emptyRefills = 0;
    for (;;) {
        const std::uint32_t count = std::min(heldValid_ - readPosition_, wanted - written);
        std::memcpy(destination->Data + written, held_->Data + readPosition_, count);
        readPosition_ += count;
        written += count;
        if (written == wanted || endOfInput_)
            break;
        if (emptyRefills >= kMaxEmptyRefills) {
            silencePaddings_.fetch_add(1, std::memory_order_relaxed);
            std::memset(destination->Data + written, 0, wanted - written);
            written = wanted;
            break;
        }
        do {
            heldValid_ = 0;
            // The loop words travel between the request and the held record.
            if (held_->EndMarker != 0) {
                destination->EndMarker = held_->EndMarker;
                destination->LoopPosition = held_->LoopPosition;
                held_->EndMarker = 0;
            }
            held_->LoopFlag = destination->LoopFlag;
            held_->LoopCount = destination->LoopCount;
            held_->LoopPosition = destination->LoopPosition;
            std::fesetenv(&defaultFpEnvironment_);
            held_->BufferLength = size;
            held_->BytesRecorded = 0;
            bool more = true;
            TMMDSPComponent::BufferLoad(held_, more);
            lastMoreBuffers_ = more;
            const std::uint32_t delivered = std::min(held_->BytesRecorded, size);
            if (!more || delivered == 0)
                endOfInput_ = true;
            if (delivered > 0)
                heldValid_ = ModifySamples(held_->Data, delivered, 2 * size);
            readPosition_ = 0;
        } while (heldValid_ == 0 && !endOfInput_ && ++emptyRefills < kMaxEmptyRefills);
    }
    moreBuffers = lastMoreBuffers_ || heldValid_ > readPosition_;
    heldUnread_.store(heldValid_ - readPosition_, std::memory_order_relaxed);
    destination->BytesRecorded = written;
}

void TMMDSPPlugin::BufferReady(TMMWaveHdr* lpWaveHdr)
{
    {
        std::lock_guard guard(lock_);
        if (enabled_ && allocated_ && table_)
            lpWaveHdr->BytesRecorded = ModifySamples(lpWaveHdr->Data, lpWaveHdr->BytesRecorded,
                                                     std::max(lpWaveHdr->BufferLength, lpWaveHdr->BytesRecorded));
    }
    TMMDSPComponent::BufferReady(lpWaveHdr);
}
