#pragma once
// The widgets of one list row, rendered from its ProgramRow.

#include <string>

#include "app/RowMouse.h"
#include "catalog/ProgramRow.h"

class QLabel;
class QObject;
class QProgressBar;
class QPushButton;
class QWidget;

namespace box {

class ColumnLabel;

class RowView {
public:
    // Creates the row's seven controls in the content panel, named after their
    // templates with the 1-based position ("控件名称_3"). Mouse events of the
    // icon, name, hint and progress controls go to filter.
    RowView(QWidget* panel, int position, QObject* filter);
    ~RowView();
    RowView(const RowView&) = delete;
    RowView& operator=(const RowView&) = delete;

    void Render(const ProgramRow& row);

    int position() const { return position_; }
    ColumnLabel* nameLabel() const { return name_; }
    QPushButton* actionButton() const { return action_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* tutorialButton() const { return tutorial_; }

    // Which part of a row a widget is, and the position of its row (0 when the
    // widget belongs to no row).
    static RowPart PartOf(const QObject* widget);
    static int PositionOf(const QObject* widget);

private:
    void RenderIcon(const ControlState& state);

    int position_;
    QLabel* icon_;
    ColumnLabel* name_;
    QPushButton* action_;
    QPushButton* delete_;
    QPushButton* tutorial_;
    QProgressBar* progress_;
    QLabel* hint_;
    std::string shownIcon_;
    bool iconShown_ = false;
};

}  // namespace box
