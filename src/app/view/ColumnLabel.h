#pragma once
// A label that lays its text out by bytes, as the box's captions are built:
// every byte of the GBK text is one column, so a Chinese character takes two
// and the blank fill of a caption lines the columns of all rows up, whatever
// the font's own widths.

#include <QLabel>

#include "support/Text.h"

namespace box {

class ColumnLabel : public QLabel {
public:
    explicit ColumnLabel(QWidget* parent = nullptr);

    void setCaption(const Text& gbk);
    const Text& caption() const { return caption_; }
    // Width of one byte column in pixels: half the font's pixel size.
    qreal columnWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Text caption_;
};

}  // namespace box
