#include <gtest/gtest.h>

#include <QBoxLayout>
#include <QTest>

#include "views/ActionButton.h"
#include "views/GridScrollView.h"
#include "views/PadPanel.h"
#include "views/ViewHelpers.h"

namespace sumiro {
namespace {

TEST(GridScrollViewTest, OtherContentIsLeftToTheScrollArea) {
    GridScrollView scroll;
    auto* other = new QWidget;
    other->resize(123, 45);
    scroll.setWidget(other);
    scroll.resize(400, 300);
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

TEST(HelpersTest, LabelsAndStacksInEitherDirection) {
    const auto title = label(u"い"_qs, 20, true);
    EXPECT_EQ(title->font().pixelSize(), 20);
    EXPECT_TRUE(title->font().bold());
    // A row centres its views vertically, a column aligns them on the leading edge.
    for (const bool vertical : {false, true}) {
        auto* big = new QWidget;
        big->setFixedSize(30, 30);
        auto* small = new QWidget;
        small->setFixedSize(10, 10);
        const auto box = stack({big, small}, vertical, 10);
        box->layout()->setGeometry(QRect(QPoint(), box->sizeHint()));
        EXPECT_EQ(small->parentWidget(), box.get());
        EXPECT_EQ(big->pos(), QPoint(0, 0));
        EXPECT_EQ(small->pos(), vertical ? QPoint(0, 40) : QPoint(40, 10));
    }
}

TEST(ActionButtonTest, RunsItsActionAndNothingWithoutOne) {
    int runs = 0;
    ActionButton button(u"消去"_qs, [&] { ++runs; });
    EXPECT_EQ(button.focusPolicy(), Qt::NoFocus);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(runs, 1);
    button.actionBlock = nullptr;
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(runs, 1);
}

TEST(PadPanelTest, FloatsWithoutTakingFocusUntilAllowed) {
    PadPanel panel;
    EXPECT_EQ(panel.windowType(), Qt::Tool);
    EXPECT_TRUE(panel.windowFlags() & Qt::WindowStaysOnTopHint);
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
