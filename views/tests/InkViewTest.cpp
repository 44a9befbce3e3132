#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>

#include "MouseEvents.h"
#include "views/InkView.h"

namespace sumiro {
namespace {

using test::drag;
using test::press;
using test::release;

class InkViewTest : public testing::Test {
protected:
    InkViewTest() {
        view.resize(250, 250);
        view.changed = [this] { ++changes; };
    }

    QImage image() {
        QImage picture(view.size(), QImage::Format_ARGB32);
        picture.fill(Qt::transparent);
        view.render(&picture);
        return picture;
    }

    // Pixels of the placeholder's box that differ from the background, leaving out the
    // vertical guide that crosses it.
    int placeholderInk() {
        const QImage picture = image();
        QFont hint = view.font();
        hint.setPixelSize(19);
        const QFontMetricsF metrics(hint);
        const double w = metrics.horizontalAdvance(InkView::kPlaceholder);
        const QRect box(int((250 - w) / 2), 125 - 35, int(w), int(metrics.height()));
        const QRgb base = view.palette().color(QPalette::Base).rgb();
        int count = 0;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            for (int x = box.left(); x <= box.right(); ++x) {
                if (std::abs(x - 125) > 2 && picture.pixel(x, y) != base) ++count;
            }
        }
        return count;
    }

    QRgb pixel(int x, int y) { return image().pixel(x, y); }

    InkView view;
    int changes = 0;
};

TEST_F(InkViewTest, AClickLeavesATwoPointStrokeAndFiresOnRelease) {
    press(&view, {50, 200});
    EXPECT_EQ(view.strokes(), (Ink{{{0.2, 0.8}}}));
    EXPECT_EQ(changes, 0);
    release(&view, {50, 200});
    EXPECT_EQ(view.strokes(), (Ink{{{0.2, 0.8}, {0.2, 0.8}}}));
    EXPECT_EQ(changes, 1);
    // The click shows as a dot as wide as the ink.
    EXPECT_EQ(qGray(pixel(50, 200)), qGray(view.palette().color(QPalette::WindowText).rgb()));
}

TEST_F(InkViewTest, DragsOutsideClampToTheBorder) {
    press(&view, {125, 125});
    drag(&view, {-30, 125});
    drag(&view, {125, 900});
    drag(&view, {400, -1});
    release(&view, {250, 250});
    ASSERT_EQ(view.strokes().size(), 1u);
    EXPECT_EQ(view.strokes()[0], (Stroke{{0.5, 0.5}, {0, 0.5}, {0.5, 1}, {1, 0}, {1, 1}}));
    EXPECT_EQ(changes, 1);
}

TEST_F(InkViewTest, DragOrReleaseWithoutAPressDoesNothing) {
    drag(&view, {10, 10});
    release(&view, {10, 10});
    EXPECT_TRUE(view.strokes().empty());
    EXPECT_EQ(changes, 0);
    // Other buttons neither start nor end strokes.
    test::sendMouse(&view, QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton);
    test::sendMouse(&view, QEvent::MouseButtonRelease, {10, 10}, Qt::RightButton, Qt::NoButton);
    EXPECT_TRUE(view.strokes().empty());
    EXPECT_EQ(changes, 0);
}

TEST_F(InkViewTest, UndoAndClearAlwaysReport) {
    view.undoStroke();
    view.clear();
    EXPECT_EQ(changes, 2);

    view.setStrokes({{{0.1, 0.1}, {0.2, 0.2}}, {{0.3, 0.3}}});
    EXPECT_EQ(changes, 2);  // the owner set it: nothing to report
    view.undoStroke();
    EXPECT_EQ(view.strokes(), (Ink{{{0.1, 0.1}, {0.2, 0.2}}}));
    view.clear();
    EXPECT_TRUE(view.strokes().empty());
    EXPECT_EQ(changes, 4);
}

TEST_F(InkViewTest, PlaceholderShowsExactlyWhileEmpty) {
    EXPECT_GT(placeholderInk(), 20);

    // A stroke far from the hint removes it.
    press(&view, {20, 230});
    drag(&view, {60, 230});
    release(&view, {60, 230});
    EXPECT_EQ(placeholderInk(), 0);
    EXPECT_LT(qGray(pixel(40, 230)), 128);  // the ink itself is drawn

    view.undoStroke();
    EXPECT_GT(placeholderInk(), 20);
    view.setStrokes({{{0.1, 0.9}}});
    EXPECT_EQ(placeholderInk(), 0);
    view.clear();
    EXPECT_GT(placeholderInk(), 20);
}

}  // namespace
}  // namespace sumiro
