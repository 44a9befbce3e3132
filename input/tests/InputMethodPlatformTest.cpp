// The composed platform's choice of route per delivery, and DirectInput over it, with a fake
// X11 desktop and fake input methods.

#include <gtest/gtest.h>

#include <utility>

#include "input/DirectInput.h"
#include "input/inputmethod/InputMethodPlatform.h"
#include "testsupport/FakePlatform.h"
#include "testsupport/FakeScheduler.h"

namespace sumiro {
namespace {

using Result = InputMethodRoute::Result;
using Lines = std::vector<std::string>;

const QString noRoute = QStringLiteral(
    "文字を届けられる入力先がありません。入力メソッド（fcitx5 か IBus）を起動するか、X11 "
    "のアプリで入力欄を選んでください");
const QString padFocused =
    QStringLiteral("パッドの入力欄には送りません。入力先のアプリで入力欄をクリックしてください");
const QString noTarget =
    QStringLiteral("先に入力先のアプリで、文字を入れる場所をクリックしてください");

// An input method the test controls; it writes what it typed to the shared log.
class FakeRoute final : public InputMethodRoute {
public:
    FakeRoute(std::string label, Lines& log) : label_(std::move(label)), log_(log) {}
    bool answering = true;
    std::optional<std::string> program = "editor";
    Result result = Result::Typed;

    [[nodiscard]] std::string_view label() const override { return label_; }
    bool answers() override { return answering; }
    std::optional<std::string> focusedProgram() override { return program; }
    Result commit(std::u32string_view text) override { return typed(textEntry(text)); }
    Result pressKey(Key key) override { return typed(keyEntry(key)); }

private:
    Result typed(const std::string& entry) {
        if (result == Result::Typed) log_.push_back(label_ + " " + entry);
        return result;
    }
    std::string label_;
    Lines& log_;
};

struct Desk {
    std::shared_ptr<FakePlatform> x11 = std::make_shared<FakePlatform>();
    Lines typed;
    FakeRoute* fcitx5 = nullptr;
    FakeRoute* ibus = nullptr;
    std::shared_ptr<InputMethodPlatform> platform;

