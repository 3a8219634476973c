#include "app/view/Pictures.h"

#include <cmath>

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace box {

namespace {

const QColor kBadge(255, 255, 255, 235);
const QColor kInk(30, 78, 140);

// A rounded white badge filling most of a square picture.
QRectF BadgeRect(const QSize& size) {
    const qreal side = std::min(size.width(), size.height()) * 0.82;
    return QRectF((size.width() - side) / 2, (size.height() - side) / 2, side, side);
}

void DrawBadge(QPainter& p, const QRectF& r) {
    p.setPen(Qt::NoPen);
    p.setBrush(kBadge);
    p.drawRoundedRect(r, r.width() * 0.22, r.height() * 0.22);
}

QFont BoldFont(qreal pixelSize) {
    QFont font("WenQuanYi Micro Hei");
    font.setPixelSize(std::max(1, static_cast<int>(pixelSize)));
    font.setBold(true);
    return font;
}

}  // namespace

void PaintHeaderBackground(QPainter& p, const QSize& size) {
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, QColor(58, 129, 206));
    gradient.setColorAt(1, QColor(28, 82, 152));
    p.fillRect(QRect(QPoint(0, 0), size), gradient);
    // Faint diagonal stripes so the stretched header does not look flat.
    p.setPen(QPen(QColor(255, 255, 255, 18), 6));
    for (int x = -size.height(); x < size.width(); x += 28) {
        p.drawLine(x, size.height(), x + size.height(), 0);
    }
}

void PaintHelpPicture(QPainter& p, const QSize& size) {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = BadgeRect(size);
    p.setPen(Qt::NoPen);
    p.setBrush(kBadge);
    p.drawEllipse(r);
    p.setPen(kInk);
    p.setFont(BoldFont(r.height() * 0.7));
    p.drawText(r, Qt::AlignCenter, "?");
}

void PaintContactPicture(QPainter& p, const QSize& size) {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = BadgeRect(size);
    const QRectF bubble(r.left(), r.top() + r.height() * 0.1, r.width(), r.height() * 0.65);
    QPainterPath path;
    path.addRoundedRect(bubble, bubble.height() * 0.3, bubble.height() * 0.3);
    QPolygonF tail;
    tail << QPointF(r.left() + r.width() * 0.25, bubble.bottom() - 2)
         << QPointF(r.left() + r.width() * 0.2, r.bottom())
         << QPointF(r.left() + r.width() * 0.45, bubble.bottom() - 2);
    path.addPolygon(tail);
    path.setFillRule(Qt::WindingFill);
    p.setPen(Qt::NoPen);
    p.setBrush(kBadge);
    p.drawPath(path);
    p.setBrush(kInk);
    const qreal dot = r.width() * 0.11;
    for (int i = 0; i < 3; ++i) {
        const qreal cx = bubble.center().x() + (i - 1) * dot * 2.2;
        p.drawEllipse(QPointF(cx, bubble.center().y()), dot / 2, dot / 2);
    }
}

void PaintHomePicture(QPainter& p, const QSize& size) {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = BadgeRect(size);
    DrawBadge(p, r);
    const qreal w = r.width();
    const QPointF o = r.topLeft();
    QPolygonF roof;
    roof << o + QPointF(w * 0.15, w * 0.5) << o + QPointF(w * 0.5, w * 0.18)
         << o + QPointF(w * 0.85, w * 0.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kInk, w * 0.08, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(roof);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRect(QRectF(o + QPointF(w * 0.27, w * 0.5), QSizeF(w * 0.46, w * 0.3)));
    p.setBrush(kBadge);
    p.drawRect(QRectF(o + QPointF(w * 0.44, w * 0.6), QSizeF(w * 0.12, w * 0.2)));
}

void PaintVipPicture(QPainter& p, const QSize& size) {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = BadgeRect(size);
    DrawBadge(p, r);
    const qreal w = r.width();
    const QPointF o = r.topLeft();
    QPolygonF crown;
    crown << o + QPointF(w * 0.18, w * 0.52) << o + QPointF(w * 0.18, w * 0.2)
          << o + QPointF(w * 0.35, w * 0.36) << o + QPointF(w * 0.5, w * 0.14)
          << o + QPointF(w * 0.65, w * 0.36) << o + QPointF(w * 0.82, w * 0.2)
          << o + QPointF(w * 0.82, w * 0.52);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(232, 170, 20));
    p.drawPolygon(crown);
    p.setPen(QColor(200, 40, 40));
    p.setFont(BoldFont(w * 0.3));
    p.drawText(QRectF(r.left(), r.top() + w * 0.52, w, w * 0.42), Qt::AlignCenter, "VIP");
}

void PaintSitePicture(QPainter& p, const QSize& size) {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(1, 4, size.width() - 2, size.height() - 8);
    QLinearGradient gradient(r.topLeft(), r.bottomLeft());
    gradient.setColorAt(0, QColor(255, 214, 92));
    gradient.setColorAt(1, QColor(246, 150, 40));
    p.setPen(QPen(QColor(255, 255, 255, 200), 2));
    p.setBrush(gradient);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    p.setPen(QColor(120, 40, 0));
    p.setFont(BoldFont(r.height() * 0.42));
    p.drawText(r.adjusted(0, 2, 0, -r.height() * 0.3), Qt::AlignCenter,
               QString::fromUtf8("汀芷软件官网"));
    QFont small("WenQuanYi Micro Hei");
    small.setPixelSize(std::max(1, static_cast<int>(r.height() * 0.22)));
    p.setFont(small);
    p.drawText(r.adjusted(0, r.height() * 0.6, 0, -2), Qt::AlignCenter, "Qelvora");
}

void PaintLoadingPicture(QPainter& p, const QSize& size) {
    p.fillRect(QRect(QPoint(0, 0), size), QColor(245, 248, 252));
    p.setRenderHint(QPainter::Antialiasing);
    // A ring of dots fading round, above the caption in the middle.
    const QPointF centre(size.width() / 2.0, size.height() / 2.0 - 40);
    const int dots = 12;
    for (int i = 0; i < dots; ++i) {
        const double angle = 2 * M_PI * i / dots;
        QColor c(58, 129, 206);
        c.setAlpha(40 + 215 * i / dots);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(centre + QPointF(std::cos(angle) * 22, std::sin(angle) * 22), 4, 4);
    }
}

QPixmap TemplateIconPixmap(const QSize& size) {
    QPixmap pixmap(size.isValid() && !size.isEmpty() ? size : QSize(1, 1));
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = pixmap.width();
    const qreal h = pixmap.height();
    // A closed cardboard box with a tape strip.
    p.setPen(QPen(QColor(120, 78, 30), 1));
    p.setBrush(QColor(214, 160, 92));
    p.drawRect(QRectF(w * 0.12, h * 0.3, w * 0.76, h * 0.6));
    p.setBrush(QColor(232, 186, 120));
    QPolygonF lid;
    lid << QPointF(w * 0.12, h * 0.3) << QPointF(w * 0.28, h * 0.1) << QPointF(w * 0.72, h * 0.1)
        << QPointF(w * 0.88, h * 0.3);
    p.drawPolygon(lid);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 236, 200));
    p.drawRect(QRectF(w * 0.44, h * 0.3, w * 0.12, h * 0.6));
    return pixmap;
}

PictureBox::PictureBox(PicturePainter painter, QWidget* parent)
    : QWidget(parent), painter_(std::move(painter)) {}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (painter_) painter_(p, size());
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit clicked();
    QWidget::mousePressEvent(event);
}

}  // namespace box
