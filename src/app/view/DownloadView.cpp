#include "app/view/DownloadView.h"

#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "app/DownloadQueue.h"
#include "app/view/QtText.h"

namespace box {

DownloadView::DownloadView(QWidget& window, DownloadQueue& queue)
    : QObject(&window), queue_(queue) {
    timer_ = window.findChild<QTimer*>(QString::fromUtf8("时钟下载"));
    button_ = window.findChild<QPushButton*>(QString::fromUtf8("按钮一键下载"));
    if (timer_) {
        connect(timer_, &QTimer::timeout, this, [this] { queue_.OnProgressTimer(); });
        queue_.onTimerChanged = [this](int period) {
            // A new period restarts the count, as a fresh attempt expects.
            if (period > 0)
                timer_->start(period);
            else
                timer_->stop();
        };
    }
    queue_.onButtonChanged = [this] { RenderButton(); };
    RenderButton();
}

DownloadView::~DownloadView() {
    queue_.onTimerChanged = nullptr;
    queue_.onButtonChanged = nullptr;
}

void DownloadView::RenderButton() {
    if (!button_) return;
    const ControlState& state = queue_.downloadAllButton();
    button_->setText(ToQString(state.caption));
    button_->setEnabled(state.enabled);
}

}  // namespace box
