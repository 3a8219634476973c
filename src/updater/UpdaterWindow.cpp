#include "updater/UpdaterWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>

namespace box {

namespace {

QString ToQ(const Text& gbk) {
    return QString::fromStdString(GbkToUtf8(gbk));
}

}  // namespace

int UpdaterDialogs::ShowMessage(const Text& text, unsigned flags, const Text& title) {
    QMessageBox box;
    box.setWindowTitle(ToQ(title));
    box.setText(ToQ(text));
    switch (flags & kMbIconMask) {
        case kMbIconError:
            box.setIcon(QMessageBox::Critical);
            break;
        case kMbIconQuestion:
            box.setIcon(QMessageBox::Question);
            break;
        case kMbIconWarning:
            box.setIcon(QMessageBox::Warning);
            break;
        case kMbIconInformation:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
    }
    // The update program only ever asks OK or OK and Cancel.
    QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QPushButton* cancel = nullptr;
    if ((flags & kMbButtonMask) == kMbOkCancel) {
        cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
    }
    box.setDefaultButton(ok);
    box.exec();
    if (box.clickedButton() == ok) return kButtonOk;
    return cancel ? kButtonCancel : kButtonOk;
}

void UpdaterPump::ProcessPendingEvents() {
    QApplication::processEvents();
}

UpdaterWindow::UpdaterWindow(UpdateSession& session)
    : session_(session), progress_(this), label_(this), timer_(this) {
    setWindowTitle(ToQ(Utf8ToGbk(kUpdaterCaption)));
    setFixedSize(428, 46);
    progress_.setGeometry(10, 10, 408, 26);
    progress_.setRange(0, 100);
    progress_.setTextVisible(false);
    // The label lies over the bar; its background lets the bar show through.
    label_.setGeometry(23, 10, 382, 26);
    label_.setAlignment(Qt::AlignCenter);
    label_.setAttribute(Qt::WA_TranslucentBackground);
    label_.raise();
    timer_.setInterval(kUpdaterTickMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { OnTick(); });
}

bool UpdaterWindow::Begin() {
    session_.Start();
    Show(session_.view());
    return !session_.view().ended;
}

void UpdaterWindow::Show(const UpdaterView& view) {
    progress_.setValue(view.progress);
    label_.setText(ToQ(view.label));
    if (view.timerPeriodMs > 0) {
        if (!timer_.isActive() || timer_.interval() != view.timerPeriodMs) {
            timer_.start(view.timerPeriodMs);
        }
    } else {
        timer_.stop();
    }
    if (view.ended) QApplication::quit();
}

void UpdaterWindow::OnTick() {
    session_.Tick();
    Show(session_.view());
}

void UpdaterWindow::closeEvent(QCloseEvent* event) {
    if (session_.CloseRequested()) {
        event->accept();
        Show(session_.view());
    } else {
        event->ignore();
    }
}

}  // namespace box
