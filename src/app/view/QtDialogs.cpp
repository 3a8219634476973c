#include "app/view/QtDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QPushButton>

#include "app/view/QtText.h"

namespace box {

std::vector<QMessageBox::StandardButton> DialogButtons(unsigned flags) {
    using B = QMessageBox::StandardButton;
    switch (flags & kMbButtonMask) {
        case kMbOkCancel:
            return {B::Ok, B::Cancel};
        case kMbAbortRetryIgnore:
            return {B::Abort, B::Retry, B::Ignore};
        case kMbYesNoCancel:
            return {B::Yes, B::No, B::Cancel};
        case kMbYesNo:
            return {B::Yes, B::No};
        case kMbRetryCancel:
            return {B::Retry, B::Cancel};
        default:
            return {B::Ok};
    }
}

QMessageBox::Icon DialogIcon(unsigned flags) {
    switch (flags & kMbIconMask) {
        case kMbIconError:
            return QMessageBox::Critical;
        case kMbIconQuestion:
            return QMessageBox::Question;
        case kMbIconWarning:
            return QMessageBox::Warning;
        case kMbIconInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

int ButtonCode(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Cancel:
            return kButtonCancel;
        case QMessageBox::Abort:
            return kButtonAbort;
        case QMessageBox::Retry:
            return kButtonRetry;
        case QMessageBox::Ignore:
            return kButtonIgnore;
        case QMessageBox::Yes:
            return kButtonYes;
        case QMessageBox::No:
            return kButtonNo;
        default:
            return kButtonOk;
    }
}

QString ButtonCaption(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Ok:
            return QString::fromUtf8("确定");
        case QMessageBox::Cancel:
            return QString::fromUtf8("取消");
        case QMessageBox::Yes:
            return QString::fromUtf8("是(&Y)");
        case QMessageBox::No:
            return QString::fromUtf8("否(&N)");
        case QMessageBox::Abort:
            return QString::fromUtf8("中止(&A)");
        case QMessageBox::Retry:
            return QString::fromUtf8("重试(&R)");
        case QMessageBox::Ignore:
            return QString::fromUtf8("忽略(&I)");
        default:
            return {};
    }
}

int QtDialogs::ShowMessage(const Text& text, unsigned flags, const Text& title) {
    if (!QApplication::instance()) return ClosedBoxAnswer(flags);
    const std::vector<QMessageBox::StandardButton> buttons = DialogButtons(flags);
    QMessageBox box(DialogIcon(flags), ToQString(title), ToQString(text));
    QMessageBox::StandardButtons set;
    for (auto b : buttons) set |= b;
    box.setStandardButtons(set);
    box.setDefaultButton(buttons.front());
    // Escape and the close button answer as a box closed without a click.
    // Qt's own choice would be Abort in an Abort/Retry/Ignore box, so a box
    // lacking the answer's button gets it, hidden.
    const int closed = ClosedBoxAnswer(flags);
    const auto escape = closed == kButtonCancel ? QMessageBox::Cancel
                        : closed == kButtonNo   ? QMessageBox::No
                                                : QMessageBox::Ok;
    if (!(set & escape)) box.addButton(escape)->hide();
    box.setEscapeButton(escape);
    // The captions a Chinese system gives its message boxes' buttons.
    for (QAbstractButton* button : box.buttons()) {
        const QString caption = ButtonCaption(box.standardButton(button));
        if (!caption.isEmpty()) button->setText(caption);
    }
    box.setWindowModality(Qt::ApplicationModal);
    if (flags & kMbSystemModal) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    const auto clicked = box.standardButton(box.clickedButton());
    return clicked == QMessageBox::NoButton ? closed : ButtonCode(clicked);
}

void QtEventPump::ProcessPendingEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace box
