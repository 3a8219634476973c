#include <string>
#include <vector>

#include <QApplication>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "PeWriter.h"
#include "TestDoubles.h"
#include "app/ListLoading.h"
#include "app/SearchModel.h"
#include "app/view/MainWindow.h"
#include "app/view/QtText.h"
#include "settings/SettingsStore.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"

namespace box {

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

const char* const kTitles[] = {"软件管家",     "图片压缩精灵", "软件卸载助手", "文本批量替换",
                               "快捷启动面板", "软件搬家工具", "剪贴板记录器", "截图标注工具"};

// The handlers a window sends the box's text and the rows' hides to.
class SearchActions : public WindowActions {
public:
    explicit SearchActions(SearchModel& search) : search_(search) {}
    void HideSearchResults() override { search_.Hide(); }
    void SearchTextChanged(const Text& text) override { search_.TextChanged(text); }

private:
    SearchModel& search_;
};

// A window on a box of the eight programs above, three of them installed
// with icons of their own, and a search whose hits are recorded.
struct SearchWindow {
    SearchWindow()
        : search(list, pump, [this](int row) { ran.push_back(row); }),
          actions(search),
          window(list, actions) {
        Text catalog = "[盒子]\r\n最新版本=1.0.7.0\r\n"_gbk;
        for (const char* title : kTitles) {
            catalog += Utf8ToGbk(std::string("[汀芷·") + title + "]\r\n最新版本=2.0.0.0\r\n");
        }
        WriteFileText(OfflineCatalogPath(dir.gbk()), catalog);
        const std::uint32_t colours[] = {0xFF2E8B57, 0xFFD2691E, 0xFF4169E1};
        for (int i = 0; i < 3; ++i) {
            test::PeLayout layout = test::ProgramLayout("2.0.0.0");
            layout.icons.push_back({test::SolidPicture(32, 32, colours[i])});
            test::InstallProgram(dir.path(), std::string("汀芷·") + kTitles[i * 2], layout);
        }
        settings.open({}, SettingsStore::kMemoryMode);
        window.SetListLoader([this](ProgramList& rows) {
            Text source;
            const bool ok = LoadLocalCatalog(dir.gbk(), settings, rows, pump, dialogs, source);
            search.BuildSearchImages();
            return ok;
        });
        window.AttachSearch(search);
    }
    bool Show() {
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window)) return false;
        return window.LoadList();
    }
    QLineEdit* box() { return window.findChild<QLineEdit*>(U("编辑框搜索")); }
    QTreeWidget* hits() { return window.findChild<QTreeWidget*>(U("树型框")); }
    QTimer* hitTimer() { return window.findChild<QTimer*>(U("时钟3")); }
    QStringList hitTexts() {
        QStringList texts;
        for (int i = 0; i < hits()->topLevelItemCount(); ++i) {
            texts << hits()->topLevelItem(i)->text(0);
        }
        return texts;
    }
    int current() { return hits()->indexOfTopLevelItem(hits()->currentItem()); }

    test::TempDir dir;
    NullEventPump pump;
    test::ScriptedDialogs dialogs;
    SettingsStore settings{pump, dialogs};
    ProgramList list;
    std::vector<int> ran;
    SearchModel search;
    SearchActions actions;
    MainWindow window;
};

}  // namespace

class SearchViewTest : public QObject {
    Q_OBJECT

private slots:

    void placeholderGivesWayToTheTypedText() {
        SearchWindow w;
        QVERIFY(w.Show());
        QCOMPARE(w.box()->text(), U("即输即搜(首拼通配).."));
        QVERIFY(w.box()->font().italic());
        QCOMPARE(w.box()->palette().color(QPalette::Text), QColor(0x80, 0x80, 0x80));
        w.box()->setFocus();
        QTRY_VERIFY(w.box()->hasFocus());
        QCOMPARE(w.box()->text(), QString());
        QVERIFY(!w.box()->font().italic());
        QCOMPARE(w.box()->palette().color(QPalette::Text), QColor(0x90, 0x00, 0xFF));
        QVERIFY(w.hits()->isHidden());
    }

