// End to end: a private Xvfb with openbox, the recording window, and DirectInput over the real
// X11 platform. Every wait is on a condition with a deadline.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QTest>

#include "input/DirectInput.h"
#include "input/x11/X11Platform.h"
#include "testsupport/RecordingTarget.h"
#include "testsupport/XSession.h"

namespace sumiro {
namespace {

using testing::RecordingTarget;
using testing::XSession;
using Lines = std::vector<std::string>;

constexpr int timeoutMs = 10000;

// Whether `condition` holds within the deadline.
bool waitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, timeoutMs);
}
constexpr std::chrono::milliseconds quiet{500};
constexpr unsigned long keysymShiftL = 0xffe1, keysymControlL = 0xffe3, keysymCapsLock = 0xffe5;
constexpr unsigned shiftMask = 1 << 0, lockMask = 1 << 1, controlMask = 1 << 2;

class X11Delivery : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        session = XSession::start(error);
        ASSERT_TRUE(session) << error;
        recording = RecordingTarget::start(*session, error);
        ASSERT_TRUE(recording) << error;
        // The keymap is given back after a short quiet period here, not the pad's long one.
        platform = std::make_shared<X11Platform>(session->display(), quiet);
        input = std::make_unique<DirectInput>(platform);
        QObject::connect(input.get(), &DirectInput::status,
                         [this](const QString& message) { messages.push_back(message); });
        ASSERT_TRUE(waitFor([&] {
            return input->target() && input->target()->pid == recording->pid();
        })) << "the recording window never became the target; active "
            << session->activeWindow() << ", its window " << recording->window();
        target = *input->target();
    }

    Lines received() const { return recording->received(); }
    // Waits for the target to receive `inputs` texts and keys and for `reports` messages.
    bool arrived(std::size_t inputs, std::size_t reports = 0) {
        return waitFor([&] { return received().size() >= inputs && messages.size() >= reports; });
    }

    // Declared so that DirectInput goes first and the session last.
    std::unique_ptr<XSession> session;
    std::unique_ptr<RecordingTarget> recording;
    std::shared_ptr<X11Platform> platform;
    std::unique_ptr<DirectInput> input;
    Application target;
    std::vector<QString> messages;
};

TEST_F(X11Delivery, CharactersTextsAndKeysArriveExactly) {
    for (const char* text : {"木", "あ", "𠮷", "aあ𠮷"}) input->send(QString::fromUtf8(text));
    for (const Key key : {Key::BackSpace, Key::Return, Key::Left}) input->key(key);
    ASSERT_TRUE(arrived(9, 7));

    EXPECT_EQ(received(), (Lines{"text 6728 mods 0", "text 3042 mods 0", "text 20BB7 mods 0",
                                 "text 61 mods 0", "text 3042 mods 0", "text 20BB7 mods 0",
                                 "key Backspace mods 0", "key Return mods 0", "key Left mods 0"}));
    const QString key = u"SumiroTargetへキーを送信"_qs;
    EXPECT_EQ(messages,
              (std::vector{u"SumiroTargetへ「木」を送信"_qs, u"SumiroTargetへ「あ」を送信"_qs,
                           u"SumiroTargetへ「𠮷」を送信"_qs, u"SumiroTargetへ「aあ𠮷」を送信"_qs,
                           key, key, key}));
}

// Capital letters have no key of their own: the borrowed key must give the capital without
// Shift, not the small letter that a key holding one letter gives by default.
TEST_F(X11Delivery, CapitalLettersArriveAsCapitals) {
    for (const char* text : {"I", "C", "Ab", "Ｉ"}) input->send(QString::fromUtf8(text));
    ASSERT_TRUE(arrived(5, 4));
    EXPECT_EQ(received(), (Lines{"text 49 mods 0", "text 43 mods 0", "text 41 mods 0",
                                 "text 62 mods 0", "text FF29 mods 0"}));
}

TEST_F(X11Delivery, HeldModifiersAndCapsLockDoNotChangeWhatArrives) {
    std::size_t expected = 0;
    for (const auto& [modifier, mask] :
         {std::pair(keysymShiftL, shiftMask), std::pair(keysymControlL, controlMask)}) {
        session->setKey(modifier, true);
        input->send(u"a木"_qs);
        input->key(Key::Left);
        expected += 3;
        ASSERT_TRUE(arrived(expected, expected / 3 * 2));
        EXPECT_EQ(session->modifiers(), mask) << "the user's modifier is held again afterwards";
        session->setKey(modifier, false);
    }
    for (const bool down : {true, false}) session->setKey(keysymCapsLock, down);
    ASSERT_EQ(session->modifiers(), lockMask);
    input->send(u"aé"_qs);
    ASSERT_TRUE(arrived(expected + 2));
    EXPECT_EQ(session->modifiers(), lockMask) << "Caps Lock is locked again afterwards";

    EXPECT_EQ(received(),
              (Lines{"text 61 mods 0", "text 6728 mods 0", "key Left mods 0", "text 61 mods 0",
                     "text 6728 mods 0", "key Left mods 0", "text 61 mods 0", "text E9 mods 0"}));
}

