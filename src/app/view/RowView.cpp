#include "app/view/RowView.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>

#include "app/view/ColumnLabel.h"
#include "app/view/Pictures.h"
#include "app/view/QtText.h"

namespace box {

namespace {

constexpr const char* kPartProperty = "softboxRowPart";
constexpr const char* kPositionProperty = "softboxRowPosition";

template <typename W>
W* MakeControl(QWidget* parent, const char* templateName, int position, RowPart part) {
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromUtf8(templateName) + "_" + QString::number(position));
    widget->setProperty(kPartProperty, static_cast<int>(part));
    widget->setProperty(kPositionProperty, position);
    widget->hide();
    return widget;
}

QFont NameFont() {
    QFont font("WenQuanYi Micro Hei");
    font.setPixelSize(14);
    return font;
}

void Place(QWidget* widget, const ControlState& state) {
    widget->setGeometry(ToQRect(state.rect));
    widget->setEnabled(state.enabled);
    widget->setVisible(state.visible);
}

}  // namespace

RowView::RowView(QWidget* panel, int position, QObject* filter) : position_(position) {
    // Created in the order the rows are built, so a shown progress control
    // lies over the delete and tutorial buttons.
    icon_ = MakeControl<QLabel>(panel, "控件图标", position, RowPart::Icon);
    name_ = MakeControl<ColumnLabel>(panel, "控件名称", position, RowPart::Name);
    action_ = MakeControl<QPushButton>(panel, "控件下载点击", position, RowPart::Action);
    delete_ = MakeControl<QPushButton>(panel, "控件删除", position, RowPart::Delete);
    tutorial_ = MakeControl<QPushButton>(panel, "控件教程", position, RowPart::Tutorial);
    progress_ = MakeControl<QProgressBar>(panel, "控件下载进度", position, RowPart::Progress);
    hint_ = MakeControl<QLabel>(progress_, "控件下载提示", position, RowPart::Hint);

    icon_->setScaledContents(true);
    name_->setFont(NameFont());
    name_->setMouseTracking(true);
    name_->setCursor(Qt::PointingHandCursor);
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    for (QPushButton* button : {action_, delete_, tutorial_}) button->setFocusPolicy(Qt::NoFocus);
    for (QWidget* widget : {static_cast<QWidget*>(icon_), static_cast<QWidget*>(name_),
                            static_cast<QWidget*>(hint_), static_cast<QWidget*>(progress_)}) {
        widget->installEventFilter(filter);
    }
}

RowView::~RowView() {
    // The hint goes with its progress control.
    delete icon_;
    delete name_;
    delete action_;
    delete delete_;
    delete tutorial_;
    delete progress_;
}

void RowView::RenderIcon(const ControlState& state) {
    Place(icon_, state);
    if (iconShown_ && state.iconBmp == shownIcon_) return;
    QPixmap pixmap;
    if (!state.iconBmp.empty()) {
        const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(state.iconBmp.data()),
                                              static_cast<int>(state.iconBmp.size()), "BMP");
        pixmap = QPixmap::fromImage(image);
    }
    // A picture that does not decode shows as the template's.
    if (pixmap.isNull()) pixmap = TemplateIconPixmap(QSize(26, 26));
    icon_->setPixmap(pixmap);
    shownIcon_ = state.iconBmp;
    iconShown_ = true;
}

void RowView::Render(const ProgramRow& row) {
    RenderIcon(row.iconControl);

    Place(name_, row.nameControl);
    name_->setCaption(row.nameControl.caption);
    QPalette palette = name_->palette();
    palette.setColor(QPalette::WindowText, FromColorRef(row.nameControl.textColor));
    name_->setPalette(palette);
    QFont font = name_->font();
    if (font.underline() != row.nameControl.emphasis) {
        font.setUnderline(row.nameControl.emphasis);
        name_->setFont(font);
    }

    for (auto [button, state] :
         {std::pair{action_, &row.actionButton}, std::pair{delete_, &row.deleteButton},
          std::pair{tutorial_, &row.tutorialButton}}) {
        Place(button, *state);
        button->setText(ToQString(state->caption));
    }

    Place(progress_, row.progressControl);
    progress_->setValue(std::clamp(row.progressControl.progress, 0, 100));
    Place(hint_, row.hintControl);
    hint_->setText(ToQString(row.hintControl.caption));
}

RowPart RowView::PartOf(const QObject* widget) {
    const QVariant part = widget ? widget->property(kPartProperty) : QVariant();
    return part.isValid() ? static_cast<RowPart>(part.toInt()) : RowPart::Panel;
}

int RowView::PositionOf(const QObject* widget) {
    const QVariant position = widget ? widget->property(kPositionProperty) : QVariant();
    return position.isValid() ? position.toInt() : 0;
}

}  // namespace box
