#pragma once

#include <QRectF>
#include <QString>
#include <QStringView>
#include <optional>

namespace sumiro {

/// A half-open range [first, end) of indices into a character list.
struct IndexRange {
    qsizetype first = 0;
    qsizetype end = 0;

    bool empty() const { return end <= first; }
    qsizetype size() const { return empty() ? 0 : end - first; }
    bool contains(qsizetype i) const { return i >= first && i < end; }
    friend bool operator==(const IndexRange&, const IndexRange&) = default;
};

/// The arithmetic of the character grid: square cells of a fixed pitch laid out row by row
/// from the top-left, as many columns as the width allows. Independent of any widget.
class GridLayout {
public:
    /// Pitch of the grid, horizontally and vertically.
    static constexpr double kCell = 49.0;
    /// Gap between a cell's pitch square and its drawn square, on every side.
    static constexpr double kCellMargin = 2.0;
    /// Corner radius of a drawn square.
    static constexpr double kCellRadius = 5.0;

    /// Layout of `count` characters in a grid `width` wide.
    GridLayout(double width, qsizetype count);

    /// Columns that fit the width, at least one.
    int columns() const { return columns_; }
    qsizetype count() const { return count_; }
    /// Rows needed for every character.
    qsizetype rows() const;
    /// Height of the document: every row, and never less than 1 so the view never collapses.
    double height() const;

    /// The full pitch square of cell `index`: hit testing and accessibility frames.
    QRectF pitchRect(qsizetype index) const;
    /// The square actually drawn for cell `index`, inset from the pitch square.
    QRectF drawnRect(qsizetype index) const;

    /// Index of the occupied cell under `point`, or nothing for points left of or above the
    /// grid, in the empty strip right of the last column, below the last row or in the empty
    /// tail of the last row.
    std::optional<qsizetype> indexAt(QPointF point) const;

    /// Indices of the whole rows from the row holding `top` to the row holding `bottom`,
    /// clamped to the list.
    IndexRange rowsBetween(double top, double bottom) const;

private:
    int columns_;
    qsizetype count_;
};

/// Label of a character no installed font can draw: the hexadecimal code of every Unicode
/// scalar, upper case, at least four digits each, joined by `separator` (by default nothing:
/// "0378" "0379" gives "03780379"; U+F0000 gives "F0000"). An unpaired surrogate counts as
/// its own code unit.
QString codeLabel(QStringView text, QStringView separator = {});

/// Whether a hosted grid `current` wide must be resized to `target`: only a difference of
/// more than 0.1 counts, so rounding noise does not trigger a relayout loop.
bool widthNeedsUpdate(double current, double target);

}  // namespace sumiro
