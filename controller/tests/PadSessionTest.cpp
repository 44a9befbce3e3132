// End to end: the real sumiro on a private Xvfb with openbox, the recording target from the
// input tests, and the mouse driven through XTest (xdotool). Every wait is on a condition with
// a deadline.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "input/inputmethod/Fcitx5Route.h"
#include "testsupport/InputMethodSession.h"
#include "testsupport/XSession.h"

namespace sumiro {
namespace {

using testing::Child;
using testing::InputMethodSession;
using testing::XSession;

constexpr int timeoutMs = 15000;

void ensureApplication() {
    static int argc = 1;
    static char name[] = "controller_x11_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
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
        ensureApplication();
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
    Child startPad(QStringList arguments = {}) {
        arguments.prepend(SUMIRO_EXECUTABLE);
        return session->spawn(arguments, padEnvironment());
    }
    std::uint64_t waitForWindow(const Child& process) {
        std::uint64_t window = 0;
        (void)QTest::qWaitFor([&] { return (window = session->windowOf(process->processId())); },
                              timeoutMs);
        return window;
    }
    void startTarget() {
        target = session->spawn({SUMIRO_INPUT_TARGET, log},
                                {{"QT_QPA_PLATFORM", "xcb"}, {"QT_IM_MODULE", ""}});
        targetWindow = waitForWindow(target);
        ASSERT_NE(targetWindow, 0u) << "the recording target's window was never managed";
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                session->activate(targetWindow);
                return QTest::qWaitFor([&] { return session->activeWindow() == targetWindow; },
                                       500);
            },
            timeoutMs));
    }

    // Runs a program of this session to its end and returns its exit status.
    int run(const QStringList& argv, const QStringList& unset = {}, QByteArray* err = nullptr) {
        QProcess process;
        auto environment = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : padEnvironment()) environment.insert(name, value);
        environment.insert("DISPLAY", QString::fromStdString(session->display()));
        for (const QString& name : unset) environment.remove(name);
        process.setProcessEnvironment(environment);
        process.start(argv.front(), argv.mid(1));
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        if (err) *err = process.readAllStandardError();
        return process.exitCode();
    }
    void xdotool(const QStringList& commands) {
        EXPECT_EQ(run(QStringList{"xdotool"} + commands), 0);
    }

    // The client area of a window on the screen.
    QRect geometry(std::uint64_t window) {
        QProcess info;
        info.start("xwininfo", {"-display", QString::fromStdString(session->display()), "-id",
                                QString::number(window)});
        info.waitForFinished(timeoutMs);
        const QString text = QString::fromUtf8(info.readAllStandardOutput());
        const auto value = [&](const char* name) {
            const QRegularExpression pattern(QString::fromLatin1(name) + R"(:\s+(-?\d+))");
            return pattern.match(text).captured(1).toInt();
        };
        return {value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"),
                value("Height")};
    }
    bool mapped(std::uint64_t window) {
        QProcess info;
        info.start("xwininfo", {"-display", QString::fromStdString(session->display()), "-id",
                                QString::number(window)});
        info.waitForFinished(timeoutMs);
        return info.readAllStandardOutput().contains("IsViewable");
    }
    // A drag through XTest along `points`, in pixels from the canvas's top-left corner.
    void drag(const QPoint& origin, const std::vector<QPointF>& points) {
        QStringList commands;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const QPoint at =
                origin + QPoint(int(points[i].x() * kCanvasSide), int(points[i].y() * kCanvasSide));
            commands << "mousemove" << QString::number(at.x()) << QString::number(at.y());
            if (i == 0)
                commands << "mousedown"
                         << "1";
            // Intermediate points, as a hand moves.
            if (i + 1 < points.size()) {
                const QPointF next = points[i + 1];
                for (int step = 1; step < 8; ++step) {
                    const QPointF p = points[i] + (next - points[i]) * step / 8.0;
                    commands << "mousemove"
                             << QString::number(origin.x() + int(p.x() * kCanvasSide))
                             << QString::number(origin.y() + int(p.y() * kCanvasSide));
                }
            }
        }
        commands << "mouseup"
                 << "1";
        xdotool(commands);
    }
    void click(const QPoint& at) {
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    }
    std::vector<std::string> received() const {
        std::vector<std::string> out;
        QFile file(log);
        if (!file.open(QIODevice::ReadOnly)) return out;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty() && !line.startsWith("focus")) out.push_back(line.toStdString());
        }
        return out;
    }

    QTemporaryDir home;
    QString log = home.filePath("target.log");
    std::unique_ptr<XSession> session;
    Child target;
    std::uint64_t targetWindow = 0;
};

