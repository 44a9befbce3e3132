// End to end: the real sumiro on a private Xvfb with openbox, the recording window, and the
// mouse driven through XTest (xdotool). Every wait is on a condition with a deadline.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "input/inputmethod/Fcitx5Route.h"
#include "testsupport/Command.h"
#include "testsupport/InputMethodSession.h"
#include "testsupport/RecordingTarget.h"
#include "testsupport/XSession.h"

namespace sumiro {
namespace {

using testing::Child;
using testing::InputMethodSession;
using testing::RecordingTarget;
using testing::XSession;

constexpr int timeoutMs = 15000;

// Whether `condition` holds within the deadline.
bool waitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, timeoutMs);
}

// Where the panel's controls lie, in pixels from the top-left of its client area, with the
// default fonts of this session (Noto CJK): the canvas spans x 14..280 and y 106..372.
constexpr QPoint kCanvas{14, 106};
constexpr int kCanvasSide = 266;
constexpr QPoint kFirstCandidate{317, 132};
constexpr QPoint kRecognizeButton{216, 392};
constexpr int kStripFromRight = 47;  // "⌫": the strip's centre, 14 + 65 / 2 from the right
constexpr int kBackspaceY = 88;

class PadSession : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        session = XSession::start(error);
        ASSERT_TRUE(session) << error;
        ASSERT_TRUE(home.isValid());
        QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    std::vector<std::pair<QString, QString>> padEnvironment() const {
        return {{"XDG_CONFIG_HOME", home.filePath("config")},
                {"XDG_RUNTIME_DIR", home.path()},
                {"QT_QPA_PLATFORM", ""},
                {"WAYLAND_DISPLAY", ""}};
    }
    // The pad in its environment, with `env` added to or replacing it.
    Child startPad(const std::vector<std::pair<QString, QString>>& env = {}) {
        std::vector<std::pair<QString, QString>> all = padEnvironment();
        all.insert(all.end(), env.begin(), env.end());
        return session->spawn({SUMIRO_EXECUTABLE}, all);
    }
    std::uint64_t waitForWindow(const Child& process) {
        std::uint64_t window = 0;
        (void)waitFor([&] { return (window = session->windowOf(process->processId())); });
        return window;
    }
    // Runs the program to its end in the pad's environment and returns its exit status.
    int run(const QStringList& argv, const QStringList& unset = {}, QByteArray* err = nullptr) {
        XSession::Run how;
        how.env = padEnvironment();
        how.unset = unset;
        how.standardError = err;
        return session->run(argv, how);
    }
    // The panel's client area once the window manager has stopped moving it.
    QRect settledFrame(std::uint64_t panel) {
        QRect client;
        EXPECT_TRUE(waitFor([&] {
            const QRect before = session->frame(panel);
            QTest::qWait(150);
            client = session->frame(panel);
            return client.width() > 0 && client == before;
        }));
        return client;
    }
    // A drag through XTest along `points`, in fractions of the canvas from its top-left corner.
    void drag(const QPoint& origin, const std::vector<QPointF>& points) {
        const auto at = [&](QPointF p) {
            const QPoint pixel =
                origin + QPoint(int(p.x() * kCanvasSide), int(p.y() * kCanvasSide));
            return QStringList{"mousemove", QString::number(pixel.x()), QString::number(pixel.y())};
        };
        QStringList commands = at(points.front()) + QStringList{"mousedown", "1"};
        for (std::size_t i = 0; i + 1 < points.size(); ++i) {
            // Intermediate points, as a hand moves.
            for (int step = 1; step <= 8; ++step)
                commands += at(points[i] + (points[i + 1] - points[i]) * step / 8.0);
        }
        commands += QStringList{"mouseup", "1"};
        EXPECT_TRUE(session->xdotool(commands));
    }

    QTemporaryDir home;
    std::unique_ptr<XSession> session;
};

// One route from the pad to the target: how the recording window takes text, and how it
// records a drawn 十 and the strip's ⌫.
struct Route {
    const char* name;
    std::optional<InputMethodSession::Kind> inputMethod;
    std::vector<std::string> typed;
};
void PrintTo(const Route& route, std::ostream* out) { *out << route.name; }

class PadSessionRoute : public PadSession, public ::testing::WithParamInterface<Route> {
protected:
    void SetUp() override {
        PadSession::SetUp();
        if (HasFatalFailure()) return;
        RecordingTarget::Options options;
        if (const auto kind = GetParam().inputMethod) {
            if (const std::string why = InputMethodSession::missing(*kind); !why.empty())
                GTEST_SKIP() << "skipped: " << why;
            std::string error;
            im = InputMethodSession::start(*session, *kind, error);
            ASSERT_TRUE(im) << error;
            options.env = im->clientEnvironment();
            options.inputMethodSees = [route =
                                           std::make_shared<Fcitx5Route>(QString(), im->bus())] {
                return route->focusedProgram() == std::optional<std::string>("sumiro_input_target");
            };
        }
        std::string error;
        target = RecordingTarget::start(*session, error, options);
        ASSERT_TRUE(target) << error;
    }
    std::vector<std::pair<QString, QString>> busEnvironment() const {
        if (!im) return {};
        return {{"DBUS_SESSION_BUS_ADDRESS", im->bus()}};
    }

