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

// Records the region of every paint event a widget receives.
class PaintSpy : public QObject {
public:
    explicit PaintSpy(QWidget* widget) { widget->installEventFilter(this); }
    QRegion painted;
    int events = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
            ++events;
        }
        return false;
    }
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
        scroll = gridScroll(owner.release());
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
    grid.resize(100, 1);
    const QStringList ten = {u"あ"_qs, u"い"_qs, u"う"_qs, u"え"_qs, u"お"_qs,
                             u"か"_qs, u"き"_qs, u"く"_qs, u"け"_qs, u"こ"_qs};
    grid.setCharacters(ten);  // 2 columns
    EXPECT_EQ(grid.columns(), 2);
    EXPECT_EQ(grid.height(), 245);

    // Width changes refit once the grid is on screen; height changes alone do not.
    grid.setCharacters(ten);
    grid.show();
    grid.resize(490, grid.height());
    QApplication::processEvents();
    EXPECT_EQ(grid.height(), 49);
    grid.resize(490, 300);
    QApplication::processEvents();
    EXPECT_EQ(grid.height(), 300);
}

TEST_F(CharacterGridTest, ClicksSelectOccupiedCellsOnly) {
    grid.setCharacters({u"あ"_qs, u"い"_qs, u"う"_qs, u"え"_qs});
    test::press(&grid, {146.9, 10});
    test::press(&grid, {60, 60});  // empty tail of the last row
    EXPECT_EQ(clicks, QStringList{u"う"_qs});
    EXPECT_EQ(grid.selected(), u"う"_qs);
    test::sendMouse(&grid, QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(clicks.size(), 1);
}

TEST_F(CharacterGridTest, HoverFollowsTheMouseAndIsForgottenWithANewList) {
    grid.setCharacters({u"あ"_qs, u"い"_qs, u"う"_qs, u"え"_qs});
    hover(&grid, {10, 60});
    hover(&grid, {20, 70});  // same cell: reported again
    EXPECT_EQ(grid.hoverIndex(), 3);
    EXPECT_EQ(hovers, (QStringList{u"え"_qs, u"え"_qs}));
    hover(&grid, {60, 60});  // empty tail: unmarks, no report
    EXPECT_EQ(grid.hoverIndex(), std::nullopt);
    EXPECT_EQ(hovers.size(), 2);

    hover(&grid, {10, 10});
    test::press(&grid, {10, 10});
    grid.setCharacters({u"か"_qs, u"あ"_qs});
    EXPECT_EQ(grid.hoverIndex(), std::nullopt);
    EXPECT_EQ(grid.selected(), u"あ"_qs);
    EXPECT_FALSE(grid.isSelected(0));
    EXPECT_TRUE(grid.isSelected(1));
}

TEST_F(CharacterGridTest, SelectionMatchesCanonicallyEquivalentStrings) {
    grid.setCharacters({u"が"_qs, u"か\u3099"_qs, u"か"_qs});  // precomposed, decomposed, other
    grid.setSelected(u"か\u3099"_qs);
    EXPECT_TRUE(grid.isSelected(0));
    EXPECT_TRUE(grid.isSelected(1));
    EXPECT_FALSE(grid.isSelected(2));
}

TEST(FontCoverageTest, KnowsWhatTheInstalledFontsDraw) {
    const FontCoverage& fonts = FontCoverage::installed();
    EXPECT_TRUE(fonts.renders(u"A"_qs));
    EXPECT_TRUE(fonts.renders(u"あ木"_qs));
    EXPECT_TRUE(fonts.renders(scalar(0x20BB7)));             // Extension B, needs the CJK fonts
    EXPECT_TRUE(fonts.renders(u"葛"_qs + scalar(0xE0100)));  // with an ideographic selector
    EXPECT_FALSE(fonts.renders(u"\u0378\u0379"_qs));
    EXPECT_FALSE(fonts.renders(u"あ\u0378"_qs));
    EXPECT_FALSE(fonts.renders(scalar(0xF0000)));
    EXPECT_FALSE(fonts.renders(QStringView(u"\xD842")));
}

// The inside of a cell as the grid draws it, and as `text` drawn centred in `font` would be.
QImage cellInside(CharacterGrid& grid, qsizetype index) {
    QImage picture(grid.size(), QImage::Format_RGB32);
    grid.render(&picture);
    const QRect inside = grid.gridLayout().drawnRect(index).toAlignedRect().adjusted(3, 3, -3, -3);
    return picture.copy(inside);
}

QImage expectedInside(const CharacterGrid& grid, const QString& text, const QFont& font) {
    const QRectF cell(2, 2, 45, 45);
    QImage picture(49, 49, QImage::Format_RGB32);
    picture.fill(grid.palette().color(QPalette::Base));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font);
    painter.setPen(grid.palette().color(QPalette::WindowText));
    painter.drawText(cell, Qt::AlignCenter, text);
    painter.end();
    return picture.copy(cell.toAlignedRect().adjusted(3, 3, -3, -3));
}

