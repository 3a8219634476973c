#include "app/view/MainWindow.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>

#include "app/ListLoading.h"
#include "app/RowHighlight.h"
#include "app/WindowLayout.h"
#include "app/view/Pictures.h"
#include "app/view/QtText.h"
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

int Modifiers(Qt::KeyboardModifiers modifiers) {
    int state = 0;
    if (modifiers & Qt::ControlModifier) state |= kModifierCtrl;
    if (modifiers & Qt::ShiftModifier) state |= kModifierShift;
    if (modifiers & Qt::AltModifier) state |= kModifierAlt;
    return state;
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

    list_.onChanged = [this](int index) { ListChanged(index); };
    model_.onChanged = [this] { RenderModel(); };
    model_.Resize(width(), height());
    SyncRows();
}

MainWindow::~MainWindow() {
    // The list belongs to the box and may outlive the window.
    list_.onChanged = nullptr;
    model_.onChanged = nullptr;
}

void MainWindow::BuildHeader() {
    headerBase_ = Named<PictureBox>("图片框底座", layout::kHeaderBase, PaintHeaderBackground, this);

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
    for (const LinkLayout& item : links) {
        auto* picture = Named<PictureBox>(item.picture, item.pictureRect, item.painter, this);
        picture->setCursor(Qt::PointingHandCursor);
        const HeaderLink target = item.target;
        connect(picture, &PictureBox::clicked, this,
                [this, target] { actions_.OpenHeaderLink(target); });

        auto* link = Named<QLabel>(item.link, item.linkRect, this);
        link->setText(QString("<u>%1</u>").arg(U(item.caption)));
        link->setTextFormat(Qt::RichText);
        link->setAlignment(Qt::AlignCenter);
        link->setStyleSheet("color: #ffffff;");
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

    auto* search = Named<QLineEdit>("编辑框搜索", layout::kSearchBox, this);
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
    separator_->setStyleSheet("background: #9bb4d3;");
}

void MainWindow::BuildList() {
    viewport_ = Named<QWidget>("图片框边界", layout::kViewport, this);
    contentPanel_ = Named<QWidget>("图片框容器", layout::kContentPanel, viewport_);
    contentPanel_->setAutoFillBackground(true);
    QPalette palette = contentPanel_->palette();
    palette.setColor(QPalette::Window, Qt::white);
    contentPanel_->setPalette(palette);
    contentPanel_->setMouseTracking(true);
    contentPanel_->installEventFilter(this);

    horizontalBar_ = Named<QScrollBar>("横向滚动条", layout::kHorizontalBar, Qt::Horizontal, this);
    verticalBar_ = Named<QScrollBar>("纵向滚动条", layout::kVerticalBar, Qt::Vertical, this);
    connect(horizontalBar_, &QScrollBar::valueChanged, this,
            [this](int value) { model_.MoveBar(ScrollBarKind::Horizontal, value); });
    connect(verticalBar_, &QScrollBar::valueChanged, this,
            [this](int value) { model_.MoveBar(ScrollBarKind::Vertical, value); });

    loadingPicture_ = Named<PictureBox>("图片框加载中", layout::kLoadingPicture,
                                        PaintLoadingPicture, contentPanel_);
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

    auto* searchHit = new QTimer(this);
    searchHit->setObjectName(U("时钟3"));
    searchHit->setSingleShot(true);
    searchHit->setInterval(layout::kSearchHitDelay);

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

void MainWindow::RenderModel() {
    const ScrollArea& area = model_.scrollArea();
    viewport_->setGeometry(ToQRect(area.viewport()));
    contentPanel_->setGeometry(ToQRect(area.contentPanel()));
    ShowBar(horizontalBar_, area.horizontalBar());
    ShowBar(verticalBar_, area.verticalBar());
    loadingPicture_->setGeometry(ToQRect(model_.loadingPicture()));
    loadingPicture_->setVisible(model_.loading());
    if (model_.loading()) loadingPicture_->raise();
    headerBase_->setGeometry(ToQRect(model_.headerBase()));
    separator_->setGeometry(ToQRect(model_.separator()));
}

void MainWindow::SyncRows() {
    const int n = list_.size();
    while (static_cast<int>(rows_.size()) > n) rows_.pop_back();
    while (static_cast<int>(rows_.size()) < n) {
        const int position = static_cast<int>(rows_.size()) + 1;
        auto view = std::make_unique<RowView>(contentPanel_, position, this);
        for (auto [button, part] : {std::pair{view->actionButton(), RowPart::Action},
                                    std::pair{view->deleteButton(), RowPart::Delete},
                                    std::pair{view->tutorialButton(), RowPart::Tutorial}}) {
            connect(button, &QPushButton::clicked, this,
                    [this, part, position] { ButtonClicked(part, position); });
        }
        rows_.push_back(std::move(view));
    }
    for (int i = 1; i <= n; ++i) RenderRow(i);
    if (model_.loading()) loadingPicture_->raise();
}

void MainWindow::RenderRow(int index) {
    if (index < 1 || index > list_.size() || index > static_cast<int>(rows_.size())) return;
    rows_[static_cast<std::size_t>(index - 1)]->Render(list_.at(index));
}

void MainWindow::ListChanged(int index) {
    if (index == 0 || static_cast<int>(rows_.size()) != list_.size()) {
        SyncRows();
    } else {
        RenderRow(index);
    }
}

bool MainWindow::LoadList() {
    if (listLoaded_) return true;
    listLoaded_ = true;
    const bool ok = loader_ ? loader_(list_) : true;
    SyncRows();
    model_.ListReady(ListBottom(list_));
    if (!wheelHook_) {
        wheelHook_ = new WheelHook(this, model_, list_, actions_);
        installEventFilter(wheelHook_);
    }
    emit listLoadFinished(ok);
    return ok;
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

const ControlState* MainWindow::ControlOf(RowPart part, int position) const {
    if (position < 1 || position > list_.size()) return nullptr;
    const ProgramRow& row = list_.at(position);
    switch (part) {
        case RowPart::Icon:
            return &row.iconControl;
        case RowPart::Name:
            return &row.nameControl;
        case RowPart::Action:
            return &row.actionButton;
        case RowPart::Hint:
            return &row.hintControl;
        case RowPart::Progress:
            return &row.progressControl;
        case RowPart::Delete:
            return &row.deleteButton;
        case RowPart::Tutorial:
            return &row.tutorialButton;
        case RowPart::Panel:
            return nullptr;
    }
    return nullptr;
}

void MainWindow::ButtonClicked(RowPart part, int position) {
    const ControlState* control = ControlOf(part, position);
    if (!control) return;
    DispatchRowMouse(actions_, part, MouseEventKind::Click, 0, control->tag);
}

bool MainWindow::RowMouseEvent(QObject* watched, QEvent* event) {
    const RowPart part = RowView::PartOf(watched);
    const int position = RowView::PositionOf(watched);
    const QEvent::Type type = event->type();
    if (type == QEvent::Enter && part == RowPart::Name) {
        HighlightRow(list_, position);
        return false;
    }
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress &&
        type != QEvent::MouseButtonRelease) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    // Events the row controls leave unhandled travel on to the panel; only
    // those over the bare panel count as the panel's.
    if (part == RowPart::Panel && contentPanel_->childAt(mouse->position().toPoint())) {
        return false;
    }
    if (type == QEvent::MouseMove) {
        if (part == RowPart::Name) HighlightRow(list_, position);
        if (part == RowPart::Panel) HighlightRow(list_, 0);
        return part == RowPart::Name;
    }
    MouseEventKind kind;
    if (mouse->button() == Qt::LeftButton) {
        kind = type == QEvent::MouseButtonPress ? MouseEventKind::LeftDown : MouseEventKind::LeftUp;
    } else if (mouse->button() == Qt::RightButton) {
        kind =
            type == QEvent::MouseButtonPress ? MouseEventKind::RightDown : MouseEventKind::RightUp;
    } else {
        return false;
    }
    const ControlState* control = ControlOf(part, position);
    if (part != RowPart::Panel && !control) return false;
    const RowAction action = DispatchRowMouse(actions_, part, kind, Modifiers(mouse->modifiers()),
                                              control ? control->tag : Text());
    return action != RowAction::None;
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
    if (watched == contentPanel_ && event->type() == QEvent::Wheel) {
        const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
        if (delta == 0) return false;
        model_.WheelScroll(delta > 0 ? 1 : -1, list_.size(), actions_);
        return true;
    }
    if (watched == contentPanel_ || RowView::PositionOf(watched) > 0) {
        return RowMouseEvent(watched, event);
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace box