    void keysMoveThroughTheHitsAndRunOne() {
        SearchWindow w;
        QVERIFY(w.Show());
        w.box()->setFocus();
        QTRY_VERIFY(w.box()->hasFocus());
        QTest::keyClicks(w.box(), "rj");
        QVERIFY(w.hits()->isVisible());
        const QStringList expected{U("汀芷·软件管家v2.0.0.0"), U("汀芷·软件卸载助手v2.0.0.0"),
                                   U("汀芷·软件搬家工具(未下载)")};
        QCOMPARE(w.hitTexts(), expected);
        QCOMPARE(w.current(), 0);
        QVERIFY(!w.hits()->topLevelItem(0)->icon(0).isNull());
        // The installed program's own icon, opaque.
        const QImage icon = w.hits()->topLevelItem(0)->icon(0).pixmap(32, 32).toImage();
        QCOMPARE(icon.size(), QSize(32, 32));
        QCOMPARE(icon.pixelColor(16, 16), QColor(0x2E, 0x8B, 0x57));

        QTest::keyClick(w.box(), Qt::Key_Up);
        QCOMPARE(w.current(), 2);
        QTest::keyClick(w.box(), Qt::Key_Down);
        QCOMPARE(w.current(), 0);
        QTest::keyClick(w.box(), Qt::Key_Down);
        QCOMPARE(w.current(), 1);

        const QImage shot = w.window.grab().toImage();
        const QString path = QString(SOFTBOX_BUILD_DIR) + "/search-hits.png";
        QVERIFY(shot.save(path));
        QVERIFY(QFileInfo(path).size() > 0);

        // Space runs the selected hit and never reaches the box.
        QTest::keyClick(w.box(), Qt::Key_Space);
        QCOMPARE(w.box()->text(), U("rj"));
        QCOMPARE(w.ran.size(), 1u);
        QCOMPARE(w.list.at(w.ran[0]).entry.name, "汀芷·软件卸载助手"_gbk);
        QVERIFY(w.hits()->isHidden());
        QVERIFY(w.box()->hasFocus());
        // With the hits hidden, Enter shows them again.
        QTest::keyClick(w.box(), Qt::Key_Return);
        QVERIFY(w.hits()->isVisible());
        QCOMPARE(w.ran.size(), 1u);
    }

    void aClickedHitRunsHalfASecondLater() {
        SearchWindow w;
        QVERIFY(w.Show());
        w.box()->setFocus();
        QTRY_VERIFY(w.box()->hasFocus());
        // Chinese text comes from an input method.
        QInputMethodEvent typed;
        typed.setCommitString(U("汀芷"));
        QApplication::sendEvent(w.box(), &typed);
        QCOMPARE(w.hits()->topLevelItemCount(), 8);
        QTreeWidgetItem* third = w.hits()->topLevelItem(2);
        QTest::mouseClick(w.hits()->viewport(), Qt::LeftButton, {},
                          w.hits()->visualItemRect(third).center());
        QCOMPARE(w.current(), 2);
        QVERIFY(w.hitTimer()->isActive());
        QCOMPARE(w.hitTimer()->interval(), 500);
        // The typing stays in the box.
        QVERIFY(w.box()->hasFocus());
        QTRY_COMPARE_WITH_TIMEOUT(w.ran.size(), 1u, 10000);
        QCOMPARE(w.ran[0], third->data(0, Qt::UserRole).toInt());
        QVERIFY(!w.hitTimer()->isActive());
        QVERIFY(w.hits()->isHidden());
    }

    void aRowActionOrLosingTheFocusHidesTheHits() {
        SearchWindow w;
        QVERIFY(w.Show());
        w.box()->setFocus();
        QTRY_VERIFY(w.box()->hasFocus());
        QTest::keyClicks(w.box(), "rj");
        QVERIFY(w.hits()->isVisible());
        // A press on the bare list.
        QWidget* panel = w.window.findChild<QWidget*>(U("图片框容器"));
        QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(900, 20));
        QVERIFY(w.hits()->isHidden());
        // A press in the box shows them again.
        QTest::mouseClick(w.box(), Qt::LeftButton);
        QVERIFY(w.hits()->isVisible());
        w.box()->clearFocus();
        QVERIFY(w.hits()->isHidden());
        QCOMPARE(w.box()->text(), U("rj"));
    }
};

}  // namespace box

int RunSearchViewTests(int argc, char** argv) {
    box::SearchViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SearchViewTest.moc"
