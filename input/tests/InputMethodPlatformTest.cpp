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
using Outcome = InputPlatform::Outcome;
using Lines = std::vector<std::string>;

const QString noRoute = QStringLiteral(
    "文字を届けられる入力先がありません。入力メソッド（fcitx5 か IBus）を起動するか、X11 "
    "のアプリで入力欄を選んでください");
const QString padFocused =
    QStringLiteral("パッドの入力欄には送りません。入力先のアプリで入力欄をクリックしてください");
const QString noTarget =
    QStringLiteral("先に入力先のアプリで、文字を入れる場所をクリックしてください");

// An input method the test controls; it writes what it typed to the shared log. While `held`,
// its answers wait in `waiting` until the test gives them.
class FakeRoute final : public InputMethodRoute {
public:
    FakeRoute(std::string label, Lines& log) : label_(std::move(label)), log_(log) {}
    bool answering = true;
    std::optional<std::string> program = "editor";
    Result result = Result::Typed;
    bool held = false;
    std::vector<std::function<void()>> waiting;

    [[nodiscard]] std::string_view label() const override { return label_; }
    bool answers() override { return answering; }
    std::optional<std::string> focusedProgram() override { return program; }
    void commit(std::u32string_view text, Done done) override {
        answer(textEntry(text), std::move(done));
    }
    void pressKey(Key key, Done done) override { answer(keyEntry(key), std::move(done)); }
    void focus(bool focused, const std::string& name) { focusChanged(focused, name); }

private:
    void answer(std::string entry, Done done) {
        // The result in force when the answer is given.
        auto give = [this, entry = std::move(entry), done = std::move(done)] {
            const Result r = result;
            if (r == Result::Typed || r == Result::NoAnswer) log_.push_back(label_ + " " + entry);
            done(r);
        };
        if (held) {
            waiting.push_back(std::move(give));
        } else {
            give();
        }
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
        routes.push_back(std::make_unique<FakeRoute>("IBus", typed));
        fcitx5 = static_cast<FakeRoute*>(routes[0].get());
        ibus = static_cast<FakeRoute*>(routes[1].get());
        platform = std::make_shared<InputMethodPlatform>(x11, std::move(routes), "sumiro", wayland);
    }
    // Delivers 木 and returns what came of it, if anything came yet.
    std::optional<InputPlatform::Delivered> deliver(std::vector<InputPlatform::Delivered>& out) {
        platform->deliver(U"木", Key{}, [&out](auto delivered) { out.push_back(delivered); });
        return out.empty() ? std::nullopt : std::optional(out.back());
    }
};

TEST(InputMethodPlatform, EachDeliveryGoesDownTheRoutesUntilOneTypesItElseSaysNothingTookIt) {
    using R = Result;
    // The desk, where it differs from an X11 session whose two input methods both answer and
    // type, with a window of an application in front that XTest may type into.
    struct Setup {
        bool wayland = false, fcitx5Answers = true, ibusAnswers = true;
        Result fcitx5 = R::Typed, ibus = R::Typed;
        bool x11Permitted = true, x11Front = true;
    };
    struct Case {
        const char* name;
        Setup desk;
        Outcome outcome;
        std::string route{};  // none when nothing took it
        Lines typed{};        // by the input methods
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"fcitx5 types", {}, Outcome::Typed, "fcitx5", {"fcitx5 text 6728"}},
        {"no field of fcitx5's: IBus", {.fcitx5 = R::NoFocus}, Outcome::Typed, "IBus",
         {"IBus text 6728"}},
        {"a window using neither: XTest", {.fcitx5 = R::NoFocus, .ibus = R::NoFocus},
         Outcome::Typed, "XTest"},
        {"refused: XTest", {.ibusAnswers = false, .fcitx5 = R::Refused}, Outcome::Typed, "XTest"},
        {"no input method: XTest", {.fcitx5Answers = false, .ibusAnswers = false}, Outcome::Typed,
         "XTest"},
        {"the pad's own field: nothing", {.fcitx5 = R::PadFocused}, Outcome::PadFocused, "fcitx5"},
        {"no answer: unknown, typed nowhere else", {.fcitx5 = R::NoAnswer}, Outcome::NoAnswer,
         "fcitx5", {"fcitx5 text 6728"}},
        {"nothing reaches a field",
         {.fcitx5Answers = false, .ibusAnswers = false, .x11Permitted = false}, Outcome::NoField},
        {"Wayland, no focused field: nothing",
         {.wayland = true, .fcitx5 = R::NoFocus, .ibus = R::NoFocus, .x11Front = false},
         Outcome::NoField},
        {"Wayland, an XWayland window has the keyboard: XTest",
         {.wayland = true, .ibusAnswers = false, .fcitx5 = R::NoFocus}, Outcome::Typed, "XTest"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Setup& d = c.desk;
        Desk s(d.wayland);
        s.fcitx5->answering = d.fcitx5Answers;
        s.ibus->answering = d.ibusAnswers;
        s.fcitx5->result = d.fcitx5;
        s.ibus->result = d.ibus;
        s.x11->allowed = d.x11Permitted;
        if (d.x11Front) s.x11->front = s.x11->add({{7, 100}, QStringLiteral("Editor")});
        if (c.route == "XTest") s.x11->expectText(U"木");
        std::vector<InputPlatform::Delivered> out;
        const auto delivered = s.deliver(out);
        ASSERT_TRUE(delivered);
        EXPECT_EQ(delivered->outcome, c.outcome);
        EXPECT_EQ(delivered->route, c.route);
        EXPECT_EQ(s.typed, c.typed);
        EXPECT_EQ(s.platform->permitted(), d.x11Permitted || d.fcitx5Answers || d.ibusAnswers);
    }
}

