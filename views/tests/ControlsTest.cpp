#include <gtest/gtest.h>

#include <QAccessible>
#include <QBoxLayout>
#include <QTest>

#include "views/ActionButton.h"
#include "views/GridScrollView.h"
#include "views/PadPanel.h"
#include "views/SegmentedControl.h"
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
    for (const auto orientation : {Qt::Horizontal, Qt::Vertical}) {
        const bool vertical = orientation == Qt::Vertical;
        auto* big = new QWidget;
        big->setFixedSize(60, 60);
        auto* title = label(u"い"_qs, 20, QFont::Bold);
        EXPECT_EQ(title->font().pixelSize(), 20);
        EXPECT_TRUE(title->font().bold());
        const std::unique_ptr<QWidget> box(
            stack({big, title}, orientation, 10,
                  vertical ? StackAlignment::Leading : StackAlignment::Center));
        box->layout()->setGeometry(QRect(QPoint(), box->sizeHint()));
        EXPECT_EQ(title->parentWidget(), box.get());
        EXPECT_EQ(big->pos(), QPoint(0, 0));
        const QSize size = title->sizeHint();
        EXPECT_EQ(title->geometry(),
                  QRect(vertical ? QPoint(0, 70) : QPoint(70, (60 - size.height()) / 2), size));
    }
}

TEST(HelpersTest, StacksAlignDistributeAndStretchAcross) {
    struct Case {
        StackAlignment alignment;
        StackDistribution distribution;
        QRect first, second;
    };
    // A row 200 x 80 of two 40 x 20 views with an empty view between them, 10 apart.
    const Case cases[] = {
        {StackAlignment::Top, StackDistribution::Fill, {0, 0, 40, 20}, {160, 0, 40, 20}},
        {StackAlignment::Center, StackDistribution::Fill, {0, 30, 40, 20}, {160, 30, 40, 20}},
        {StackAlignment::Fill, StackDistribution::Fill, {0, 0, 40, 80}, {160, 0, 40, 80}},
    };
    for (const Case& c : cases) {
        auto* first = new QWidget;
        auto* second = new QWidget;
        for (QWidget* view : {first, second}) {
            view->setMinimumSize(40, 20);
            view->setMaximumWidth(40);
            view->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        }
        first->setMaximumHeight(c.alignment == StackAlignment::Fill ? 1000 : 20);
        second->setMaximumHeight(first->maximumHeight());
        const std::unique_ptr<QWidget> row(
            stack({first, new QWidget, second}, Qt::Horizontal, 10, c.alignment, c.distribution));
        row->layout()->setGeometry(QRect(0, 0, 200, 80));
        EXPECT_EQ(first->geometry(), c.first);
        EXPECT_EQ(second->geometry(), c.second);
    }
    // A column aligned on its leading edge stretches only the views told to fill it.
    auto* wide = label(u"幅"_qs);
    auto* narrow = label(u"狭"_qs);
    const std::unique_ptr<QWidget> column(
        stack({wide, narrow}, Qt::Vertical, 4, StackAlignment::Leading));
    fillAcross(column.get(), wide);
    column->layout()->setGeometry(QRect(0, 0, 300, 100));
    EXPECT_EQ(wide->width(), 300);
    EXPECT_LT(narrow->width(), 300);
}

TEST(HelpersTest, TruncatingLabelsKeepTheirTextAndLetTheWindowShrink) {
    const std::unique_ptr<TextLabel> line(label(QString(200, u'あ'), 12));
    EXPECT_GT(line->minimumSizeHint().width(), 1000);
    line->setTruncatesTail(true);
    EXPECT_EQ(line->minimumSizeHint().width(), 0);
    EXPECT_EQ(line->text(), QString(200, u'あ'));
    const std::unique_ptr<TextLabel> heading(label(u"見出し"_qs, 23, QFont::DemiBold));
    EXPECT_EQ(heading->font().weight(), QFont::DemiBold);
}

TEST(SegmentedControlTest, SelectsOneSegmentByClickOrAccessibilityAndQuietlyFromCode) {
    SegmentedControl control({u"甲"_qs, u"乙"_qs, u"丙"_qs});
    int actions = 0;
    control.action = [&] { ++actions; };
    control.setSelectedSegment(0);
    EXPECT_EQ(control.selectedSegment(), 0);
    EXPECT_EQ(actions, 0);
    QTest::mouseClick(control.segment(2), Qt::LeftButton);
    EXPECT_EQ(control.selectedSegment(), 2);
    EXPECT_EQ(actions, 1);
    QAccessibleInterface* second = QAccessible::queryAccessibleInterface(control.segment(1));
    ASSERT_TRUE(second && second->actionInterface());
    EXPECT_EQ(second->text(QAccessible::Name), u"乙"_qs);
    second->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(control.selectedSegment(), 1);
    EXPECT_EQ(actions, 2);
    control.setSelectedSegment(-1);
    EXPECT_EQ(control.selectedSegment(), -1);
    EXPECT_EQ(control.segment(0)->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(actions, 2);
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

// A row short of room takes it from the short titles: the long one keeps its width.
TEST(ActionButtonTest, ARowShortOfRoomCutsNoTitle) {
    auto* brief = new ActionButton(u"Undo"_qs, {});
    auto* longer = new ActionButton(u"Recognize the character"_qs, {});
    QWidget* row = stack({brief, longer}, Qt::Horizontal, 5);
    const int needed = longer->fontMetrics().horizontalAdvance(longer->text());
    row->setFixedWidth(longer->minimumSizeHint().width() + brief->minimumSizeHint().width() + 5);
    row->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(row));
    EXPECT_GT(longer->minimumSizeHint().width(), needed);
    EXPECT_GE(longer->width(), longer->minimumSizeHint().width());
    EXPECT_LT(brief->width(), brief->sizeHint().width());
    delete row;
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
