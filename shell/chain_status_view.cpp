#include "chain_status_view.h"

#include "platform/operator_log.h"

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
    qex::platform::logOperatorMessage("processing stopped: " + chainStatusText(lastDelay_, dropouts) + " (" +
                                      chainDropoutsLine(dropouts) + ")");
}

void TChainStatusView::Refresh()
{
    lastDelay_ = monitor_.Delay();
    const TMMChainDropouts dropouts = monitor_.Dropouts();
    setText(QString::fromStdString(chainStatusText(lastDelay_, dropouts)));
    setToolTip(QString::fromStdString(chainStatusDetail(lastDelay_, dropouts)));
}