    explicit Desk(bool wayland) {
        std::vector<std::unique_ptr<InputMethodRoute>> routes;
        routes.push_back(std::make_unique<FakeRoute>("fcitx5", typed));
        routes.push_back(std::make_unique<FakeRoute>("ibus", typed));
        fcitx5 = static_cast<FakeRoute*>(routes[0].get());
        ibus = static_cast<FakeRoute*>(routes[1].get());
        platform = std::make_shared<InputMethodPlatform>(x11, std::move(routes), "sumiro", wayland);
    }
};

TEST(InputMethodPlatform, EachDeliveryTakesTheFirstRouteThatAnswersElseXTest) {
    struct Case {
        const char* name;
        bool wayland, fcitx5Answers, ibusAnswers;
        Result result;  // of the route that answers
        bool x11Permitted;
        bool posted;
        Lines typed, record;
    };
    const std::vector<Case> cases = {
        {"fcitx5 types",
         false,
         true,
         true,
         Result::Typed,
         true,
         true,
         {"fcitx5 text 6728"},
         {"fcitx5"}},
        {"IBus when fcitx5 is silent",
         false,
         false,
         true,
         Result::Typed,
         true,
         true,
         {"ibus text 6728"},
         {"ibus"}},
        {"no input method: XTest", false, false, false, Result::Typed, true, true, {}, {"xtest"}},
        {"window without the input method: XTest",
         false,
         true,
         false,
         Result::NoFocus,
         true,
         true,
         {},
         {"xtest"}},
        {"input method failed: XTest",
         false,
         true,
         false,
         Result::Failed,
         true,
         true,
         {},
         {"xtest"}},
        {"the pad's own field: refused",
         false,
         true,
         false,
         Result::PadFocused,
         true,
         false,
         {},
         {}},
        {"Wayland, no focused field: nothing",
         true,
         true,
         false,
         Result::NoFocus,
         true,
         false,
         {},
         {}},
        {"nothing at all", false, false, false, Result::Typed, false, false, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Desk s(c.wayland);
        s.fcitx5->answering = c.fcitx5Answers;
        s.ibus->answering = c.ibusAnswers;
        s.fcitx5->result = s.ibus->result = c.result;
        s.x11->allowed = c.x11Permitted;
        if (c.record == Lines{"xtest"}) s.x11->expectText(U"木");
        EXPECT_EQ(s.platform->postText(U"木"), c.posted);
        EXPECT_EQ(s.typed, c.typed);
        EXPECT_EQ(s.platform->record(), c.record);
        EXPECT_EQ(s.platform->permitted(), c.x11Permitted || c.fcitx5Answers || c.ibusAnswers);
        EXPECT_EQ(s.platform->typesIntoFocus(), c.fcitx5Answers || c.ibusAnswers);
    }
}

class InputMethodDirectInput : public ::testing::Test {
protected:
    std::unique_ptr<DirectInput> make(Desk& s) {
        auto input = std::make_unique<DirectInput>(s.platform, clock);
        QObject::connect(input.get(), &DirectInput::status,
                         [this](const QString& message) { messages.push_back(message); });
        return input;
    }
    std::shared_ptr<FakeScheduler> clock = std::make_shared<FakeScheduler>();
    std::vector<QString> messages;
};

TEST_F(InputMethodDirectInput, X11SessionTypesAtOnceWithoutRaisingAndNamesTheWindow) {
    Desk s(false);
    const auto editor = s.x11->add({{7, 100}, QStringLiteral("Editor")});
    s.x11->front = editor;
    auto input = make(s);
    input->send(QStringLiteral("𠮷"));
    input->key(Key::BackSpace);
    EXPECT_EQ(clock->pending(), 0U) << "no wait on the input method's route";
    EXPECT_EQ(s.x11->log, Lines{}) << "nothing raised, nothing posted with XTest";
    EXPECT_EQ(s.typed, (Lines{"fcitx5 text 20BB7", "fcitx5 key FF08"}));
    EXPECT_EQ(messages, (std::vector{QStringLiteral("Editorへ「𠮷」を送信"),
                                     QStringLiteral("Editorへキーを送信")}));

    // The pad's own window holds the focus (its search field): the target is raised and waited
    // for first, and if the pad still holds the focus then, nothing is typed.
    const auto pad = s.x11->add({{9, s.x11->ownPid}, QStringLiteral("Sumiro")});
    for (const bool raised : {false, true}) {
        s.x11->front = pad;
        s.x11->activationWorks = raised;
        input->send(QStringLiteral("木"));
        ASSERT_EQ(clock->pending(), 1U);
        clock->advance(DirectInput::deliveryDelay);
    }
    EXPECT_EQ(messages[2], padFocused);
    EXPECT_EQ(messages[3], QStringLiteral("Editorへ「木」を送信"));
    EXPECT_EQ(s.typed.back(), "fcitx5 text 6728");
    EXPECT_EQ(s.x11->log, (Lines{"activate 7", "activate 7"}));
    s.x11->log.clear();

    // Without an input method the X11 road is unchanged: raise, wait, then post.
    s.fcitx5->answering = s.ibus->answering = false;
    s.x11->front = editor;
    input->send(QStringLiteral("木"));
    EXPECT_EQ(clock->pending(), 1U);
    EXPECT_EQ(s.x11->log, Lines{"activate 7"});
}

TEST_F(InputMethodDirectInput, WaylandSessionFollowsTheInputMethodsFocus) {
    Desk s(true);
    s.x11->allowed = false;  // no X display at all
    auto input = make(s);
    EXPECT_EQ(input->target()->program, "editor") << "the focused program at construction";

    s.fcitx5->program = "terminal";
    s.platform->focusChanged(true, "terminal");
    EXPECT_EQ(input->targetName(), QStringLiteral("terminal"));
    input->send(QStringLiteral("あ"));
    EXPECT_EQ(s.typed, Lines{"fcitx5 text 3042"});
    EXPECT_EQ(messages.back(), QStringLiteral("terminalへ「あ」を送信"));

    // Wayland contexts have no program names: the target is "the focused field".
    s.fcitx5->program = "";
    s.platform->focusChanged(true, "");
    input->send(QStringLiteral("木"));
    EXPECT_EQ(messages.back(), QStringLiteral("入力先へ「木」を送信"));

    // The pad's own field (named as the pad) is neither the target nor typed into.
    s.fcitx5->program = "sumiro";
    s.platform->focusChanged(true, "sumiro");
    EXPECT_EQ(input->target()->program, "");
    input->send(QStringLiteral("木"));
    ASSERT_EQ(clock->pending(), 1U) << "the focus is waited for";
    clock->advance(DirectInput::deliveryDelay);
    EXPECT_EQ(messages.back(), padFocused);
    EXPECT_EQ(s.typed.size(), 2U);
}

TEST_F(InputMethodDirectInput, WhenNothingCanReachTheTargetThePadSaysSo) {
    struct Case {
        const char* name;
        bool wayland, x11Permitted, withTarget;
        QString message;
    };
    for (const Case& c : std::vector<Case>{
             {"no input method, no display", false, false, true, noRoute},
             {"Wayland, no input method, no X11 target", true, true, false, noRoute},
             {"X11 session without a target: a click helps", false, true, false, noTarget},
         }) {
        SCOPED_TRACE(c.name);
        Desk s(c.wayland);
        s.fcitx5->answering = s.ibus->answering = false;
        s.x11->allowed = c.x11Permitted;
        if (c.withTarget) s.x11->front = s.x11->add({{7, 100}, QStringLiteral("Editor")});
        messages.clear();
        make(s)->send(QStringLiteral("木"));
        EXPECT_EQ(messages, std::vector{c.message});
        EXPECT_TRUE(s.typed.empty());
    }
}

}  // namespace
}  // namespace sumiro
