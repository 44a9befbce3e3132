#include "views/GridScrollView.h"

#include <QResizeEvent>
#include <cmath>

#include "views/CharacterGrid.h"
#include "views/GridLayout.h"

namespace sumiro {

namespace {
constexpr int kInitialGridWidth = 350;
}

GridScrollView::GridScrollView(QWidget* parent) : QScrollArea(parent) {
    // The grid sizes itself (height from its count); the scroll area must not stretch it.
    setWidgetResizable(false);
    setFocusPolicy(Qt::NoFocus);
}

void GridScrollView::tile() {
    auto* grid = qobject_cast<CharacterGrid*>(widget());
    if (!grid) return;
    const int contentWidth = viewport()->width();
    if (!widthNeedsUpdate(grid->width(), contentWidth)) return;
    // Width and the height it implies in one step: a refit nested in the grid's own resize
    // handling can be deferred past the scroll area's look at the grid's size.
    const GridLayout layout(contentWidth, grid->characters().size());
    grid->resize(contentWidth, static_cast<int>(std::ceil(layout.height())));
}

void GridScrollView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    tile();
}

GridScrollView* gridScroll(CharacterGrid* grid) {
    auto* view = new GridScrollView;
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    view->setBackgroundRole(QPalette::Base);
    view->setAutoFillBackground(true);
    grid->setGeometry(0, 0, kInitialGridWidth, 1);
    view->setWidget(grid);
    view->tile();
    return view;
}

}  // namespace sumiro