TEST(InputMethodPlatform, DeliveriesWaitForTheOneBeforeEvenWhenItsInputMethodIsSilent) {
    Desk s(false);
    s.x11->front = s.x11->add({{7, 100}, QStringLiteral("Editor")});
    s.fcitx5->held = true;
    std::vector<InputPlatform::Delivered> out;
    EXPECT_FALSE(s.deliver(out)) << "the answer comes later";
    EXPECT_FALSE(s.deliver(out));
    ASSERT_EQ(s.fcitx5->waiting.size(), 1U) << "the second waits for the first";

    // The first is not answered in time: the second still goes to fcitx5, never around it.
    s.fcitx5->result = Result::NoAnswer;
    std::exchange(s.fcitx5->waiting, {}).front()();
    ASSERT_EQ(s.fcitx5->waiting.size(), 1U);
    s.fcitx5->result = Result::Typed;
    std::exchange(s.fcitx5->waiting, {}).front()();
    ASSERT_EQ(out.size(), 2U);
    EXPECT_EQ(out[0].outcome, Outcome::NoAnswer);
    EXPECT_EQ(out[1].outcome, Outcome::Typed);
    EXPECT_TRUE(s.x11->log.empty()) << "no XTest";
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

TEST_F(InputMethodDirectInput, X11SessionTypesAtOnceAndSaysWhichWayOrThatItDidNot) {
    Desk s(false);
    const auto editor = s.x11->add({{7, 100}, QStringLiteral("Editor")});
    s.x11->front = editor;
    auto input = make(s);
    input->send(QStringLiteral("𠮷"));
    input->key(Key::BackSpace);
    EXPECT_EQ(clock->pending(), 0U) << "no wait on the input method's route";
    EXPECT_EQ(s.x11->log, Lines{}) << "nothing raised, nothing posted with XTest";
    EXPECT_EQ(s.typed, (Lines{"fcitx5 text 20BB7", "fcitx5 key FF08"}));
    s.fcitx5->result = s.ibus->result = Result::NoFocus;
    s.x11->expectText(U"あ");
    input->send(QStringLiteral("あ"));
    s.fcitx5->result = Result::NoAnswer;
    input->send(QStringLiteral("木"));
    s.x11->allowed = false;  // nothing left to try
    s.fcitx5->result = Result::NoFocus;
    input->key(Key::BackSpace);
    EXPECT_EQ(messages, (std::vector{
                            QStringLiteral("Editorへ「𠮷」を送信（fcitx5）"),
                            QStringLiteral("Editorへキーを送信（fcitx5）"),
                            QStringLiteral("Editorへ「あ」を送信（XTest）"),
                            QStringLiteral("入力メソッド（fcitx5）が応答しません。「木」が入力さ"
                                           "れたかどうかは分かりません"),
                            QStringLiteral("キーを送れませんでした。入力先のアプリで、文字を入れ"
                                           "る場所をクリックしてください"),
                        }));
    messages.clear();
    s.x11->allowed = true;
    s.fcitx5->result = Result::Typed;

    // The pad's own window holds the focus (its search field): the target is raised and waited
    // for first, and if the pad still holds the focus then, nothing is typed.
    const auto pad = s.x11->add({{9, s.x11->ownPid}, QStringLiteral("Sumiro")});
    for (const bool raised : {false, true}) {
        s.x11->front = pad;
        s.x11->activationWorks = raised;
        input->send(QStringLiteral("木"));
        ASSERT_EQ(clock->pending(), 1U);
        clock->advance(DirectInput::deliveryDelay * DirectInput::activationChecks);
    }
    EXPECT_EQ(messages,
              (std::vector{padFocused, QStringLiteral("Editorへ「木」を送信（fcitx5）")}));
    EXPECT_EQ(s.x11->log, (Lines{"text 3042", "activate 7", "activate 7"}));

    // An answer that comes after DirectInput is gone is not reported.
    s.fcitx5->held = true;
    input->send(QStringLiteral("木"));
    input.reset();
    std::exchange(s.fcitx5->waiting, {}).front()();
    EXPECT_EQ(messages.size(), 2U);
}

TEST_F(InputMethodDirectInput, WaylandSessionFollowsTheInputMethodsFocus) {
    Desk s(true);
    s.x11->allowed = false;  // no X display at all
    auto input = make(s);
    EXPECT_EQ(input->target()->program, "editor") << "the focused program at construction";

    s.fcitx5->program = "terminal";
    s.fcitx5->focus(true, "terminal");
    EXPECT_EQ(input->targetName(), QStringLiteral("terminal"));
    input->send(QStringLiteral("あ"));
    EXPECT_EQ(messages.back(), QStringLiteral("terminalへ「あ」を送信（fcitx5）"));

    // A field whose program the input method cannot name is still named as a field.
    s.fcitx5->program = "";
    s.ibus->focus(true, "");
    EXPECT_EQ(input->targetName(), InputMethodPlatform::unnamedField());
    input->send(QStringLiteral("木"));
    EXPECT_EQ(messages.back(),
              InputMethodPlatform::unnamedField() + QStringLiteral("へ「木」を送信（fcitx5）"));

    // Where the session names the program that holds the keyboard, that names such a field,
    // told when the input method focused it; a change there is told as a change of the target.
    std::optional<std::string> active = "foot";
    InputMethodPlatform::Clock::time_point asked;
    s.platform->nameFieldsBy([&](InputMethodPlatform::Clock::time_point fieldFocused) {
        asked = fieldFocused;
        return active;
    });
    int changes = 0;
    QObject::connect(input.get(), &DirectInput::changed, [&changes] { ++changes; });
    s.platform->activeWindowChanged();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(input->targetName(), QStringLiteral("foot"));
    active.reset();
    EXPECT_EQ(input->targetName(), InputMethodPlatform::unnamedField());
    const auto before = InputMethodPlatform::Clock::now();
    s.ibus->focus(true, "");
    const auto after = InputMethodPlatform::Clock::now();
    s.fcitx5->focus(false, "");
    (void)input->targetName();
    EXPECT_TRUE(asked >= before && asked <= after) << "the last focus-in, not a focus-out";

    // The pad's own field (named as the pad, or the pad's window active on XWayland) is neither
    // the target nor typed into.
    s.fcitx5->program = "sumiro";
    s.fcitx5->focus(true, "sumiro");
    EXPECT_EQ(input->target()->program, "");
    s.fcitx5->program = "";
    s.x11->front = s.x11->add({{9, s.x11->ownPid}, QStringLiteral("Sumiro")});
    input->send(QStringLiteral("木"));
    ASSERT_EQ(clock->pending(), 1U) << "the focus is waited for";
    clock->advance(DirectInput::deliveryDelay * DirectInput::activationChecks);
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
