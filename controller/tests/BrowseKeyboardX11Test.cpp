// End to end on a private Xvfb with openbox: the pad runs in this process on the real X11
// platform, the recording window in its own, and every click and key is a real X event made
// with xdotool. Every wait is on a condition with a deadline.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QToolTip>

#include "controller/tests/PadOnDisplay.h"
#include "views/CharacterGrid.h"
#include "views/GridLayout.h"
#include "views/InkView.h"

namespace sumiro {
namespace {

class BrowseKeyboardX11 : public PadOnDisplay {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(start()); }
};

TEST_F(BrowseKeyboardX11, TypingACodeInTheSearchFieldThenClickingTheResultTypesIt) {
    ASSERT_NO_FATAL_FAILURE(chooseMode(1));
    auto* search = widget<QLineEdit>("searchField");
    auto* grid = widget<CharacterGrid>("browseGrid");
    ASSERT_TRUE(click(search));
    ASSERT_TRUE(waitFor([&] { return search->hasFocus(); }))
        << "the search field never got the keyboard";
    ASSERT_TRUE(panelHasKeyboard()) << keyboardReport();
    ASSERT_TRUE(session.xdotool({"type", "--delay", "40", "U+6728"}));
    ASSERT_TRUE(waitFor([&] { return grid->characters() == QStringList{u"木"_qs}; }))
        << search->text().toStdString();
    EXPECT_EQ(widget<TextLabel>("resultLabel")->text(), u"1文字"_qs);
    EXPECT_TRUE(target->received().empty()) << "typing in the field reached the target";

    const QRectF cell = GridLayout(grid->width(), 1).pitchRect(0);
    ASSERT_TRUE(session.click(grid->mapToGlobal(cell.center().toPoint())));
    ASSERT_TRUE(waitFor([&] { return !target->received().empty(); }));
    EXPECT_EQ(target->received(), std::vector<std::string>{"text 6728 mods 0"});
    EXPECT_TRUE(targetActive()) << "active " << session.activeWindow();
    EXPECT_FALSE(pad->panel()->acceptsKeyboard());
    EXPECT_FALSE(search->hasFocus());

    // Escape ends the typing in the field and hands the keyboard back to the target.
    ASSERT_TRUE(click(search));
    ASSERT_TRUE(waitFor([&] { return search->hasFocus(); }));
    ASSERT_TRUE(panelHasKeyboard()) << keyboardReport();
    ASSERT_TRUE(session.xdotool({"key", "BackSpace", "Escape"}));
    EXPECT_TRUE(targetActive()) << "active " << session.activeWindow();
    EXPECT_EQ(search->text(), u"U+672"_qs);
    EXPECT_EQ(target->received(), std::vector<std::string>{"text 6728 mods 0"}) << keyboardReport();
}

TEST_F(BrowseKeyboardX11, AKatakanaKeyTypesItsCharacter) {
    ASSERT_NO_FATAL_FAILURE(chooseMode(4));
    auto* layouts = widget<QComboBox>("keyboardMode");
    ASSERT_TRUE(click(layouts));
    QAbstractItemView* items = layouts->view();
    ASSERT_TRUE(waitFor([&] { return items->isVisible(); }));
    QTest::qWait(0);
    const QRect item = items->visualRect(layouts->model()->index(1, 0));
    ASSERT_TRUE(session.click(items->viewport()->mapToGlobal(item.center())));
    ASSERT_TRUE(waitFor([&] { return layouts->currentIndex() == 1; }));
    EXPECT_TRUE(targetActive()) << "choosing a layout took the focus";

    QAbstractButton* a = testing::titled(widget("keyboardBody"), u"ア"_qs);
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(a->window()));
    ASSERT_TRUE(click(a));
    ASSERT_TRUE(waitFor([&] { return !target->received().empty(); }));
    EXPECT_EQ(target->received(), std::vector<std::string>{"text 30A2 mods 0"});
    EXPECT_TRUE(targetActive()) << "active " << session.activeWindow();
}

// The target keeps the keyboard, yet over the panel Ctrl+Z takes back a stroke without reaching
// the target, and the strip's tooltips show although the panel is never the active window.
TEST_F(BrowseKeyboardX11, OverThePanelCtrlZTakesBackAStrokeAndTooltipsShow) {
    auto* ink = widget<InkView>("ink");
    ink->setStrokes(Ink(2, Stroke{{0.1, 0.1}, {0.9, 0.9}}));
    QAbstractButton* backspace = testing::titled(widget("handwriting"), u"⌫"_qs);
    ASSERT_NE(backspace, nullptr);
    const QPoint over = backspace->mapToGlobal(backspace->rect().center());
    ASSERT_TRUE(
        session.xdotool({"mousemove", QString::number(over.x()), QString::number(over.y())}));
    // The pad takes the keys as it learns that the pointer came.
    ASSERT_TRUE(waitFor([&] { return pad->panel()->underMouse(); }));
    ASSERT_TRUE(session.xdotool({"key", "ctrl+z", "x"}));
    ASSERT_TRUE(waitFor([&] { return !target->received().empty(); }));
    EXPECT_EQ(target->received(), std::vector<std::string>{"text 78 mods 0"});
    EXPECT_TRUE(waitFor([&] { return ink->strokes().size() == 1; }));
    EXPECT_TRUE(waitFor([&] {
        return QToolTip::isVisible() && QToolTip::text() == u"前の文字を削除"_qs;
    })) << "no tooltip";
    EXPECT_TRUE(targetActive()) << "active " << session.activeWindow();
}

}  // namespace
}  // namespace sumiro

int main(int argc, char** argv) { return sumiro::testing::runInSharedSession(argc, argv); }
