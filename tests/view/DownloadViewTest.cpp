#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "TestDoubles.h"
#include "app/DownloadQueue.h"
#include "app/RowBuilder.h"
#include "app/view/DownloadView.h"
#include "app/view/MainWindow.h"
#include "app/view/QtText.h"

namespace box {

namespace {

// A transfer that never answers.
class SilentTransfer : public DownloadTransfer {
public:
    TransferTaskId Start(const Text&, const std::filesystem::path&, TransferCallback) override {
        return ++current;
    }
    void Stop() override {}
    std::int64_t Received() override { return 0; }
    std::int64_t SinceLast() override { return 0; }
    std::int64_t ReceivedInState() override { return 0; }
    std::filesystem::path FileName() override { return {}; }
    TransferTaskId CurrentTask() override { return current; }
    bool Completed() override { return false; }
    TransferTaskId current = 0;
};

}  // namespace

class DownloadViewTest : public QObject {
    Q_OBJECT

private slots:
    void timerAndButtonFollowTheQueue() {
        test::TempDir dir;
        test::ScriptedEventPump pump;
        test::ScriptedDialogs dialogs;
        ProgramList list;
        list.resize(1);
        CatalogEntry entry;
        entry.name = "a";
        entry.latestVersion = "1.0";
        entry.downloadUrl = "http://127.0.0.1/a.rar";
        BuildRow(list, 1, entry, dir.path());
        WindowActions actions;
        SilentTransfer transfer;
        DownloadQueue queue(list, pump, dialogs, transfer, dir.path(), {});
        MainWindow window(list, actions);
        DownloadView view(window, queue);
        auto* timer = window.findChild<QTimer*>(QString::fromUtf8("时钟下载"));
        auto* button = window.findChild<QPushButton*>(QString::fromUtf8("按钮一键下载"));
        QVERIFY(timer && button);
        QVERIFY(!timer->isActive());

        queue.ToggleDownloadAll();
        QCOMPARE(button->text(), QString::fromUtf8("停止下载全部软件"));
        QVERIFY(button->isEnabled());
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 1000);

        queue.ToggleDownloadAll();
        QCOMPARE(button->text(), QString::fromUtf8("一键下载全部软件"));
        QVERIFY(button->isEnabled());
        QVERIFY(!timer->isActive());
    }
};

}  // namespace box

int RunDownloadViewTests(int argc, char** argv) {
    box::DownloadViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DownloadViewTest.moc"
