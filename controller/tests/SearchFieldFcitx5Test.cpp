// End to end with fcitx5 as the input method of the whole session, the pad included: the pad
// runs in this process over the input-method platform, the recording window is an fcitx5
// client too, and every click and key is a real X event made with xdotool. While the pad's
// search field has the keyboard, a picked character goes to the target, never into the search
// field.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <csignal>

#include "controller/tests/PadOnDisplay.h"
#include "input/inputmethod/Fcitx5Route.h"
#include "input/inputmethod/InputMethodPlatform.h"
#include "views/CharacterGrid.h"
#include "views/GridLayout.h"

namespace sumiro {
namespace {

using testing::InputMethodSession;

class SearchFieldFcitx5 : public PadOnDisplay {
protected:
    void SetUp() override {
        if (const std::string& why = testing::inputMethodMissing(); !why.empty())
            GTEST_SKIP() << "skipped: " << why;
        const QString bus = testing::sharedInputMethod()->bus();
        // Follows fcitx5's focus from before the target starts to the end of the test.
        route = std::make_unique<Fcitx5Route>(QString(), bus);
        route->InputMethodRoute::onFocusChanged([this](bool focused, const std::string& program) {
            if (focused && program == "sumiro_input_target") ++targetFocusIns;
        });
        ASSERT_NO_FATAL_FAILURE(start(
            {.env = testing::sharedInputMethod()->clientEnvironment(),
             .gtk = false,
             .inputMethodSees = [this] { return targetHasTheInputMethod(); }},
            inputMethodPlatform(session.display(), bus, "unix:path=/nonexistent/sumiro-ibus")));
        // fcitx5's Qt module names a new context's display over X11 and focuses the context over
        // D-Bus. When fcitx5 reads the focus first, taking the context into the display's focus
        // group drops the focus again, and nothing gives it back: the target's field is seen
        // with the focus for a moment, then without. Long after its display is known, the field
        // takes the focus once more, and fcitx5 keeps that.
        const int before = targetFocusIns;
        ASSERT_EQ(::kill(static_cast<pid_t>(target->pid()), SIGUSR1), 0);
        ASSERT_TRUE(waitFor([&] { return targetFocusIns > before && targetHasTheInputMethod(); }))
            << "fcitx5 never saw the target's field take the focus again";
    }

    // Whether fcitx5's focused context is the target's, as fcitx5 last said.
    bool targetHasTheInputMethod() const {
        return route->focusedProgram() == std::optional<std::string>("sumiro_input_target");
    }

