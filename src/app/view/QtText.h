#pragma once
// Conversions at the edge between the box's GBK state and Qt.

#include <QColor>
#include <QRect>
#include <QString>

#include "app/ProgramRow.h"
#include "support/Text.h"

namespace box {

inline QString ToQString(const Text& gbk) {
    return QString::fromStdString(GbkToUtf8(gbk));
}
inline Text FromQString(const QString& text) {
    return Utf8ToGbk(text.toStdString());
}

// 0x00BBGGRR -> QColor.
inline QColor FromColorRef(unsigned color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

inline QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.width, r.height);
}

}  // namespace box
