// Which application the accessibility bus says holds the keyboard, and when that names a field
// an input method focused.

#include <gtest/gtest.h>

#include "input/accessibility/FocusHolder.h"

namespace sumiro::accessibility {
namespace {

using namespace std::chrono_literals;
using Clock = FocusHolder::Clock;

const Clock::time_point t0 = Clock::time_point() + 1h;

std::optional<std::string> holding(const FocusHolder& focus) {
    const auto holder = focus.holder();
    return holder ? std::optional(holder->app) : std::nullopt;
}

TEST(FocusHolder, AnApplicationHoldsTheKeyboardWhileItsWindowIsActive) {
    FocusHolder focus;
    EXPECT_EQ(holding(focus), std::nullopt);
    focus.activated(":1.5", "/window", t0);
    focus.focused(":1.5", "/entry", t0);
    EXPECT_EQ(holding(focus), ":1.5");
    focus.lost(":1.5", "/entry");
    EXPECT_EQ(holding(focus), ":1.5") << "another widget of the window may have the focus";

    focus.activated(":1.7", "/frame", t0 + 2s);
    EXPECT_EQ(holding(focus), ":1.7");
    // The one before told no deactivation: once the last one is deactivated, it holds the
    // keyboard again.
    focus.lost(":1.7", "/frame");
    EXPECT_EQ(holding(focus), ":1.5");
    // A loss reported of what was never gained changes nothing.
    focus.lost(":1.5", "/other");
    focus.lost(":1.9", "/window");
    EXPECT_EQ(holding(focus), ":1.5");
    focus.lost(":1.5", "/window");
    EXPECT_EQ(holding(focus), std::nullopt) << "the keyboard went to a program without AT-SPI";

    // A widget's focus ends with its window's activation, told or not (gnome-shell's overview
    // never tells its button unfocused).
    focus.activated(":1.3", "/stage", t0 + 3s);
    focus.focused(":1.3", "/button", t0 + 3s);
    focus.lost(":1.3", "/stage");
    EXPECT_EQ(holding(focus), std::nullopt);
    // A widget's focus holds it before its window's activation is told (GTK 4), and without.
    focus.focused(":1.4", "/text", t0 + 4s);
    EXPECT_EQ(holding(focus), ":1.4");
    focus.lost(":1.4", "/text");
    EXPECT_EQ(holding(focus), std::nullopt);

    // An application that leaves the bus holds nothing, and its name is forgotten.
    focus.activated(":1.7", "/frame", t0 + 5s);
    focus.named(":1.7", "gedit");
    focus.left(":1.7");
    EXPECT_EQ(holding(focus), std::nullopt);
    focus.activated(":1.7", "/frame", t0 + 6s);
    EXPECT_EQ(focus.holder()->name, std::nullopt) << "a new connection's name is asked anew";
}

TEST(FocusHolder, AnApplicationIsNamedByItsNameElseByTheTitleOfItsLastActiveWindow) {
    FocusHolder focus;
    focus.activated(":1.5", "/window/1", t0);
    EXPECT_EQ(focus.holder()->name, std::nullopt) << "not yet answered";
    focus.named(":1.5", "gedit");
    EXPECT_EQ(focus.holder()->name, "gedit");

    focus.activated(":1.6", "/window/1", t0 + 1s);
    focus.named(":1.6", "");
    EXPECT_EQ(focus.holder()->name, std::nullopt) << "no name and no title";
    focus.titled(":1.6", "/window/1", "Notes");
    focus.titled(":1.6", "/window/2", "Settings");
    EXPECT_EQ(focus.holder()->name, "Notes") << "not the title of a window that is not active";
    focus.activated(":1.6", "/window/2", t0 + 2s);
    EXPECT_EQ(focus.holder()->name, "Settings");
    focus.lost(":1.6", "/window/2");
    EXPECT_EQ(focus.holder()->name, "Notes");
}

TEST(FocusHolder, ThePadsOwnWindowsNeverHoldTheKeyboard) {
    FocusHolder focus;
    focus.activated(":1.5", "/window", t0);
    // The pad's own, known as such before its activation or after it.
    focus.ignore(":1.8");
    focus.activated(":1.8", "/pad", t0 + 1s);
    EXPECT_EQ(holding(focus), ":1.5");
    focus.activated(":1.9", "/pad", t0 + 2s);
    focus.focused(":1.9", "/search", t0 + 2s);
    focus.ignore(":1.9");
    EXPECT_EQ(holding(focus), ":1.5");
}

TEST(FocusHolder, AFieldIsNamedOnlyAfterAGainNearItsFocus) {
    FocusHolder focus;
    EXPECT_EQ(focus.nameOf(t0), std::nullopt);
    focus.activated(":1.5", "/window", t0);
    focus.named(":1.5", "gedit");
    // The gain came just before the input method's focus-in, or after it: the keyboard went
    // there with it or since.
    EXPECT_EQ(focus.nameOf(t0), "gedit");
    EXPECT_EQ(focus.nameOf(t0 + FocusHolder::nearFocusIn), "gedit");
    EXPECT_EQ(focus.nameOf(t0 - 1h), "gedit");
    EXPECT_EQ(focus.nameOf(Clock::time_point::min()), "gedit") << "a field focused before";
    // A field focused well after the holder's last gain may be in a program that does not
    // speak AT-SPI, whose activation the holder never told it lost.
    EXPECT_EQ(focus.nameOf(t0 + FocusHolder::nearFocusIn + 1ms), std::nullopt);
    // A widget of the same window that gets the focus (another field of it) names it again.
    focus.focused(":1.5", "/entry", t0 + 5s);
    EXPECT_EQ(focus.nameOf(t0 + 5s + 10ms), "gedit");
}

}  // namespace
}  // namespace sumiro::accessibility