TEST_F(CharacterGridTest, UnrenderableCharactersShowTheirCode) {
    grid.resize(147, 1);
    grid.setCharacters({u"\u0378\u0379"_qs, scalar(0xF0000), u"木"_qs});
    QFont code = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    code.setPixelSize(10);
    QFont cjk(CharacterGrid::kDefaultFontName);
    cjk.setPixelSize(28);

    EXPECT_EQ(cellInside(grid, 1), expectedInside(grid, u"F0000"_qs, code));
    // Two scalars do not fit on one line: one line each.
    EXPECT_EQ(cellInside(grid, 0), expectedInside(grid, u"0378\n0379"_qs, code));
    EXPECT_NE(cellInside(grid, 0), expectedInside(grid, u"\u0378\u0379"_qs, cjk));
    EXPECT_EQ(cellInside(grid, 2), expectedInside(grid, u"木"_qs, cjk));
    EXPECT_EQ(grid.lastPaint().cells, 3);
}

TEST_F(CharacterGridTest, PaintingALongListTouchesOnlyTheVisibleRows) {
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
}

TEST_F(CharacterGridTest, HoveringRepaintsOnlyTheCellsThatChanged) {
    grid.setCharacters(range(0x4E00, 0x4FFF));
    host({520, 400});
    QApplication::processEvents();

    PaintSpy spy(&grid);
    const GridLayout layout = grid.gridLayout();
    hover(&grid, layout.pitchRect(3).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.events > 0; }, 2000));
    EXPECT_EQ(spy.painted, QRegion(layout.pitchRect(3).toAlignedRect()));

    spy.painted = {};
    spy.events = 0;
    hover(&grid, layout.pitchRect(3).center() + QPointF(5, 5));  // same cell: nothing to paint
    hover(&grid, layout.pitchRect(14).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.events > 0; }, 2000));
    EXPECT_EQ(spy.painted, QRegion(layout.pitchRect(3).toAlignedRect()) +
                               QRegion(layout.pitchRect(14).toAlignedRect()));
    EXPECT_LE(grid.lastPaint().cells, 2);
}

TEST_F(CharacterGridTest, AccessibilityChildrenAreTheVisibleCells) {
    grid.setCharacters(range(0x4E00, 0x4E00 + 999));
    host({300, 200});
    const int columns = grid.columns();

    QAccessibleInterface* group = QAccessible::queryAccessibleInterface(&grid);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->role(), QAccessible::Grouping);
    const IndexRange visible = grid.visibleRange();
    ASSERT_EQ(visible.first, 0);
    EXPECT_EQ(group->childCount(), visible.size());
    EXPECT_EQ(visible.size() % columns, 0);
    QAccessibleInterface* last = group->child(group->childCount() - 1);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->role(), QAccessible::Button);
    EXPECT_EQ(last->text(QAccessible::Name), grid.characters()[visible.end - 1]);
    EXPECT_EQ(group->indexOfChild(last), group->childCount() - 1);
    EXPECT_EQ(last->parent(), group);
    EXPECT_EQ(group->child(group->childCount()), nullptr);

    // Scrolled down, the children follow.
    scroll->verticalScrollBar()->setValue(49 * 100);
    QApplication::processEvents();
    QAccessibleInterface* first = group->child(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->text(QAccessible::Name), grid.characters()[100 * columns]);
    EXPECT_EQ(group->childAt(first->rect().center().x(), first->rect().center().y()), first);
}

TEST_F(CharacterGridTest, AccessiblePressSelectsAndClicksWhileTheIndexExists) {
    grid.setCharacters(range(U'あ', U'ん'));
    host({300, 200});

    QAccessibleInterface* group = QAccessible::queryAccessibleInterface(&grid);
    QAccessibleInterface* cell = group->child(7);
    ASSERT_NE(cell, nullptr);
    ASSERT_NE(cell->actionInterface(), nullptr);
    EXPECT_EQ(cell->actionInterface()->actionNames(),
              QStringList{QAccessibleActionInterface::pressAction()});
    cell->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !clicks.isEmpty(); }, 2000));
    EXPECT_EQ(clicks, QStringList{grid.characters()[7]});
    EXPECT_EQ(grid.selected(), grid.characters()[7]);
    EXPECT_TRUE(cell->state().selected);

    // The list shrinks below the element's index: pressing it does nothing.
    grid.setCharacters({u"ア"_qs, u"イ"_qs});
    cell->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    auto* element = dynamic_cast<AccessibleCharacter*>(cell);
    ASSERT_NE(element, nullptr);
    element->press();  // the action itself, run now rather than from the event loop
    QApplication::processEvents();
    EXPECT_EQ(clicks.size(), 1);
    EXPECT_EQ(grid.selected(), clicks.front());  // unchanged
    EXPECT_TRUE(cell->text(QAccessible::Name).isEmpty());
    EXPECT_EQ(group->childCount(), 2);
}

}  // namespace
}  // namespace sumiro