    std::unique_ptr<InputMethodSession> im;
    std::unique_ptr<RecordingTarget> target;
};

TEST_P(PadSessionRoute, ADrawnCharacterIsTypedIntoTheTargetAndTheStripErasesIt) {
    const Child pad = startPad(busEnvironment());
    const std::uint64_t panel = waitForWindow(pad);
    ASSERT_NE(panel, 0u) << "the panel never appeared";
    // The panel opens beside the target without taking the focus from it.
    std::vector<std::uint64_t> active;
    const auto watchActive = [&] { active.push_back(session->activeWindow()); };
    // The window manager may still move the panel after mapping it: draw once it stays put.
    const QRect client = settledFrame(panel);
    ASSERT_FALSE(client.isEmpty());
    const QPoint canvas = client.topLeft() + kCanvas;

    drag(canvas, {{0.15, 0.48}, {0.85, 0.48}});  // 一
    watchActive();
    drag(canvas, {{0.5, 0.12}, {0.5, 0.9}});  // 丨
    watchActive();
    // The data may still be loading: "認識" again until the first candidate types something.
    // Until the whole drawing is recognized the candidates shown are those of its first stroke,
    // which the pad does not let a click pick: the first candidate is clicked until a click
    // takes, and what it typed must be 十.
    const bool typed = waitFor([&] {
        EXPECT_TRUE(session->click(client.topLeft() + kRecognizeButton));
        return QTest::qWaitFor(
            [&] {
                EXPECT_TRUE(session->click(client.topLeft() + kFirstCandidate));
                watchActive();
                return QTest::qWaitFor([&] { return !target->received().empty(); }, 250);
            },
            1500);
    });
    ASSERT_TRUE(typed) << "nothing arrived in the target";
    const std::vector<std::string>& expected = GetParam().typed;
    EXPECT_EQ(target->received(), std::vector<std::string>{expected.front()});

    EXPECT_TRUE(
        session->click(QPoint(client.right() - kStripFromRight, client.top() + kBackspaceY)));
    ASSERT_TRUE(waitFor([&] { return target->received().size() >= 2; }));
    watchActive();
    EXPECT_EQ(target->received(), expected);
    for (const std::uint64_t window : active) EXPECT_NE(window, panel);
    EXPECT_EQ(session->activeWindow(), target->window()) << "the target kept the focus throughout";
}

// Through XTest the target sees key events; through fcitx5's addon, a commit and a key.
INSTANTIATE_TEST_SUITE_P(
    Routes, PadSessionRoute,
    ::testing::Values(
        Route{"XTest", std::nullopt, {"text 5341 mods 0", "key Backspace mods 0"}},
        Route{"Fcitx5", InputMethodSession::Kind::Fcitx5, {"commit 5341", "key Backspace mods 0"}}),
    [](const auto& info) { return info.param.name; });

