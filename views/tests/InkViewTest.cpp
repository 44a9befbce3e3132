#include <gtest/gtest.h>

#include <QImage>

#include "MouseEvents.h"
#include "views/InkView.h"

namespace sumiro {
namespace {

using namespace test;

class InkViewTest : public testing::Test {
protected:
    InkViewTest() {
        view.resize(250, 250);
        view.changed = [this] { ++changes; };
    }

    QImage image() {
        QImage picture(view.size(), QImage::Format_ARGB32);
        view.render(&picture);
        return picture;
    }

    // Pixels off the background in the band the placeholder occupies above the horizontal
    // guide, inside the frame and leaving out the vertical guide.
    int placeholderInk() {
        const QImage picture = image();
        const QRgb base = view.palette().color(QPalette::Base).rgb();
        int count = 0;
        for (int y = 125 - 35; y < 125 - 5; ++y)
            for (int x = 4; x < 246; ++x)
                count += std::abs(x - 125) > 2 && picture.pixel(x, y) != base;
        return count;
    }

    InkView view;
    int changes = 0;
};

TEST_F(InkViewTest, LeftButtonStrokesFollowTheMouseAndReportOnRelease) {
    drag(&view, {10, 10});
    release(&view, {10, 10});
    sendMouse(&view, QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton);
    sendMouse(&view, QEvent::MouseButtonRelease, {10, 10}, Qt::RightButton, Qt::NoButton);
    EXPECT_TRUE(view.strokes().empty());
    EXPECT_EQ(changes, 0);

    press(&view, {50, 200});
    EXPECT_EQ(view.strokes(), (Ink{{{0.2, 0.8}}}));
    EXPECT_EQ(changes, 0);
    release(&view, {50, 200});
    EXPECT_EQ(view.strokes(), (Ink{{{0.2, 0.8}, {0.2, 0.8}}}));
    EXPECT_EQ(changes, 1);
    // The click shows as a dot as wide as the ink.
    EXPECT_EQ(qGray(image().pixel(50, 200)),
              qGray(view.palette().color(QPalette::WindowText).rgb()));

    // Drags that leave the canvas draw along its border.
    press(&view, {125, 125});
    drag(&view, {-30, 125});
    drag(&view, {125, 900});
    drag(&view, {400, -1});
    release(&view, {250, 250});
    ASSERT_EQ(view.strokes().size(), 2u);
    EXPECT_EQ(view.strokes()[1], (Stroke{{0.5, 0.5}, {0, 0.5}, {0.5, 1}, {1, 0}, {1, 1}}));
    EXPECT_EQ(changes, 2);
}

TEST_F(InkViewTest, UndoAndClearAlwaysReportAndThePlaceholderShowsExactlyWhileEmpty) {
    EXPECT_GT(placeholderInk(), 20);
    view.undoStroke();
    view.clear();
    EXPECT_EQ(changes, 2);

    // Strokes far from the placeholder remove it; the owner setting them is not reported.
    view.setStrokes({{{0.1, 0.9}, {0.2, 0.9}}, {{0.3, 0.9}}});
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(placeholderInk(), 0);
    EXPECT_LT(qGray(image().pixel(37, 225)), 128);  // the ink itself is drawn
    view.undoStroke();
    EXPECT_EQ(view.strokes(), (Ink{{{0.1, 0.9}, {0.2, 0.9}}}));
    EXPECT_EQ(placeholderInk(), 0);
    view.clear();
    EXPECT_TRUE(view.strokes().empty());
    EXPECT_EQ(changes, 4);
    EXPECT_GT(placeholderInk(), 20);
}

}  // namespace
}  // namespace sumiro
