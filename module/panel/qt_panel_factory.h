#pragma once
// Makes the control panel for the module, as a Qt dialog owned by the host's window. A panel is
// only made on the thread of a running QApplication (the host's user-interface thread); a host
// without one (a command-line renderer, a test, a benchmark) simply gets no panel.

#include "panel_window.h"

#include <QPointer>

#include <memory>
#include <vector>

namespace qex::panel {

class ControlPanel;

class QtPanelFactory : public PanelFactory {
public:
    QtPanelFactory();
    ~QtPanelFactory() override;

    // The host's window handle (its winId), given to the module before Init and Config.
    void SetOwnerHandle(void* handle) { ownerHandle_ = handle; }

    std::unique_ptr<PanelWindow> CreatePanel(ProcessingModule& module) override;

    // Destroys at once the panels the operator closed whose deletion still waits for the event
    // loop. The host unloads the library right after Quit, so nothing of it may outlive Quit.
    void DestroyClosedPanels();

    // A panel closed from its own close handler cannot be deleted there: it is hidden, its timer
    // stopped, and it is deleted by the event loop or by DestroyClosedPanels, whichever is first.
    void Retire(ControlPanel* panel);

private:
    void* ownerHandle_ = nullptr;
    std::vector<QPointer<ControlPanel>> closed_;
};

} // namespace qex::panel
