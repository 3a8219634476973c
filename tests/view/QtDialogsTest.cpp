#include <algorithm>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include "app/view/QtDialogs.h"
#include "app/view/QtText.h"

namespace box {

class QtDialogsTest : public QObject {
    Q_OBJECT

private:
    // Presses a button of the next message box once it is up, and notes the
    // box's title, text and icon.
    void AnswerNextBox(QMessageBox::StandardButton press) {
        QTimer::singleShot(0, this, [this, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                AnswerNextBox(press);
                return;
            }
            title_ = box->windowTitle();
            text_ = box->text();
            icon_ = box->icon();
            stayOnTop_ = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            if (press == QMessageBox::NoButton) {
                box->reject();
            } else {
                box->button(press)->click();
            }
        });
    }

    enum class Close { kReject, kEscape, kCloseWindow };

    // Closes the next message box without a click on any of its buttons, and
    // notes which buttons it showed.
    void CloseNextBox(Close how) {
        QTimer::singleShot(0, this, [this, how] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                CloseNextBox(how);
                return;
            }
            shownButtons_.clear();
            for (QAbstractButton* button : box->buttons()) {
                if (button->isVisible()) shownButtons_.push_back(box->standardButton(button));
            }
            std::sort(shownButtons_.begin(), shownButtons_.end());
            switch (how) {
                case Close::kReject:
                    box->reject();
                    break;
                case Close::kEscape:
                    QTest::keyClick(box, Qt::Key_Escape);
                    break;
                case Close::kCloseWindow:
                    box->close();
                    break;
            }
        });
    }

    std::vector<QMessageBox::StandardButton> shownButtons_;
    QString title_;
    QString text_;
    QMessageBox::Icon icon_ = QMessageBox::NoIcon;
    bool stayOnTop_ = false;

private slots:
    void buttonsIconsAndCodesFollowTheFlags() {
        using B = QMessageBox::StandardButton;
        QCOMPARE(DialogButtons(kMbOk), (std::vector<B>{B::Ok}));
        QCOMPARE(DialogButtons(kMbYesNoCancel | kMbIconWarning),
                 (std::vector<B>{B::Yes, B::No, B::Cancel}));
        QCOMPARE(DialogButtons(kMbAbortRetryIgnore),
                 (std::vector<B>{B::Abort, B::Retry, B::Ignore}));
        QCOMPARE(DialogButtons(kMbRetryCancel), (std::vector<B>{B::Retry, B::Cancel}));
        QCOMPARE(DialogButtons(0xE), (std::vector<B>{B::Ok}));  // unknown: OK only
        QCOMPARE(DialogIcon(kMbIconError), QMessageBox::Critical);
        QCOMPARE(DialogIcon(kMbIconQuestion | kMbYesNo), QMessageBox::Question);
        QCOMPARE(DialogIcon(0), QMessageBox::NoIcon);
        QCOMPARE(ButtonCode(QMessageBox::Ok), static_cast<int>(kButtonOk));
        QCOMPARE(ButtonCode(QMessageBox::Ignore), static_cast<int>(kButtonIgnore));
        QCOMPARE(ButtonCode(QMessageBox::No), static_cast<int>(kButtonNo));
    }

    void showsTheBoxAndAnswersWithThePressedButton() {
        QtDialogs dialogs;
        AnswerNextBox(QMessageBox::Retry);
        QCOMPARE(dialogs.ShowMessage("下载失败"_gbk, kMbRetryCancel | kMbIconError, "信息："_gbk),
                 static_cast<int>(kButtonRetry));
        QCOMPARE(title_, QString::fromUtf8("信息："));
        QCOMPARE(text_, QString::fromUtf8("下载失败"));
        QCOMPARE(icon_, QMessageBox::Critical);
        QVERIFY(!stayOnTop_);

        // AskUser's boxes are system-modal: they stay on top.
        AnswerNextBox(QMessageBox::Yes);
        QCOMPARE(AskUser(dialogs, "是否创建?"_gbk, kMbYesNo), static_cast<int>(kButtonYes));
        QCOMPARE(title_, QString::fromUtf8("汀芷："));
        QCOMPARE(icon_, QMessageBox::Information);
        QVERIFY(stayOnTop_);

        // Closing a box with a Cancel button answers Cancel.
        AnswerNextBox(QMessageBox::NoButton);
        QCOMPARE(dialogs.ShowMessage("x", kMbOkCancel, "t"), static_cast<int>(kButtonCancel));
    }

    // A box closed without a click never agrees: Cancel where there is one,
    // else No, else OK, however it was closed. The first-run shortcut offer is
    // a Yes/No question.
    void aBoxClosedWithoutAClickAnswersCancelElseNoElseOk() {
        const struct {
            unsigned flags;
            int answer;
        } cases[] = {
            {kMbOk, kButtonOk},
            {kMbOkCancel, kButtonCancel},
            {kMbYesNoCancel | kMbIconQuestion, kButtonCancel},
            {kMbYesNo | kMbIconQuestion, kButtonNo},
            {kMbRetryCancel, kButtonCancel},
            {kMbAbortRetryIgnore, kButtonOk},
        };
        QtDialogs dialogs;
        for (const auto& c : cases) {
            auto expectShown = DialogButtons(c.flags);
            std::sort(expectShown.begin(), expectShown.end());
            for (Close how : {Close::kReject, Close::kEscape, Close::kCloseWindow}) {
                const QByteArray what = "0x" + QByteArray::number(c.flags, 16) + " closed by " +
                                        QByteArray::number(static_cast<int>(how));
                CloseNextBox(how);
                QVERIFY2(dialogs.ShowMessage("x", c.flags, "t") == c.answer, what.constData());
                QVERIFY2(shownButtons_ == expectShown, what.constData());
            }
        }
        CloseNextBox(Close::kReject);
        QCOMPARE(AskUser(dialogs, "是否创建?"_gbk, kMbYesNo), static_cast<int>(kButtonNo));
    }
};

}  // namespace box

int RunQtDialogsTests(int argc, char** argv) {
    box::QtDialogsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "QtDialogsTest.moc"