TEST_F(PadSession, ADrawnCharacterIsTypedIntoTheTargetAndTheStripErasesIt) {
    startTarget();
    const Child pad = startPad();
    const std::uint64_t panel = waitForWindow(pad);
    ASSERT_NE(panel, 0u) << "the panel never appeared";
    // The panel opens beside the target without taking the focus from it.
    std::vector<std::uint64_t> active;
    const auto watchActive = [&] { active.push_back(session->activeWindow()); };
    // The window manager may still move the panel after mapping it: draw once it stays put.
    QRect client;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QRect before = geometry(panel);
            QTest::qWait(150);
            client = geometry(panel);
            return client.width() > 0 && client == before;
        },
        timeoutMs));
    const QPoint canvas = client.topLeft() + kCanvas;

    drag(canvas, {{0.15, 0.48}, {0.85, 0.48}});  // 一
    watchActive();
    drag(canvas, {{0.5, 0.12}, {0.5, 0.9}});  // 丨
    watchActive();
    // The data may still be loading: "認識" again until the first candidate types 十.
    const bool typed = QTest::qWaitFor(
        [&] {
            click(client.topLeft() + kRecognizeButton);
            QTest::qWait(0);
            click(client.topLeft() + kFirstCandidate);
            watchActive();
            return QTest::qWaitFor([&] { return !received().empty(); }, 1500);
        },
        timeoutMs);
    ASSERT_TRUE(typed) << "nothing arrived in the target";
    EXPECT_EQ(received(), std::vector<std::string>{"text 5341 mods 0"});

    click(QPoint(client.right() - kStripFromRight, client.top() + kBackspaceY));
    ASSERT_TRUE(QTest::qWaitFor([&] { return received().size() >= 2; }, timeoutMs));
    watchActive();
    EXPECT_EQ(received(), (std::vector<std::string>{"text 5341 mods 0", "key Backspace mods 0"}));
    for (const std::uint64_t window : active) EXPECT_NE(window, panel);
    EXPECT_EQ(session->activeWindow(), targetWindow);
}

TEST_F(PadSession, StartingAgainShowsTheHiddenPanelAndEnds) {
    const Child pad = startPad();
    std::uint64_t panel = waitForWindow(pad);
    ASSERT_NE(panel, 0u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return geometry(panel).width() > 0; }, timeoutMs));

    // Closed with its close button: hidden, not ended.
    const QRect client = geometry(panel);
    click(QPoint(client.right() - 10, client.top() - 10));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return session->windowOf(pad->processId()) == 0; }, timeoutMs))
        << "the close button did not hide the panel";
    EXPECT_EQ(pad->state(), QProcess::Running);
    EXPECT_EQ(run({SUMIRO_EXECUTABLE}), 0);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return (panel = session->windowOf(pad->processId())); }, timeoutMs));

    // Minimized: the same.
    ASSERT_TRUE(QTest::qWaitFor([&] { return mapped(panel); }, timeoutMs));
    xdotool({"windowminimize", QString::number(panel)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !mapped(panel); }, timeoutMs));
    EXPECT_EQ(run({SUMIRO_EXECUTABLE}), 0);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            panel = session->windowOf(pad->processId());
            return panel && mapped(panel);
        },
        timeoutMs));
    EXPECT_EQ(pad->state(), QProcess::Running);

    // Ended by the session: it quits as from its menu and leaves no socket behind.
    const QString socket =
        home.filePath("sumiro-" + QString::fromStdString(session->display()).replace(':', '_'));
    EXPECT_TRUE(QFile::exists(socket));
    pad->terminate();
    ASSERT_TRUE(pad->waitForFinished(timeoutMs));
    EXPECT_EQ(pad->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(pad->exitCode(), 0);
    EXPECT_FALSE(QFile::exists(socket));
}

