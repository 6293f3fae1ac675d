#include "qt_panel_factory.h"

#include "control_panel.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>

#include <algorithm>
#include <dlfcn.h>

namespace qex::panel {

namespace {

// The panel window as the module's lifecycle sees it.
class QtPanelWindow : public PanelWindow {
public:
    QtPanelWindow(ControlPanel* panel, QtPanelFactory& factory) : panel_(panel), factory_(factory) {}

    ~QtPanelWindow() override
    {
        if (!panel_)
            return; // the owner window took it down with itself
        if (panel_->InCloseHandler())
            factory_.Retire(panel_);
        else
            delete panel_;
    }

    DesktopRect DesktopClientRect() const override
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen)
            return {0, 0, 0, 0};
        const QRect desktop = screen->virtualGeometry();
        return {desktop.left(), desktop.top(), desktop.left() + desktop.width(), desktop.top() + desktop.height()};
    }

    void MoveTo(ScreenPoint position) override
    {
        if (panel_)
            panel_->move(position.x, position.y);
    }

    void Minimize() override
    {
        if (panel_)
            panel_->showMinimized();
    }

private:
    QPointer<ControlPanel> panel_;
    QtPanelFactory& factory_;
};

bool OnUserInterfaceThread()
{
    const auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    return application && QThread::currentThread() == application->thread();
}

// Qt cannot be unloaded: a host without Qt of its own (the renderer) would otherwise unload it
// with the module, leaving its statics behind. Once the module has brought Qt in, it stays.
void KeepQtLoaded()
{
    for (const char* library : {"libQt6Widgets.so.6", "libQt6Gui.so.6", "libQt6Core.so.6"})
        ::dlopen(library, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

} // namespace

QtPanelFactory::QtPanelFactory()
{
    KeepQtLoaded();
}

QtPanelFactory::~QtPanelFactory()
{
    DestroyClosedPanels();
}

std::unique_ptr<PanelWindow> QtPanelFactory::CreatePanel(ProcessingModule& module)
{
    if (!OnUserInterfaceThread())
        return nullptr;
    DestroyClosedPanels();
    QWidget* owner = ownerHandle_ ? QWidget::find(reinterpret_cast<WId>(ownerHandle_)) : nullptr;
    auto* panel = new ControlPanel(module, owner);
    panel->show();
    return std::make_unique<QtPanelWindow>(panel, *this);
}

void QtPanelFactory::Retire(ControlPanel* panel)
{
    panel->StopTimer();
    panel->hide();
    panel->deleteLater();
    std::erase_if(closed_, [](const QPointer<ControlPanel>& p) { return p.isNull(); });
    closed_.emplace_back(panel);
}

void QtPanelFactory::DestroyClosedPanels()
{
    for (const QPointer<ControlPanel>& panel : closed_)
        delete panel.data();
    closed_.clear();
}

} // namespace qex::panel
