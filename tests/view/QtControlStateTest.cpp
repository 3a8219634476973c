// Qt widgets saved into a settings store and put back.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "TestDoubles.h"
#include "app/view/MainWindow.h"
#include "app/view/QtControlState.h"
#include "app/view/QtText.h"
#include "settings/SettingsStore.h"
#include "support/BoxFolder.h"

namespace box {

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

template <typename W>
W* Add(QWidget& form, const char* name) {
    auto* widget = new W(&form);
    widget->setObjectName(U(name));
    return widget;
}

// A form with one widget of every kind the store knows.
struct Form {
    explicit Form(bool fill) {
        button->setProperty(kTagProperty, fill ? U("已下载") : QString());
        okButton->setProperty(kTagProperty, U("禁止保存"));
        radio1->setChecked(true);
        combo->setEditable(true);
        combo->addItems({"a", "b", "c"});
        list->setSelectionMode(QAbstractItemView::MultiSelection);
        list->addItems({"a", "b", "c", "d"});
        checks->addItems({"x", "y", "z"});
        for (int i = 0; i < checks->count(); ++i) {
            checks->item(i)->setFlags(checks->item(i)->flags() | Qt::ItemIsUserCheckable);
            checks->item(i)->setCheckState(Qt::Unchecked);
        }
        colour->setProperty(kColourProperty, 0u);
        if (!fill) return;
        line->setText(U("D:\\软件"));
        plain->setPlainText(U("第一行\n第二行"));
        check->setChecked(true);
        radio2->setChecked(true);
        combo->clear();
        combo->addItems({U("全部"), U("收费"), U("免费")});
        combo->setCurrentIndex(2);
        combo->setEditText(U("免费软件"));
        list->item(1)->setSelected(true);
        list->item(3)->setSelected(true);
        checks->setCurrentRow(1, QItemSelectionModel::NoUpdate);
        checks->item(0)->setCheckState(Qt::Checked);
        checks->item(2)->setCheckState(Qt::Checked);
        colour->setProperty(kColourProperty, 0x00FF8040u);
    }

    QStringList listSelection() const {
        QStringList out;
        for (QListWidgetItem* item : list->selectedItems()) out << item->text();
        out.sort();
        return out;
    }

    QWidget window;
    QPushButton* button = Add<QPushButton>(window, "按钮下载");
    QPushButton* okButton = Add<QPushButton>(window, "按钮确定");
    QLineEdit* line = Add<QLineEdit>(window, "编辑框路径");
    QPlainTextEdit* plain = Add<QPlainTextEdit>(window, "编辑框说明");
    QCheckBox* check = Add<QCheckBox>(window, "选择框自动");
    QRadioButton* radio1 = Add<QRadioButton>(window, "单选框一");
    QRadioButton* radio2 = Add<QRadioButton>(window, "单选框二");
    QComboBox* combo = Add<QComboBox>(window, "组合框类型");
    QListWidget* list = Add<QListWidget>(window, "列表框历史");
    QListWidget* checks = Add<QListWidget>(window, "选择列表框功能");
    QWidget* colour = Add<QWidget>(window, "颜色选择器背景");
};

struct Store {
    Store() { store.open(JoinPath(dir.gbk(), Text("state.ini"))); }
    test::TempDir dir;
    NullEventPump pump;
    test::ScriptedDialogs dialogs;
    SettingsStore store{pump, dialogs};
    WindowState state{store, pump};
};

WindowStateOptions Options(bool restore) {
    WindowStateOptions o;
    o.restore = restore;
    o.section = "form";
    o.comboList = true;
    o.comboContent = true;
    return o;
}

}  // namespace

