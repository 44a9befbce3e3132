#include <gtest/gtest.h>

#include "input/DirectInput.h"
#include "testsupport/FakePlatform.h"
#include "testsupport/FakeScheduler.h"

namespace sumiro {
namespace {

const QString noPermission = u"初回設定：『入力を許可』からアクセシビリティを有効にしてください"_qs;
const QString noTarget = u"先に入力先のアプリで、文字を入れる場所をクリックしてください"_qs;
const QString switched = u"入力先が切り替わりました。入力欄を選び直してください"_qs;
const QString noEvents = u"入力イベントを作成できませんでした"_qs;

class DirectInputTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeScheduler> clock = std::make_shared<FakeScheduler>();
    // Lets the delivery delay pass.
    void elapse() { clock->advance(DirectInput::deliveryDelay); }

    std::shared_ptr<FakePlatform> fake = std::make_shared<FakePlatform>();
    Application editor = fake->add({{7, 100}, u"Editor"_qs});
    Application terminal = fake->add({{8, 200}, u"Terminal"_qs});
    Application pad = fake->add({{9, fake->ownPid}, u"Sumiro"_qs});
    Application dock = fake->add({{10, 300}, u"Dock"_qs, false});
    std::vector<QString> messages;
    int changes = 0;

    // A DirectInput over the fake, on the manual clock, made while `front` is in front.
    std::unique_ptr<DirectInput> make(std::optional<Application> front) {
        fake->front = front;
        auto input = std::make_unique<DirectInput>(fake, clock);
        QObject::connect(input.get(), &DirectInput::status,
                         [this](const QString& message) { messages.push_back(message); });
        QObject::connect(input.get(), &DirectInput::changed, [this] { ++changes; });
        QObject::connect(input.get(), &DirectInput::prepareInput,
                         [this] { fake->log.emplace_back("prepare"); });
        return input;
    }
};

TEST_F(DirectInputTest, OnlyOrdinaryApplicationsOtherThanThePadBecomeTheTarget) {
    for (const auto& front :
         {std::optional<Application>{}, std::optional(pad), std::optional(dock)})
        EXPECT_FALSE(make(front)->target().has_value());
    auto input = make(editor);
    EXPECT_EQ(input->target(), editor) << "the application in front at the start";
    fake->userActivates(pad);
    fake->userActivates(dock);
    input->remember(std::nullopt);
    EXPECT_EQ(input->target(), editor);
    EXPECT_EQ(changes, 0);

    fake->userActivates(terminal);
    EXPECT_EQ(input->target(), terminal);
    fake->userActivates(terminal);
    EXPECT_EQ(changes, 2) << "the same application again is accepted again";
    EXPECT_EQ(input->targetName(), u"Terminal"_qs);
}

TEST_F(DirectInputTest, DeliveriesPostWholeAndInOrderAfterTheDelayAndNameTheTarget) {
    const auto nameless = fake->add({{11, 400}, std::nullopt});
    const auto blank = fake->add({{12, 500}, QString()});
    auto input = make(editor);
    input->send(u"木"_qs);
    EXPECT_EQ(fake->log, (std::vector<std::string>{"prepare", "activate 7"}));
    ASSERT_EQ(clock->pending(), 1u);
    clock->advance(std::chrono::milliseconds(99));
    EXPECT_EQ(clock->pending(), 1u) << "the delay is 0.1 s";
    input->key(Key::BackSpace);
    input->sendUtf8("a\xE3\x81\x82\xF0\xA0\xAE\xB7");
    EXPECT_EQ(clock->pending(), 3u) << "nothing is merged or cancelled";
    EXPECT_TRUE(messages.empty()) << "nothing is reported before the delay";
    fake->expectText(U"木");
    fake->expectKey(Key::BackSpace);
    fake->expectText(U"aあ𠮷");
    elapse();

    for (const auto& app : {nameless, blank}) {
        fake->userActivates(app);
        fake->expectText(U"𠮷");
        fake->expectKey(Key::Return);
        input->send(u"𠮷"_qs);
        input->key(Key::Return);
        elapse();
    }
    const QString text = u"入力先へ「𠮷」を送信"_qs, key = u"入力先へキーを送信"_qs;
    EXPECT_EQ(messages, (std::vector{u"Editorへ「木」を送信"_qs, u"Editorへキーを送信"_qs,
                                     u"Editorへ「aあ𠮷」を送信"_qs, text, key, text, key}));
}

TEST_F(DirectInputTest, MissingPermissionStopsBeforeAnythingHappens) {
    fake->allowed = false;
    auto input = make(editor);
    EXPECT_FALSE(input->trusted());
    input->send(u"木"_qs);
    input->key(Key::Left);
    EXPECT_TRUE(fake->log.empty()) << "no prepareInput, no activation";
    EXPECT_EQ(clock->pending(), 0u);
    EXPECT_EQ(messages, (std::vector{noPermission, noPermission}));

    fake->allowed = true;
    EXPECT_TRUE(input->trusted()) << "asked anew on every read";
    input->allow();
    EXPECT_EQ(fake->helpOpened, 1);
}

TEST_F(DirectInputTest, NoTargetOrAQuitTargetAsksForAClickFirst) {
    auto input = make(std::nullopt);
    input->send(u"木"_qs);
    fake->userActivates(editor);
    fake->quit(editor);
    EXPECT_FALSE(input->targetRunning());
    input->key(Key::Return);
    EXPECT_EQ(messages, (std::vector{noTarget, noTarget}));
    EXPECT_TRUE(fake->log.empty());
    EXPECT_EQ(input->target(), editor) << "a quit target stays until another is accepted";
}

TEST_F(DirectInputTest, TargetNotInFrontAfterTheDelayPostsNothing) {
    auto input = make(editor);
    input->send(u"木"_qs);
    fake->userActivates(terminal);  // the user switched within the 0.1 s
    elapse();

    fake->userActivates(editor);
    fake->activationWorks = false;  // the target did not come to the front at all
    fake->front.reset();
    input->send(u"木"_qs);
    elapse();

    // Windows without a pid are told apart by their window alone.
    fake->userActivates(fake->add({{20, 0}, u"A"_qs}));
    fake->front = fake->add({{21, 0}, u"B"_qs});
    input->key(Key::Space);
    elapse();
    EXPECT_EQ(messages, (std::vector{switched, switched, switched}));
}

// After a pick made while the pad's search field had the keyboard, the pad itself may still be
// in front at the first look: the desktop is slow to hand the keyboard back. The target is
// looked for again, for a while; another application in front ends the wait at once.
TEST_F(DirectInputTest, WhileThePadIsStillInFrontTheTargetIsWaitedForAWhile) {
    auto input = make(editor);
    fake->front = pad;
    fake->activationWorks = false;
    input->send(u"木"_qs);
    clock->advance(std::chrono::milliseconds(700));
    EXPECT_TRUE(messages.empty()) << "still waiting";
    fake->expectText(U"木");
    fake->front = editor;  // the desktop catches up
    elapse();
    EXPECT_EQ(messages, (std::vector{u"Editorへ「木」を送信"_qs}));

    fake->front = pad;
    input->send(u"木"_qs);
    clock->advance(std::chrono::milliseconds(1450));
    EXPECT_EQ(messages.size(), 1U) << "still waiting";
    clock->advance(std::chrono::milliseconds(50));
    EXPECT_EQ(messages.back(), switched) << "given up after 1.5 s";
    EXPECT_EQ(clock->pending(), 0U);

    input->send(u"木"_qs);
    fake->userActivates(terminal);
    elapse();
    EXPECT_EQ(messages.back(), switched) << "the user went elsewhere: no waiting";
    EXPECT_EQ(clock->pending(), 0U);
    fake->verify();
}

TEST_F(DirectInputTest, TextsThatCannotBecomeEventsPostNothing) {
    auto input = make(editor);
    input->send(QString::fromUtf16(u"木\xD842"));  // a lone surrogate
    input->sendUtf8("\xE6\x9C");                   // truncated 木
    input->sendUtf8("\xED\xA0\x80");               // an encoded surrogate
    input->send(QString());
    input->sendUtf8("");
    EXPECT_TRUE(fake->log.empty()) << "the target is not even activated";
    EXPECT_EQ(clock->pending(), 0u);

    fake->postsWork = false;  // the platform could not make the events
    input->send(u"木"_qs);
    input->key(Key::Delete);
    elapse();
    EXPECT_EQ(messages, std::vector<QString>(5, noEvents));
}

TEST_F(DirectInputTest, DiscardedInputPostsAndReportsNothing) {
    auto input = make(editor);
    input->send(u"木"_qs);
    input.reset();
    elapse();
    fake->userActivates(terminal);  // its activation handler is gone too
    EXPECT_EQ(fake->log, (std::vector<std::string>{"prepare", "activate 7"}));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(changes, 0);
}

}  // namespace
}  // namespace sumiro
