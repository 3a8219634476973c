#include "app/view/SearchView.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeWidget>

#include "app/view/Pictures.h"
#include "app/view/QtText.h"

namespace box {

namespace {

constexpr int kIconSize = 32;
// The list's ground, which the icons were drawn on: it shows through in the
// hit list.
const QRgb kIconGround = qRgb(0xF5, 0xF5, 0xF5);

int KeyCode(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return SearchModel::kKeyEnter;
        case Qt::Key_Space:
            return SearchModel::kKeySpace;
        case Qt::Key_Up:
            return SearchModel::kKeyUp;
        case Qt::Key_Down:
            return SearchModel::kKeyDown;
        default:
            return 0;
    }
}

}  // namespace

SearchView::SearchView(SearchModel& model, QLineEdit* box, QTreeWidget* hits, QTimer* hitTimer,
                       QObject* parent)
    : QObject(parent), model_(model), box_(box), hits_(hits), hitTimer_(hitTimer) {
    // The model shows its placeholder as the box's text, in its own style.
    box_->setPlaceholderText({});
    box_->installEventFilter(this);
    hits_->setFocusPolicy(Qt::NoFocus);
    hits_->setIconSize(QSize(kIconSize, kIconSize));
    hits_->setRootIsDecorated(false);
    hits_->viewport()->installEventFilter(this);
    connect(hits_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) model_.SelectHit(hits_->indexOfTopLevelItem(item));
    });
    connect(hitTimer_, &QTimer::timeout, this, [this] { model_.HitTimerTick(); });
    model_.onChanged = [this] { Render(); };
    model_.focusSearchBox = [this] { box_->setFocus(Qt::OtherFocusReason); };
    templateIcon_ = QIcon(TemplateIconPixmap(QSize(kIconSize, kIconSize)));
    // The window's creation step shows the placeholder as losing the focus
    // does.
    model_.FocusLost();
    Render();
}

SearchView::~SearchView() {
    model_.onChanged = nullptr;
    model_.focusSearchBox = nullptr;
}

void SearchView::Render() {
    // Runs at every hit of a search: only what changed is touched.
    if (!rendered_ || renderedText_ != model_.boxText()) {
        renderedText_ = model_.boxText();
        const QString text = ToQString(renderedText_);
        if (box_->text() != text) box_->setText(text);
    }
    if (!rendered_ || renderedPlaceholderStyle_ != model_.placeholderStyle()) {
        renderedPlaceholderStyle_ = model_.placeholderStyle();
        QPalette palette = box_->palette();
        palette.setColor(QPalette::Text, FromColorRef(model_.textColor()));
        box_->setPalette(palette);
        QFont font = box_->font();
        font.setItalic(renderedPlaceholderStyle_);
        box_->setFont(font);
    }
    rendered_ = true;
    // Adding and painting the hits one by one would cost far more than the
    // search: the list keeps its last picture until the search has ended.
    const bool searching = model_.searchesRunning() > 0;
    if (hits_->updatesEnabled() == searching) hits_->setUpdatesEnabled(!searching);
    if (searching) return;

    const QSignalBlocker block(hits_);
    if (imagesGeneration_ != model_.imagesGeneration()) {
        imagesGeneration_ = model_.imagesGeneration();
        icons_.assign(model_.images().size(), QIcon());
        // Items keep their image index, as a replaced image list leaves them.
        for (int i = 0; i < hitsShown_; ++i) {
            hits_->topLevelItem(i)->setIcon(0, HitIcon(model_.hits()[std::size_t(i)].image));
        }
    }
    const std::vector<SearchHit>& hits = model_.hits();
    if (hitsGeneration_ != model_.hitsGeneration() || hitsShown_ > int(hits.size())) {
        hitsGeneration_ = model_.hitsGeneration();
        hits_->clear();
        hitsShown_ = 0;
    }
    QList<QTreeWidgetItem*> added;
    for (; hitsShown_ < int(hits.size()); ++hitsShown_) {
        const SearchHit& hit = hits[std::size_t(hitsShown_)];
        auto* item = new QTreeWidgetItem(QStringList{ToQString(hit.caption)});
        item->setIcon(0, HitIcon(hit.image));
        item->setData(0, Qt::UserRole, hit.row);
        added.append(item);
    }
    if (!added.isEmpty()) hits_->addTopLevelItems(added);
    const int selected = model_.selected();
    QTreeWidgetItem* current = selected >= 0 ? hits_->topLevelItem(selected) : nullptr;
    if (hits_->currentItem() != current) {
        hits_->setCurrentItem(current);
        if (current) hits_->scrollToItem(current);
    }
    if (hits_->isVisible() != model_.visible()) {
        hits_->setVisible(model_.visible());
        if (model_.visible()) hits_->raise();
    }

    if (model_.hitTimerPeriod() > 0 && !hitTimer_->isActive()) {
        hitTimer_->start(model_.hitTimerPeriod());
    } else if (model_.hitTimerPeriod() == 0 && hitTimer_->isActive()) {
        hitTimer_->stop();
    }
}

QIcon SearchView::HitIcon(int image) {
    if (image < 0 || image >= int(icons_.size())) return templateIcon_;
    QIcon& icon = icons_[std::size_t(image)];
    if (!icon.isNull()) return icon;
    const std::string& bmp = model_.images()[std::size_t(image)];
    QImage picture = QImage::fromData(reinterpret_cast<const uchar*>(bmp.data()),
                                      static_cast<int>(bmp.size()), "BMP");
    if (picture.isNull()) {
        icon = templateIcon_;
        return icon;
    }
    // The picture's fourth bytes carry no alpha: every pixel is opaque but
    // those of the ground.
    picture = picture.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == (kIconGround & 0xFFFFFF)) line[x] = 0;
        }
    }
    icon = QIcon(QPixmap::fromImage(picture));
    return icon;
}

bool SearchView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == box_) {
        switch (event->type()) {
            case QEvent::KeyPress: {
                const int key = KeyCode(static_cast<QKeyEvent*>(event)->key());
                return key != 0 && model_.KeyDown(key);
            }
            case QEvent::MouseButtonPress:
                if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                    model_.BoxPressed();
                }
                return false;
            case QEvent::FocusIn:
                model_.FocusGained();
                return false;
            case QEvent::FocusOut:
                // A context menu of the box leaves the typing where it is.
                if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
                    model_.FocusLost();
                }
                return false;
            default:
                return false;
        }
    }
    if (watched == hits_->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            QTreeWidgetItem* item = hits_->itemAt(mouse->position().toPoint());
            model_.HitPressed(item ? hits_->indexOfTopLevelItem(item) : -1);
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace box
