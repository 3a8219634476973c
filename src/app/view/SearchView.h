#pragma once
// Renders the search box and its drop-down hit list from SearchModel and
// forwards their events to it. The hit list never takes the focus, so that a
// click on a hit leaves the typing in the box.

#include <vector>

#include <QIcon>
#include <QObject>

#include "app/SearchModel.h"

class QLineEdit;
class QTimer;
class QTreeWidget;

namespace box {

class SearchView : public QObject {
    Q_OBJECT
public:
    // The widgets belong to the window; model must outlive this object.
    SearchView(SearchModel& model, QLineEdit* box, QTreeWidget* hits, QTimer* hitTimer,
               QObject* parent);
    ~SearchView() override;

    void Render();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QIcon HitIcon(int image);

    SearchModel& model_;
    QLineEdit* box_;
    QTreeWidget* hits_;
    QTimer* hitTimer_;
    bool rendered_ = false;
    Text renderedText_;
    bool renderedPlaceholderStyle_ = false;
    unsigned hitsGeneration_ = 0;
    int hitsShown_ = 0;
    unsigned imagesGeneration_ = 0;
    std::vector<QIcon> icons_;  // decoded lazily, by image index
    QIcon templateIcon_;
};

}  // namespace box
