// The help dialog: one at a time, modal, read-only, laid out with its margin.

#include <functional>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include "app/HelpText.h"
#include "app/view/HelpDialog.h"
#include "app/view/QtText.h"

namespace box {

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

int OpenHelpDialogs() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<HelpDialog*>(w) && w->isVisible()) ++n;
    return n;
}

// Opens the help over parent and runs inside() once the dialog's own event
// loop runs; inside() must close it. A dialog still open after a minute is
// closed so that a fault shows as a failure, not a hang.
void WithHelpOpen(QWidget* parent, std::function<void(HelpDialog*)> inside) {
    QTimer::singleShot(0, [inside] { inside(HelpDialog::current()); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (HelpDialog* open = HelpDialog::current()) open->reject();
    });
    guard.start(60000);
    ShowHelpDialog(parent);
}

}  // namespace

class HelpDialogTest : public QObject {
    Q_OBJECT
private slots:
    void secondOpenWhileOneIsOpenDoesNothing() {
        QWidget parent;
        parent.show();
        int openInside = -1;
        int openAfterSecondClick = -1;
        bool modal = false;
        QPointer<HelpDialog> seen;
        WithHelpOpen(&parent, [&](HelpDialog* dialog) {
            seen = dialog;
            openInside = OpenHelpDialogs();
            modal = dialog && dialog->isModal() && QApplication::activeModalWidget() == dialog;
            // The help picture clicked again, from inside the dialog's loop.
            ShowHelpDialog(&parent);
            openAfterSecondClick = OpenHelpDialogs();
            if (dialog) QTest::mouseClick(dialog->closeButton(), Qt::LeftButton);
        });
        QCOMPARE(openInside, 1);
        QCOMPARE(openAfterSecondClick, 1);
        QVERIFY(modal);
        // Closed without a question, and gone once the loop has let it go.
        QVERIFY(!HelpDialog::current() || !HelpDialog::current()->isVisible());
        QTRY_VERIFY(seen.isNull());
        // And it opens again afterwards.
        bool reopened = false;
        WithHelpOpen(&parent, [&](HelpDialog* dialog) {
            reopened = dialog != nullptr;
            if (dialog) dialog->close();
        });
        QVERIFY(reopened);
        QCOMPARE(OpenHelpDialogs(), 0);
    }

    void bodyIsReadOnlyAndStartsWithTheMouseLines() {
        HelpDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowTitle(), U("疑点说明"));
        QCOMPARE(dialog.prompt()->text(), U("以下为信息详情："));
        QVERIFY(dialog.prompt()->isReadOnly());
        QCOMPARE(dialog.closeButton()->text(), U("关闭(&G)"));
        QVERIFY(dialog.findChild<QPushButton*>(U("按钮确定"))->isHidden());
        QVERIFY(dialog.findChild<QWidget*>(U("外形框"))->isHidden());

        QPlainTextEdit* body = dialog.body();
        QVERIFY(body->isReadOnly());
        const QString text = body->toPlainText();
        QVERIFY(
            text.startsWith(U("鼠标左键点击软件名称：运行软件\n"
                              "鼠标左键点击软件名称（加Ctrl键）：打开软件主页\n"
                              "鼠标左键点击软件名称（加Alt键）：在桌面创建该软件的快捷方式\n"
                              "鼠标右键点击软件名称：打开软件目录\n")));
        QCOMPARE(FromQString(text), ReplaceAll(HelpText(), "\r\n", "\n"));
        body->setFocus();
        QTest::keyClicks(body, "typed");
        QTest::keyClick(body, Qt::Key_Delete);
        QTest::keyClick(body, Qt::Key_Backspace);
        QCOMPARE(body->toPlainText(), text);
    }

    void layoutKeepsTheMarginAtEverySize() {
        HelpDialog dialog;
        QCOMPARE(dialog.size(), QSize(HelpDialog::kWidth, HelpDialog::kHeight));
        if (QScreen* screen = dialog.screen())
            QCOMPARE(dialog.geometry().center(), screen->availableGeometry().center());
        // A hidden window lays out only once it is shown.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (QSize size :
             {QSize(HelpDialog::kWidth, HelpDialog::kHeight), QSize(700, 520), QSize(200, 120)}) {
            dialog.resize(size);
            QTRY_COMPARE(dialog.size(), size);
            const QRect prompt = dialog.prompt()->geometry();
            const QRect body = dialog.body()->geometry();
            const QRect close = dialog.closeButton()->geometry();
            QCOMPARE(prompt, QRect(5, 5, size.width() - 10, 33));
            QCOMPARE(body.left(), 5);
            QCOMPARE(body.top(), prompt.bottom() + 1 + 5);
            QCOMPARE(body.width(), size.width() - 10);
            QCOMPARE(close.size(), QSize(64, 24));
            QCOMPARE(close.right(), size.width() - 1 - 5);
            QCOMPARE(close.bottom(), size.height() - 1 - 5);
            QCOMPARE(body.bottom() + 1 + 5, close.top());
        }
    }

    void screenshot() {
        HelpDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_VERIFY(dialog.body()->hasFocus() || !dialog.isActiveWindow());
        QVERIFY(dialog.grab().save(SOFTBOX_BUILD_DIR "/help-dialog.png"));
    }
};

}  // namespace box

int RunHelpDialogTests(int argc, char** argv) {
    box::HelpDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "HelpDialogTest.moc"
