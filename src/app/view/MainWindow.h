#pragma once
// The main window: renders MainWindowModel and the ProgramList and forwards
// the user's actions to WindowActions. Every widget carries its designer name
// as object name; the rows' controls are drawn by the list (ProgramListView).

#include <functional>

#include <QWidget>

#include "app/MainWindowModel.h"
#include "app/ProgramRow.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTimer;
class QTreeWidget;

namespace box {

class PictureBox;
class ProgramListView;
class SearchModel;
class SearchView;
class WheelHook;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // list and actions must outlive the window.
    MainWindow(ProgramList& list, WindowActions& actions, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Builds the list on first activation; returns false when the box cannot
    // go on without a list. The loader may call listShown once the rows
    // exist, to have the list on screen before it goes on (the first-run
    // questions come after that); otherwise the window shows it afterwards.
    using ListLoader = std::function<bool(ProgramList&, const std::function<void()>& listShown)>;
    void SetListLoader(ListLoader loader) { loader_ = std::move(loader); }
    void SetListLoader(std::function<bool(ProgramList&)> loader) {
        loader_ = [loader = std::move(loader)](ProgramList& list, const std::function<void()>&) {
            return loader ? loader(list) : true;
        };
    }
    // Called by the pending-deletion timer every second until it returns
    // false.
    void SetPendingDeletionTick(std::function<bool()> tick) {
        pendingDeletionTick_ = std::move(tick);
    }

    // Renders the search box and its hits from search and sends it their
    // events; without it the box only reports its text to the actions.
    // search must outlive the window.
    void AttachSearch(SearchModel& search);

    // The first-activation step: builds the list, lays the window out for it,
    // hides the loading picture and installs the wheel hook. Runs once.
    bool LoadList();
    bool listLoaded() const { return listLoaded_; }
    // Lays the window out for the list, hides the loading picture and
    // installs the wheel hook. Runs once; LoadList calls it.
    void ShowLoadedList();

    // The window's size as designed: position and outer size, once the
    // window system has given it a frame.
    void ApplyDesignedGeometry();

    MainWindowModel& model() { return model_; }
    WheelHook* wheelHook() const { return wheelHook_; }
    // The content panel of the list, which paints the rows.
    ProgramListView* listView() const { return listView_; }

signals:
    // The first-activation step has run; ok is LoadList's result.
    void listLoadFinished(bool ok);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildHeader();
    void BuildList();
    void BuildTimers();
    void RenderModel();
    void JumpOnPageClick(QScrollBar* bar, ScrollBarKind kind);

    ProgramList& list_;
    WindowActions& actions_;
    MainWindowModel model_;
    ListLoader loader_;
    bool listShown_ = false;
    std::function<bool()> pendingDeletionTick_;
    bool activated_ = false;
    bool listLoaded_ = false;

    PictureBox* headerBase_ = nullptr;
    PictureBox* sitePicture_ = nullptr;
    QLabel* separator_ = nullptr;
    QWidget* viewport_ = nullptr;
    ProgramListView* listView_ = nullptr;
    QScrollBar* horizontalBar_ = nullptr;
    QScrollBar* verticalBar_ = nullptr;
    PictureBox* loadingPicture_ = nullptr;
    QLineEdit* searchBox_ = nullptr;
    QTreeWidget* searchResults_ = nullptr;
    QTimer* searchHitTimer_ = nullptr;
    SearchView* searchView_ = nullptr;
    QTimer* pendingDeletionTimer_ = nullptr;
    QTimer* headerTimer_ = nullptr;
    WheelHook* wheelHook_ = nullptr;
};

}  // namespace box
