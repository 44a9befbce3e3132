#pragma once

#include <QFont>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

#include "views/GridLayout.h"

namespace sumiro {

/// A list of characters shown as a grid of square cells, row by row from the top-left. Its
/// width is imposed from outside (see GridScrollView); its height follows from the count and
/// the columns. It marks the selected and the hovered cell, reports hovering and clicking,
/// shows characters no installed font can draw as their hexadecimal codes, and exposes the
/// visible cells to assistive technology as buttons.
class CharacterGrid : public QWidget {
    Q_OBJECT

public:
    /// The font family used unless told otherwise.
    static const QString kDefaultFontName;
    static constexpr double kDefaultFontSize = 28.0;

    explicit CharacterGrid(QWidget* parent = nullptr);
    ~CharacterGrid() override;

    /// One user-perceived character per cell, in display order.
    const QStringList& characters() const { return characters_; }
    /// Replaces the list: forgets the hovered cell, keeps the selection, refits the height.
    void setCharacters(QStringList characters);

    /// The character last clicked or pressed; every cell holding a canonically equivalent
    /// string is marked.
    const std::optional<QString>& selected() const { return selected_; }
    void setSelected(std::optional<QString> character);

    /// Font family for the characters; a missing family falls back to the system font.
    const QString& fontName() const { return fontName_; }
    void setFontName(const QString& name);
    /// Size of the characters in device-independent pixels.
    double fontSize() const { return fontSize_; }
    void setFontSize(double size);

    /// Index of the cell under the mouse, if it is over an occupied cell.
    std::optional<qsizetype> hoverIndex() const { return hoverIndex_; }

    /// The grid's geometry at its current width.
    GridLayout gridLayout() const { return GridLayout(width(), characters_.size()); }
    int columns() const { return gridLayout().columns(); }
    /// Indices of the whole rows inside the visible part of the grid (empty while hidden).
    IndexRange visibleRange() const;
    /// Whether cell `index` holds the selected character.
    bool isSelected(qsizetype index) const;

    /// Selects cell `index` and fires `clicked`, if the index is still within the list (an
    /// accessibility element may outlive a longer list). Otherwise does nothing.
    void press(qsizetype index);

    /// Fired with the character when a cell is clicked or pressed.
    std::function<void(const QString&)> clicked;
    /// Fired with the character on every mouse movement over an occupied cell.
    std::function<void(const QString&)> hovered;

    /// What the last paint pass drew: the row range it considered and the cells it painted.
    struct PaintPass {
        IndexRange rows;
        qsizetype cells = 0;
    };
    const PaintPass& lastPaint() const { return lastPaint_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitHeight();
    void updateCell(std::optional<qsizetype> index);
    void resolveFont();
    QString fittedCodeLabel(QStringView character, double width) const;

    QStringList characters_;
    QStringList keys_;  // NFC forms of characters_, so marking compares without allocating
    std::optional<QString> selected_;
    QString selectedKey_;
    QString fontName_ = kDefaultFontName;
    double fontSize_ = kDefaultFontSize;
    QFont font_;
    QFont codeFont_;
    std::optional<qsizetype> hoverIndex_;
    PaintPass lastPaint_;
};

}  // namespace sumiro
