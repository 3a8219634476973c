#include "app/view/MainWindow.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>

#include "app/ListLoading.h"
#include "app/WindowLayout.h"
#include "app/view/Pictures.h"
#include "app/view/ProgramListView.h"
#include "app/view/QtText.h"
#include "app/view/SearchView.h"
#include "app/view/WheelHook.h"

namespace box {

namespace {

constexpr const char* kHeaderLinkProperty = "softboxHeaderLink";

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

template <typename W, typename... Args>
W* Named(const char* name, const Rect& rect, Args&&... args) {
    auto* widget = new W(std::forward<Args>(args)...);
    widget->setObjectName(U(name));
    widget->setGeometry(ToQRect(rect));
    return widget;
}

void ShowBar(QScrollBar* bar, const ScrollBarState& state) {
    const QSignalBlocker block(bar);
    bar->setGeometry(ToQRect(state.rect));
    bar->setRange(0, state.maximum);
    bar->setPageStep(std::max(1, state.maximum / 10));
    bar->setValue(state.position);
    bar->setEnabled(state.enabled);
    bar->setVisible(state.visible);
}

}  // namespace

MainWindow::MainWindow(ProgramList& list, WindowActions& actions, QWidget* parent)
    : QWidget(parent), list_(list), actions_(actions) {
    setObjectName(U("启动窗口"));
    setWindowTitle(U("汀芷·软件盒子(Qelvora) v1.0.7.0"));
    QFont font("WenQuanYi Micro Hei");
    font.setPixelSize(13);
    setFont(font);
    move(layout::kWindow.left, layout::kWindow.top);
    resize(layout::kWindow.width, layout::kWindow.height);

    BuildHeader();
    BuildList();
    BuildTimers();
    // The search hits drop down over the list.
    searchResults_->raise();

    list_.onChanged = [this](int index) { listView_->RowChanged(index); };
    model_.onChanged = [this] { RenderModel(); };
    model_.Resize(width(), height());
}

MainWindow::~MainWindow() {
    // Before the widgets it watches go, which may send it their last events.
    delete searchView_;
    // The list belongs to the box and may outlive the window.
    list_.onChanged = nullptr;
    model_.onChanged = nullptr;
}

void MainWindow::BuildHeader() {
    headerBase_ = Named<PictureBox>("图片框底座", layout::kHeaderBase, PaintHeaderBackground, this);
    // It paints every pixel: nothing under it need be painted first.
    headerBase_->setAttribute(Qt::WA_OpaquePaintEvent);

    struct LinkLayout {
        const char* picture;
        const char* link;
        Rect pictureRect;
        Rect linkRect;
        const char* caption;
        PicturePainter painter;
        HeaderLink target;
    };
    const LinkLayout links[] = {
        {"图片框说明", "超级链接框说明", layout::kHelpPicture, layout::kHelpLink, "疑点说明",
         PaintHelpPicture, HeaderLink::Help},
        {"图片框QQ", "超级链接框QQ", layout::kContactPicture, layout::kContactLink, "联系汀芷",
         PaintContactPicture, HeaderLink::Contact},
        {"图片框主页", "超级链接框主页", layout::kHomePicture, layout::kHomeLink, "软件主页",
         PaintHomePicture, HeaderLink::Homepage},
        {"图片框VIP", "超级链接框VIP", layout::kVipPicture, layout::kVipLink, "加入VIP",
         PaintVipPicture, HeaderLink::Vip},
    };
    QFont linkFont = font();
    linkFont.setUnderline(true);
    QPalette linkPalette = palette();
    linkPalette.setColor(QPalette::WindowText, Qt::white);
    for (const LinkLayout& item : links) {
        auto* picture = Named<PictureBox>(item.picture, item.pictureRect, item.painter, this);
        picture->setCursor(Qt::PointingHandCursor);
        const HeaderLink target = item.target;
        connect(picture, &PictureBox::clicked, this,
                [this, target] { actions_.OpenHeaderLink(target); });

        auto* link = Named<QLabel>(item.link, item.linkRect, this);
        // Plain text in an underlined font: rich text or a style sheet would
        // set up a text document or a style engine for four words.
        link->setTextFormat(Qt::PlainText);
        link->setText(U(item.caption));
        link->setFont(linkFont);
        link->setPalette(linkPalette);
        link->setAlignment(Qt::AlignCenter);
        link->setCursor(Qt::PointingHandCursor);
        link->setProperty(kHeaderLinkProperty, static_cast<int>(target));
        link->installEventFilter(this);
    }

    sitePicture_ = Named<PictureBox>("图片框官网", layout::kSitePicture, PaintSitePicture, this);
    sitePicture_->setCursor(Qt::PointingHandCursor);
    connect(sitePicture_, &PictureBox::clicked, this,
            [this] { actions_.OpenHeaderLink(HeaderLink::Site); });

    auto* downloadAll = Named<QPushButton>("按钮一键下载", layout::kDownloadAllButton, this);
    downloadAll->setText(U("一键下载全部软件"));
    QFont big = font();
    big.setPixelSize(16);
    big.setBold(true);
    downloadAll->setFont(big);
    connect(downloadAll, &QPushButton::clicked, this, [this] { actions_.DownloadAll(); });

    auto* search = searchBox_ = Named<QLineEdit>("编辑框搜索", layout::kSearchBox, this);
    search->setPlaceholderText(U("即输即搜(首拼通配).."));
    QFont searchFont = font();
    searchFont.setPixelSize(15);
    search->setFont(searchFont);
    connect(search, &QLineEdit::textEdited, this,
            [this](const QString& text) { actions_.SearchTextChanged(FromQString(text)); });

    searchResults_ = Named<QTreeWidget>("树型框", layout::kSearchResults, this);
    searchResults_->setHeaderHidden(true);
    searchResults_->setMouseTracking(true);  // hover tracking of the hits
    searchResults_->hide();

    separator_ = Named<QLabel>("标签分隔条", layout::kSeparator, this);
    QPalette line = separator_->palette();
    line.setColor(QPalette::Window, QColor(0x9b, 0xb4, 0xd3));
    separator_->setPalette(line);
    separator_->setAutoFillBackground(true);
}

void MainWindow::BuildList() {
    viewport_ = Named<QWidget>("图片框边界", layout::kViewport, this);
    listView_ = new ProgramListView(list_, actions_, viewport_);
    listView_->setObjectName(U("图片框容器"));
    listView_->setGeometry(ToQRect(layout::kContentPanel));
    connect(listView_, &ProgramListView::wheelTurned, this,
            [this](int direction) { model_.WheelScroll(direction, list_.size(), actions_); });

    horizontalBar_ = Named<QScrollBar>("横向滚动条", layout::kHorizontalBar, Qt::Horizontal, this);
    verticalBar_ = Named<QScrollBar>("纵向滚动条", layout::kVerticalBar, Qt::Vertical, this);
    connect(horizontalBar_, &QScrollBar::valueChanged, this,
            [this](int value) { model_.MoveBar(ScrollBarKind::Horizontal, value); });
    connect(verticalBar_, &QScrollBar::valueChanged, this,
            [this](int value) { model_.MoveBar(ScrollBarKind::Vertical, value); });
    JumpOnPageClick(horizontalBar_, ScrollBarKind::Horizontal);
    JumpOnPageClick(verticalBar_, ScrollBarKind::Vertical);

    loadingPicture_ =
        Named<PictureBox>("图片框加载中", layout::kLoadingPicture, PaintLoadingPicture, listView_);
    // It paints every pixel and covers the whole list while the list is
    // built, so the list is not painted under it.
    loadingPicture_->setAttribute(Qt::WA_OpaquePaintEvent);
    auto* caption = Named<QLabel>("标签1", layout::kLoadingCaption, loadingPicture_);
    caption->setText(U("正在加载远程配置文件..."));
    caption->setAlignment(Qt::AlignCenter);
    QFont captionFont = font();
    captionFont.setPixelSize(16);
    caption->setFont(captionFont);
}

void MainWindow::BuildTimers() {
    pendingDeletionTimer_ = new QTimer(this);
    pendingDeletionTimer_->setObjectName(U("时钟2"));
    pendingDeletionTimer_->setInterval(layout::kPendingDeletionPeriod);
    connect(pendingDeletionTimer_, &QTimer::timeout, this, [this] {
        if (!pendingDeletionTick_ || !pendingDeletionTick_()) pendingDeletionTimer_->stop();
    });
    pendingDeletionTimer_->start();

    searchHitTimer_ = new QTimer(this);
    searchHitTimer_->setObjectName(U("时钟3"));
    searchHitTimer_->setSingleShot(true);
    searchHitTimer_->setInterval(layout::kSearchHitDelay);

    headerTimer_ = new QTimer(this);
    headerTimer_->setObjectName(U("时钟官网"));
    headerTimer_->setInterval(layout::kHeaderAnimationPeriod);
    connect(headerTimer_, &QTimer::timeout, this, [this] {
        model_.TickHeader();
        sitePicture_->setGeometry(ToQRect(model_.sitePicture()));
    });
    headerTimer_->start();

    auto* download = new QTimer(this);
    download->setObjectName(U("时钟下载"));
    download->setInterval(layout::kDownloadPeriod);
}

void MainWindow::JumpOnPageClick(QScrollBar* bar, ScrollBarKind kind) {
    // Runs before the bar takes its new value, which can still be changed.
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar, kind](int action) {
        if (action != QAbstractSlider::SliderPageStepAdd &&
            action != QAbstractSlider::SliderPageStepSub) {
            return;
        }
        model_.PageBar(kind, action == QAbstractSlider::SliderPageStepAdd ? 1 : -1);
        bar->setSliderPosition(model_.scrollArea().bar(kind).position);
    });
}

