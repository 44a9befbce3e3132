#pragma once

// The pad in this process on the binary's shared X session, on the real platform, typing into
// the recording window; every click and key is a real X event made with xdotool.

#include <gtest/gtest.h>

#include <QTest>
#include <functional>
#include <string>

#include "controller/AppDelegate.h"
#include "testsupport/RecordingTarget.h"
#include "testsupport/SharedSession.h"
#include "testsupport/Widgets.h"
#include "views/PadPanel.h"
#include "views/SegmentedControl.h"
#include "views/ViewHelpers.h"

namespace sumiro {

/// Launches the pad over `environment`, without a tray icon, into `pad`, and waits until its
/// panel is on screen and its data are loaded.
inline void launchPad(AppDelegate::Environment environment, std::unique_ptr<AppDelegate>& pad,
                      int timeoutMs) {
    environment.trayIcon = false;
    pad = std::make_unique<AppDelegate>(std::move(environment));
    pad->applicationDidFinishLaunching();
    ASSERT_TRUE(pad->panel() && QTest::qWaitForWindowExposed(pad->panel(), timeoutMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pad->database() != nullptr; }, timeoutMs))
        << testing::child<TextLabel>(pad->panel(), u"statusLabel"_qs)->text().toStdString();
}

class PadOnDisplay : public ::testing::Test {
protected:
    static constexpr int timeoutMs = 15000;
    /// Whether `condition` holds within the deadline.
    static bool waitFor(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, timeoutMs);
    }

    /// Starts the recording window (`options`), then the pad over `platform` (else the
    /// system's), and waits until its data are loaded and the window is its target.
    void start(testing::RecordingTarget::Options options = {},
               std::shared_ptr<InputPlatform> platform = nullptr) {
        std::string error;
        target = testing::RecordingTarget::start(session, error, std::move(options));
        ASSERT_TRUE(target) << error;
        auto environment =
            AppDelegate::systemEnvironment(std::filesystem::path(SUMIRO_RESOURCE_DIR));
        if (platform) environment.platform = std::move(platform);
        ASSERT_NO_FATAL_FAILURE(launchPad(std::move(environment), pad, timeoutMs));
        ASSERT_TRUE(waitFor([&] {
            return pad->input().target() && pad->input().target()->pid == target->pid();
        })) << "the recording window never became the target";
    }

    /// The panel's control named `name`.
    template <typename T = QWidget>
    T* widget(const char* name) const {
        return testing::child<T>(pad->panel(), QString::fromLatin1(name));
    }
    bool click(const QWidget* control) const {
        return session.click(control->mapToGlobal(control->rect().center()));
    }
    /// Clicks segment `segment` of the mode control and waits until it is selected.
    void chooseMode(int segment) {
        auto* modes = widget<SegmentedControl>("mode");
        ASSERT_TRUE(click(modes->segment(segment)));
        ASSERT_TRUE(waitFor([&] { return modes->selectedSegment() == segment; }));
    }
    bool targetActive() const {
        return waitFor([&] { return session.activeWindow() == target->window(); });
    }
    /// Waits until the panel has the X server's keyboard focus. Qt may count a parentless tool
    /// window as active before the server has moved the focus to it: a field of the panel then
    /// says it has the focus while keys still go to the window that had it.
    bool panelHasKeyboard() const {
        return waitFor([&] { return session.keyboardFocus() == pad->panel()->winId(); });
    }
    /// Where the keyboard is, for failure messages: the active window, the window with the X
    /// server's keyboard focus, the panel's and the target's.
    std::string keyboardReport() const {
        return "active window " + std::to_string(session.activeWindow()) + ", keyboard focus " +
               std::to_string(session.keyboardFocus()) + ", panel " +
               std::to_string(pad->panel()->winId()) + ", target " +
               std::to_string(target->window());
    }

    testing::XSession& session = testing::sharedSession();
    std::unique_ptr<testing::RecordingTarget> target;
    std::unique_ptr<AppDelegate> pad;
};

}  // namespace sumiro