TEST_F(PadSession, StartingAgainShowsTheHiddenPanelAndEnds) {
    const Child pad = startPad();
    std::uint64_t panel = waitForWindow(pad);
    ASSERT_NE(panel, 0u);
    ASSERT_TRUE(waitFor([&] { return session->frame(panel).width() > 0; }));

    // Closed with its close button: hidden, not ended.
    const QRect client = session->frame(panel);
    EXPECT_TRUE(session->click(QPoint(client.right() - 10, client.top() - 10)));
    ASSERT_TRUE(waitFor([&] { return session->windowOf(pad->processId()) == 0; }))
        << "the close button did not hide the panel";
    EXPECT_EQ(pad->state(), QProcess::Running);
    EXPECT_EQ(run({SUMIRO_EXECUTABLE}), 0);
    EXPECT_TRUE(waitFor([&] { return (panel = session->windowOf(pad->processId())); }));

    // Minimized: the same.
    ASSERT_TRUE(waitFor([&] { return session->viewable(panel); }));
    EXPECT_TRUE(session->xdotool({"windowminimize", QString::number(panel)}));
    ASSERT_TRUE(waitFor([&] { return !session->viewable(panel); }));
    EXPECT_EQ(run({SUMIRO_EXECUTABLE}), 0);
    EXPECT_TRUE(waitFor([&] {
        panel = session->windowOf(pad->processId());
        return panel && session->viewable(panel);
    }));
    EXPECT_EQ(pad->state(), QProcess::Running);

    // Ended by the session: it quits as from its menu and leaves no socket behind.
    const QString socket =
        home.filePath("sumiro-x11-" + QString::fromStdString(session->display()).remove(':'));
    EXPECT_TRUE(QFile::exists(socket));
    pad->terminate();
    ASSERT_TRUE(pad->waitForFinished(timeoutMs));
    EXPECT_EQ(pad->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(pad->exitCode(), 0);
    EXPECT_FALSE(QFile::exists(socket));
}

// KWin marks every window it maps without focusing it as demanding attention, which for the
// panel is every time it is shown: the mark is taken off, so that it never flashes in the task
// manager. openbox sets the mark when asked, as it keeps it on another window.
TEST_F(PadSession, TheWindowManagersMarkOfAttentionIsTakenOff) {
    const Child pad = startPad();
    const std::uint64_t panel = waitForWindow(pad);
    ASSERT_NE(panel, 0u);
    ASSERT_TRUE(waitFor([&] { return session->viewable(panel); }));
    // Another window, not the focused one: openbox never marks the window it focuses.
    const std::uint64_t other = session->createWindow("NORMAL", 0);
    const std::uint64_t focused = session->createWindow("NORMAL", 0);
    ASSERT_TRUE(waitFor([&] { return session->activeWindow() == focused; }));

    session->markDemandsAttention(other);
    session->markDemandsAttention(panel);
    ASSERT_TRUE(waitFor([&] { return session->demandsAttention(other); }))
        << "the window manager does not mark windows as asked";
    EXPECT_TRUE(waitFor([&] { return !session->demandsAttention(panel); }));
    EXPECT_TRUE(session->demandsAttention(other));
}

// Ctrl+Z and Ctrl+Q go to the target, but while the pointer is over the panel the pad takes
// them: Ctrl+Q then ends it, saving its settings where the XDG rules say (a relative
// XDG_CONFIG_HOME is ignored). The panel cannot be made huge.
TEST_F(PadSession, OverThePanelTheShortcutsAreThePadsElsewhereTheTargets) {
    std::string error;
    const auto target = RecordingTarget::start(*session, error);
    ASSERT_TRUE(target) << error;
    const QString relative = u"sumiro-relative-config-"_qs + QString::number(::getpid());
    const Child pad = startPad({{"HOME", home.path()}, {"XDG_CONFIG_HOME", relative}});
    const std::uint64_t panel = waitForWindow(pad);
    ASSERT_NE(panel, 0u);
    ASSERT_TRUE(session->xdotool({"windowsize", QString::number(panel), "100000", "100000"}));
    QRect client = settledFrame(panel);
    EXPECT_LE(client.width(), 2560);
    EXPECT_LE(client.height(), 1600);
    ASSERT_TRUE(session->xdotool({"windowsize", QString::number(panel), "820", "490"}));
    client = settledFrame(panel);
    const auto typed = [&](std::size_t count) {
        return waitFor([&] { return target->received().size() >= count; });
    };
    const auto mouseAt = [&](QPoint at) {
        return session->xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
    };
    constexpr unsigned long z = 'z';
    constexpr unsigned control = 1 << 2;

    // Away from the panel (the pointer starts in the middle of the screen, over it), once the
    // pad has let go of the keys: the target gets them, and the pad runs on.
    ASSERT_TRUE(mouseAt({2, 2}));
    ASSERT_TRUE(session->poll([&] { return !session->keyGrabbed(z, control); }));
    ASSERT_TRUE(session->xdotool({"key", "ctrl+z", "ctrl+q"}));
    ASSERT_TRUE(typed(2));
    EXPECT_EQ(target->received(),
              (std::vector<std::string>{"key Z mods 4000000", "key Q mods 4000000"}));
    EXPECT_EQ(pad->state(), QProcess::Running);

    // Over the panel, once the pad has taken them as the pointer came: Ctrl+Z no longer reaches
    // the target, the key after it does.
    ASSERT_TRUE(mouseAt(client.center()));
    ASSERT_TRUE(session->poll([&] { return session->keyGrabbed(z, control); }))
        << "the pad did not take Ctrl+Z";
    ASSERT_TRUE(session->xdotool({"key", "ctrl+z", "x"}));
    ASSERT_TRUE(waitFor([&] {
        const auto received = target->received();
        return received.size() >= 3 && received.back() == "text 78 mods 0";
    }));
    const std::size_t count = target->received().size();
    EXPECT_EQ(count, 3u) << "Ctrl+Z over the panel reached the target";

    ASSERT_TRUE(session->xdotool({"key", "ctrl+q"}));
    // Waiting on a process that has ended already, and been seen to, fails at once.
    ASSERT_TRUE(pad->state() == QProcess::NotRunning || pad->waitForFinished(timeoutMs))
        << "Ctrl+Q over the panel did not end the pad";
    EXPECT_EQ(pad->exitCode(), 0);
    EXPECT_EQ(target->received().size(), count);
    EXPECT_TRUE(QFile::exists(home.filePath(".config/Sumiro/Sumiro.conf")));
    EXPECT_FALSE(QFileInfo::exists(relative)) << "settings written under the current folder";
}

// Without XTEST and an input method the setup window stands in for the panel, and stays: a
// request to minimize it comes to nothing.
TEST_F(PadSession, WithoutXTestTheSetupWindowCannotBeMinimized) {
    std::string error;
    const auto bare = XSession::start(error, false);
    ASSERT_TRUE(bare) << error;
    std::vector<std::pair<QString, QString>> env = padEnvironment();
    env.emplace_back("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.filePath("no-bus"));
    const Child pad = bare->spawn({SUMIRO_EXECUTABLE}, env);
    std::uint64_t setup = 0;
    ASSERT_TRUE(waitFor(
        [&] { return (setup = bare->windowOf(pad->processId())) && bare->viewable(setup); }));
    const QPoint before = bare->frame(setup).topLeft();
    // The window manager handles the move after the request to minimize.
    ASSERT_TRUE(bare->xdotool({"windowminimize", QString::number(setup), "windowmove",
                               QString::number(setup), "7", "7"}));
    ASSERT_TRUE(waitFor([&] { return bare->frame(setup).topLeft() != before; }));
    EXPECT_TRUE(waitFor([&] { return bare->viewable(setup); }));
    EXPECT_EQ(pad->state(), QProcess::Running);
}

TEST_F(PadSession, WithATrayTheIconAppearsAndOpensTheMenu) {
    const Child tray = session->spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype",
                                       "request", "--height", "32"});
    std::uint64_t trayWindow = 0;
    ASSERT_TRUE(waitFor([&] { return (trayWindow = session->windowOf(tray->processId())); }))
        << "trayer did not start";
    const int emptyWidth = session->frame(trayWindow).width();
    const Child pad = startPad();
    ASSERT_NE(waitForWindow(pad), 0u);
    // trayer grows by one icon when the pad's icon docks into it.
    ASSERT_TRUE(waitFor([&] { return session->frame(trayWindow).width() > emptyWidth; }))
        << "no icon docked into the tray";
    const QRect icon = session->frame(trayWindow);
    // The menu is a pop-up window of the pad: mapped, tall enough for its five rows.
    const auto menuShown = [&] {
        const auto [status, tree] =
            testing::runCommand("xwininfo -display " + session->display() + " -root -tree");
        for (const QByteArray& line : QByteArray::fromStdString(tree).split('\n')) {
            if (!line.contains("(\"sumiro\" \"Sumiro\")")) continue;
            const QRegularExpression size(R"((\d+)x(\d+)\+)");
            const auto match = size.match(QString::fromUtf8(line));
            if (match.hasMatch() && match.captured(2).toInt() > 80 &&
                match.captured(1).toInt() > 80 && match.captured(1).toInt() < 600) {
                return true;
            }
        }
        return false;
    };
    // The icon may be docked a moment before it is embedded and takes clicks: click again, as a
    // person would, until the menu shows.
    const bool menu = waitFor([&] {
        return session->click(QPoint(icon.right() - 16, icon.center().y())) &&
               QTest::qWaitFor(menuShown, 2000);
    });
    EXPECT_TRUE(menu) << "no menu opened on the tray icon";
}

TEST_F(PadSession, WithoutADisplayOneSentenceAndStatusOne) {
    QByteArray err;
    EXPECT_EQ(run({SUMIRO_EXECUTABLE}, {"DISPLAY", "WAYLAND_DISPLAY"}, &err), 1);
    EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
    EXPECT_TRUE(err.startsWith("Sumiro needs an X11 display")) << err.toStdString();
}

TEST_F(PadSession, OnWaylandThePadRunsThroughXWaylandAndWithoutDataStillOpens) {
    Child pad = session->spawn({SUMIRO_EXECUTABLE, "--resources", home.filePath("missing")},
                               {{"XDG_CONFIG_HOME", home.filePath("config")},
                                {"XDG_RUNTIME_DIR", home.path()},
                                {"WAYLAND_DISPLAY", "wayland-sumiro-test"},
                                {"XDG_SESSION_TYPE", "wayland"}});
    EXPECT_NE(waitForWindow(pad), 0u) << "the panel did not open on the X display";
    EXPECT_EQ(pad->state(), QProcess::Running);
}

}  // namespace
}  // namespace sumiro