TEST_F(PadSession, WithATrayTheIconAppearsAndOpensTheMenu) {
    const Child tray = session->spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype",
                                       "request", "--height", "32"});
    std::uint64_t trayWindow = 0;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (trayWindow = session->windowOf(tray->processId())); },
                                timeoutMs))
        << "trayer did not start";
    const int emptyWidth = geometry(trayWindow).width();
    const Child pad = startPad();
    ASSERT_NE(waitForWindow(pad), 0u);
    // trayer grows by one icon when the pad's icon docks into it.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return geometry(trayWindow).width() > emptyWidth; }, timeoutMs))
        << "no icon docked into the tray";
    const QRect icon = geometry(trayWindow);
    click(QPoint(icon.right() - 16, icon.center().y()));
    // The menu is a pop-up window of the pad: mapped, tall enough for its five rows.
    const bool menu = QTest::qWaitFor(
        [&] {
            QByteArray out;
            QProcess tree;
            tree.start("xwininfo",
                       {"-display", QString::fromStdString(session->display()), "-root", "-tree"});
            tree.waitForFinished(timeoutMs);
            out = tree.readAllStandardOutput();
            for (const QByteArray& line : out.split('\n')) {
                if (!line.contains("(\"sumiro\" \"Sumiro\")")) continue;
                const QRegularExpression size(R"((\d+)x(\d+)\+)");
                const auto match = size.match(QString::fromUtf8(line));
                if (match.hasMatch() && match.captured(2).toInt() > 80 &&
                    match.captured(1).toInt() > 80 && match.captured(1).toInt() < 600) {
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
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

// The pad on a session whose input method is fcitx5 with Sumiro's addon from the build tree: it
// types through the addon, so characters arrive as the input method's commits.
class PadThroughFcitx5 : public PadSession {
protected:
    void SetUp() override {
        PadSession::SetUp();
        if (HasFatalFailure()) return;
        const auto kind = InputMethodSession::Kind::Fcitx5;
        if (const std::string why = InputMethodSession::missing(kind); !why.empty()) {
            GTEST_SKIP() << "skipped: " << why;
        }
        std::string error;
        im = InputMethodSession::start(*session, kind, error);
        ASSERT_TRUE(im) << error;
    }

    // The recording target as an fcitx5 client, focused, its focus known to fcitx5.
    void startFcitx5Target() {
        Fcitx5Route route({}, im->bus());
        // fcitx5's Qt module now and then never focuses the context it made; a new start helps.
        bool seen = false;
        for (int attempt = 0; attempt < 3 && !seen; ++attempt) {
            target.reset();
            QFile::remove(log);
            target = session->spawn({SUMIRO_INPUT_TARGET, log}, im->clientEnvironment());
            targetWindow = waitForWindow(target);
            ASSERT_NE(targetWindow, 0u) << "the recording target's window was never managed";
            seen = QTest::qWaitFor(
                [&] {
                    session->activate(targetWindow);
                    return route.focusedProgram() == std::optional<std::string>(kTargetProgram);
                },
                3000);
        }
        ASSERT_TRUE(seen) << "fcitx5 never saw the recording target's focus";
    }
    Child startPadOnBus() {
        auto env = padEnvironment();
        env.emplace_back("DBUS_SESSION_BUS_ADDRESS", im->bus());
        return session->spawn({SUMIRO_EXECUTABLE}, env);
    }

    static constexpr const char* kTargetProgram = "sumiro_input_target";
    std::unique_ptr<InputMethodSession> im;
};

TEST_F(PadThroughFcitx5, ADrawnCharacterAndTheStripsBackspaceGoThroughTheAddon) {
    ASSERT_NO_FATAL_FAILURE(startFcitx5Target());
    const Child pad = startPadOnBus();
    const std::uint64_t panel = waitForWindow(pad);
    ASSERT_NE(panel, 0u) << "the panel never appeared";
    // The window manager may still move the panel after mapping it: draw once it stays put.
    QRect client;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QRect before = geometry(panel);
            QTest::qWait(150);
            client = geometry(panel);
            return client.width() > 0 && client == before;
        },
        timeoutMs));
    const QPoint canvas = client.topLeft() + kCanvas;

    drag(canvas, {{0.15, 0.48}, {0.85, 0.48}});  // 一
    drag(canvas, {{0.5, 0.12}, {0.5, 0.9}});     // 丨
    const bool typed = QTest::qWaitFor(
        [&] {
            click(client.topLeft() + kRecognizeButton);
            QTest::qWait(0);
            click(client.topLeft() + kFirstCandidate);
            return QTest::qWaitFor([&] { return !received().empty(); }, 1500);
        },
        timeoutMs);
    ASSERT_TRUE(typed) << "nothing arrived in the target";
    // A commit, not key events: XTest would have made it "text 5341 mods 0".
    EXPECT_EQ(received(), std::vector<std::string>{"commit 5341"});

    click(QPoint(client.right() - kStripFromRight, client.top() + kBackspaceY));
    ASSERT_TRUE(QTest::qWaitFor([&] { return received().size() >= 2; }, timeoutMs));
    EXPECT_EQ(received(), (std::vector<std::string>{"commit 5341", "key Backspace mods 0"}));
    EXPECT_EQ(session->activeWindow(), targetWindow) << "the target kept the focus throughout";
}

}  // namespace
}  // namespace sumiro
