#pragma once
// Renders the download queue's window state: the download timer (时钟下载)
// runs at the queue's period and ticks the queue, and the download-all button
// (按钮一键下载) shows the queue's caption and enabled state.

#include <QObject>

class QPushButton;
class QTimer;
class QWidget;

namespace box {

class DownloadQueue;

class DownloadView : public QObject {
    Q_OBJECT
public:
    // window holds the timer and the button under their designer names; both
    // window and queue must outlive this object.
    DownloadView(QWidget& window, DownloadQueue& queue);
    ~DownloadView() override;

private:
    void RenderButton();

    DownloadQueue& queue_;
    QTimer* timer_ = nullptr;
    QPushButton* button_ = nullptr;
};

}  // namespace box
