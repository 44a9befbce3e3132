// End to end with fcitx5 as the input method of the whole session, the pad included: the pad
// runs in this process over the input-method platform, the recording window is an fcitx5
// client too, and every click and key is a real X event made with xdotool. While the pad's
// search field has the keyboard, a picked character goes to the target, never into the search
// field.

#include <gtest/gtest.h>

#include <QLineEdit>

#include "controller/tests/PadOnDisplay.h"
#include "input/inputmethod/Fcitx5Route.h"
#include "input/inputmethod/InputMethodPlatform.h"
#include "views/CharacterGrid.h"
#include "views/GridLayout.h"
#include "views/SegmentedControl.h"

namespace sumiro {
namespace {

using testing::InputMethodSession;

class SearchFieldFcitx5 : public PadOnDisplay {
protected:
    void SetUp() override {
        if (const std::string& why = testing::inputMethodMissing(); !why.empty()) {
            GTEST_SKIP() << "skipped: " << why;
        }
        const QString bus = testing::sharedInputMethod()->bus();
        ASSERT_NO_FATAL_FAILURE(start(
            {.env = testing::sharedInputMethod()->clientEnvironment(),
             .gtk = false,
             .inputMethodSees =
                 [route = std::make_shared<Fcitx5Route>(QString(), bus)] {
                     return route->focusedProgram() ==
                            std::optional<std::string>("sumiro_input_target");
                 }},
            inputMethodPlatform(session.display(), bus, "unix:path=/nonexistent/sumiro-ibus")));
    }
};

TEST_F(SearchFieldFcitx5, APickWhileTheSearchFieldHasTheKeyboardGoesToTheTarget) {
    auto* modes = widget<SegmentedControl>("mode");
    ASSERT_TRUE(click(modes->segment(1)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return modes->selectedSegment() == 1; }, timeoutMs));
    // The pad's own field must become fcitx5's focused context. As with the target, fcitx5's Qt
    // module now and then never focuses the context it made; Escape gives the keyboard back and
    // a new click takes it again.
    auto* search = widget<QLineEdit>("searchField");
    Fcitx5Route route({}, testing::sharedInputMethod()->bus());
    bool fieldIsFocusedContext = false;
    for (int attempt = 0; attempt < 3 && !fieldIsFocusedContext; ++attempt) {
        if (attempt > 0) {
            ASSERT_TRUE(session.xdotool({"key", "Escape"}));
            ASSERT_TRUE(QTest::qWaitFor([&] { return !search->hasFocus(); }, timeoutMs));
        }
        ASSERT_TRUE(click(search));
        ASSERT_TRUE(QTest::qWaitFor([&] { return search->hasFocus(); }, timeoutMs))
            << "the search field never got the keyboard";
        fieldIsFocusedContext = QTest::qWaitFor(
            [&] {
                return route.focusedProgram() == std::optional<std::string>("controller_im_test");
            },
            5000);
    }
    ASSERT_TRUE(fieldIsFocusedContext) << "fcitx5 never saw the search field's focus";
    ASSERT_TRUE(session.xdotool({"type", "--delay", "40", "U+6728"}));
    auto* grid = widget<CharacterGrid>("browseGrid");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return grid->characters() == QStringList{u"木"_qs}; }, timeoutMs))
        << search->text().toStdString();

    const QRectF cell = GridLayout(grid->width(), 1).pitchRect(0);
    ASSERT_TRUE(session.click(grid->mapToGlobal(cell.center().toPoint())));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !target->received().empty(); }, timeoutMs))
        << widget<TextLabel>("statusLabel")->text().toStdString();
    EXPECT_EQ(target->received(), std::vector<std::string>{"commit 6728"}) << "through fcitx5";
    EXPECT_EQ(search->text(), u"U+6728"_qs) << "nothing in the search field";
    EXPECT_EQ(session.activeWindow(), target->window());
}

}  // namespace
}  // namespace sumiro

int main(int argc, char** argv) {
    return sumiro::testing::runInSharedSession(argc, argv,
                                               sumiro::testing::InputMethodSession::Kind::Fcitx5);
}
