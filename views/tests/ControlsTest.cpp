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
    container.layout()->activate();
    EXPECT_EQ(view->geometry(), QRect(12, 12, 176, 76));
    EXPECT_EQ(second->geometry(), view->geometry());
}

TEST(HelpersTest, StacksKeepLabelsAtTheirSizeAlignedPerDirection) {
    // A row centres a view vertically, a column aligns it on the leading edge.
    for (const bool vertical : {false, true}) {
        auto* big = new QWidget;
        big->setFixedSize(60, 60);
        auto* title = label(u"い"_qs, 20, true).release();
        EXPECT_EQ(title->font().pixelSize(), 20);
        EXPECT_TRUE(title->font().bold());
        const auto box = stack({big, title}, vertical, 10);
        box->layout()->setGeometry(QRect(QPoint(), box->sizeHint()));
        EXPECT_EQ(title->parentWidget(), box.get());
        EXPECT_EQ(big->pos(), QPoint(0, 0));
        const QSize size = title->sizeHint();
        EXPECT_EQ(title->geometry(),
                  QRect(vertical ? QPoint(0, 70) : QPoint(70, (60 - size.height()) / 2), size));
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
