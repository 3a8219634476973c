#include <cstdlib>
#include <utility>
#include <vector>

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
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
#include "app/view/ProgramListView.h"
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

bool Ink(const QColor& pixel, const QColor& ground) {
    return std::abs(pixel.red() - ground.red()) + std::abs(pixel.green() - ground.green()) +
               std::abs(pixel.blue() - ground.blue()) >
           60;
}

// The runs of columns of the image that hold ink on the ground colour, as
// [first, last] pairs; runs closer than `gap` columns are merged.
std::vector<std::pair<int, int>> InkRuns(const QImage& image, const QColor& ground, int gap) {
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < image.width(); ++x) {
        bool ink = false;
        for (int y = 0; y < image.height() && !ink; ++y) ink = Ink(image.pixelColor(x, y), ground);
        if (!ink) continue;
        if (!runs.empty() && x - runs.back().second <= gap) {
            runs.back().second = x;
        } else {
            runs.push_back({x, x});
        }
    }
    return runs;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:

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
        ProgramListView* view = window.listView();
        QCOMPARE(view, Child<ProgramListView>(window, "图片框容器"));

        // The two installed programs are used 0 times like the rest, so the
        // catalog order stands. Each name lies where the mouse finds it.
        for (int i = 1; i <= 30; ++i) {
            const QRect name = R(list.at(i).nameControl.rect);
            QCOMPARE(name, QRect(40, 8 + (i - 1) * 26, 344, 26));
            QCOMPARE(view->HitAt(name.center()), (RowHit{i, RowPart::Name}));
            QCOMPARE(list.at(i).nameControl.tag, ToText(i));
        }
        QCOMPARE(window.model().listHeight(), 8 + 30 * 26);
        QCOMPARE(window.model().scrollArea().contentHeight(), 8 + 30 * 26 + 10);
        QVERIFY(!Child(window, "纵向滚动条")->isHidden());

        // Row 3 has no tutorial; rows 3.. are not downloaded.
        QCOMPARE(ToQString(list.at(3).tutorialButton.caption), U("暂无教程"));
        QVERIFY(!list.at(3).tutorialButton.enabled);
        QVERIFY(list.at(1).tutorialButton.enabled);
        QVERIFY(!list.at(3).deleteButton.enabled);
        QVERIFY(list.at(1).deleteButton.enabled);
        QVERIFY(ToQString(list.at(1).actionButton.caption).startsWith(U("已是最新版本!")));
        QVERIFY(!list.at(1).actionButton.enabled);
        QVERIFY(ToQString(list.at(2).actionButton.caption).startsWith(U("升级 v2.2.0.0")));
        QVERIFY(ToQString(list.at(3).actionButton.caption).startsWith(U("下载 v2.3.0.0")));
        const QPoint deleteButton3 = R(list.at(3).deleteButton.rect).center();
        QCOMPARE(view->HitAt(deleteButton3), (RowHit{3, RowPart::Delete}));
        QCOMPARE(list.at(3).hintControl.rect.left, 10);
        QCOMPARE(list.at(3).hintControl.rect.top, 0);

        // Not downloaded: the template's picture at the template's place. An
        // installed program shows its own icon, moved in by 3 pixels.
        const QImage before = view->grab().toImage();
        const QRect icon3 = R(list.at(3).iconControl.rect);
        QCOMPARE(icon3, QRect(8, 8 + 2 * 26, 26, 26));
        QImage expected(icon3.size(), before.format());
        expected.fill(QColor(0xF5, 0xF5, 0xF5));
        {
            QPainter p(&expected);
            p.drawPixmap(0, 0, TemplateIconPixmap(icon3.size()));
        }
        QCOMPARE(before.copy(icon3), expected);
        // The list was sorted after loading; the icon kept its inset anyway.
        const QRect icon1 = R(list.at(1).iconControl.rect);
        QCOMPARE(icon1, QRect(11, 11, 23, 23));
        QCOMPARE(before.pixelColor(icon1.center()), QColor(0x2E, 0x8B, 0x57));
        QCOMPARE(view->HitAt(icon1.center()), (RowHit{1, RowPart::Icon}));

        // A change of one row reaches the screen: the progress control shows
        // over the delete button, with the hint inside it.
        list.at(3).progressControl.visible = true;
        list.at(3).progressControl.progress = 40;
        list.at(3).hintControl.visible = true;
        list.at(3).hintControl.caption = "1.5MB/3MB"_gbk;
        list.Changed(3);
        const QImage after = view->grab().toImage();
        const QRect progress3 = R(list.at(3).progressControl.rect);
        QVERIFY(after.copy(progress3) != before.copy(progress3));
        QCOMPARE(after.copy(QRect(0, 0, view->width(), progress3.top())),
                 before.copy(QRect(0, 0, view->width(), progress3.top())));
        QCOMPARE(view->HitAt(deleteButton3), (RowHit{3, RowPart::Hint}));
        QCOMPARE(view->HitAt(progress3.topLeft() + QPoint(3, 3)), (RowHit{3, RowPart::Progress}));
    }

    void hoverAndMouseTableReachTheHandlers() {
        DemoWindow demo(30);
        auto& [box, list, actions, window] = demo;
        QVERIFY(demo.Show());
        window.LoadList();
        ProgramListView* panel = window.listView();
        auto at = [&](int row, RowPart part) {
            return R(RowControl(list.at(row), part)->rect).topLeft() + QPoint(5, 5);
        };
        // Pixels of the caption drawn in the given colour.
        auto inked = [&](int row, unsigned color) {
            const QImage name = panel->grab(R(list.at(row).nameControl.rect)).toImage();
            int n = 0;
            for (int y = 0; y < name.height(); ++y) {
                for (int x = 0; x < name.width(); ++x)
                    n += name.pixelColor(x, y) == FromColorRef(color);
            }
            return n;
        };

        QTest::mouseMove(panel, at(2, RowPart::Name) + QPoint(15, 5));
        QTRY_COMPARE(list.at(2).nameControl.textColor, 0xFF0090u);
        QVERIFY(list.at(2).nameControl.emphasis);
        QCOMPARE(panel->cursor().shape(), Qt::PointingHandCursor);
        // Hovered: underlined in its own colour, from the start of the name
        // to the end of the version.
        QVERIFY(inked(2, 0xFF0090) > 100);
        QCOMPARE(inked(3, 0xFF0090), 0);

        QTest::mouseMove(panel, at(3, RowPart::Name) + QPoint(15, 5));
        QTRY_COMPARE(list.at(3).nameControl.textColor, 0xFF0090u);
        QCOMPARE(list.at(2).nameControl.textColor, 0xFF0000u);
        QVERIFY(!list.at(2).nameControl.emphasis);
        QCOMPARE(inked(2, 0xFF0090), 0);

        // The bare panel right of the rows un-highlights everything.
        QTest::mouseMove(panel, QPoint(panel->width() - 3, 20));
        QTRY_COMPARE(list.at(3).nameControl.textColor, 0xFF0000u);
        QCOMPARE(panel->cursor().shape(), Qt::ArrowCursor);

        actions.calls.clear();
        QTest::mousePress(panel, Qt::LeftButton, Qt::ControlModifier, at(2, RowPart::Name));
        QTest::mouseRelease(panel, Qt::LeftButton, Qt::ControlModifier, at(2, RowPart::Name));
        QTest::mousePress(panel, Qt::LeftButton, Qt::AltModifier, at(2, RowPart::Name));
        QTest::mouseRelease(panel, Qt::LeftButton, Qt::AltModifier, at(2, RowPart::Name));
        QTest::mousePress(panel, Qt::RightButton, Qt::NoModifier, at(3, RowPart::Name));
        QTest::mouseRelease(panel, Qt::RightButton, Qt::NoModifier, at(3, RowPart::Name));
        QTest::mouseClick(panel, Qt::LeftButton, Qt::NoModifier, at(3, RowPart::Name));
        QTest::mousePress(panel, Qt::RightButton, Qt::NoModifier, at(1, RowPart::Icon));
        QTest::mouseRelease(panel, Qt::RightButton, Qt::NoModifier, at(1, RowPart::Icon));
        QTest::mouseClick(panel, Qt::LeftButton, Qt::NoModifier, at(2, RowPart::Action));
        QTest::mouseClick(panel, Qt::LeftButton, Qt::NoModifier, at(1, RowPart::Delete));
        QTest::mouseClick(panel, Qt::LeftButton, Qt::NoModifier,
                          at(3, RowPart::Delete));  // disabled
        QTest::mouseClick(panel, Qt::LeftButton, Qt::NoModifier, at(2, RowPart::Tutorial));
        // A button acts only when the press and the release are both on it.
        QTest::mousePress(panel, Qt::LeftButton, Qt::NoModifier, at(4, RowPart::Tutorial));
        QTest::mouseRelease(panel, Qt::LeftButton, Qt::NoModifier, at(5, RowPart::Tutorial));
        QTest::mouseClick(panel, Qt::LeftButton, Qt::NoModifier, QPoint(panel->width() - 3, 20));
        const QStringList expected = {
            "hide", "homepage 2", "hide", "shortcut 2",    "hide", "locate 3",
            "hide", "run 3",      "hide", "locate 1 icon", "hide", "download 2",
            "hide", "delete 1",   "hide", "tutorial 2",    "hide"};
        QCOMPARE(actions.calls, expected);
    }

    void listPaintsOnlyTheRowsInView() {
        DemoWindow demo(300);
        auto& [box, list, actions, window] = demo;
        QVERIFY(demo.Show());
        window.LoadList();
        ProgramListView* view = window.listView();
        QCOMPARE(list.size(), 300);
        const int inView = Child(window, "图片框边界")->height() / 26 + 2;
        view->repaint();
        QVERIFY(view->paintedRows() > 0);
        QVERIFY2(view->paintedRows() <= inView, qPrintable(QString::number(view->paintedRows())));

        // At the end of the list the last row is painted and found.
        Child<QScrollBar>(window, "纵向滚动条")->setValue(100);
        view->repaint();
        QVERIFY(view->paintedRows() <= inView);
        const QRect last = R(list.at(300).nameControl.rect);
        QVERIFY(view->visibleRegion().contains(last.center()));
        QCOMPARE(view->HitAt(last.center()), (RowHit{300, RowPart::Name}));
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

    void listBackgroundIsTheIconsGrey() {
        DemoWindow demo(30);
        auto& [box, list, actions, window] = demo;
        // Row 3 installed without an icon of its own: the default icon, whose
        // transparent corners the icon picture fills with the list's grey.
        test::InstallProgram(box.dir.path(), ProgramName(3), test::ProgramLayout("2.3.0.0"));
        QVERIFY(demo.Show());
        window.LoadList();
        QWidget* panel = Child(window, "图片框容器");
        const QImage shot = panel->grab().toImage();
        QCOMPARE(shot.pixelColor(panel->width() - 3, 20), QColor(0xF5, 0xF5, 0xF5));
        // No square around the icon: its corner is the ground beside it.
        const QRect icon = R(list.at(3).iconControl.rect);
        QCOMPARE(icon.size(), QSize(23, 23));
        QCOMPARE(shot.pixelColor(icon.topLeft()), QColor(0xF5, 0xF5, 0xF5));
        QCOMPARE(shot.pixelColor(icon.topLeft() - QPoint(2, 2)), QColor(0xF5, 0xF5, 0xF5));
    }

    void clickBesideTheScrollBarHandleJumpsToTheEnd() {
        DemoWindow demo(30);
        auto& [box, list, actions, window] = demo;
        QVERIFY(demo.Show());
        window.LoadList();
        auto* bar = Child<QScrollBar>(window, "纵向滚动条");
        QWidget* panel = Child(window, "图片框容器");
        QCOMPARE(bar->value(), 0);
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier,
                          QPoint(bar->width() / 2, bar->height() - 30));
        QCOMPARE(bar->value(), 100);
        QCOMPARE(panel->geometry().bottom() + 1, Child(window, "图片框边界")->height());
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() / 2, 30));
        QCOMPARE(bar->value(), 0);
        QCOMPARE(panel->y(), 0);
    }

    void wheelOverAScrollBarFollowsTheWindowRule() {
        DemoWindow demo(30);
        auto& [box, list, actions, window] = demo;
        QVERIFY(demo.Show());
        window.LoadList();
        window.resize(700, 500);  // both bars
        auto* vertical = Child<QScrollBar>(window, "纵向滚动条");
        auto* horizontal = Child<QScrollBar>(window, "横向滚动条");
        QVERIFY(!horizontal->isHidden());
        actions.calls.clear();
        // 100 / (30 / 3) = 10 per notch over either bar, not the bar's own
        // three lines; the horizontal bar stays where it is.
        const QPoint middle(vertical->width() / 2, vertical->height() / 2);
        SendWheel(vertical, middle, vertical->mapToGlobal(middle), -120);
        QCOMPARE(vertical->value(), 10);
        const QPoint along(horizontal->width() / 2, horizontal->height() / 2);
        SendWheel(horizontal, along, horizontal->mapToGlobal(along), -120);
        QCOMPARE(vertical->value(), 20);
        QCOMPARE(horizontal->value(), 0);
        QCOMPARE(actions.calls, (QStringList{"hide", "hide"}));
        QCOMPARE(Child(window, "图片框容器")->y(), -window.model().scrollArea().verticalOffset());
    }

    void namesKeepTheFontsOwnWidthsAndTheColumnAfterThemStaysPut() {
        test::TempDir dir;
        WriteFileText(
            OfflineCatalogPath(dir.gbk()),
            "[汀芷·Excel]\r\n最新版本=1.0\r\n[汀芷·Mixed大小写Name]\r\n最新版本=1.0\r\n"
            "[汀芷·屏幕录像专家]\r\n最新版本=1.0\r\n[汀芷·WWWWWWWW]\r\n最新版本=1.0\r\n"_gbk);
        NullEventPump pump;
        test::ScriptedDialogs dialogs;
        SettingsStore settings(pump, dialogs);
        settings.open({}, SettingsStore::kMemoryMode);
        ProgramList list;
        RecordingActions actions;
        MainWindow window(list, actions);
        window.SetListLoader([&](ProgramList& rows) {
            Text source;
            return LoadLocalCatalog(dir.gbk(), settings, rows, pump, dialogs, source);
        });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.LoadList());
        QCOMPARE(list.size(), 4);

        const QFont font = window.listView()->nameFont();
        const QImage shot = Child(window, "图片框容器")->grab().toImage();
        std::vector<int> columns;
        for (int i = 1; i <= list.size(); ++i) {
            const ControlState& name = list.at(i).nameControl;
            const QImage row = shot.copy(R(name.rect));
            const QColor ground = row.pixelColor(row.width() - 1, 0);
            // The name as the font draws it on its own.
            QImage alone(row.size(), QImage::Format_ARGB32);
            alone.fill(ground);
            {
                QPainter p(&alone);
                p.setFont(font);
                p.setPen(Qt::black);
                p.drawText(alone.rect(), Qt::AlignLeft | Qt::AlignVCenter,
                           ToQString(list.at(i).entry.name));
            }
            const auto expected = InkRuns(alone, ground, 12);
            const auto drawn = InkRuns(row, ground, 12);
            QCOMPARE(expected.size(), 1u);
            QVERIFY2(drawn.size() == 2, qPrintable(ToQString(name.caption)));
            QVERIFY2(std::abs(drawn[0].first - expected[0].first) <= 1 &&
                         std::abs(drawn[0].second - expected[0].second) <= 1,
                     qPrintable(QString("%1: drawn %2..%3, the font's %4..%5")
                                    .arg(ToQString(list.at(i).entry.name))
                                    .arg(drawn[0].first)
                                    .arg(drawn[0].second)
                                    .arg(expected[0].first)
                                    .arg(expected[0].second)));
            columns.push_back(drawn[1].first);
        }
        // " (未下载)" starts at one place in every row, after the widest name.
        for (int column : columns) QCOMPARE(column, columns.front());
    }

    void listIsOneWidgetWhateverItsLength() {
        auto widgets = [](int programs) {
            DemoWindow demo(programs);
            demo.window.LoadList();
            return demo.window.findChildren<QWidget*>().size();
        };
        QCOMPARE(widgets(300), widgets(3));
    }

    void screenshotOfFortyRows() {
        DemoWindow demo(40);
        auto& [box, list, actions, window] = demo;
        QVERIFY(demo.Show());
        window.LoadList();
        QCOMPARE(list.size(), 40);
        QTest::mouseMove(window.listView(),
                         R(list.at(2).nameControl.rect).topLeft() + QPoint(30, 10));
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
