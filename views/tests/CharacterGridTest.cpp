#include <gtest/gtest.h>

#include <QAccessible>
#include <QFontDatabase>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <memory>

#include "MouseEvents.h"
#include "views/AccessibleCharacter.h"
#include "views/CharacterGrid.h"
#include "views/FontCoverage.h"
#include "views/GridScrollView.h"

namespace sumiro {
namespace {

using test::hover;

QString scalar(char32_t code) { return QString::fromUcs4(&code, 1); }

QStringList range(char32_t first, char32_t last) {
    QStringList list;
    for (char32_t c = first; c <= last; ++c) list << scalar(c);
    return list;
}

// Collects the region of every paint event a widget receives.
struct PaintSpy : QObject {
    explicit PaintSpy(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    QRegion painted;
};

class CharacterGridTest : public testing::Test {
protected:
    CharacterGridTest() {
        grid.resize(150, 1);  // 3 columns
        grid.clicked = [this](const QString& c) { clicks << c; };
        grid.hovered = [this](const QString& c) { hovers << c; };
    }

    // Puts the grid into a scroll view of `size` and shows it.
    void host(QSize size) {
        scroll.reset(gridScroll(owner.release()));
        scroll->resize(size);
        scroll->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(scroll.get()));
    }

    std::unique_ptr<CharacterGrid> owner = std::make_unique<CharacterGrid>();
    CharacterGrid& grid = *owner;
    std::unique_ptr<GridScrollView> scroll;  // destroyed first, with the grid once hosted
    QStringList clicks;
    QStringList hovers;
};

TEST_F(CharacterGridTest, HeightFollowsTheCountAndTheWidth) {
    grid.setCharacters(range(0x4E00, 0x4E09));  // 3 columns, 4 rows
    EXPECT_EQ(grid.height(), 196);

    // Width changes refit once the grid is on screen; height changes alone do not.
    grid.show();
    grid.resize(490, grid.height());
    QApplication::processEvents();
    EXPECT_EQ(grid.height(), 49);
    grid.resize(490, 300);
    QApplication::processEvents();
    EXPECT_EQ(grid.height(), 300);
}

TEST_F(CharacterGridTest, ScrollViewKeepsTheGridAsWideAsItsViewport) {
    grid.setCharacters(range(0x4E00, 0x4E00 + 99));
    host({400, 300});
    for (const int width : {400, 250}) {
        scroll->resize(width, 300);
        QApplication::processEvents();
        EXPECT_EQ(grid.width(), scroll->viewport()->width());
        EXPECT_EQ(grid.height(), grid.gridLayout().height());
        EXPECT_EQ(scroll->verticalScrollBar()->maximum(),
                  grid.height() - scroll->viewport()->height());
    }
}

TEST_F(CharacterGridTest, MouseMarksAndReportsOccupiedCellsOnly) {
    grid.setCharacters({u"あ"_qs, u"い"_qs, u"か\u3099"_qs, u"え"_qs});
    hover(&grid, {10, 60});
    hover(&grid, {20, 70});  // same cell: reported again
    EXPECT_EQ(grid.hoverIndex(), 3);
    hover(&grid, {60, 60});  // empty tail of the last row: unmarks, no report
    EXPECT_EQ(grid.hoverIndex(), std::nullopt);
    EXPECT_EQ(hovers, (QStringList{u"え"_qs, u"え"_qs}));

    test::press(&grid, {146.9, 10});
    test::press(&grid, {60, 60});
    test::sendMouse(&grid, QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(clicks, QStringList{u"か\u3099"_qs});

    // A new list forgets the hovered cell and keeps the selection, marking every cell that
    // holds a canonically equivalent string (here precomposed, then decomposed).
    hover(&grid, {10, 10});
    grid.setCharacters({u"か"_qs, u"が"_qs, u"か\u3099"_qs});
    EXPECT_EQ(grid.hoverIndex(), std::nullopt);
    EXPECT_EQ(grid.selected(), u"か\u3099"_qs);
    EXPECT_FALSE(grid.isSelected(0));
    EXPECT_TRUE(grid.isSelected(1));
    EXPECT_TRUE(grid.isSelected(2));
}

TEST(FontCoverageTest, KnowsWhatTheInstalledFontsDraw) {
    const FontCoverage& fonts = FontCoverage::installed();
    EXPECT_TRUE(fonts.renders(u"あ木"_qs));
    EXPECT_TRUE(fonts.renders(scalar(0x20BB7)));             // Extension B, needs the CJK fonts
    EXPECT_TRUE(fonts.renders(u"葛"_qs + scalar(0xE0100)));  // with an ideographic selector
    EXPECT_FALSE(fonts.renders(u"\u0378\u0379"_qs));
    EXPECT_FALSE(fonts.renders(u"あ\u0378"_qs));
    EXPECT_FALSE(fonts.renders(scalar(0xF0000)));
    EXPECT_FALSE(fonts.renders(QStringView(u"\xD842")));
}

// The inside of cell `index` as the grid draws it or, given a font, as `text` alone drawn
// centred there would be.
QImage cellInside(CharacterGrid& grid, qsizetype index, const QString& text = {},
                  const QFont& font = {}) {
    QImage picture(grid.size(), QImage::Format_RGB32);
    const QRectF cell = grid.gridLayout().drawnRect(index);
    if (text.isEmpty()) {
        grid.render(&picture);
    } else {
        picture.fill(grid.palette().color(QPalette::Base));
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setFont(font);
        painter.setPen(grid.palette().color(QPalette::WindowText));
        painter.drawText(cell, Qt::AlignCenter, text);
    }
    return picture.copy(cell.toAlignedRect().adjusted(3, 3, -3, -3));
}

TEST_F(CharacterGridTest, UnrenderableCharactersShowTheirCode) {
    grid.resize(147, 1);
    grid.setCharacters({u"\u0378\u0379"_qs, scalar(0xF0000), u"木"_qs});
    QFont code = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    code.setPixelSize(10);
    QFont cjk(CharacterGrid::kDefaultFontName);
    cjk.setPixelSize(28);

    EXPECT_EQ(cellInside(grid, 1), cellInside(grid, 1, u"F0000"_qs, code));
    // Two scalars do not fit on one line: one line each.
    EXPECT_EQ(cellInside(grid, 0), cellInside(grid, 0, u"0378\n0379"_qs, code));
    EXPECT_EQ(cellInside(grid, 2), cellInside(grid, 2, u"木"_qs, cjk));
    EXPECT_EQ(grid.lastPaint().cells, 3);
}

TEST_F(CharacterGridTest, PaintingTouchesOnlyTheVisibleRowsAndTheCellsThatChanged) {
    grid.setCharacters(range(0x20000, 0x2A6DF));  // Extension B, 42,720 characters
    host({520, 400});
    scroll->verticalScrollBar()->setValue(20000 * 49 / grid.columns());
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid.lastPaint().rows.first > 0; }, 2000));
    const IndexRange visible = grid.visibleRange();
    const IndexRange drawn = grid.lastPaint().rows;
    EXPECT_FALSE(drawn.empty());
    EXPECT_GE(drawn.first, visible.first);
    EXPECT_LE(drawn.end, visible.end);
    EXPECT_LE(visible.size(), 10 * grid.columns());  // 400 high: at most 10 partial rows
    EXPECT_LE(grid.lastPaint().cells, visible.size());

