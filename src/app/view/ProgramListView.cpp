#include "app/view/ProgramListView.h"

#include <algorithm>

#include <QBuffer>
#include <QImageReader>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionProgressBar>
#include <QWheelEvent>

#include "app/NameCaptionParts.h"
#include "app/RowHighlight.h"
#include "app/view/Pictures.h"
#include "app/view/QtText.h"

namespace box {

namespace {

// The list's ground: the grey that program icons are drawn on.
const QColor kListGround(0xF5, 0xF5, 0xF5);
constexpr int kNamePixelSize = 14;
// Icons of this many programs at most stay decoded.
constexpr std::size_t kIconCacheLimit = 256;

int Modifiers(Qt::KeyboardModifiers modifiers) {
    int state = 0;
    if (modifiers & Qt::ControlModifier) state |= kModifierCtrl;
    if (modifiers & Qt::ShiftModifier) state |= kModifierShift;
    if (modifiers & Qt::AltModifier) state |= kModifierAlt;
    return state;
}

// Qt's own BMP reader, asked for that format alone: a reader left free to
// guess loads every image plugin (GIF, ICO, JPEG, ...) the first time, which
// cost the first paint of an installed program's row milliseconds.
QImage DecodeBmp(const std::string& bmp) {
    QByteArray bytes = QByteArray::fromRawData(bmp.data(), static_cast<qsizetype>(bmp.size()));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return {};
    QImageReader reader(&buffer, "BMP");
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    return reader.read();
}

bool IsButton(RowPart part) {
    return part == RowPart::Action || part == RowPart::Delete || part == RowPart::Tutorial;
}

}  // namespace

ProgramListView::ProgramListView(ProgramList& list, WindowActions& actions, QWidget* parent)
    : QWidget(parent), list_(list), actions_(actions), nameFont_("WenQuanYi Micro Hei") {
    nameFont_.setPixelSize(kNamePixelSize);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

int ProgramListView::nameColumn() const {
    // A CJK character is as wide as the pixel size and counts two bytes, so
    // the fill of a name of CJK characters ends exactly here.
    return static_cast<int>(kNameFillBytes) * kNamePixelSize / 2;
}

void ProgramListView::RowChanged(int index) {
    if (index < 1 || index > list_.size()) {
        update();
        return;
    }
    QRect area = ToQRect(RowBounds(list_.at(index)));
    if (static_cast<std::size_t>(index) <= paintedBounds_.size()) {
        area |= paintedBounds_[static_cast<std::size_t>(index - 1)];
    }
    if (!area.isEmpty()) update(area);
}

void ProgramListView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect area = event->rect();
    p.fillRect(area, kListGround);
    paintedRows_ = 0;
    paintedBounds_.resize(static_cast<std::size_t>(list_.size()));
    for (int i = 1; i <= list_.size(); ++i) {
        const ProgramRow& row = list_.at(i);
        const QRect bounds = ToQRect(RowBounds(row));
        if (!bounds.intersects(area)) continue;
        PaintRow(p, row, i);
        paintedBounds_[static_cast<std::size_t>(i - 1)] = bounds;
        ++paintedRows_;
    }
}

void ProgramListView::PaintRow(QPainter& p, const ProgramRow& row, int index) {
    // In the order the controls are stacked, bottom first.
    PaintIcon(p, row.iconControl);
    PaintName(p, row);
    for (RowPart part : {RowPart::Action, RowPart::Delete, RowPart::Tutorial}) {
        const RowHit hit{index, part};
        PaintButton(p, *RowControl(row, part), hoveredButton_ == hit, downButton_ == hit);
    }
    PaintProgress(p, row);
}

void ProgramListView::PaintIcon(QPainter& p, const ControlState& icon) {
    if (!icon.visible) return;
    const QRect rect = ToQRect(icon.rect);
    if (rect.isEmpty()) return;
    p.drawPixmap(rect.topLeft(), IconPixmap(icon.iconBmp, rect.size()));
}

const QPixmap& ProgramListView::TemplateIcon(const QSize& size) {
    const qreal ratio = devicePixelRatioF();
    if (templateIcon_.isNull() || templateIcon_.deviceIndependentSize().toSize() != size) {
        templateIcon_ = TemplateIconPixmap(size * ratio);
        templateIcon_.setDevicePixelRatio(ratio);
    }
    return templateIcon_;
}

QPixmap ProgramListView::IconPixmap(const std::string& bmp, const QSize& size) {
    if (bmp.empty()) return TemplateIcon(size);
    auto found = icons_.find(bmp);
    if (found == icons_.end()) {
        if (icons_.size() >= kIconCacheLimit) icons_.clear();
        CachedIcon decoded;
        decoded.image = DecodeBmp(bmp);
        found = icons_.emplace(bmp, std::move(decoded)).first;
    }
    CachedIcon& icon = found->second;
    // A picture that does not decode shows as the template's.
    if (icon.image.isNull()) return TemplateIcon(size);
    if (icon.scaled.isNull() || icon.scaled.deviceIndependentSize().toSize() != size) {
        const qreal ratio = devicePixelRatioF();
        icon.scaled = QPixmap::fromImage(
            icon.image.scaled(size * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        icon.scaled.setDevicePixelRatio(ratio);
    }
    return icon.scaled;
}

void ProgramListView::PaintName(QPainter& p, const ProgramRow& row) {
    const ControlState& name = row.nameControl;
    if (!name.visible) return;
    const QRect rect = ToQRect(name.rect);
    const NameCaptionParts parts = SplitNameCaption(name.caption, row.entry);
    const QString text = ToQString(parts.name);
    const QString rest = ToQString(parts.rest);
    const QFontMetricsF metrics(nameFont_);
    const qreal baseline = rect.top() + (rect.height() + metrics.ascent() - metrics.descent()) / 2;
    const qreal restX =
        rect.left() + std::max<qreal>(nameColumn(), metrics.horizontalAdvance(text));

    p.save();
    p.setClipRect(rect);
    p.setFont(nameFont_);
    p.setPen(FromColorRef(name.textColor));
    p.drawText(QPointF(rect.left(), baseline), text);
    if (!rest.isEmpty()) p.drawText(QPointF(restX, baseline), rest);
    if (name.emphasis) {
        // One line under the whole caption, its blank fill included.
        const qreal y = baseline + metrics.underlinePos();
        const qreal end = rest.isEmpty() ? rect.left() + metrics.horizontalAdvance(text)
                                         : restX + metrics.horizontalAdvance(rest);
        p.drawLine(QPointF(rect.left(), y), QPointF(end, y));
    }
    p.restore();
}

void ProgramListView::PaintButton(QPainter& p, const ControlState& button, bool hovered,
                                  bool down) {
    if (!button.visible) return;
    QStyleOptionButton option;
    option.initFrom(this);
    option.rect = ToQRect(button.rect);
    option.text = ToQString(button.caption);
    option.state &= ~(QStyle::State_MouseOver | QStyle::State_HasFocus | QStyle::State_Enabled);
    if (button.enabled) {
        option.state |= QStyle::State_Enabled;
        if (hovered) option.state |= QStyle::State_MouseOver;
    } else {
        option.palette.setCurrentColorGroup(QPalette::Disabled);
    }
    option.state |= down ? QStyle::State_Sunken : QStyle::State_Raised;
    // A control draws inside its own rectangle, as a widget of its own would.
    p.save();
    p.setClipRect(option.rect);
    style()->drawControl(QStyle::CE_PushButton, &option, &p, this);
    p.restore();
}

void ProgramListView::PaintProgress(QPainter& p, const ProgramRow& row) {
    const ControlState& progress = row.progressControl;
    if (!progress.visible) return;
    QStyleOptionProgressBar option;
    option.initFrom(this);
    option.rect = ToQRect(progress.rect);
    option.state |= QStyle::State_Horizontal;
    option.minimum = 0;
    option.maximum = 100;
    option.progress = std::clamp(progress.progress, 0, 100);
    option.textVisible = false;
    p.save();
    p.setClipRect(option.rect);
    style()->drawControl(QStyle::CE_ProgressBar, &option, &p, this);
    p.restore();

    // The hint lives inside the progress control.
    const ControlState& hint = row.hintControl;
    if (!hint.visible || hint.caption.empty()) return;
    const QRect rect = ToQRect(hint.rect).translated(option.rect.topLeft()) & option.rect;
    p.save();
    p.setClipRect(rect);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, ToQString(hint.caption));
    p.restore();
}

const ControlState* ProgramListView::ControlAt(const RowHit& hit) const {
    if (hit.index < 1 || hit.index > list_.size()) return nullptr;
    return RowControl(list_.at(hit.index), hit.part);
}

void ProgramListView::Dispatch(const RowHit& hit, MouseEventKind kind,
                               Qt::KeyboardModifiers modifiers) {
    Text tag;
    if (hit.part != RowPart::Panel) {
        const ControlState* control = ControlAt(hit);
        if (!control) return;
        // A copy: the handlers may rebuild the list.
        tag = control->tag;
    }
    DispatchRowMouse(actions_, hit.part, kind, Modifiers(modifiers), tag);
}

void ProgramListView::RepaintControl(const RowHit& hit) {
    if (const ControlState* control = ControlAt(hit)) update(ToQRect(control->rect));
}

void ProgramListView::SetButtonState(RowHit& field, const RowHit& value) {
    if (field == value) return;
    RepaintControl(field);
    field = value;
    RepaintControl(field);
}

RowHit ProgramListView::ShowPointer(const QPoint& point) {
    const RowHit hit = HitAt(point);
    setCursor(hit.part == RowPart::Name ? Qt::PointingHandCursor : Qt::ArrowCursor);
    SetButtonState(hoveredButton_, IsButton(hit.part) ? hit : RowHit{});
    return hit;
}

void ProgramListView::Hover(const QPoint& point) {
    const RowHit hit = ShowPointer(point);
    if (hit.part == RowPart::Name) HighlightRow(list_, hit.index);
    if (hit.part == RowPart::Panel) HighlightRow(list_, 0);
}

bool ProgramListView::OverChild(QMouseEvent* event) const {
    // The loading picture lies over the rows while they are built; what it
    // leaves to its parent is not the list's.
    if (!childAt(event->position().toPoint())) return false;
    event->ignore();
    return true;
}

void ProgramListView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (grabButton_ == Qt::NoButton) {
        if (OverChild(event)) return;
        Hover(point);
        return;
    }
    // While a button is held the control it went down on keeps the mouse.
    if (grab_.part == RowPart::Name) HighlightRow(list_, grab_.index);
    if (grab_.part == RowPart::Panel && HitAt(point).part == RowPart::Panel) HighlightRow(list_, 0);
    if (IsButton(grab_.part) && grabButton_ == Qt::LeftButton) {
        SetButtonState(downButton_, HitAt(point) == grab_ ? grab_ : RowHit{});
    }
}

void ProgramListView::mousePressEvent(QMouseEvent* event) {
    const Qt::MouseButton button = event->button();
    if ((button != Qt::LeftButton && button != Qt::RightButton) || OverChild(event)) {
        event->ignore();
        return;
    }
    const RowHit hit = HitAt(event->position().toPoint());
    grab_ = hit;
    grabButton_ = button;
    if (IsButton(hit.part)) {
        // Buttons act on release; a disabled one takes the press and does
        // nothing.
        const ControlState* control = ControlAt(hit);
        if (control && control->enabled && button == Qt::LeftButton) {
            SetButtonState(downButton_, hit);
        }
        return;
    }
    Dispatch(hit, button == Qt::LeftButton ? MouseEventKind::LeftDown : MouseEventKind::RightDown,
             event->modifiers());
}

void ProgramListView::mouseReleaseEvent(QMouseEvent* event) {
    if (grabButton_ == Qt::NoButton || event->button() != grabButton_) {
        event->ignore();
        return;
    }
    const RowHit hit = grab_;
    const QPoint point = event->position().toPoint();
    grab_ = {};
    grabButton_ = Qt::NoButton;
    if (IsButton(hit.part)) {
        const bool clicked = downButton_ == hit && HitAt(point) == hit;
        SetButtonState(downButton_, {});
        const ControlState* control = ControlAt(hit);
        if (clicked && control && control->enabled) Dispatch(hit, MouseEventKind::Click, {});
    } else {
        Dispatch(
            hit,
            event->button() == Qt::LeftButton ? MouseEventKind::LeftUp : MouseEventKind::RightUp,
            event->modifiers());
    }
    ShowPointer(point);
}

void ProgramListView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click: a button takes it as a press of its
    // own; the name, the icon and the panel take it as nothing.
    const RowHit hit = HitAt(event->position().toPoint());
    if (IsButton(hit.part)) {
        mousePressEvent(event);
    } else {
        event->ignore();
    }
}

void ProgramListView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    emit wheelTurned(delta > 0 ? 1 : -1);
}

void ProgramListView::leaveEvent(QEvent* event) {
    SetButtonState(hoveredButton_, {});
    QWidget::leaveEvent(event);
}

}  // namespace box
