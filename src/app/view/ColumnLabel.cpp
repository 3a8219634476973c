#include "app/view/ColumnLabel.h"

#include <QPainter>

#include "app/view/QtText.h"

namespace box {

ColumnLabel::ColumnLabel(QWidget* parent) : QLabel(parent) {}

void ColumnLabel::setCaption(const Text& gbk) {
    if (gbk == caption_ && !text().isEmpty()) return;
    caption_ = gbk;
    setText(ToQString(gbk));
    update();
}

qreal ColumnLabel::columnWidth() const {
    const int pixels = font().pixelSize() > 0 ? font().pixelSize() : fontMetrics().height();
    return pixels / 2.0;
}

void ColumnLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QFont glyphs = font();
    const bool underline = glyphs.underline();
    glyphs.setUnderline(false);
    p.setFont(glyphs);
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QFontMetricsF metrics(glyphs);
    const qreal baseline = (height() + metrics.ascent() - metrics.descent()) / 2.0;
    const qreal column = columnWidth();
    std::size_t columns = 0;
    for (std::size_t i = 0; i < caption_.size();) {
        const std::size_t length = GbkCharLength(caption_, i);
        const QString glyph = ToQString(caption_.substr(i, length));
        // Each character sits centred in its own columns.
        const qreal cell = column * static_cast<qreal>(length);
        const qreal x =
            column * static_cast<qreal>(columns) + (cell - metrics.horizontalAdvance(glyph)) / 2;
        p.drawText(QPointF(x, baseline), glyph);
        columns += length;
        i += length;
    }
    if (underline) {
        const qreal y = baseline + metrics.underlinePos();
        p.drawLine(QPointF(0, y), QPointF(column * static_cast<qreal>(columns), y));
    }
}

}  // namespace box
