#include "app/view/QtControlState.h"

#include <algorithm>

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextEdit>

#include "app/view/QtText.h"

namespace box {

namespace {

QStringList ToQStrings(const std::vector<Text>& items) {
    QStringList out;
    out.reserve(static_cast<qsizetype>(items.size()));
    for (const Text& item : items) out << ToQString(item);
    return out;
}

bool InRange(int index, int count) {
    return index >= 0 && index < count;
}

}  // namespace

Text QtStateControl::name() const {
    return widget_ ? FromQString(widget_->objectName()) : Text();
}

Text QtStateControl::tag() const {
    return widget_ ? FromQString(widget_->property(kTagProperty).toString()) : Text();
}

void QtStateControl::setTag(const Text& tag) {
    if (widget_) widget_->setProperty(kTagProperty, ToQString(tag));
}

Text QtStateControl::text() const {
    if (auto* line = qobject_cast<QLineEdit*>(widget_)) return FromQString(line->text());
    if (auto* plain = qobject_cast<QPlainTextEdit*>(widget_))
        return FromQString(plain->toPlainText().replace('\n', "\r\n"));
    if (auto* rich = qobject_cast<QTextEdit*>(widget_))
        return FromQString(rich->toPlainText().replace('\n', "\r\n"));
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) return FromQString(combo->currentText());
    return {};
}

void QtStateControl::setText(const Text& text) {
    // The box's texts end lines with CR LF; the edits take a bare LF.
    const QString value = ToQString(text);
    if (auto* line = qobject_cast<QLineEdit*>(widget_)) {
        line->setText(value);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget_)) {
        plain->setPlainText(QString(value).replace("\r\n", "\n"));
    } else if (auto* rich = qobject_cast<QTextEdit*>(widget_)) {
        rich->setPlainText(QString(value).replace("\r\n", "\n"));
    } else if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
        if (combo->isEditable()) combo->setEditText(value);
    }
}

bool QtStateControl::checked() const {
    auto* button = qobject_cast<QAbstractButton*>(widget_);
    return button && button->isCheckable() && button->isChecked();
}

void QtStateControl::setChecked(bool checked) {
    auto* button = qobject_cast<QAbstractButton*>(widget_);
    if (button && button->isCheckable()) button->setChecked(checked);
}

int QtStateControl::currentIndex() const {
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) return combo->currentIndex();
    if (auto* list = qobject_cast<QListWidget*>(widget_)) return list->currentRow();
    return -1;
}

void QtStateControl::setCurrentIndex(int index) {
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
        if (index == -1 || InRange(index, combo->count())) combo->setCurrentIndex(index);
    } else if (auto* list = qobject_cast<QListWidget*>(widget_)) {
        // The current row only: the selection is kept apart.
        if (index == -1 || InRange(index, list->count()))
            list->setCurrentRow(index, QItemSelectionModel::NoUpdate);
    }
}

std::vector<Text> QtStateControl::items() const {
    std::vector<Text> out;
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
        for (int i = 0; i < combo->count(); ++i) out.push_back(FromQString(combo->itemText(i)));
    } else if (auto* list = qobject_cast<QListWidget*>(widget_)) {
        for (int i = 0; i < list->count(); ++i) out.push_back(FromQString(list->item(i)->text()));
    }
    return out;
}

void QtStateControl::setItems(const std::vector<Text>& items) {
    const int current = currentIndex();
    const int count = static_cast<int>(items.size());
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
        const QString edit = combo->currentText();
        combo->clear();
        combo->addItems(ToQStrings(items));
        combo->setCurrentIndex(InRange(current, count) ? current : -1);
        if (combo->isEditable()) combo->setEditText(edit);
    } else if (auto* list = qobject_cast<QListWidget*>(widget_)) {
        // Items of a list that had ticks are tickable again.
        bool tickable = false;
        for (int i = 0; i < list->count(); ++i)
            tickable = tickable || (list->item(i)->flags() & Qt::ItemIsUserCheckable);
        list->clear();
        list->addItems(ToQStrings(items));
        for (int i = 0; tickable && i < list->count(); ++i) {
            list->item(i)->setFlags(list->item(i)->flags() | Qt::ItemIsUserCheckable);
            list->item(i)->setCheckState(Qt::Unchecked);
        }
        if (InRange(current, count)) list->setCurrentRow(current, QItemSelectionModel::NoUpdate);
    }
}

std::vector<int> QtStateControl::selectedIndices() const {
    std::vector<int> out;
    if (auto* list = qobject_cast<QListWidget*>(widget_))
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->isSelected()) out.push_back(i);
    return out;
}

void QtStateControl::selectItem(int index) {
    auto* list = qobject_cast<QListWidget*>(widget_);
    if (list && InRange(index, list->count())) list->item(index)->setSelected(true);
}

std::vector<int> QtStateControl::checkedIndices() const {
    std::vector<int> out;
    if (auto* list = qobject_cast<QListWidget*>(widget_))
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked) out.push_back(i);
    return out;
}

void QtStateControl::checkItem(int index) {
    auto* list = qobject_cast<QListWidget*>(widget_);
    if (!list || !InRange(index, list->count())) return;
    QListWidgetItem* item = list->item(index);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
}

unsigned QtStateControl::colour() const {
    return widget_ ? widget_->property(kColourProperty).toUInt() : 0;
}

void QtStateControl::setColour(unsigned colour) {
    if (widget_) widget_->setProperty(kColourProperty, colour);
}

QtStateWindow::QtStateWindow(QWidget& window) {
    // Qt names the inner parts of its own widgets (viewports, scroll bars)
    // "qt_..."; they are not controls of the form.
    for (QWidget* child : window.findChildren<QWidget*>()) {
        const QString name = child->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")))
            controls_.push_back(std::make_unique<QtStateControl>(child));
    }
}

StateControl* QtStateWindow::control(int index) {
    if (!InRange(index, controlCount())) return nullptr;
    QtStateControl* control = controls_[static_cast<std::size_t>(index)].get();
    return control->widget() ? control : nullptr;
}

int QtPlacedWindow::showState() const {
    if (!window_) return kShowNormal;
    if (window_->isMinimized()) return kShowMinimized;
    if (window_->isMaximized()) return kShowMaximized;
    return kShowNormal;
}

void QtPlacedWindow::setShowState(int state) {
    if (!window_) return;
    switch (state) {
        case kShowMinimized:
            window_->setWindowState(Qt::WindowMinimized);
            break;
        case kShowMaximized:
            window_->setWindowState(Qt::WindowMaximized);
            break;
        case kShowCentred:
            window_->setWindowState(Qt::WindowNoState);
            if (const QScreen* screen = window_->screen())
                window_->move(screen->availableGeometry().center() -
                              window_->frameGeometry().center() + window_->pos());
            break;
        default:
            window_->setWindowState(Qt::WindowNoState);
            break;
    }
}

WindowBounds QtPlacedWindow::bounds() const {
    if (!window_) return {};
    const QRect frame = window_->frameGeometry();
    return {frame.x(), frame.y(), frame.width(), frame.height()};
}

void QtPlacedWindow::setBounds(const WindowBounds& b) {
    if (!window_) return;
    // setGeometry places the client area: take the frame off first.
    const QRect frame = window_->frameGeometry();
    const QRect client = window_->geometry();
    const int left = client.left() - frame.left();
    const int top = client.top() - frame.top();
    const int extraWidth = frame.width() - client.width();
    const int extraHeight = frame.height() - client.height();
    window_->setGeometry(b.left + left, b.top + top, std::max(1, b.width - extraWidth),
                         std::max(1, b.height - extraHeight));
}

}  // namespace box