void MainWindow::RenderModel() {
    const ScrollArea& area = model_.scrollArea();
    viewport_->setGeometry(ToQRect(area.viewport()));
    listView_->setGeometry(ToQRect(area.contentPanel()));
    ShowBar(horizontalBar_, area.horizontalBar());
    ShowBar(verticalBar_, area.verticalBar());
    loadingPicture_->setGeometry(ToQRect(model_.loadingPicture()));
    loadingPicture_->setVisible(model_.loading());
    if (model_.loading()) loadingPicture_->raise();
    headerBase_->setGeometry(ToQRect(model_.headerBase()));
    separator_->setGeometry(ToQRect(model_.separator()));
}

void MainWindow::AttachSearch(SearchModel& search) {
    delete searchView_;
    searchView_ = new SearchView(search, searchBox_, searchResults_, searchHitTimer_, this);
}

bool MainWindow::LoadList() {
    if (listLoaded_) return true;
    listLoaded_ = true;
    const bool ok = loader_ ? loader_(list_, [this] { ShowLoadedList(); }) : true;
    if (ok) ShowLoadedList();
    emit listLoadFinished(ok);
    return ok;
}

void MainWindow::ShowLoadedList() {
    if (listShown_) return;
    listShown_ = true;
    listView_->RowChanged(0);
    model_.ListReady(ListBottom(list_));
    if (!wheelHook_) {
        wheelHook_ = new WheelHook(this, model_, list_, actions_);
        installEventFilter(wheelHook_);
        wheelHook_->AlsoOn(horizontalBar_);
        wheelHook_->AlsoOn(verticalBar_);
    }
}

void MainWindow::ApplyDesignedGeometry() {
    const QSize frameExtra = frameGeometry().size() - size();
    resize(layout::kWindow.width - frameExtra.width(),
           layout::kWindow.height - frameExtra.height());
    move(layout::kWindow.left, layout::kWindow.top);
}

bool MainWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && !activated_) {
        activated_ = true;
        // After the activation has been handled, so the loading picture is
        // on screen while the list is built.
        QTimer::singleShot(0, this, [this] { LoadList(); });
    }
    return QWidget::event(event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    model_.Resize(width(), height());
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const QVariant link = watched->property(kHeaderLinkProperty);
    if (link.isValid()) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            actions_.OpenHeaderLink(static_cast<HeaderLink>(link.toInt()));
            return true;
        }
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace box
