#pragma once
// The program list on screen: one widget, the content panel of the scrolling
// area (图片框容器), that paints the rows in view from the ProgramList and
// finds the row control under the mouse itself. The row templates' controls
// (控件图标, 控件名称, 控件下载点击, 控件下载提示, 控件下载进度, 控件删除,
// 控件教程) exist only as the ControlState of each row. Child widgets per row would make a long
// list slow to appear (each one costs the window system a round trip) and
// heavy to hold; this way the list costs what the screen shows.

#include <string>
#include <unordered_map>
#include <vector>

#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include "app/RowMouse.h"
#include "app/ProgramRow.h"

namespace box {

class ProgramListView : public QWidget {
    Q_OBJECT
public:
    // list and actions must outlive the view.
    ProgramListView(ProgramList& list, WindowActions& actions, QWidget* parent);

    // Repaints where row index (0: every row) lies now and where it was
    // last painted.
    void RowChanged(int index);

    // The row control under a point of the view.
    RowHit HitAt(const QPoint& point) const { return HitTestRows(list_, point.x(), point.y()); }

    // The font of the name captions.
    const QFont& nameFont() const { return nameFont_; }
    // Where the part of a name caption after its blank fill starts, from the
    // name control's left edge (unless the name itself reaches further).
    int nameColumn() const;
    // Rows drawn by the last paint event.
    int paintedRows() const { return paintedRows_; }

signals:
    // The wheel turned over the list: +1 up, -1 down.
    void wheelTurned(int direction);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    struct CachedIcon {
        QImage image;  // null: the BMP does not decode
        QPixmap scaled;
    };

    void PaintRow(QPainter& p, const ProgramRow& row, int index);
    void PaintIcon(QPainter& p, const ControlState& icon);
    void PaintName(QPainter& p, const ProgramRow& row);
    void PaintButton(QPainter& p, const ControlState& button, bool hovered, bool down);
    void PaintProgress(QPainter& p, const ProgramRow& row);
    QPixmap IconPixmap(const std::string& bmp, const QSize& size);
    const QPixmap& TemplateIcon(const QSize& size);

    const ControlState* ControlAt(const RowHit& hit) const;
    bool OverChild(QMouseEvent* event) const;
    void Dispatch(const RowHit& hit, MouseEventKind kind, Qt::KeyboardModifiers modifiers);
    // Cursor shape and button hover for the point; returns what lies there.
    RowHit ShowPointer(const QPoint& point);
    // ShowPointer, and the name under the point highlighted.
    void Hover(const QPoint& point);
    void SetButtonState(RowHit& field, const RowHit& value);
    void RepaintControl(const RowHit& hit);

    ProgramList& list_;
    WindowActions& actions_;
    QFont nameFont_;
    int paintedRows_ = 0;
    std::vector<QRect> paintedBounds_;  // per row, where it was last painted

    // The control a mouse button went down on receives the rest of that
    // press, as a window under the mouse would.
    RowHit grab_;
    Qt::MouseButton grabButton_ = Qt::NoButton;
    RowHit hoveredButton_;
    RowHit downButton_;

    std::unordered_map<std::string, CachedIcon> icons_;
    QPixmap templateIcon_;
};

}  // namespace box
