#include <cstdlib>

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>
#include <QtTest>

#include "PeWriter.h"
#include "TestDoubles.h"
#include "app/ListLoading.h"
#include "app/view/MainWindow.h"
#include "app/view/Pictures.h"
#include "app/view/QtText.h"
#include "app/view/WheelHook.h"
#include "settings/SettingsStore.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"

namespace box {

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Records the handlers reached, one line each.
class RecordingActions : public WindowActions {
public:
    QStringList calls;
    void HideSearchResults() override { calls << "hide"; }
    void RunProgram(int row, bool fromIcon) override { Add("run", row, fromIcon); }
    void LocateProgram(int row, bool fromIcon) override { Add("locate", row, fromIcon); }
    void OpenHomepage(int row, bool fromIcon) override { Add("homepage", row, fromIcon); }
    void MakeShortcut(int row) override { Add("shortcut", row, false); }
    void ToggleDownload(int row) override { Add("download", row, false); }
    void DeleteProgram(int row) override { Add("delete", row, false); }
    void OpenTutorial(int row) override { Add("tutorial", row, false); }
    void OpenHeaderLink(HeaderLink link) override { calls << QString("link %1").arg(int(link)); }
    void DownloadAll() override { calls << "download all"; }
    void SearchTextChanged(const Text& text) override { calls << "search " + ToQString(text); }

private:
    void Add(const char* what, int row, bool fromIcon) {
        calls << QString("%1 %2%3").arg(what).arg(row).arg(fromIcon ? " icon" : "");
    }
};

const char* const kTitles[] = {"文件批量改名", "图片压缩精灵", "屏幕录像专家", "文本批量替换",
                               "快捷启动面板", "定时关机助手", "剪贴板记录器", "音频格式转换",
                               "截图标注工具", "桌面便签"};

// A catalog of n programs; every third has no tutorial, every fourth is free.
Text CatalogText(int n) {
    Text text = "[盒子]\r\n最新版本=1.0.7.0\r\n允许选择=是\r\n"_gbk;
    for (int i = 1; i <= n; ++i) {
        const std::string title =
            std::string(kTitles[(i - 1) % 10]) + (i > 10 ? std::to_string(i) : "");
        text += Utf8ToGbk("[汀芷·" + title + "]\r\n最新版本=2." + std::to_string(i) +
                          ".0.0\r\n软件主页=http://example.test/p" + std::to_string(i) + "\r\n");
        if (i % 3 != 0)
            text += Utf8ToGbk("视频教程=http://example.test/t" + std::to_string(i) + "\r\n");
        if (i % 4 == 0) text += Utf8ToGbk("软件类型=1\r\n");
    }
    return text;
}

std::string ProgramName(int i) {
    return std::string("汀芷·") + kTitles[(i - 1) % 10] + (i > 10 ? std::to_string(i) : "");
}

// A box folder with a catalog of n programs, the first two installed (one
// up to date, one behind), and a loader that parses it into the list.
struct DemoBox {
    explicit DemoBox(int n) {
        WriteFileText(OfflineCatalogPath(dir.gbk()), CatalogText(n));
        test::PeLayout current = test::ProgramLayout("2.1.0.0");
        current.icons.push_back({test::SolidPicture(32, 32, 0xFF2E8B57)});
        test::InstallProgram(dir.path(), ProgramName(1), current);
        test::PeLayout old = test::ProgramLayout("1.0.0.0");
        old.icons.push_back({test::SolidPicture(32, 32, 0xFFD2691E)});
        test::InstallProgram(dir.path(), ProgramName(2), old);
        settings.open({}, SettingsStore::kMemoryMode);
    }
    std::function<bool(ProgramList&)> Loader() {
        return [this](ProgramList& list) {
            Text source;
            return LoadLocalCatalog(dir.gbk(), settings, list, pump, dialogs, source);
        };
    }
    test::TempDir dir;
    NullEventPump pump;
    test::ScriptedDialogs dialogs;
    SettingsStore settings{pump, dialogs};
};

// A window on the demo box of n programs, with recorded handlers.
struct DemoWindow {
    explicit DemoWindow(int n) : box(n), window(list, actions) {
        window.SetListLoader(box.Loader());
    }
    bool Show() {
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }
    DemoBox box;
    ProgramList list;
    RecordingActions actions;
    MainWindow window;
};

template <typename W = QWidget>
W* Child(QWidget& window, const char* name) {
    return window.findChild<W*>(U(name));
}

QRect R(const Rect& r) {
    return ToQRect(r);
}

void SendWheel(QWidget* target, QPoint local, QPoint global, int delta) {
    QWheelEvent event(local, global, QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { unsetenv(kCatalogFileVariable); }

    void headerAndTimersAreLaidOutAsDesigned() {
        ProgramList list;
        RecordingActions actions;
        MainWindow window(list, actions);
        QCOMPARE(window.windowTitle(), U("汀芷·软件盒子(Qelvora) v1.0.7.0"));
        QCOMPARE(window.size(), QSize(964, 700));

        struct Expected {
            const char* name;
            QRect rect;
        };
        const Expected expected[] = {
            {"图片框底座", QRect(0, 0, 964, 88)},       {"图片框说明", QRect(16, 0, 64, 64)},
            {"超级链接框说明", QRect(16, 64, 64, 24)},  {"图片框QQ", QRect(104, 0, 64, 64)},
            {"超级链接框QQ", QRect(104, 64, 64, 24)},   {"图片框主页", QRect(192, 0, 64, 64)},
            {"超级链接框主页", QRect(192, 64, 64, 24)}, {"图片框VIP", QRect(280, 0, 64, 64)},
            {"超级链接框VIP", QRect(280, 64, 64, 24)},  {"图片框官网", QRect(384, 12, 195, 64)},
            {"按钮一键下载", QRect(616, 8, 320, 36)},   {"编辑框搜索", QRect(616, 46, 320, 36)},
            {"树型框", QRect(616, 88, 320, 576)},       {"标签分隔条", QRect(0, 88, 964, 2)},
            {"图片框边界", QRect(0, 90, 964, 610)},     {"图片框加载中", QRect(0, 0, 964, 612)},
            {"标签1", QRect(200, 87, 392, 24)},
        };
        for (const Expected& e : expected) {
            QWidget* w = Child(window, e.name);
            QVERIFY2(w, e.name);
            QCOMPARE(w->geometry(), e.rect);
        }
        QVERIFY(Child<QLabel>(window, "超级链接框说明")->text().contains(U("疑点说明")));
        QVERIFY(Child<QLabel>(window, "超级链接框主页")->text().contains(U("软件主页")));
        QVERIFY(Child<QLabel>(window, "超级链接框VIP")->text().contains(U("加入VIP")));
        QCOMPARE(Child<QPushButton>(window, "按钮一键下载")->text(), U("一键下载全部软件"));
        QCOMPARE(Child<QLineEdit>(window, "编辑框搜索")->placeholderText(),
                 U("即输即搜(首拼通配).."));
        QVERIFY(Child(window, "树型框")->isHidden());
        QVERIFY(!Child(window, "图片框加载中")->isHidden());
        QCOMPARE(Child<QLabel>(window, "标签1")->text(), U("正在加载远程配置文件..."));

        auto timer = [&](const char* name) { return window.findChild<QTimer*>(U(name)); };
        QVERIFY(timer("时钟2")->isActive());
        QCOMPARE(timer("时钟2")->interval(), 1000);
        QVERIFY(timer("时钟官网")->isActive());
        QCOMPARE(timer("时钟官网")->interval(), 20);
        QVERIFY(!timer("时钟下载")->isActive());
        QCOMPARE(timer("时钟下载")->interval(), 1000);
        QVERIFY(timer("时钟3")->isSingleShot());
        QCOMPARE(timer("时钟3")->interval(), 500);

        // Header controls reach their handlers.
        QTest::mouseClick(Child(window, "图片框VIP"), Qt::LeftButton);
        QTest::mouseClick(Child(window, "超级链接框说明"), Qt::LeftButton);
        QTest::mouseClick(Child(window, "按钮一键下载"), Qt::LeftButton);
        QTest::keyClicks(Child(window, "编辑框搜索"), "rj");
        QCOMPARE(actions.calls,
                 (QStringList{"link 3", "link 0", "download all", "search r", "search rj"}));
    }

    void timersDriveTheHeaderAndThePendingDeletion() {
        ProgramList list;
        WindowActions actions;
        MainWindow window(list, actions);
        int ticks = 0;
        window.SetPendingDeletionTick([&] { return ++ticks < 3; });
        auto* deletion = window.findChild<QTimer*>(U("时钟2"));
        deletion->setInterval(1);
        QTRY_VERIFY(!deletion->isActive());
        QCOMPARE(ticks, 3);

        QWidget* site = Child(window, "图片框官网");
        QTRY_VERIFY(site->x() > 384);
        QCOMPARE(site->geometry(), R(window.model().sitePicture()));
    }

    void rowsFollowTheCatalog() {
        DemoBox box(30);
        ProgramList list;
        RecordingActions actions;
        MainWindow window(list, actions);
        window.SetListLoader(box.Loader());
        QSignalSpy finished(&window, &MainWindow::listLoadFinished);
        QVERIFY(window.LoadList());
        QCOMPARE(finished.count(), 1);
        QVERIFY(box.dialogs.shown.empty());
        QCOMPARE(list.size(), 30);
        QVERIFY(Child(window, "图片框加载中")->isHidden());

        // The two installed programs are used 0 times like the rest, so the
        // catalog order stands.
        for (int i = 1; i <= 30; ++i) {
            auto* name = Child<QLabel>(window, ("控件名称_" + std::to_string(i)).c_str());
            QVERIFY(name);
            QCOMPARE(name->geometry(), QRect(40, 8 + (i - 1) * 26, 344, 26));
            QCOMPARE(name->text(), ToQString(list.at(i).nameControl.caption));
        }
        QCOMPARE(window.model().listHeight(), 8 + 30 * 26);
        QCOMPARE(window.model().scrollArea().contentHeight(), 8 + 30 * 26 + 10);
        QVERIFY(!Child(window, "纵向滚动条")->isHidden());

        // Row 3 has no tutorial; rows 3.. are not downloaded.
        auto* tutorial = Child<QPushButton>(window, "控件教程_3");
        QCOMPARE(tutorial->text(), U("暂无教程"));
        QVERIFY(!tutorial->isEnabled());
        QVERIFY(Child(window, "控件教程_1")->isEnabled());
        QVERIFY(!Child(window, "控件删除_3")->isEnabled());
        QVERIFY(Child(window, "控件删除_1")->isEnabled());
        QVERIFY(
            Child<QPushButton>(window, "控件下载点击_1")->text().startsWith(U("已是最新版本!")));
        QVERIFY(!Child(window, "控件下载点击_1")->isEnabled());
        QVERIFY(
            Child<QPushButton>(window, "控件下载点击_2")->text().startsWith(U("升级 v2.2.0.0")));
        QVERIFY(
            Child<QPushButton>(window, "控件下载点击_3")->text().startsWith(U("下载 v2.3.0.0")));
        QVERIFY(Child(window, "控件下载进度_3")->isHidden());
        QCOMPARE(Child(window, "控件下载提示_3")->parentWidget(), Child(window, "控件下载进度_3"));
        QCOMPARE(Child(window, "控件下载提示_3")->geometry().topLeft(), QPoint(10, 0));

        // Not downloaded: the template's picture at the template's place. An
        // installed program shows its own icon, moved in by 3 pixels.
        auto* icon3 = Child<QLabel>(window, "控件图标_3");
        QCOMPARE(icon3->geometry(), QRect(8, 8 + 2 * 26, 26, 26));
        QCOMPARE(icon3->pixmap().toImage(), TemplateIconPixmap(QSize(26, 26)).toImage());
        auto* icon1 = Child<QLabel>(window, "控件图标_1");
        // The list was sorted after loading; the icon kept its inset anyway.
        QCOMPARE(icon1->geometry(), QRect(11, 11, 23, 23));
        QCOMPARE(icon1->geometry(), R(list.at(1).iconControl.rect));
        QVERIFY(icon1->pixmap().toImage() != TemplateIconPixmap(QSize(26, 26)).toImage());
        QCOMPARE(icon1->pixmap().toImage().pixelColor(16, 16), QColor(0x2E, 0x8B, 0x57));

        // A change of one row reaches its widgets.
        list.at(3).progressControl.visible = true;
        list.at(3).progressControl.progress = 40;
        list.Changed(3);
        QVERIFY(!Child(window, "控件下载进度_3")->isHidden());
        QCOMPARE(Child<QProgressBar>(window, "控件下载进度_3")->value(), 40);
    }

    void hoverAndMouseTableReachTheHandlers() {
        DemoWindow demo(30);
        auto& [box, list, actions, window] = demo;
        QVERIFY(demo.Show());
        window.LoadList();

        auto* name2 = Child<QLabel>(window, "控件名称_2");
        auto* name3 = Child<QLabel>(window, "控件名称_3");
        QTest::mouseMove(name2, QPoint(20, 10));
        QTRY_COMPARE(list.at(2).nameControl.textColor, 0xFF0090u);
        QCOMPARE(name2->palette().color(QPalette::WindowText), QColor(0x90, 0x00, 0xFF));
        QVERIFY(name2->font().underline());
        QCOMPARE(name3->palette().color(QPalette::WindowText), QColor(0x00, 0x00, 0xFF));

        QTest::mouseMove(name3, QPoint(20, 10));
        QTRY_COMPARE(list.at(3).nameControl.textColor, 0xFF0090u);
        QCOMPARE(list.at(2).nameControl.textColor, 0xFF0000u);
        QVERIFY(!name2->font().underline());

        // The bare panel right of the rows un-highlights everything.
        QWidget* panel = Child(window, "图片框容器");
        QTest::mouseMove(panel, QPoint(panel->width() - 3, 20));
        QTRY_COMPARE(list.at(3).nameControl.textColor, 0xFF0000u);

        actions.calls.clear();
        QTest::mousePress(name2, Qt::LeftButton, Qt::ControlModifier, QPoint(5, 5));
        QTest::mouseRelease(name2, Qt::LeftButton, Qt::ControlModifier, QPoint(5, 5));
        QTest::mousePress(name2, Qt::LeftButton, Qt::AltModifier, QPoint(5, 5));
        QTest::mouseRelease(name2, Qt::LeftButton, Qt::AltModifier, QPoint(5, 5));
        QTest::mousePress(name3, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
        QTest::mouseRelease(name3, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
        QTest::mouseClick(name3, Qt::LeftButton);
        QTest::mousePress(Child(window, "控件图标_1"), Qt::RightButton);
        QTest::mouseClick(Child(window, "控件下载点击_2"), Qt::LeftButton);
        QTest::mouseClick(Child(window, "控件删除_1"), Qt::LeftButton);
        QTest::mouseClick(Child(window, "控件删除_3"), Qt::LeftButton);  // disabled
        QTest::mouseClick(Child(window, "控件教程_2"), Qt::LeftButton);
        QTest::mouseClick(panel, Qt::LeftButton, Qt::NoModifier, QPoint(panel->width() - 3, 20));
        const QStringList expected = {
            "hide", "homepage 2", "hide", "shortcut 2",    "hide", "locate 3",
            "hide", "run 3",      "hide", "locate 1 icon", "hide", "download 2",
            "hide", "delete 1",   "hide", "tutorial 2",    "hide"};
        QCOMPARE(actions.calls, expected);
    }

    void wheelScrollsOnlyInsideTheWindowAndPassesEventsOn() {
        DemoWindow demo(30);
        auto& [box, list, actions, window] = demo;
        QVERIFY(demo.Show());
        QVERIFY(!window.wheelHook());
        window.LoadList();
        QVERIFY(window.wheelHook());
        auto* bar = Child<QScrollBar>(window, "纵向滚动条");
        QWidget* panel = Child(window, "图片框容器");
        QCOMPARE(bar->value(), 0);
        QCOMPARE(bar->maximum(), 100);

        // Outside the window's rectangle: passed on, nothing scrolls.
        const QRect frame = window.frameGeometry();
        const QPoint outside = frame.bottomRight() + QPoint(40, 40);
        QWheelEvent away(QPointF(10, 10), QPointF(outside), QPoint(), QPoint(0, -120), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QVERIFY(!window.wheelHook()->eventFilter(&window, &away));
        SendWheel(&window, QPoint(10, 10), outside, -120);
        QCOMPARE(bar->value(), 0);
        QVERIFY(actions.calls.isEmpty());

        // Inside: 100 / (30 / 3) = 10 per notch, and still passed on.
        const QPoint inside = frame.topLeft() + QPoint(30, 30);
        QWheelEvent here(QPointF(10, 10), QPointF(inside), QPoint(), QPoint(0, -120), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QVERIFY(!window.wheelHook()->eventFilter(&window, &here));
        QCOMPARE(bar->value(), 10);
        QCOMPARE(actions.calls, QStringList{"hide"});
        QCOMPARE(panel->y(), -window.model().scrollArea().verticalOffset());
        QVERIFY(panel->y() < 0);

        // The panel's own wheel event scrolls the same way.
        SendWheel(panel, QPoint(5, 5), panel->mapToGlobal(QPoint(5, 5)), -120);
        QCOMPARE(bar->value(), 20);
        SendWheel(panel, QPoint(5, 5), panel->mapToGlobal(QPoint(5, 5)), 120);
        SendWheel(panel, QPoint(5, 5), panel->mapToGlobal(QPoint(5, 5)), 120);
        SendWheel(panel, QPoint(5, 5), panel->mapToGlobal(QPoint(5, 5)), 120);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(panel->y(), 0);

        // Moving the bar itself scrolls the panel to the end of the list.
        bar->setValue(100);
        QCOMPARE(panel->geometry().bottom() + 1, Child(window, "图片框边界")->height());
        QCOMPARE(panel->height(), window.model().scrollArea().contentHeight());
    }

    void resizeLaysTheListOutAgain() {
        DemoWindow demo(30);
        auto& [box, list, actions, window] = demo;
        QVERIFY(demo.Show());
        window.LoadList();
        window.resize(700, 500);
        QCOMPARE(Child(window, "图片框底座")->width(), 700);
        QCOMPARE(Child(window, "标签分隔条")->geometry(), QRect(0, 88, 700, 2));
        // 826 pixels of list do not fit: both bars, each along its edge.
        QVERIFY(!Child(window, "横向滚动条")->isHidden());
        QVERIFY(!Child(window, "纵向滚动条")->isHidden());
        const QRect viewport = Child(window, "图片框边界")->geometry();
        QCOMPARE(viewport.topLeft(), QPoint(0, 90));
        QCOMPARE(Child(window, "横向滚动条")->geometry().top(), viewport.bottom() + 1);
        QCOMPARE(Child(window, "纵向滚动条")->geometry().left(), viewport.right() + 1);
        window.resize(1200, 1100);
        QVERIFY(Child(window, "横向滚动条")->isHidden());
        QVERIFY(Child(window, "纵向滚动条")->isHidden());
    }

    void listIsBuiltOnceOnFirstActivation() {
        DemoBox box(3);
        ProgramList list;
        WindowActions actions;
        MainWindow window(list, actions);
        int loads = 0;
        window.SetListLoader([&](ProgramList& rows) {
            ++loads;
            return box.Loader()(rows);
        });
        window.show();
        window.activateWindow();
        QTRY_VERIFY(window.listLoaded());
        QTRY_COMPARE(list.size(), 3);
        window.LoadList();
        QCOMPARE(loads, 1);
    }

    void missingCatalogIsReportedAndEndsTheList() {
        test::TempDir dir;
        NullEventPump pump;
        test::ScriptedDialogs dialogs;
        SettingsStore settings(pump, dialogs);
        settings.open({}, SettingsStore::kMemoryMode);
        ProgramList list;
        WindowActions actions;
        MainWindow window(list, actions);
        window.SetListLoader([&](ProgramList& rows) {
            Text source;
            return LoadLocalCatalog(dir.gbk(), settings, rows, pump, dialogs, source);
        });
        QSignalSpy finished(&window, &MainWindow::listLoadFinished);
        QVERIFY(!window.LoadList());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QCOMPARE(dialogs.shown.size(), 1u);
        QVERIFY(GbkToUtf8(dialogs.shown[0].text).find("加载远程配置文件失败") == 0);
        QCOMPARE(GbkToUtf8(dialogs.shown[0].title), std::string("信息："));

        // A catalog without any program: the parser's message.
        WriteFileText(OfflineCatalogPath(dir.gbk()), "[盒子]\r\n最新版本=1.0\r\n"_gbk);
        Text source;
        QVERIFY(!LoadLocalCatalog(dir.gbk(), settings, list, pump, dialogs, source));
        QCOMPARE(dialogs.shown.size(), 2u);
        QCOMPARE(GbkToUtf8(dialogs.shown[1].text), std::string("配置文件出错。请咨询汀芷！"));
    }

    void screenshotOfFortyRows() {
        DemoWindow demo(40);
        auto& [box, list, actions, window] = demo;
        QVERIFY(demo.Show());
        window.LoadList();
        QCOMPARE(list.size(), 40);
        QTest::mouseMove(Child(window, "控件名称_2"), QPoint(30, 10));
        QTRY_VERIFY(list.at(2).nameControl.emphasis);
        const QImage shot = window.grab().toImage();
        QCOMPARE(shot.size(), QSize(964, 700));
        const QString path = QString(SOFTBOX_BUILD_DIR) + "/window-40.png";
        QVERIFY(shot.save(path));
        QVERIFY(QFileInfo(path).size() > 0);
    }
};

}  // namespace box

int RunMainWindowTests(int argc, char** argv) {
    box::MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MainWindowTest.moc"
