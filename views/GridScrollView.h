#pragma once

#include <QScrollArea>

namespace sumiro {

class CharacterGrid;

/// A vertical scroll view that keeps a hosted CharacterGrid exactly as wide as its viewport,
/// so the grid's columns follow the width the panel gives the view.
class GridScrollView : public QScrollArea {
public:
    explicit GridScrollView(QWidget* parent = nullptr);

    /// Brings the hosted grid's width to the viewport's; other hosted widgets are left to the
    /// scroll area. Runs on every resize of the view.
    void tile();

protected:
    void resizeEvent(QResizeEvent* event) override;
};

/// A new scroll view hosting `grid` (which it takes as its child): vertical scroll bar
/// always shown, sunken frame, background drawn; the grid starts 350 wide and 1 high. The
/// caller places the view.
GridScrollView* gridScroll(CharacterGrid* grid);

}  // namespace sumiro
