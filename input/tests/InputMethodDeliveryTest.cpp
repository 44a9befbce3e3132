// End to end through input methods: a private Xvfb with openbox, a private session bus, fcitx5
// with Sumiro's addon from the build tree (or ibus-daemon), a Qt 6 and a GTK 3 text field, and
// DirectInput over the composed platform. Every wait is on a condition with a deadline.

#include <gtest/gtest.h>
#include <signal.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <optional>

#include "im/fcitx5/SumiroBus.h"
#include "input/DirectInput.h"
#include "input/inputmethod/Fcitx5Route.h"
#include "input/inputmethod/InputMethodPlatform.h"
#include "testsupport/InputMethodSession.h"
#include "testsupport/RecordingTarget.h"
#include "testsupport/XSession.h"

namespace sumiro {
namespace {

using testing::InputMethodSession;
using testing::RecordingTarget;
using testing::XSession;
using Kind = InputMethodSession::Kind;
using Lines = std::vector<std::string>;

constexpr int timeoutMs = 10000;

// Whether `condition` holds within the deadline.
bool waitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, timeoutMs);
}
const char* const noIBus = "unix:path=/nonexistent/sumiro-ibus";

class InputMethodDelivery : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        if (const std::string why = InputMethodSession::missing(GetParam()); !why.empty())
            GTEST_SKIP() << "skipped: " << why;
        std::string error;
        x = XSession::start(error);
        ASSERT_TRUE(x) << error;
        im = InputMethodSession::start(*x, GetParam(), error);
        ASSERT_TRUE(im) << error;
        platform = inputMethodPlatform(x->display(), im->bus(),
                                       GetParam() == Kind::IBus ? im->ibusAddress() : noIBus);
    }

    // Starts a text field (the Qt recording window, or the GTK one) and waits until it has the
    // focus, the input method knows it, and DirectInput has made it the target.
    // imClient: whether the field uses the input method.
    void startField(bool gtk, bool imClient = true) {
        RecordingTarget::Options options;
        options.env = im->clientEnvironment();
        // Another input module: keys come to the field from X alone.
        if (!imClient) options.env.emplace_back("QT_IM_MODULE", "compose");
        options.gtk = gtk;
        if (imClient) options.inputMethodSees = [this] { return imSeesFocus(); };
        // The route sees the field's calls to the input method from its first.
        ASSERT_TRUE(waitFor([&] { return platform->route() != nullptr; }));
        std::string error;
        target = RecordingTarget::start(*x, error, options);
        ASSERT_TRUE(target) << error;
        input = std::make_unique<DirectInput>(platform);
        QObject::connect(input.get(), &DirectInput::status,
                         [this](const QString& message) { messages.push_back(message); });
        ASSERT_TRUE(waitFor(
            [&] { return input->target() && input->target()->window == target->window(); }));
    }

    bool imSeesFocus() {
        InputMethodRoute* route = platform->route();
        return route && route->focusedProgram();
    }
    Lines received() const { return target->received(); }
    bool arrived(const Lines& expected) {
        return waitFor([&] { return received() == expected; });
    }
    void sendThreeAndBackSpace() {
        for (const char* text : {"木", "あ", "𠮷"}) input->send(QString::fromUtf8(text));
        input->key(Key::BackSpace);
    }

    std::unique_ptr<XSession> x;
    std::unique_ptr<InputMethodSession> im;
    std::unique_ptr<RecordingTarget> target;
    std::shared_ptr<InputMethodPlatform> platform;
    std::unique_ptr<DirectInput> input;
    std::vector<QString> messages;
};

// What each field records for 木, あ, 𠮷 and BackSpace typed through the input method.
const Lines qtCommits = {"commit 6728", "commit 3042", "commit 20BB7", "key Backspace mods 0"};
const Lines gtkTexts = {"text 6728", "text 6728 3042", "text 6728 3042 20BB7", "text 6728 3042"};

TEST_P(InputMethodDelivery, QtAndGtkFieldsReceiveThroughTheInputMethodWithoutXTest) {
    const bool ibus = GetParam() == Kind::IBus;
    // Under IBus the emoji picker holds its name, queued for its return after each commit.
    const QString emoji = QStringLiteral("org.freedesktop.IBus.Panel.Extension.Emoji");
    std::optional<QDBusConnection> picker;
    if (ibus) {
        picker = QDBusConnection::connectToBus(QString::fromStdString(im->ibusAddress()),
                                               QStringLiteral("emoji-picker"));
        ASSERT_TRUE(picker->isConnected());
        ASSERT_TRUE(picker->interface()
                        ->registerService(emoji, QDBusConnectionInterface::QueueService,
                                          QDBusConnectionInterface::AllowReplacement)
                        .isValid());
        ASSERT_EQ(picker->interface()->serviceOwner(emoji).value(), picker->baseService());
    }
    for (const bool gtk : {false, true}) {
        SCOPED_TRACE(gtk ? "GTK 3 field" : "Qt 6 field");
        ASSERT_NO_FATAL_FAILURE(startField(gtk));
        // What names the target on Wayland: GTK gives both input methods its program's name; Qt
        // gives IBus none.
        const std::string program = gtk ? "gtk_target.py" : ibus ? "" : "sumiro_input_target";
        EXPECT_EQ(platform->route()->focusedProgram(), program);
        if (ibus) {
            // IBus cannot press bare keys: the three characters go through it, BackSpace not.
            for (const char* text : {"木", "あ", "𠮷"}) input->send(QString::fromUtf8(text));
            EXPECT_TRUE(arrived(gtk ? Lines(gtkTexts.begin(), gtkTexts.end() - 1)
                                    : Lines(qtCommits.begin(), qtCommits.end() - 1)))
                << received().size();
            EXPECT_TRUE(waitFor([&] { return messages.size() == 3; }));
            for (const QString& message : messages) EXPECT_TRUE(message.endsWith("（IBus）"));
            // The name goes back once the commit is done, which may be after the status.
            EXPECT_TRUE(waitFor([&] {
                return picker->interface()->serviceOwner(emoji).value() == picker->baseService();
            })) << "the emoji picker has its name back";
        } else {
            // One pick after the other, as clicks come: each waits for the one before it.
            const Lines& expected = gtk ? gtkTexts : qtCommits;
            const auto upTo = [&](std::size_t n) {
                return Lines(expected.begin(), expected.begin() + n);
            };
            std::size_t sent = 0;
            for (const char* text : {"木", "あ", "𠮷"}) {
                input->send(QString::fromUtf8(text));
                EXPECT_TRUE(arrived(upTo(++sent))) << received().size();
            }
            input->key(Key::BackSpace);
            EXPECT_TRUE(arrived(expected)) << received().size();
            EXPECT_TRUE(waitFor([&] { return messages.size() == 4; }));
            for (const QString& message : messages)
                EXPECT_TRUE(message.endsWith("（fcitx5）")) << message.toStdString();
        }
        if (!gtk) {
            EXPECT_EQ(messages.front(), QStringLiteral("SumiroTargetへ「木」を送信（") +
                                            (ibus ? "IBus" : "fcitx5") + "）");
        }
        // The next field starts afresh.
        input.reset();
        target.reset();
        messages.clear();
        platform = inputMethodPlatform(x->display(), im->bus(), ibus ? im->ibusAddress() : noIBus);
    }
}

