// End to end through input methods: a private Xvfb with openbox, a private session bus, fcitx5
// with Sumiro's addon from the build tree (or ibus-daemon), a Qt 6 and a GTK 3 text field, and
// DirectInput over the composed platform. Every wait is on a condition with a deadline.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>
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
const char* const noIBus = "unix:path=/nonexistent/sumiro-ibus";

class InputMethodDelivery : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        if (const std::string why = InputMethodSession::missing(GetParam()); !why.empty()) {
            GTEST_SKIP() << "skipped: " << why;
        }
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
    void startField(bool gtk) {
        std::string error;
        target = RecordingTarget::start(
            *x, error, {.env = im->clientEnvironment(), .gtk = gtk, .inputMethodSees = [this] {
                            return imSeesFocus();
                        }});
        ASSERT_TRUE(target) << error;
        input = std::make_unique<DirectInput>(platform);
        QObject::connect(input.get(), &DirectInput::status,
                         [this](const QString& message) { messages.push_back(message); });
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return input->target() && input->target()->window == target->window(); },
            timeoutMs));
    }

    bool imSeesFocus() {
        InputMethodRoute* route = platform->route();
        return route && route->focusedProgram();
    }
    Lines received() const { return target->received(); }
    bool arrived(const Lines& expected) {
        return QTest::qWaitFor([&] { return received() == expected; }, timeoutMs);
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
        if (ibus) {
            // IBus cannot press bare keys: the three characters go through it, BackSpace not.
            for (const char* text : {"木", "あ", "𠮷"}) input->send(QString::fromUtf8(text));
            EXPECT_TRUE(arrived(gtk ? Lines(gtkTexts.begin(), gtkTexts.end() - 1)
                                    : Lines(qtCommits.begin(), qtCommits.end() - 1)))
                << received().size();
            EXPECT_EQ(platform->record(), Lines(3, "ibus"));
            EXPECT_EQ(picker->interface()->serviceOwner(emoji).value(), picker->baseService())
                << "the emoji picker has its name back";
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
            EXPECT_EQ(platform->record(), Lines(4, "fcitx5")) << "no XTest event was posted";
        }
        if (!gtk) {
            EXPECT_EQ(messages.front(), QStringLiteral("SumiroTargetへ「木」を送信"));
        }
        // The next field starts afresh.
        input.reset();
        target.reset();
        messages.clear();
        platform = inputMethodPlatform(x->display(), im->bus(), ibus ? im->ibusAddress() : noIBus);
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, InputMethodDelivery, ::testing::Values(Kind::Fcitx5, Kind::IBus),
                         [](const auto& info) {
                             return info.param == Kind::Fcitx5 ? "Fcitx5" : "IBus";
                         });

class Fcitx5Delivery : public InputMethodDelivery {};

TEST_P(Fcitx5Delivery, WithFcitx5StoppedXTestTypesInstead) {
    ASSERT_NO_FATAL_FAILURE(startField(false));
    im->stopInputMethod();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !platform->route(); }, timeoutMs));
    sendThreeAndBackSpace();
    EXPECT_TRUE(arrived(
        {"text 6728 mods 0", "text 3042 mods 0", "text 20BB7 mods 0", "key Backspace mods 0"}))
        << received().size();
    EXPECT_EQ(platform->record(), Lines(4, "xtest"));
}

TEST_P(Fcitx5Delivery, AddonRefusesThePadsOwnFieldAndTellsItsVersion) {
    ASSERT_NO_FATAL_FAILURE(startField(false));
    // A route whose pad is the recording target sees the focused field as the pad's own.
    Fcitx5Route asTarget(QStringLiteral("sumiro_input_target"), im->bus());
    EXPECT_EQ(asTarget.version(), QStringLiteral(SUMIRO_VERSION));
    EXPECT_EQ(asTarget.focusedProgram(), "sumiro_input_target");
    EXPECT_EQ(asTarget.commit(U"木"), InputMethodRoute::Result::PadFocused);
    EXPECT_EQ(asTarget.pressKey(Key::BackSpace), InputMethodRoute::Result::PadFocused);
    // Anything typed would have come before this.
    input->send(QStringLiteral("あ"));
    EXPECT_TRUE(arrived({"commit 3042"})) << received().size();
}

INSTANTIATE_TEST_SUITE_P(Addon, Fcitx5Delivery, ::testing::Values(Kind::Fcitx5),
                         [](const auto&) { return "Fcitx5"; });

}  // namespace
}  // namespace sumiro
