#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <fstream>

#include "PeWriter.h"
#include "RarWriter.h"
#include "TestDoubles.h"
#include "app/DownloadActions.h"
#include "app/DownloadQueue.h"
#include "app/RowBuilder.h"
#include "app/RowMouse.h"
#include "catalog/InstalledProgram.h"
#include "app/view/DownloadView.h"
#include "app/view/MainWindow.h"
#include "app/view/ProgramListView.h"
#include "app/view/QtText.h"
#include "download/ArchiveExtract.h"

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

// A transfer whose bytes the test hands over: they go to the save path as
// they "arrive", the way the engine writes them.
class HandFedTransfer : public DownloadTransfer {
public:
    TransferTaskId Start(const Text&, const std::filesystem::path& path,
                         TransferCallback cb) override {
        file = path;
        callback = std::move(cb);
        received = sinceLast = 0;
        return ++current;
    }
    void Stop() override {}
    std::int64_t Received() override { return received; }
    std::int64_t SinceLast() override { return std::exchange(sinceLast, 0); }
    std::int64_t ReceivedInState() override { return received; }
    std::filesystem::path FileName() override { return file; }
    TransferTaskId CurrentTask() override { return current; }
    bool Completed() override { return true; }

    void Begin(std::int64_t total) {
        std::ofstream(file, std::ios::binary | std::ios::trunc);
        callback(current, kTransferStarted, total);
    }
    void Receive(const std::string& bytes) {
        std::ofstream(file, std::ios::binary | std::ios::app) << bytes;
        received += static_cast<std::int64_t>(bytes.size());
        sinceLast += static_cast<std::int64_t>(bytes.size());
    }
    void Finish() { callback(current, kTransferFinished, received); }

    TransferCallback callback;
    std::filesystem::path file;
    TransferTaskId current = 0;
    std::int64_t received = 0;
    std::int64_t sinceLast = 0;
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

    // A click on the row's action button in the shown window: the caption
    // turns to the stop caption, the window's own timer shows the progress,
    // and after the extraction the row shows the new installed version.
    void rowClickDownloadsUnpacksAndShowsTheNewVersion() {
        const std::string name = "汀芷·截图标注工具";
        test::TempDir dir;
        QVERIFY(test::InstallProgram(dir.path(), name, test::ProgramLayout("1.0.0.0")));
        ProgramList list;
        list.resize(1);
        CatalogEntry entry;
        entry.name = Utf8ToGbk(name);
        entry.latestVersion = "2.0.0.0";
        entry.downloadUrl = "http://127.0.0.1/a.rar";
        RefreshEntryStatus(entry, dir.path());
        QCOMPARE(entry.status, int(kUpdateAvailable));
        BuildRow(list, 1, entry, dir.path());

        test::ScriptedEventPump pump;
        test::ScriptedDialogs dialogs;
        HandFedTransfer transfer;
        DownloadServices services;
        services.extract = [&](const std::filesystem::path& archive) {
            return ExtractArchive(pump, archive, 1);
        };
        DownloadQueue queue(list, pump, dialogs, transfer, dir.path(), std::move(services));
        WindowActions others;
        DownloadActions actions(others, queue);
        MainWindow window(list, actions);
        window.SetListLoader([](ProgramList&) { return true; });
        DownloadView view(window, queue);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.LoadList();
        ProgramListView* panel = window.listView();
        const QPoint action = ToQRect(list.at(1).actionButton.rect).center();
        QCOMPARE(panel->HitAt(action), (RowHit{1, RowPart::Action}));

        QTest::mouseClick(panel, Qt::LeftButton, Qt::NoModifier, action);
        QCOMPARE(ToQString(list.at(1).actionButton.caption), QString::fromUtf8("正在下载..停止"));
        QVERIFY(list.at(1).progressControl.visible);
        const QImage before = panel->grab().toImage();

        test::PeLayout layout = test::ProgramLayout("2.0.0.0");
        const std::string archive =
            test::BuildRar(test::RarFormat::kRar5,
                           {test::RarFile(name + "/" + name + ".exe", test::BuildPe(layout))});
        transfer.Begin(static_cast<std::int64_t>(archive.size()));
        transfer.Receive(archive.substr(0, (archive.size() + 1) / 2));
        // The window's timer, not the test, takes the next tick.
        QTRY_COMPARE(list.at(1).progressControl.progress, 50);
        QVERIFY(ToQString(list.at(1).hintControl.caption).contains(QString::fromUtf8("/秒")));
        QVERIFY(panel->grab().toImage() != before);

        transfer.Receive(archive.substr((archive.size() + 1) / 2));
        transfer.Finish();
        QTRY_COMPARE(list.at(1).entry.status, int(kUpToDate));
        QCOMPARE(list.at(1).entry.installedVersion, Text("2.0.0.0"));
        QVERIFY(list.at(1).nameControl.caption.find("2.0.0.0") != Text::npos);
        QVERIFY(!list.at(1).progressControl.visible);
        QVERIFY(!std::filesystem::exists(queue.ArchivePath(1)));
        QVERIFY(dialogs.shown.empty());
        QCOMPARE(queue.runningCount(), 0);
    }
};

}  // namespace box

int RunDownloadViewTests(int argc, char** argv) {
    box::DownloadViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DownloadViewTest.moc"