TEST_P(InputMethodDelivery, AFieldThatDoesNotUseTheInputMethodGetsTheCharacterThroughXTest) {
    // A field of the input method had the focus; then a window without it took the focus.
    ASSERT_NO_FATAL_FAILURE(startField(false));
    const std::unique_ptr<RecordingTarget> imField = std::move(target);
    ASSERT_NO_FATAL_FAILURE(startField(false, false));
    ASSERT_TRUE(waitFor([&] { return !imSeesFocus(); }))
        << "the input method still sees a focused field";
    input->send(QStringLiteral("木"));
    EXPECT_TRUE(arrived({"text 6728 mods 0"})) << received().size();
    ASSERT_TRUE(waitFor([&] { return !messages.empty(); }));
    EXPECT_EQ(messages.back(), QStringLiteral("SumiroTargetへ「木」を送信（XTest）"));
    EXPECT_FALSE(imField->log().contains("6728")) << "nothing went to the field left before";
}

INSTANTIATE_TEST_SUITE_P(Routes, InputMethodDelivery, ::testing::Values(Kind::Fcitx5, Kind::IBus),
                         [](const auto& info) {
                             return info.param == Kind::Fcitx5 ? "Fcitx5" : "IBus";
                         });

class Fcitx5Delivery : public InputMethodDelivery {};

TEST_P(Fcitx5Delivery, WithFcitx5StoppedXTestTypesInstead) {
    ASSERT_NO_FATAL_FAILURE(startField(false));
    im->stopInputMethod();
    ASSERT_TRUE(waitFor([&] { return !platform->route(); }));
    sendThreeAndBackSpace();
    EXPECT_TRUE(arrived(
        {"text 6728 mods 0", "text 3042 mods 0", "text 20BB7 mods 0", "key Backspace mods 0"}))
        << received().size();
    ASSERT_EQ(messages.size(), 4U);
    EXPECT_EQ(messages[0], QStringLiteral("SumiroTargetへ「木」を送信（XTest）"));
}

TEST_P(Fcitx5Delivery, AHungFcitx5NeitherFreezesThePadNorGetsItsCharacterTypedTwice) {
    ASSERT_NO_FATAL_FAILURE(startField(false));
    // fcitx5 stops answering, as a hung one does; the call waits in its queue.
    const qint64 fcitx5 = im->inputMethodProcess();
    ASSERT_EQ(::kill(static_cast<pid_t>(fcitx5), SIGSTOP), 0);
    bool ticked = false;
    QTimer::singleShot(0, [&] { ticked = true; });
    input->send(QStringLiteral("木"));
    EXPECT_TRUE(waitFor([&] { return ticked; }));
    EXPECT_TRUE(messages.empty()) << "the event loop ran while fcitx5 had not answered";
    ASSERT_TRUE(waitFor([&] { return !messages.empty(); }));
    EXPECT_EQ(messages.back(),
              QStringLiteral("入力メソッド（fcitx5）が応答しません。「木」が入力されたかどうかは分"
                             "かりません"));
    // Resumed, fcitx5 may still type it (or not, if its client gave up meanwhile), but nothing
    // else did: XTest never typed it, and after the next pick it is there once at most.
    ASSERT_EQ(::kill(static_cast<pid_t>(fcitx5), SIGCONT), 0);
    input->send(QStringLiteral("あ"));
    ASSERT_TRUE(waitFor([&] {
        const Lines now = received();
        return !now.empty() && now.back().find("3042") != std::string::npos;
    })) << received().size();
    const Lines got = received();
    EXPECT_LE(std::count(got.begin(), got.end(), "commit 6728"), 1);
    EXPECT_EQ(std::count_if(got.begin(), got.end(),
                            [](const std::string& line) { return line.starts_with("text 6728"); }),
              0);
}

INSTANTIATE_TEST_SUITE_P(Addon, Fcitx5Delivery, ::testing::Values(Kind::Fcitx5),
                         [](const auto&) { return "Fcitx5"; });

}  // namespace
}  // namespace sumiro
