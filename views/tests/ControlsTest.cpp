#include <gtest/gtest.h>

#include <QBoxLayout>
#include <QScrollBar>
#include <QTest>

#include "views/ActionButton.h"
#include "views/CharacterGrid.h"
#include "views/GridScrollView.h"
#include "views/PadPanel.h"
#include "views/ViewHelpers.h"

namespace sumiro {
namespace {

TEST(GridScrollViewTest, GridIsAsWideAsTheViewportAndAsHighAsItsRows) {
    auto* grid = new CharacterGrid;  // owned by the scroll view
    auto scroll = gridScroll(grid);
    EXPECT_EQ(scroll->widget(), grid);
    EXPECT_EQ(scroll->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QStringList list;
    for (char32_t c = 0x4E00; c < 0x4E00 + 100; ++c) list << QString::fromUcs4(&c, 1);
    grid->setCharacters(list);
    scroll->resize(400, 300);
    scroll->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(scroll.get()));

    EXPECT_EQ(grid->width(), scroll->viewport()->width());
    EXPECT_EQ(grid->height(), grid->gridLayout().height());
    scroll->resize(250, 300);
    QApplication::processEvents();
    EXPECT_EQ(grid->width(), scroll->viewport()->width());
    EXPECT_EQ(grid->columns(), scroll->viewport()->width() / 49);
    EXPECT_EQ(grid->height(), 49 * ((100 + grid->columns() - 1) / grid->columns()));
    EXPECT_EQ(scroll->verticalScrollBar()->maximum(),
              grid->height() - scroll->viewport()->height());
}

TEST(GridScrollViewTest, OtherContentIsLeftToTheScrollArea) {
    GridScrollView scroll;
    auto* other = new QWidget;
    other->resize(123, 45);
    scroll.setWidget(other);
    scroll.resize(400, 300);
    scroll.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&scroll));
    scroll.tile();
    EXPECT_EQ(other->size(), QSize(123, 45));
}

TEST(HelpersTest, PinLeavesTheInsetOnEverySide) {
    QWidget container;
    container.resize(200, 100);
    auto* view = new QWidget;
    pin(view, &container, 12);
    auto* second = new QWidget;
    pin(second, &container, 12);  // pinned views lie on top of each other
    container.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&container));
    EXPECT_EQ(view->parentWidget(), &container);
    EXPECT_EQ(view->geometry(), QRect(12, 12, 176, 76));
    EXPECT_EQ(second->geometry(), view->geometry());
}

TEST(HelpersTest, StackOrientationAlignmentAndSpacing) {
    auto* a = label(u"あ"_qs).release();
    auto* b = label(u"い"_qs, 20, true).release();
    EXPECT_EQ(a->font().pixelSize(), 13);
    EXPECT_FALSE(a->font().bold());
    EXPECT_EQ(b->font().pixelSize(), 20);
    EXPECT_TRUE(b->font().bold());

    const auto row = stack({a, b});
    auto* box = qobject_cast<QBoxLayout*>(row->layout());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->direction(), QBoxLayout::LeftToRight);
    EXPECT_EQ(box->spacing(), 8);
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemAt(0)->widget(), a);
    EXPECT_EQ(box->itemAt(1)->alignment(), Qt::AlignVCenter);
    EXPECT_EQ(a->parentWidget(), row.get());

    auto* c = new QWidget;
    const auto column = stack({c}, true, 10);
    auto* vbox = qobject_cast<QBoxLayout*>(column->layout());
    ASSERT_NE(vbox, nullptr);
    EXPECT_EQ(vbox->direction(), QBoxLayout::TopToBottom);
    EXPECT_EQ(vbox->spacing(), 10);
    EXPECT_EQ(vbox->itemAt(0)->alignment(), Qt::AlignLeading);
}

TEST(ActionButtonTest, RunsItsActionAndNothingWithoutOne) {
    int runs = 0;
    ActionButton button(u"消去"_qs, [&] { ++runs; });
    EXPECT_EQ(button.text(), u"消去"_qs);
    EXPECT_EQ(button.focusPolicy(), Qt::NoFocus);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(runs, 1);
    button.actionBlock = nullptr;
    QTest::mouseClick(&button, Qt::LeftButton);
    button.performAction();
    EXPECT_EQ(runs, 1);
}

TEST(PadPanelTest, FloatsWithoutTakingFocusUntilAllowed) {
    PadPanel panel;
    EXPECT_TRUE(panel.isWindow());
    EXPECT_TRUE(panel.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(panel.windowType(), Qt::Tool);
    EXPECT_TRUE(panel.testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_FALSE(panel.acceptsKeyboard());
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    panel.setAcceptsKeyboard(true);
    EXPECT_TRUE(panel.acceptsKeyboard());
    EXPECT_TRUE(panel.isVisible());  // changed in place, not re-created hidden
    panel.setAcceptsKeyboard(false);
    EXPECT_FALSE(panel.acceptsKeyboard());
}

}  // namespace
}  // namespace sumiro