TEST_F(X11Delivery, KeymapIsRestoredAfterAQuietPeriod) {
    const auto original = session->keyboardMapping();
    input->send(u"𠮷"_qs);
    ASSERT_TRUE(arrived(1));
    EXPECT_NE(session->keyboardMapping(), original) << "typing borrows a spare keycode";
    EXPECT_TRUE(QTest::qWaitFor([&] { return session->keyboardMapping() == original; }, 5000));
}

TEST_F(X11Delivery, NonOrdinaryWindowsAndThePadNeverBecomeTheTarget) {
    // openbox may focus each of these as it maps them; none of that may change the target.
    const auto utility = session->createWindow("UTILITY", 0);
    const auto dock = session->createWindow("DOCK", 0);
    const auto pad = session->createWindow("NORMAL", getpid());
    EXPECT_FALSE(platform->isRegular({utility, 0}));
    EXPECT_FALSE(platform->isRegular({dock, 0}));
    EXPECT_TRUE(platform->isRegular({pad, getpid()}));

    // Let the focus changes of mapping settle before activating anything ourselves.
    session->activate(pad);
    ASSERT_TRUE(session->poll([&] { return session->activeWindow() == pad; }));

    // A second watcher, called after DirectInput's, tells when an activation has been handled.
    std::vector<std::uint64_t> announced;
    const auto watch = platform->watchActivations(
        [&](std::optional<Application> app) { announced.push_back(app ? app->window : 0); });
    for (const auto window : {utility, pad}) {
        session->activate(window);
        ASSERT_TRUE(session->poll([&] { return session->activeWindow() == window; }));
        ASSERT_TRUE(waitFor([&] { return !announced.empty() && announced.back() == window; }));
        EXPECT_EQ(input->target(), target);
    }

    const auto dialog = session->createWindow("DIALOG", 0);
    session->activate(dialog);
    EXPECT_TRUE(waitFor([&] { return input->target()->window == dialog; }));
    const auto plain = session->createWindow("", 0);
    EXPECT_TRUE(platform->isRegular({plain, 0})) << "no type is ordinary";

    // A class in UTF-8 is read as such; one that is no UTF-8 gives way to the title.
    session->setNames(plain, "入力テスト", "");
    EXPECT_EQ(platform->name({plain, 0}), u"入力テスト"_qs);
    session->setNames(plain, "Caf\xe9", "Café au lait");
    EXPECT_EQ(platform->name({plain, 0}), u"Café au lait"_qs);
}

TEST_F(X11Delivery, TargetThatQuitAsksForAClick) {
    recording->quit();
    ASSERT_TRUE(session->poll([&] { return !platform->isAlive(target); }));
    input->send(u"木"_qs);
    EXPECT_EQ(messages, std::vector{QStringLiteral(
                            "先に入力先のアプリで、文字を入れる場所をクリックしてください")});
}

TEST_F(X11Delivery, SwitchingAwayWithinTheDelayPostsNothing) {
    // The pad's own window: active in front, yet never the target.
    const auto pad = session->createWindow("NORMAL", getpid());
    session->activate(pad);
    ASSERT_TRUE(session->poll([&] { return session->activeWindow() == pad; }));

    // The delivery's timer cannot fire before this returns to the event loop.
    input->send(u"木"_qs);
    ASSERT_TRUE(session->poll([&] { return session->activeWindow() == target.window; }));
    session->activate(pad);
    ASSERT_TRUE(session->poll([&] { return session->activeWindow() == pad; }));

    ASSERT_TRUE(arrived(0, 1));
    EXPECT_EQ(messages[0], u"入力先が切り替わりました。入力欄を選び直してください"_qs);
    EXPECT_EQ(input->target(), target);

    // X delivers in order: if 木 had been typed it would arrive before あ.
    input->send(u"あ"_qs);
    ASSERT_TRUE(arrived(1));
    EXPECT_EQ(received(), Lines{"text 3042 mods 0"});
}

TEST(X11Permission, NoDisplayOrNoXTestPermitsAndPostsNothing) {
    std::string error;
    const auto session = XSession::start(error, /*xtest=*/false, /*bare=*/true);
    ASSERT_TRUE(session) << error;
    for (const std::string& display : {std::string("/nonexistent/sumiro:0"), session->display()}) {
        X11Platform platform(display);
        EXPECT_FALSE(platform.permitted()) << display;
        EXPECT_FALSE(platform.postText(U"木")) << display;
        EXPECT_FALSE(platform.postKey(Key::Return)) << display;
    }
}

}  // namespace
}  // namespace sumiro
