#pragma once
// The control panel window as the module's lifecycle sees it. The window itself (controls,
// meters, timer) lives with the panel; the module only creates it, places it and destroys it.

#include "panel_position.h"

#include <memory>

namespace qex {

class ProcessingModule;

class PanelWindow {
public:
    virtual ~PanelWindow() = default; // destroying the object closes the window

    virtual DesktopRect DesktopClientRect() const = 0;
    virtual void MoveTo(ScreenPoint position) = 0;
    virtual void Minimize() = 0;
};

// Makes and shows the panel, owned by the host's window; null when no window can be made,
// and the module then carries on without a panel.
class PanelFactory {
public:
    virtual ~PanelFactory() = default;
    virtual std::unique_ptr<PanelWindow> CreatePanel(ProcessingModule& module) = 0;
};

} // namespace qex
