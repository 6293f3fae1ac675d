#pragma once
// The status line's account of the running chain: its delay and its dropouts since Start, in
// one short text, refreshed twice a second while processing runs; the tooltip breaks both down.
// When processing stops the last figures stay, and they are written to standard error as well,
// so that a run without anyone watching leaves them behind.

#include "chain_monitor.h"

#include <QLabel>
#include <QTimer>

class TChainStatusView : public QLabel {
public:
    TChainStatusView(TMMChainMonitor& monitor, QWidget* parent);

    void Started();
    void Stopped();

private:
    void Refresh();

    TMMChainMonitor& monitor_;
    QTimer timer_;
    TMMChainDelay lastDelay_;
};
