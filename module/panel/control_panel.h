#pragma once
// The processing module's control panel: a modeless dialog owned by the host's window that shows
// every parameter of the on-air set, edits it so that each change is heard at once, shows live
// meters of the processing on a 100 ms timer and holds the preset controls. Everything here runs
// on the host's user-interface thread; what the audio thread shares is read and written through
// the module's shared words only.

#include "panel_layout.h"

#include <QBasicTimer>
#include <QDialog>

namespace qex {
class ProcessingModule;
struct PanelMeterReadings;
} // namespace qex

namespace qex::panel {

class ControlPanel : public QDialog {
public:
    ControlPanel(ProcessingModule& module, QWidget* owner);

    // One tick of the panel's timer: auto-repeat of + and −, the caption's format warning, the
    // meters and the edited mark.
    void Tick();

    // True while the window's own close handler runs: the window must not be deleted then.
    bool InCloseHandler() const { return inCloseHandler_; }
    void StopTimer() { timer_.stop(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void reject() override;

private:
    void ConnectControls();
    void ConnectSlider(QAbstractSlider* slider, int id);

    void RefreshAllControls();
    void ShowBand(int band, int section);
    void SelectShownBands();
    // The bands whose "CFG" buttons are selected are shown and become their group's shown band;
    // a click of band mute's "M" stops before that band.
    void ShowSelectedBands(int mutedBand = kBandCount);

    void OnSlider(int id);
    void ReadBandSliders(bool dualBand);
    void OnGlobalSlider(const GlobalSlider& entry);
    void OnSwitch(int id);
    void OnSection(int section);
    void OnSectionOn();
    void OnMute(int band);
    void Browse(int step);
    void OnSave();
    void OnLoad();
    void OnNameEdited(const QString& text);

    void ShowMeters(const PanelMeterReadings& readings);

    ProcessingModule& module_;
    PanelControls c_;
    QBasicTimer timer_;
    bool inCloseHandler_ = false;
};

} // namespace qex::panel
