#include "chain_status_view.h"

#include <iostream>

namespace {

constexpr int kRefreshMs = 500;

} // namespace

TChainStatusView::TChainStatusView(TMMChainMonitor& monitor, QWidget* parent) : QLabel(parent), monitor_(monitor)
{
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Refresh(); });
}

void TChainStatusView::Started()
{
    monitor_.Begin();
    Refresh();
    timer_.start();
}

void TChainStatusView::Stopped()
{
    timer_.stop();
    const TMMChainDropouts dropouts = monitor_.Dropouts();
    setText(QString::fromStdString(chainStatusText(lastDelay_, dropouts)));
    setToolTip(QString::fromStdString(chainStatusDetail(lastDelay_, dropouts)));
    std::cerr << "Processing stopped. " << chainStatusText(lastDelay_, dropouts) << " (input overruns "
              << dropouts.inputOverruns << ", output underruns " << dropouts.outputUnderruns
              << ", ring buffer overflows " << dropouts.ringOverflows << ", ring buffer underruns "
              << dropouts.ringUnderruns << ", host silence paddings " << dropouts.hostPaddings << ")" << std::endl;
}

void TChainStatusView::Refresh()
{
    lastDelay_ = monitor_.Delay();
    const TMMChainDropouts dropouts = monitor_.Dropouts();
    setText(QString::fromStdString(chainStatusText(lastDelay_, dropouts)));
    setToolTip(QString::fromStdString(chainStatusDetail(lastDelay_, dropouts)));
}