    // Hovering repaints just the cells whose mark changed; moving within a cell, nothing.
    PaintSpy spy(&grid);
    const QRect first = grid.gridLayout().pitchRect(visible.first + 3).toAlignedRect();
    const QRect second = grid.gridLayout().pitchRect(visible.first + 14).toAlignedRect();
    hover(&grid, first.center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !spy.painted.isEmpty(); }, 2000));
    EXPECT_EQ(spy.painted, QRegion(first));
    spy.painted = {};
    hover(&grid, first.center() + QPoint(5, 5));
    hover(&grid, second.center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !spy.painted.isEmpty(); }, 2000));
    EXPECT_EQ(spy.painted, QRegion(first) + QRegion(second));
    EXPECT_LE(grid.lastPaint().cells, 2);
}

TEST_F(CharacterGridTest, AccessibilityOffersTheVisibleCellsAsButtons) {
    grid.setCharacters(range(0x4E00, 0x4E00 + 999));
    host({300, 200});
    QAccessibleInterface* group = QAccessible::queryAccessibleInterface(&grid);
    ASSERT_NE(group, nullptr);
    const IndexRange visible = grid.visibleRange();
    ASSERT_EQ(visible.first, 0);
    EXPECT_EQ(group->childCount(), visible.size());
    QAccessibleInterface* last = group->child(group->childCount() - 1);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->text(QAccessible::Name), grid.characters()[visible.end - 1]);
    EXPECT_EQ(group->indexOfChild(last), group->childCount() - 1);
    EXPECT_EQ(last->parent(), group);
    EXPECT_EQ(group->child(group->childCount()), nullptr);

    // Scrolled down, the children follow; pressing one selects and clicks it, from the loop.
    scroll->verticalScrollBar()->setValue(49 * 100);
    QApplication::processEvents();
    QAccessibleInterface* cell = group->child(0);
    ASSERT_NE(cell, nullptr);
    const QString character = grid.characters()[100 * grid.columns()];
    EXPECT_EQ(cell->text(QAccessible::Name), character);
    EXPECT_EQ(group->childAt(cell->rect().center().x(), cell->rect().center().y()), cell);
    ASSERT_NE(cell->actionInterface(), nullptr);
    cell->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(clicks.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !clicks.isEmpty(); }, 2000));
    EXPECT_EQ(clicks, QStringList{character});
    EXPECT_EQ(grid.selected(), character);
    EXPECT_TRUE(cell->state().selected);

    // The list shrinks below the element's index: pressing it does nothing.
    grid.setCharacters({u"ア"_qs, u"イ"_qs});
    auto* element = dynamic_cast<AccessibleCharacter*>(cell);
    ASSERT_NE(element, nullptr);
    element->press();  // the action itself, run now rather than from the event loop
    EXPECT_EQ(clicks.size(), 1);
    EXPECT_EQ(grid.selected(), character);
    EXPECT_TRUE(cell->text(QAccessible::Name).isEmpty());
    EXPECT_EQ(group->childCount(), 2);
}

}  // namespace
}  // namespace sumiro