class QtControlStateTest : public QObject {
    Q_OBJECT
private slots:
    void everyWidgetKindComesBack() {
        Store s;
        Form saved(true);
        QtStateWindow savedControls(saved.window);
        s.state.saveOrRestoreWindow(savedControls, Options(false));
        s.store.selectSection("form");
        QCOMPARE(s.store.readText("编辑框说明"_gbk), "第一行\r\n第二行"_gbk);
        QCOMPARE(s.store.readText("按钮确定.标记"_gbk, "none"), Text("none"));

        Form restored(false);
        QtStateWindow restoredControls(restored.window);
        s.state.saveOrRestoreWindow(restoredControls, Options(true));
        QCOMPARE(restored.button->property(kTagProperty).toString(), U("已下载"));
        QCOMPARE(restored.line->text(), U("D:\\软件"));
        QCOMPARE(restored.plain->toPlainText(), U("第一行\n第二行"));
        QVERIFY(restored.check->isChecked());
        QVERIFY(restored.radio2->isChecked());
        QVERIFY(!restored.radio1->isChecked());
        QCOMPARE(restored.combo->count(), 3);
        QCOMPARE(restored.combo->itemText(0), U("全部"));
        QCOMPARE(restored.combo->currentIndex(), 2);
        QCOMPARE(restored.combo->currentText(), U("免费软件"));
        QCOMPARE(restored.listSelection(), (QStringList{"b", "d"}));
        QCOMPARE(restored.checks->currentRow(), 1);
        QCOMPARE(restored.checks->item(0)->checkState(), Qt::Checked);
        QCOMPARE(restored.checks->item(1)->checkState(), Qt::Unchecked);
        QCOMPARE(restored.checks->item(2)->checkState(), Qt::Checked);
        QCOMPARE(restored.colour->property(kColourProperty).toUInt(), 0x00FF8040u);
    }

    void newItemsKeepTheirTicksAndAGoneWidgetIsSkipped() {
        Store s;
        Form saved(true);
        saved.checks->clear();
        saved.checks->addItems({"p", "q"});
        for (int i = 0; i < 2; ++i) {
            saved.checks->item(i)->setFlags(saved.checks->item(i)->flags() |
                                            Qt::ItemIsUserCheckable);
            saved.checks->item(i)->setCheckState(i == 1 ? Qt::Checked : Qt::Unchecked);
        }
        QtStateWindow savedControls(saved.window);
        s.state.saveOrRestoreWindow(savedControls, Options(false));

        Form restored(false);
        QtStateWindow restoredControls(restored.window);
        delete restored.line;
        QCOMPARE(restoredControls.controlCount(), 11);
        QVERIFY(restoredControls.control(2) == nullptr);
        QVERIFY(restoredControls.control(99) == nullptr);
        s.state.saveOrRestoreWindow(restoredControls, Options(true));
        QCOMPARE(restored.checks->count(), 2);
        QCOMPARE(restored.checks->item(0)->checkState(), Qt::Unchecked);
        QCOMPARE(restored.checks->item(1)->checkState(), Qt::Checked);
        QVERIFY(restored.checks->item(0)->flags() & Qt::ItemIsUserCheckable);
    }

    void mainWindowSearchBoxIsItsEditBox() {
        Store s;
        ProgramList list;
        WindowActions actions;
        MainWindow window(list, actions);
        auto* search = window.findChild<QLineEdit*>(U("编辑框搜索"));
        QVERIFY(search);
        search->setText(U("截图"));
        QtStateWindow controls(window);
        s.state.saveOrRestoreWindow(controls, Options(false));
        s.store.selectSection("form");
        QCOMPARE(s.store.readText("编辑框搜索"_gbk), "截图"_gbk);
        search->clear();
        s.state.saveOrRestoreWindow(controls, Options(true));
        QCOMPARE(search->text(), U("截图"));
    }

    void placementComesBack() {
        Store s;
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QtPlacedWindow placed(window);
        placed.setBounds({40, 50, 420, 310});
        QTRY_COMPARE(placed.bounds(), (WindowBounds{40, 50, 420, 310}));
        s.state.saveMainWindowPlacement(placed);

        placed.setBounds({0, 0, 200, 100});
        QTRY_COMPARE(placed.bounds(), (WindowBounds{0, 0, 200, 100}));
        s.state.restoreMainWindowPlacement(placed);
        QTRY_COMPARE(placed.bounds(), (WindowBounds{40, 50, 420, 310}));
        QCOMPARE(placed.showState(), int(kShowNormal));

        placed.setShowState(kShowMaximized);
        QTRY_COMPARE(placed.showState(), int(kShowMaximized));
        s.state.saveMainWindowPlacement(placed);
        placed.setShowState(kShowNormal);
        QTRY_COMPARE(placed.showState(), int(kShowNormal));
        s.state.restoreMainWindowPlacement(placed);
        QTRY_COMPARE(placed.showState(), int(kShowMaximized));
    }
};

}  // namespace box

int RunQtControlStateTests(int argc, char** argv) {
    box::QtControlStateTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "QtControlStateTest.moc"
