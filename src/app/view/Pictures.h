#pragma once
// The window's pictures, painted in code at whatever size their control has.

#include <functional>

#include <QPixmap>
#include <QWidget>

class QPainter;

namespace box {

using PicturePainter = std::function<void(QPainter&, const QSize&)>;

void PaintHeaderBackground(QPainter& p, const QSize& size);
void PaintHelpPicture(QPainter& p, const QSize& size);
void PaintContactPicture(QPainter& p, const QSize& size);
void PaintHomePicture(QPainter& p, const QSize& size);
void PaintVipPicture(QPainter& p, const QSize& size);
void PaintSitePicture(QPainter& p, const QSize& size);
void PaintLoadingPicture(QPainter& p, const QSize& size);

// The row icon of a program that has not been downloaded.
QPixmap TemplateIconPixmap(const QSize& size);

// A picture control: paints itself with its painter, stretched to its size,
// and reports a left click.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    PictureBox(PicturePainter painter, QWidget* parent);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    PicturePainter painter_;
};

}  // namespace box