    std::unique_ptr<Fcitx5Route> route;
    int targetFocusIns = 0;  // times fcitx5 said the target's field took the focus
};

TEST_F(SearchFieldFcitx5, APickWhileTheSearchFieldHasTheKeyboardGoesToTheTarget) {
    ASSERT_NO_FATAL_FAILURE(chooseMode(1));
    // The pad's own field must become fcitx5's focused context. As with the target, fcitx5's Qt
    // module now and then never focuses the context it made; Escape gives the keyboard back and
    // a new click takes it again.
    auto* search = widget<QLineEdit>("searchField");
    bool fieldIsFocusedContext = false;
    for (int attempt = 0; attempt < 3 && !fieldIsFocusedContext; ++attempt) {
        if (attempt > 0) {
            ASSERT_TRUE(session.xdotool({"key", "Escape"}));
            ASSERT_TRUE(waitFor([&] { return !search->hasFocus(); }));
        }
        ASSERT_TRUE(click(search));
        ASSERT_TRUE(waitFor([&] { return search->hasFocus(); }))
            << "the search field never got the keyboard";
        fieldIsFocusedContext = QTest::qWaitFor(
            [&] {
                return route->focusedProgram() == std::optional<std::string>("controller_im_test");
            },
            5000);
    }
    ASSERT_TRUE(fieldIsFocusedContext) << "fcitx5 never saw the search field's focus";
    ASSERT_TRUE(session.xdotool({"type", "--delay", "40", "U+6728"}));
    auto* grid = widget<CharacterGrid>("browseGrid");
    ASSERT_TRUE(waitFor([&] { return grid->characters() == QStringList{u"木"_qs}; }))
        << search->text().toStdString();

    const QRectF cell = GridLayout(grid->width(), 1).pitchRect(0);
    ASSERT_TRUE(session.click(grid->mapToGlobal(cell.center().toPoint())));
    ASSERT_TRUE(waitFor([&] { return !target->received().empty(); }))
        << widget<TextLabel>("statusLabel")->text().toStdString() << "; " << keyboardReport()
        << ", fcitx5's focus " << route->focusedProgram().value_or("none");
    EXPECT_EQ(target->received(), std::vector<std::string>{"commit 6728"}) << "through fcitx5";
    EXPECT_EQ(search->text(), u"U+6728"_qs) << "nothing in the search field";
    EXPECT_EQ(session.activeWindow(), target->window());
}

// None of the pad's pop-ups takes the input method's focus from the target: after each was
// opened and an item chosen (the menu: dismissed), the target's context still has it and a pick
// goes through fcitx5.
TEST_F(SearchFieldFcitx5, PopUpsLeaveTheInputMethodWithTheTarget) {
    const std::vector<std::pair<int, const char*>> popups = {
        {1, "rangePopup"},        {1, "fontPopup"},    {2, "countPopup"},
        {3, "radicalCountPopup"}, {3, "radicalPopup"}, {4, "keyboardMode"}};
    for (const auto& [mode, name] : popups) {
        SCOPED_TRACE(name);
        auto* popup = widget<QComboBox>(name);
        ASSERT_NO_FATAL_FAILURE(chooseMode(mode));
        // The mode's controls may still be laid out: click again until the list opens.
        QAbstractItemView* items = popup->view();
        ASSERT_TRUE(waitFor([&] {
            return popup->isVisible() && click(popup) &&
                   QTest::qWaitFor([&] { return items->isVisible(); }, 1500);
        }));
        // The item below the current one (the layouts': katakana, for the key below), which
        // the list shows however long it is, away from where the press opened it.
        const int current = popup->currentIndex();
        const int chosen = current + 1 < popup->count() ? current + 1 : current - 1;
        QPoint at, last;
        ASSERT_TRUE(waitFor([&] {
            const QRect item = items->visualRect(popup->model()->index(chosen, 0));
            at = items->viewport()->mapToGlobal(
                QPoint(items->viewport()->width() / 2, item.center().y()));
            const bool settled = at == last;  // placed and scrolled
            last = at;
            return settled;
        }));
        ASSERT_TRUE(session.click(at));
        ASSERT_TRUE(waitFor([&] { return !items->isVisible(); }));
        EXPECT_EQ(popup->currentIndex(), chosen);
        EXPECT_TRUE(QTest::qWaitFor([&] { return targetHasTheInputMethod(); }, 2000))
            << "the pop-up took fcitx5's focus";
    }
    // The header's menu, dismissed with Escape.
    const QPoint header = widget("targetLabel")->mapToGlobal(QPoint(4, 4));
    ASSERT_TRUE(session.xdotool(
        {"mousemove", QString::number(header.x()), QString::number(header.y()), "click", "3"}));
    auto* menu = testing::topLevel<QMenu>(u"statusMenu"_qs);
    ASSERT_TRUE(menu);
    ASSERT_TRUE(waitFor([&] { return menu->isVisible(); }));
    ASSERT_TRUE(session.xdotool({"key", "Escape"}));
    ASSERT_TRUE(waitFor([&] { return !menu->isVisible(); }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return targetHasTheInputMethod(); }, 2000))
        << "the menu took fcitx5's focus";

    // The layout chosen last was katakana's: its first key arrives through fcitx5.
    QAbstractButton* key = testing::titled(widget("keyboardBody"), u"ア"_qs);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(click(key));
    ASSERT_TRUE(waitFor([&] { return !target->received().empty(); }))
        << widget<TextLabel>("statusLabel")->text().toStdString();
    EXPECT_EQ(target->received(), std::vector<std::string>{"commit 30A2"}) << "through fcitx5";
}

}  // namespace
}  // namespace sumiro

int main(int argc, char** argv) {
    return sumiro::testing::runInSharedSession(argc, argv,
                                               sumiro::testing::InputMethodSession::Kind::Fcitx5);
}
