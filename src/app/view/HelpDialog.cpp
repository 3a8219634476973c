#include "app/view/HelpDialog.h"

#include <algorithm>

#include <QFrame>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include "app/HelpText.h"
#include "app/view/QtText.h"

namespace box {

namespace {

QPointer<HelpDialog>& OpenDialog() {
    static QPointer<HelpDialog> dialog;
    return dialog;
}

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

template <typename W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(U(name));
    return widget;
}

}  // namespace

void ShowHelpDialog(QWidget* parent) {
    if (OpenDialog()) return;
    // On the heap: the parent may go away while the dialog's loop runs, and
    // exec() copes with that only for a dialog it may delete itself.
    auto* dialog = new HelpDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    OpenDialog() = dialog;
    dialog->exec();
}

HelpDialog* HelpDialog::current() {
    return OpenDialog();
}

HelpDialog::HelpDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(U("文本对话框"));
    setWindowTitle(ToQString(HelpTitle()));
    setModal(true);

    prompt_ = Named(new QLineEdit(ToQString(HelpPrompt()), this), "编辑框提示");
    prompt_->setReadOnly(true);
    prompt_->setFrame(false);
    prompt_->setFocusPolicy(Qt::NoFocus);
    // A label in look: the window's colour behind it, and a bold face.
    prompt_->setStyleSheet("QLineEdit { background: transparent; }");
    QFont bold = prompt_->font();
    bold.setBold(true);
    prompt_->setFont(bold);

    body_ = Named(new QPlainTextEdit(this), "编辑框正文");
    body_->setPlainText(ToQString(HelpText()));
    body_->setReadOnly(true);
    // Read-only text keeps the usual text background, not a greyed one.
    body_->setBackgroundRole(QPalette::Base);

    // The input buttons and OK belong to the editing form of the dialog,
    // which the help never uses.
    inputButtons_ = Named(new QFrame(this), "外形框");
    inputButtons_->setGeometry(8, 320, 336, 34);
    int x = 4;
    for (const char* caption : {"清空", "文件名", "文件", "恢复", "粘贴"}) {
        auto* button = new QPushButton(U(caption), inputButtons_);
        button->setGeometry(x, 5, 64, 24);
        x += 66;
    }
    inputButtons_->hide();
    okButton_ = Named(new QPushButton(U("确定."), this), "按钮确定");
    okButton_->setGeometry(351, 328, 64, 24);
    okButton_->hide();

    closeButton_ = Named(new QPushButton(U("关闭(&G)"), this), "按钮取消");
    closeButton_->setAutoDefault(false);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);

    resize(kWidth, kHeight);
    ApplyLayout();
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    body_->setFocus();
}

HelpDialog::Layout HelpDialog::LayoutFor(QSize client) {
    const int w = client.width();
    const int h = client.height();
    Layout l;
    l.prompt = QRect(kMargin, kMargin, std::max(0, w - 2 * kMargin), kPromptHeight);
    l.closeButton =
        QRect(w - kMargin - kButtonWidth, h - kMargin - kButtonHeight, kButtonWidth, kButtonHeight);
    const int bodyTop = l.prompt.bottom() + 1 + kMargin;
    l.body = QRect(kMargin, bodyTop, std::max(0, w - 2 * kMargin),
                   std::max(0, l.closeButton.top() - kMargin - bodyTop));
    return l;
}

void HelpDialog::ApplyLayout() {
    const Layout l = LayoutFor(size());
    prompt_->setGeometry(l.prompt);
    body_->setGeometry(l.body);
    closeButton_->setGeometry(l.closeButton);
}

void HelpDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ApplyLayout();
}

}  // namespace box
