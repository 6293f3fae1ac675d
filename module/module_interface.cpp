// The processing module's published entry and its two interface records. All state is the
// one ProcessingModule of the library; the records carry no per-instance data.

#include "module_settings.h"
#include "panel/qt_panel_factory.h"
#include "platform/system_folder.h"
#include "processing_module.h"
#include "winamp_dsp.h"

#include <cstdlib>
#include <string_view>

namespace {

char kDescription[] = "QEX";

qex::panel::QtPanelFactory panelFactory;

// A host that only renders files sets this before it loads the module: the program's settings
// and presets are read, never written.
bool FilesReadOnly()
{
    const char* value = std::getenv(qex::kFilesReadOnlyVariable);
    return value && *value && std::string_view(value) != "0";
}

// Settings and presets lie beside the host executable, not beside this library.
qex::ProcessingModule processingModule(qex::platform::executablePath(), FilesReadOnly());

// The panel is owned by the window the host has named in the module record.
void UsePanelOwnedBy(const winampDSPModule* record)
{
    panelFactory.SetOwnerHandle(record->hwndParent);
    processingModule.SetPanelFactory(&panelFactory);
}

void Config(winampDSPModule* record)
{
    UsePanelOwnedBy(record);
    processingModule.Config();
}

int Init(winampDSPModule* record)
{
    UsePanelOwnedBy(record);
    return processingModule.Init();
}

int ModifySamples(winampDSPModule*, short int* samples, int numsamples, int bps, int nch, int srate)
{
    return processingModule.ModifySamples(samples, numsamples, bps, nch, srate);
}

// The host unloads the library right after this: no window, timer or event of the panel may
// be left behind.
void Quit(winampDSPModule*)
{
    processingModule.Quit();
    panelFactory.DestroyClosedPanels();
}

winampDSPModule module = {kDescription, nullptr, nullptr, Config, Init, ModifySamples, Quit, nullptr};

winampDSPModule* getModule(int index)
{
    return index == 0 ? &module : nullptr;
}

winampDSPHeader header = {0x20, kDescription, getModule};

} // namespace

extern "C" __attribute__((visibility("default"))) winampDSPHeader* winampDSPGetHeader2()
{
    return &header;
}

// Beside the published interface: the delay of the signal path with the present settings, for
// a host that shows the operator the chain's delay.
extern "C" __attribute__((visibility("default"))) int qex_module_delay_frames()
{
    return processingModule.Path.DelayFrames();
}
